// Bringing the link up, searching the module's baud rate, and the reply watchdog.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "protocol/rtu.h"
#include "ui/serialportsettingdialog.h"

#include <QSerialPort>
#include <QTimer>

void Widget::PushButtonLinkSlot()
{
    serialPort->close();
    // Nothing may act on the port while the dialog is open, nor carry over
    // to the link it makes.
    endLinkWork();

    SerialportSettingDialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (UartData.BaudRate != 0)
        UartInit();
    else
        AUTOUartInit();
}

bool Widget::UartInit()
{
    serialPort->close();
    serialPort->clearError();
    serialPort->setPortName(UartData.PortName);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        // Nothing can be sent: say why at once instead of blaming the module
        // later, and end a search that would only fail five more times.
        timerAutoUart->stop();
        showError(tr("The serial port %1 cannot be opened: %2")
                      .arg(UartData.PortName, serialPort->errorString()));
        return false;
    }
    serialPort->setBaudRate(UartData.BaudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    // Bytes the line delivered while nobody listened belong to no request.
    serialPort->clear();
    // Runs on every link, search step and baud change: one connection, not one each time.
    connect(serialPort, SIGNAL(readyRead()), this, SLOT(my_readuart()), Qt::UniqueConnection);

    // After a baud-rate change the module already answered; only the port
    // had to follow it.
    if (UartData.BaudSetPending == 0)
        SendRtuRequest(RtuSend::AddressRead, ReadsAddress, 0, rtu::ReadRegisters, rtu::DeviceAddress, 1);
    return true;
}

void Widget::AUTOUartInit()
{
    if (UartData.BaudIndex == 0) {
        UartData.ReplyReceived = 0;
    } else if (UartData.ReplyReceived == 1) {
        ui->comboBoxBaudRate->setCurrentText(QString::number(UartData.BaudRate, 10));
        timerAutoUart->stop();
        return;
    }
    if (UartData.BaudIndex >= UartData.BaudCount
        || UartData.BaudIndex >= std::size(UartData.BaudList)) {
        timerAutoUart->stop();
        showError(tr("Communication error!"));
        return;
    }
    UartData.BaudRate = UartData.BaudList[UartData.BaudIndex];
    ++UartData.BaudIndex;
    // The search owns the link: a baud-rate write made meanwhile must not
    // keep its probes from going out.
    UartData.BaudSetPending = 0;
    if (!UartInit())
        return;
    timerAutoUart->start(300);
    // The next step judges this rate; the probe's own watchdog would only
    // report a failure the search is about to try past.
    timerResponse->stop();
}

void Widget::TimerResponseSlot()
{
    timerResponse->stop();
    if (UartData.ReplyReceived == 0) {
        UartData.BaudSetPending = 0;
        showError(tr("Communication error!"));
        return;
    }
    if (UartData.BaudSetPending == 1)
        UartInit();
    UartData.BaudSetPending = 0;
}

void Widget::endLinkWork()
{
    // Everything that acts on the port by itself: the search, the watchdog
    // (and the baud change it would complete) and continuous reading.
    timerAutoUart->stop();
    timerResponse->stop();
    UartData.BaudSetPending = 0;
    timerHumiture->stop();
    ui->pushButtonRead->setText(tr("Read"));
}

void Widget::portFailed(int error)
{
    // Open failures are reported by UartInit; only a port that dies while in
    // use (adapter pulled, line gone) ends up here, and only once: the port is
    // closed before the message is shown.
    if (!serialPort->isOpen()
        || (error != QSerialPort::ResourceError && error != QSerialPort::WriteError
            && error != QSerialPort::ReadError))
        return;
    const QString reason = serialPort->errorString();
    serialPort->close();
    endLinkWork();
    showError(tr("The serial port %1 stopped working: %2").arg(UartData.PortName, reason));
}
