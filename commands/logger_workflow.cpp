// The logger's serial number and recording setup, as the technician drives them.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/clock.h"
#include "app/trace.h"
#include "app/uartdata.h"
#include "protocol/logger.h"

#include <QLocale>
#include <QMessageBox>
#include <QSerialPort>
#include <QTimer>

bool Widget::sendLoggerRequest(const QByteArray &frame, int watchdogMs)
{
    if (!portReady())
        return false;
    serialPort->write(frame);
    timerResponse->start(watchdogMs);
    UartData.ReplyReceived = 0;
    return true;
}

bool Widget::SendSerialNumber()
{
    return sendLoggerRequest(logger::serialNumberWrite(UartData.SerialNumber, UartData.SerialPrefix), 1500);
}

bool Widget::SendRecordSetup(quint32 start)
{
    if (!portReady())
        return false;
    const quint32 now = static_cast<quint32>(currentDateTime().toSecsSinceEpoch());
    qCDebug(lcTrace) << "timesec" << now << "starttime" << start;
    serialPort->write(logger::setupFrame(now, UartData.RecordMode,
                                         static_cast<quint16>(UartData.SampleRate), start));
    timerSettingResponse->start(1000);
    UartData.SettingAck = 0;
    return true;
}

void Widget::PushButtonReadSNSlot()
{
    if (sendLoggerRequest(logger::infoRequest(), 500))
        timerHumiture->start(1000);
}

void Widget::PushButtonAUTOSetupSlot()
{
    // Machine digits whatever the desktop's language: a locale with digits of
    // its own would otherwise give pairs that are no decimal numbers.
    UartData.SerialNumber = QLocale::c().toString(currentDateTime(), QStringLiteral("yyMMddhhmmss"));
    if (SendSerialNumber())
        timerHumiture->start(1000);
}

void Widget::PushButtonMANUSetupSlot()
{
    UartData.SerialNumber = ui->lineEditSN->text();
    if (SendSerialNumber())
        timerHumiture->start(1000);
}

void Widget::PushButtonReadRecordSlot()
{
    if (!sendLoggerRequest(logger::settingsRequest(), 500))
        return;
    timerHumiture->start(3000);
    lockRecordButtons();
}

void Widget::PushButtonSetupRecordSlot()
{
    UartData.RecordMode = ui->radioButtonRealmonitoring->isChecked()
        ? static_cast<quint8>(logger::MonitorOnly)
        : static_cast<quint8>(ui->recmodecomboBox->currentIndex() + 1);
    const qint64 now = currentDateTime().toSecsSinceEpoch();
    // The editor's own moment, not its text: in the hour that repeats when the
    // clocks go back, the text names two moments.
    QDateTime start = ui->dateTimeEditstarttime->dateTime();
    // Only "Timing Start" shows the editor; in the other modes a start time
    // that has passed is one the technician can neither see nor mend, so it
    // becomes the five minutes ahead that the window starts with.
    if (UartData.RecordMode != logger::RecordFromStartTime && start.toSecsSinceEpoch() <= now) {
        start = QDateTime::fromSecsSinceEpoch(now + 300);
        ui->dateTimeEditstarttime->setDateTime(start);
    }
    UartData.StartTime = QLocale::c().toString(start, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    // Checked in every mode, and against the 32 bits the frame carries them in
    // (to 2106-02-07 06:28:15 UTC): the module takes the start time whatever it records.
    const qint64 startSeconds = start.toSecsSinceEpoch();
    if (startSeconds <= now || startSeconds > 0xFFFFFFFFLL) {
        showError(tr("Time setting error!"));
        return;
    }
    const int seconds = logger::sampleSecondsForIndex(ui->sample_ratecomboBox->currentIndex());
    UartData.SampleRate = seconds > 0 ? seconds : logger::sampleSecondsForIndex(0);
    qCDebug(lcTrace) << UartData.StartTime << UartData.RecordMode;
    if (!SendRecordSetup(static_cast<quint32>(startSeconds)))
        return;
    timerHumiture->start(3000);
    lockRecordButtons();
}

void Widget::lockRecordButtons()
{
    // Unlocked after 2000 ms whatever the replies: a lost reply must not
    // leave the group unusable.
    ui->pushButtonReadRecord->setEnabled(false);
    ui->pushButtonSetup->setEnabled(false);
    timerDelay->start(2000);
}

void Widget::TimerDelaySlot()
{
    timerDelay->stop();
    ui->pushButtonSetup->setEnabled(true);
    ui->pushButtonReadRecord->setEnabled(true);
}

void Widget::timerSettingResponseSlot()
{
    timerSettingResponse->stop();
    if (UartData.SettingAck != 0)
        QMessageBox::information(this, tr("Succeed"), tr("Setting succeed!"));
    else
        QMessageBox::information(this, tr("Failed"), tr("Setting failed, please try again!"));
}
