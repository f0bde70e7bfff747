// The logger's replies: identity, recording settings, and the long frame
// that is only waited for.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "protocol/logger.h"

#include "app/trace.h"

bool Widget::DecodeLoggerFrame(const QByteArray &buffer)
{
    if (!logger::isFrame(buffer))
        return false;
    // Its payload may hold 22 7D; only the closing pair at its very end counts.
    if (logger::isIncompleteLongFrame(buffer))
        return true;
    // Once the buffer is exactly one whole frame it is emptied, so that the
    // next reply finds it so; anything else waits for more bytes or silence.
    const bool whole = logger::isWholeFrame(buffer);
    if (whole)
        UartData.RxBuffer.clear();
    // Only the answer to the logger request on the line is taken.
    if (!line->onLine() || !logger::answers(line->onLine()->frame, buffer))
        return true;

    switch (logger::command(buffer)) {
    case logger::InfoReply: {
        UartData.SerialNumber.clear();
        const logger::Info info = logger::parseInfo(buffer);
        UartData.LoggerModel = info.model;
        qCDebug(lcTrace) << "UartData.LoggerModel" << UartData.LoggerModel;
        UartData.SerialNumber = info.serial;
        ui->lineEditSN->setText(UartData.SerialNumber);
        break;
    }
    case logger::SettingsReply: {
        const logger::Settings settings = logger::parseSettings(buffer);
        UartData.RecordMode = settings.recordMode;
        UartData.SampleRate = settings.sampleSeconds;
        ShowRecordSettings();
        UartData.SettingAck = 1;
        break;
    }
    default:
        break;
    }
    UartData.ReplyReceived = 1;
    // A frame its length byte says is longer may have 22 7D inside and its
    // rest still coming: the request's watchdog ends that wait.
    if (whole)
        line->answered(false);
    return true;
}

void Widget::ShowRecordSettings()
{
    switch (UartData.RecordMode) {
    case logger::RecordAfterSetup:
        ui->radioButtonRecord->setChecked(true);
        ui->radioButtonRealmonitoring->setChecked(false);
        ui->recmodecomboBox->setCurrentIndex(0);
        ui->dateTimeEditstarttime->setEnabled(false);
        break;
    case logger::RecordFromStartTime:
        ui->radioButtonRecord->setChecked(true);
        ui->radioButtonRealmonitoring->setChecked(false);
        ui->recmodecomboBox->setCurrentIndex(1);
        ui->dateTimeEditstarttime->setEnabled(true);
        break;
    case logger::MonitorOnly:
        ui->radioButtonRealmonitoring->setChecked(true);
        ui->dateTimeEditstarttime->setEnabled(false);
        break;
    default:
        // The exclusive group refuses to uncheck its checked button, so the
        // work mode shown stays what it was.
        ui->radioButtonRecord->setChecked(false);
        ui->radioButtonRealmonitoring->setChecked(false);
        ui->dateTimeEditstarttime->setEnabled(false);
        break;
    }
    RecModeSelect();
    const int index = logger::indexForSampleSeconds(UartData.SampleRate);
    if (index >= 0)
        ui->sample_ratecomboBox->setCurrentIndex(index);
}
