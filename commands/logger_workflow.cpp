// The logger's serial number and recording setup, as the technician drives them.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/clock.h"
#include "app/trace.h"
#include "app/uartdata.h"
#include "protocol/logger.h"

#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTimer>

bool Widget::sendLoggerRequest(LineRequest::Kind kind, const QByteArray &frame)
{
    if (!portReady())
        return false;
    LineRequest request;
    request.kind = kind;
    request.frame = frame;
    line->submit(request);
    return true;
}

bool Widget::SendSerialNumber()
{
    return sendLoggerRequest(LineRequest::SerialWrite,
                             logger::serialNumberWrite(UartData.SerialNumber, UartData.SerialPrefix));
}

bool Widget::SendRecordSetup(quint32 start)
{
    const quint32 now = static_cast<quint32>(currentDateTime().toSecsSinceEpoch());
    qCDebug(lcTrace) << "timesec" << now << "starttime" << start;
    return sendLoggerRequest(LineRequest::Setup, logger::setupFrame(now, UartData.RecordMode,
                                                                   static_cast<quint16>(UartData.SampleRate), start));
}

void Widget::PushButtonReadSNSlot()
{
    sendLoggerRequest(LineRequest::InfoRead, logger::infoRequest());
}

void Widget::PushButtonAUTOSetupSlot()
{
    // Machine digits whatever the desktop's language: a locale with digits of
    // its own would otherwise give pairs that are no decimal numbers.
    UartData.SerialNumber = QLocale::c().toString(currentDateTime(), QStringLiteral("yyMMddhhmmss"));
    SendSerialNumber();
}

void Widget::PushButtonMANUSetupSlot()
{
    // Six decimal pairs, as AUTO Setup makes them. Anything else (what Read
    // shows, in hexadecimal, or a short number) would be written as bytes the
    // technician never meant, and the logger's identity lost without a word.
    static const QRegularExpression twelveDigits(QStringLiteral("^[0-9]{12}$"));
    const QString text = ui->lineEditSN->text();
    if (!twelveDigits.match(text).hasMatch()) {
        showError(tr("The serial number is twelve digits, 0 to 9!"));
        return;
    }
    UartData.SerialNumber = text;
    SendSerialNumber();
}

void Widget::PushButtonReadRecordSlot()
{
    if (sendLoggerRequest(LineRequest::SettingsRead, logger::settingsRequest()))
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
    const qint64 startSeconds = logger::setupStart(UartData.RecordMode, start.toSecsSinceEpoch(), now);
    if (startSeconds > 0 && startSeconds != start.toSecsSinceEpoch()) {
        start = QDateTime::fromSecsSinceEpoch(startSeconds);
        ui->dateTimeEditstarttime->setDateTime(start); // refreshed: shown as sent
    }
    UartData.StartTime = QLocale::c().toString(start, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (startSeconds < 0) {
        showError(tr("Time setting error!"));
        return;
    }
    const int seconds = logger::sampleSecondsForIndex(ui->sample_ratecomboBox->currentIndex());
    UartData.SampleRate = seconds > 0 ? seconds : logger::sampleSecondsForIndex(0);
    qCDebug(lcTrace) << UartData.StartTime << UartData.RecordMode;
    if (SendRecordSetup(static_cast<quint32>(startSeconds)))
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
    // A setup left unanswered has had its second: the line goes on first.
    if (line->onLine() && line->onLine()->kind == LineRequest::Setup)
        line->finish();
    if (UartData.SettingAck != 0)
        QMessageBox::information(this, tr("Succeed"), tr("Setting succeed!"));
    else
        QMessageBox::information(this, tr("Failed"), tr("Setting failed, please try again!"));
}
