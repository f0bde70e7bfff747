// The module's bus address and baud rate. Every command goes to address 0,
// which the module answers whatever its own address is.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "protocol/rtu.h"

#include "app/trace.h"
#include "ui/buswindow.h"

#include <QMessageBox>
#include <QSerialPort>

bool Widget::writeReachesAll()
{
    // A write to address 0 is obeyed by every module that hears it: where the
    // last request to address 0 heard several, or the bus window's last scan
    // saw several at this rate, that is asked first.
    bool scannedAtLeast = false;
    const int scanned = busWindow && line->isOpen() ? busWindow->modulesAt(line->rate(), &scannedAtLeast) : 0;
    const int heard = line->isOpen() ? line->modules() : 0;
    const int modules = qMax(scanned, heard);
    if (modules < 2)
        return true;
    // Garbled answers give a count of at least that many; an exact one of as many tells it all.
    const bool atLeast = (scanned < modules || scannedAtLeast) && (heard < modules || line->modulesAtLeast());
    const QString text = atLeast ? tr("At least %1 modules answer on this line, and this write reaches every one of them. Write anyway?")
                                 : tr("%1 modules answer on this line, and this write reaches every one of them. Write anyway?");
    return QMessageBox::question(this, tr("Warning"), text.arg(modules), QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

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
    if (!writeReachesAll())
        return;
    SendRtuRequest(LineRequest::Command, ReadsAddress, 0, rtu::WriteRegister, rtu::DeviceAddress,
                   static_cast<quint16>(text.toInt(nullptr, 10)));
}

void Widget::PushButtonBaudRateSlot()
{
    const quint8 code = static_cast<quint8>(ui->comboBoxBaudRate->currentIndex() + 1);
    qCDebug(lcTrace) << code;
    // The module would move to a rate the line could not follow it to.
    if (line->isOpen() && !line->canChangeRate())
        return showError(line->fixedRateText());
    if (!writeReachesAll())
        return;
    SendRtuRequest(LineRequest::BaudWrite, ReadsBaudRate, 0, rtu::WriteRegister, rtu::BaudRateCode, code);
}
