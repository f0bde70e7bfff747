// Bringing the link up, searching the module's baud rate, and the reply watchdog.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "app/trace.h"
#include "protocol/rtu.h"
#include "ui/serialportsettingdialog.h"
#include "ui/trendwindow.h"

#include <QMessageBox>
#include <QTimer>

void Widget::PushButtonLinkSlot()
{
    line->close();
    // Nothing may act on the port while the dialog is open, nor carry over
    // to the link it makes: the next adapter may not echo, the next module
    // answer at another pace.
    endLinkWork();
    line->forget();

    SerialportSettingDialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    line->usePort(UartData.PortName);
    if (UartData.BaudRate == 0) {
        if (!line->canChangeRate())
            return showError(line->fixedRateText());
        return AUTOUartInit();
    }
    if (!UartInit())
        return;
    // The rate box shows the rate in use: Baud rate → Setting writes what it shows.
    ui->comboBoxBaudRate->setCurrentText(QString::number(UartData.BaudRate, 10));
    newLink();
}

void Widget::newLink()
{
    // Only a port that opened makes a new link: one another program holds
    // leaves what the last link showed as it was.
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
    line->choose(UartData.PortName);
}

void Widget::followModule(quint8 address, qint32 rate, quint8 newAddress, qint32 newRate)
{
    // Only the module this window reads: the address it polls, at the rate it is linked at.
    if (line->rate() != rate || ui->lineEditAddress->text() != QString::number(address, 10))
        return;
    ui->lineEditAddress->setText(QString::number(newAddress, 10));
    UartData.Address = newAddress;
    // Values read where the module no longer is are not its readings now.
    ui->labelTemperature->setText(tr("Temperature:---"));
    ui->labelHumidity->setText(tr("Humidity:---"));
    ui->labelDewTemp->setText(tr("DewTemp:---"));
    ui->labelWetBulbTemp->setText(tr("WetBulbTemp:---"));
    missedPolls = 0;
    if (newRate == rate)
        return;
    // The port goes where the module went, as after Baud rate → Setting.
    UartData.BaudRate = newRate;
    QString why;
    if (!line->open(newRate, &why))
        return portFailed(why, true);
    ui->comboBoxBaudRate->setCurrentText(QString::number(newRate, 10));
}

bool Widget::UartInit()
{
    line->usePort(UartData.PortName);
    QString why;
    if (!line->open(UartData.BaudRate, &why)) {
        // Nothing can be sent: say why at once instead of blaming the module
        // later, and end a search that would only fail five more times.
        timerAutoUart->stop();
        showError(tr("The serial port %1 cannot be opened: %2").arg(UartData.PortName, why));
        return false;
    }
    // A request written on the port as it was can bring no answer on it as
    // it is now; a baud change was answered already, and only the port had
    // to follow it. The probe goes ahead of anything waiting: a search holds
    // the line until it ends.
    std::optional<LineRequest> probe;
    if (UartData.BaudSetPending == 0) {
        probe = LineRequest();
        probe->kind = LineRequest::AddressRead;
        probe->selector = ReadsAddress;
        probe->frame = rtu::buildRequest(0, rtu::ReadRegisters, rtu::DeviceAddress, 1);
    }
    line->probe(probe);
    return true;
}

void Widget::AUTOUartInit()
{
    if (UartData.BaudIndex == 0) {
        UartData.ReplyReceived = 0;
    } else if (LineRequest *probe = line->onLine(); probe && probe->kind == LineRequest::AddressRead && line->waiting()) {
        // The rate answered, and the line is still listening for every
        // module on it: the rate is judged once they are all counted.
        timerAutoUart->start(int(line->waitLeftMs()) + 1);
        return;
    } else if (UartData.ReplyReceived == 1 || (probe && probe->kind == LineRequest::AddressRead && line->heardOther())) {
        ui->comboBoxBaudRate->setCurrentText(QString::number(UartData.BaudRate, 10));
        timerAutoUart->stop();
        // Answers that collided at this rate: modules are here, several of them.
        if (probe && probe->kind == LineRequest::AddressRead) {
            probe->chorus.garbled = true;
            return endChorus();
        }
        line->dispatch(); // what was pressed during the search goes out at the rate found
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
    if (UartData.BaudIndex == 1)
        newLink(); // the search's port is open
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
    LineRequest *outstanding = line->onLine();
    if (!outstanding || outstanding->kind == LineRequest::Poll || outstanding->kind == LineRequest::Setup
        || outstanding->kind == LineRequest::Foreign)
        return;
    // Still counting the modules that answered address 0: the end of the
    // listening frees the line.
    if (outstanding->kind != LineRequest::BaudWrite && line->waiting())
        return;
    if (const int refusal = outstanding->refusal; refusal >= 0) {
        line->finish();
        showError(tr("The module refused the request (exception %1).").arg(refusal));
        return;
    }
    if (UartData.ReplyReceived == 0) {
        UartData.BaudSetPending = 0;
        const LineRequest::Kind kind = outstanding->kind;
        const bool collided = line->heardOther() && (kind == LineRequest::Command || kind == LineRequest::BaudWrite);
        // Answers to the address read that garbled each other: modules, several.
        if (kind == LineRequest::AddressRead && line->heardOther() && line->listensToAll()) {
            outstanding->chorus.garbled = true;
            return endChorus();
        }
        if (line->listensToAll())
            line->setModules(outstanding->chorus.modules(), outstanding->chorus.garbled);
        line->finish();
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
    line->finish();
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
    line->clear();
    line->endClaim(why);
}

void Widget::portFailed(const QString &reason, bool opening)
{
    // A port that dies while in use (adapter pulled, line gone), or a server
    // that could not be reached, ends up here, and only once: it is closed
    // before the message is shown.
    const QString message = opening ? tr("The serial port %1 cannot be opened: %2").arg(UartData.PortName, reason)
                                    : tr("The serial port %1 stopped working: %2").arg(UartData.PortName, reason);
    endLinkWork(message);
    showError(message);
}

bool Widget::searching() const
{
    return timerAutoUart->isActive();
}

void Widget::written(const LineRequest &request)
{
    const LineRequest::Kind kind = request.kind;
    if (!request.frame.startsWith("\x7B\x22"))
        readItem = request.selector;
    switch (kind) {
    case LineRequest::Poll:
        UartData.ReplyReceived = 0;
        break;
    case LineRequest::Setup:
        timerSettingResponse->start(1000);
        UartData.SettingAck = 0;
        break;
    default:
        // A probe the line's silence held back is judged by the search's next step, not its watchdog.
        if (kind != LineRequest::AddressRead || !searching())
            timerResponse->start(kind == LineRequest::SerialWrite ? 1500 : 500);
        UartData.ReplyReceived = 0;
        break;
    }
    if (kind == LineRequest::BaudWrite) {
        UartData.BaudSetPending = 1;
        // The port keeps the old rate until the watchdog has seen the echo.
        if (request.baudRate)
            UartData.BaudRate = request.baudRate;
    }
    // While reading is on, the next poll keeps its distance from any other
    // request: a second, or three after the logger's settings.
    if (kind == LineRequest::SettingsRead || kind == LineRequest::Setup)
        timerHumiture->start(3000);
    else if (kind != LineRequest::Poll)
        timerHumiture->start(1000);
    if (kind == LineRequest::AddressRead)
        qCDebug(lcTrace) << "7777";
}

void Widget::waitOver()
{
    if (line->onLine()->kind == LineRequest::Poll)
        return pollUnanswered();
    endChorus();
}

void Widget::endChorus()
{
    // The main window's read or write at address 0, listened out (a baud
    // write until its watchdog, when the port has to follow it).
    const LineRequest::Kind kind = line->onLine()->kind;
    const int modules = line->onLine()->chorus.modules();
    // Answers that garbled each other stand for two, and there may be more.
    const bool atLeast = line->onLine()->chorus.garbled;
    line->setModules(modules, atLeast);
    if (kind == LineRequest::AddressRead) {
        // One module's address shown for a line of several would be taken for theirs.
        if (modules == 1 && UartData.ReplyReceived)
            ui->lineEditAddress->setText(QString::number(UartData.Address, 10));
        else if (modules > 1)
            ui->lineEditAddress->clear();
    }
    const qint32 rate = line->onLine()->rate;
    if (kind == LineRequest::BaudWrite) {
        // Answered: the port follows the module to its new rate.
        if (UartData.BaudSetPending == 1)
            UartInit();
        UartData.BaudSetPending = 0;
    }
    line->finish();
    if (modules < 2)
        return;
    const QString text = kind == LineRequest::AddressRead
        ? (atLeast ? tr("At least %1 modules answer on this line at %2 baud: use the bus window to tell them apart.")
                   : tr("%1 modules answer on this line at %2 baud: use the bus window to tell them apart."))
              .arg(modules)
              .arg(rate)
        : (atLeast ? tr("At least %1 modules answered this write: it reached every one of them.")
                   : tr("%1 modules answered this write: it reached every one of them."))
              .arg(modules);
    QMessageBox::information(this, tr("Warning"), text);
}
