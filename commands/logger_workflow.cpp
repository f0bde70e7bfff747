#include "ui/widget.h"

void Widget::PushButtonReadSNSlot() {}
void Widget::PushButtonAUTOSetupSlot() {}
void Widget::PushButtonMANUSetupSlot() {}
void Widget::PushButtonReadRecordSlot() {}
void Widget::PushButtonSetupRecordSlot() {}
void Widget::TimerDelaySlot() {}
void Widget::timerSettingResponseSlot() {}
