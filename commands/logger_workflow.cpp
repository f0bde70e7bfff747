// The logger's serial number and recording setup, as the technician drives them.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/clock.h"
#include "app/uartdata.h"
#include "protocol/logger.h"

#include <QDebug>
#include <QMessageBox>
#include <QSerialPort>
#include <QTimer>

namespace {

const QString kStartTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

quint32 unixSeconds(const QDateTime &when)
{
    return static_cast<quint32>(when.toSecsSinceEpoch());
}

} // namespace

void Widget::sendLoggerRequest(const QByteArray &frame, int watchdogMs)
{
    serialPort->write(frame);
    timerResponse->start(watchdogMs);
    UartData.ReplyReceived = 0;
}

void Widget::SendSerialNumber()
{
    sendLoggerRequest(logger::serialNumberWrite(UartData.SerialNumber, UartData.SerialPrefix), 1500);
}

void Widget::SendRecordSetup()
{
    const QDateTime start = QDateTime::fromString(UartData.StartTime, kStartTimeFormat);
    const quint32 now = unixSeconds(currentDateTime());
    qDebug() << start;
    qDebug() << "timesec" << now;
    qDebug() << "starttime" << unixSeconds(start);
    serialPort->write(logger::setupFrame(now, UartData.RecordMode,
                                         static_cast<quint16>(UartData.SampleRate),
                                         unixSeconds(start)));
    timerSettingResponse->start(1000);
    UartData.SettingAck = 0;
}

void Widget::PushButtonReadSNSlot()
{
    sendLoggerRequest(logger::infoRequest(), 500);
    timerHumiture->start(1000);
}

void Widget::PushButtonAUTOSetupSlot()
{
    UartData.SerialNumber = currentDateTime().toString(QStringLiteral("yyMMddhhmmss"));
    SendSerialNumber();
    timerHumiture->start(1000);
}

void Widget::PushButtonMANUSetupSlot()
{
    UartData.SerialNumber = ui->lineEditSN->text();
    SendSerialNumber();
    timerHumiture->start(1000);
}

void Widget::PushButtonReadRecordSlot()
{
    sendLoggerRequest(logger::settingsRequest(), 500);
    timerHumiture->start(3000);
    lockRecordButtons();
}

void Widget::PushButtonSetupRecordSlot()
{
    UartData.RecordMode = ui->radioButtonRealmonitoring->isChecked()
        ? static_cast<quint8>(logger::MonitorOnly)
        : static_cast<quint8>(ui->recmodecomboBox->currentIndex() + 1);
    UartData.StartTime = ui->dateTimeEditstarttime->dateTime().toString(kStartTimeFormat);
    const quint32 now = unixSeconds(currentDateTime());
    const quint32 start = unixSeconds(QDateTime::fromString(UartData.StartTime, kStartTimeFormat));
    // Checked in every mode: the module takes the start time whatever it records.
    if (start <= now) {
        showError(tr("Time setting error!"));
        return;
    }
    const int seconds = logger::sampleSecondsForIndex(ui->sample_ratecomboBox->currentIndex());
    UartData.SampleRate = seconds > 0 ? seconds : logger::sampleSecondsForIndex(0);
    qDebug() << UartData.StartTime;
    qDebug() << UartData.RecordMode;
    SendRecordSetup();
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
