// Taking the main window's RTU replies apart: the line hands each over whole.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "app/trace.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

#include <QTimer>


void Widget::my_readuart()
{
    line->takeWaiting();
}

void Widget::TimerClearSlot()
{
    timerClear->stop();
    UartData.RxBuffer.clear();
}

bool Widget::takeLoggerReply(const QByteArray &buffer)
{
    return DecodeLoggerFrame(buffer);
}

void Widget::answered(const QByteArray &reply)
{
    decodeAnswer(reply);
}

void Widget::decodeAnswer(const QByteArray &buffer)
{
    const int n = rtu::replyDataLength(buffer);
    const quint8 function = static_cast<quint8>(buffer[1]);
    // A refusal is a well-formed frame, worth seeing in the log, but its
    // bytes are no reading and no acknowledgement.
    if (!rtu::isException(function)) {
        switch (readItem) {
        case 0:
            if (n == 10) {
                UartData.Temperature = static_cast<qint16>(rtu::registerAt(buffer, 0));
                UartData.Humidity = rtu::registerAt(buffer, 1);
                UartData.DewTemp = static_cast<qint16>(rtu::registerAt(buffer, 2));
                UartData.WetBulbTemp = static_cast<qint16>(rtu::registerAt(buffer, 3));
                UartData.ReplyReceived = 1;
                DisplayHumiture(0);
            } else if (n == 2) {
                UartData.Temperature = static_cast<qint16>(rtu::registerAt(buffer, 0));
                UartData.ReplyReceived = 1;
                DisplayHumiture(1);
            }
            break;
        case 1:
        case 2:
        case 3:
        case 4:
            // One register each: a reply of any other size is not theirs.
            if (n == 2) {
                const quint16 value = rtu::registerAt(buffer, 0);
                if (readItem == 1)
                    UartData.Humidity = value;
                else if (readItem == 2)
                    UartData.DewTemp = static_cast<qint16>(value);
                else if (readItem == 3)
                    UartData.WetBulbTemp = static_cast<qint16>(value);
                // The status register is read for the traffic log only.
                UartData.ReplyReceived = 1;
                DisplayHumiture(static_cast<quint8>(readItem + 1));
            }
            break;
        default:
            break;
        }
        qCDebug(lcTrace) << readItem;

        if (readItem == ReadsAddress) {
            // Only a reply that carries the register has the address at byte 4.
            if (function == rtu::ReadRegisters && n >= 2)
                UartData.Address = static_cast<quint8>(buffer[4]);
            else if (function == rtu::WriteRegister)
                UartData.Address = static_cast<quint8>(buffer[5]);
            UartData.ReplyReceived = 1;
            // Shown once the line has been listened out: another module
            // may answer too.
            if (!line->listensToAll())
                ui->lineEditAddress->setText(QString::number(UartData.Address, 10));
        } else if (n == 3) {
            UartData.ReplyReceived = 1;
        }
    }

    LogFrame(QString::fromLatin1(buffer.toHex()), true);
    const bool refused = rtu::isException(function);
    const LineRequest::Kind kind = line->onLine()->kind;
    if (kind == LineRequest::Poll)
        missedPolls = 0;
    else if (refused)
        UartData.BaudSetPending = 0;
    line->answered(refused, static_cast<quint8>(buffer[2]));
}
