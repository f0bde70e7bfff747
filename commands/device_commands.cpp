// The module's bus address and baud rate. Every command goes to address 0,
// which the module answers whatever its own address is.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "protocol/rtu.h"

#include "app/trace.h"

void Widget::PushButtonAddressReadSlot()
{
    SendRtuRequest(LineRequest::AddressRead, ReadsAddress, 0, rtu::ReadRegisters, rtu::DeviceAddress, 1);
}

void Widget::PushButtonAddressSlot()
{
    const QString text = ui->lineEditAddress->text();
    const QString problem = addressError(text);
    if (!problem.isEmpty()) {
        showError(problem);
        return;
    }
    SendRtuRequest(LineRequest::Command, ReadsAddress, 0, rtu::WriteRegister, rtu::DeviceAddress,
                   static_cast<quint16>(text.toInt(nullptr, 10)));
}

void Widget::PushButtonBaudRateSlot()
{
    const quint8 code = static_cast<quint8>(ui->comboBoxBaudRate->currentIndex() + 1);
    qCDebug(lcTrace) << code;
    SendRtuRequest(LineRequest::BaudWrite, ReadsBaudRate, 0, rtu::WriteRegister, rtu::BaudRateCode, code);
}
