#include "ui/widget.h"

void Widget::PushButtonAddressReadSlot() {}
void Widget::PushButtonAddressSlot() {}
void Widget::PushButtonBaudRateSlot() {}
