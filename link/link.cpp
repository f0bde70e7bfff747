#include "ui/widget.h"

void Widget::PushButtonLinkSlot() {}
void Widget::AUTOUartInit() {}
void Widget::TimerResponseSlot() {}
