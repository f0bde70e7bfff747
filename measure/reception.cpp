#include "ui/widget.h"

void Widget::my_readuart() {}
void Widget::TimerClearSlot() {}
