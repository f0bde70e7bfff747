// Bringing the link up, searching the module's baud rate, and the reply watchdog.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "link/porterror.h"
#include "protocol/rtu.h"
#include "ui/serialportsettingdialog.h"
#include "ui/trendwindow.h"

#include <QSerialPort>
#include <QTimer>

void Widget::PushButtonLinkSlot()
{
    serialPort->close();
    // Nothing may act on the port while the dialog is open, nor carry over
    // to the link it makes: the next adapter may not echo, the next module
    // answer at another pace.
    endLinkWork();
    lineEchoes = false;
    echoMisses = 0;
    echoLagUs = 0;
    answerUs = -1;
    lineModules = 0;

    SerialportSettingDialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The readings shown were another link's, perhaps another module's.
    ui->labelTemperature->setText(tr("Temperature:---"));
    ui->labelHumidity->setText(tr("Humidity:---"));
    ui->labelDewTemp->setText(tr("DewTemp:---"));
    ui->labelWetBulbTemp->setText(tr("WetBulbTemp:---"));
    if (UartData.PortName != historiesPort) {
        // A module at address 1 on this port is not the one at 1 on the last:
        // one line through both would pass for a single module's readings.
        histories.clear();
        historiesPort = UartData.PortName;
        if (trendWindow)
            trendWindow->historiesCleared();
    }
    emit linked(UartData.PortName);
    if (UartData.BaudRate == 0)
        return AUTOUartInit();
    // The rate box shows the rate in use: Baud rate → Setting writes what it shows.
    if (UartInit())
        ui->comboBoxBaudRate->setCurrentText(QString::number(UartData.BaudRate, 10));
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
                      .arg(UartData.PortName, portErrorText(serialPort->error(), serialPort->errorString())));
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

    lineRate = UartData.BaudRate;
    // A request written on the port as it was can bring no answer on it as
    // it is now; a baud change was answered already, and only the port had
    // to follow it. The probe goes ahead of anything waiting: a search holds
    // the line until it ends.
    outstanding.reset();
    if (UartData.BaudSetPending == 0) {
        LineRequest probe;
        probe.kind = LineRequest::AddressRead;
        probe.selector = ReadsAddress;
        probe.frame = rtu::buildRequest(0, rtu::ReadRegisters, rtu::DeviceAddress, 1);
        writeRequest(probe);
        probing = true;
    }
    return true;
}

void Widget::AUTOUartInit()
{
    if (UartData.BaudIndex == 0) {
        UartData.ReplyReceived = 0;
    } else if (outstanding && outstanding->kind == LineRequest::AddressRead && timerWait->isActive()) {
        // The rate answered, and the line is still listening for every
        // module on it: the rate is judged once they are all counted.
        timerAutoUart->start(int((waitDueNs - waitClock.nsecsElapsed()) / 1000000) + 1);
        return;
    } else if (UartData.ReplyReceived == 1 || (outstanding && outstanding->kind == LineRequest::AddressRead && heardOther)) {
        ui->comboBoxBaudRate->setCurrentText(QString::number(UartData.BaudRate, 10));
        timerAutoUart->stop();
        // Answers that collided at this rate: modules are here, several of them.
        if (outstanding && outstanding->kind == LineRequest::AddressRead) {
            outstanding->chorus.garbled = true;
            return endChorus();
        }
        dispatch(); // what was pressed during the search goes out at the rate found
        return;
    }
    if (UartData.BaudIndex >= UartData.BaudCount
        || UartData.BaudIndex >= std::size(UartData.BaudList)) {
        timerAutoUart->stop();
        // No rate answers: nothing that waited for the search would be answered either.
        endLinkWork(tr("Communication error!"));
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
    // Each watchdog judges its own request only: one answered already has
    // freed the line, and whatever is on it now is not this one's business.
    if (!outstanding || outstanding->kind == LineRequest::Poll || outstanding->kind == LineRequest::Setup
        || outstanding->kind == LineRequest::Foreign)
        return;
    // Still counting the modules that answered address 0: the end of the
    // listening frees the line.
    if (outstanding->kind != LineRequest::BaudWrite && timerWait->isActive())
        return;
    if (const int refusal = outstanding->refusal; refusal >= 0) {
        finishRequest();
        showError(tr("The module refused the request (exception %1).").arg(refusal));
        return;
    }
    if (UartData.ReplyReceived == 0) {
        UartData.BaudSetPending = 0;
        const LineRequest::Kind kind = outstanding->kind;
        const bool collided = heardOther && (kind == LineRequest::Command || kind == LineRequest::BaudWrite);
        // Answers to the address read that garbled each other: modules, several.
        if (kind == LineRequest::AddressRead && heardOther && listensToAll()) {
            outstanding->chorus.garbled = true;
            return endChorus();
        }
        if (listensToAll())
            lineModules = outstanding->chorus.modules();
        finishRequest();
        // Answers that garble each other mean the write was heard, by more than one.
        showError(collided ? tr("Several modules answered at once: the write may have reached all of them.")
                           : tr("Communication error!"));
        return;
    }
    if (outstanding->kind == LineRequest::BaudWrite)
        return endChorus(); // the port follows the module's new rate there
    if (UartData.BaudSetPending == 1)
        UartInit();
    UartData.BaudSetPending = 0;
    finishRequest();
}

void Widget::endLinkWork(const QString &why)
{
    // Everything that acts on the port by itself: the search, the watchdog
    // (and the baud change it would complete) and continuous reading.
    timerAutoUart->stop();
    timerResponse->stop();
    UartData.BaudSetPending = 0;
    timerHumiture->stop();
    ui->pushButtonRead->setText(tr("Read"));
    clearLine();
    // Whatever another window ran on the line is over with it.
    if (const auto ended = claim.ended) {
        claim = Claim();
        claimEnd = why;
        ended();
    }
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
    const QString reason = portErrorText(serialPort->error(), serialPort->errorString());
    serialPort->close();
    const QString message = tr("The serial port %1 stopped working: %2").arg(UartData.PortName, reason);
    endLinkWork(message);
    showError(message);
}
