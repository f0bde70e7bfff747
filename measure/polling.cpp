#include "ui/widget.h"

void Widget::PushButtonReadSlot() {}
void Widget::ReadHumitureOrder() {}
