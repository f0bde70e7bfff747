// Collecting the bytes the module sends and taking RTU replies apart.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "app/trace.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

#include <QSerialPort>
#include <QTimer>

namespace {

// Past this the buffer cannot be a reply being completed: only a line that
// never falls silent grows it, and examining it on every chunk would cost more
// and more. It is dropped as noise.
constexpr int kRxBufferLimit = 4096;

} // namespace

void Widget::my_readuart()
{
    receiveChunk(serialPort->readAll());
}

void Widget::TimerClearSlot()
{
    timerClear->stop();
    UartData.RxBuffer.clear();
}

void Widget::receiveChunk(const QByteArray &chunk)
{
    // Frames are delimited by silence only: whatever has not become a frame
    // 500 ms after the last byte is dropped.
    timerClear->start(500);
    UartData.RxBuffer.append(chunk);
    if (UartData.RxBuffer.size() > kRxBufferLimit) {
        UartData.RxBuffer.clear();
        return;
    }
    const QByteArray buffer = UartData.RxBuffer;
    qCDebug(lcTrace) << buffer.toHex();
    if (outstanding && outstanding->kind == LineRequest::Foreign) {
        receiveForExchange(chunk, buffer);
        return;
    }
    // The logger's brace-framed replies share the line and are never echoed.
    if (DecodeLoggerFrame(buffer))
        return;
    decodeRtuReply(buffer);
}

bool Widget::isWholeRtuReply(const QByteArray &buffer)
{
    const int n = rtu::replyDataLength(buffer);
    // Incomplete, or more than one frame: wait for the rest, or for silence.
    if (buffer.size() != n + 5 || buffer.size() > rtu::MaxReplySize)
        return false;
    const quint16 received = static_cast<quint16>(static_cast<quint8>(buffer[n + 3]) << 8 | static_cast<quint8>(buffer[n + 4]));
    return CalcCRC16(reinterpret_cast<const quint8 *>(buffer.constData()), static_cast<quint16>(n + 3)) == received;
}

void Widget::decodeRtuReply(const QByteArray &buffer)
{
    if (!isWholeRtuReply(buffer))
        return;
    // A whole frame that answers nothing on the line (a late reply, another
    // module's) is dropped at once, so that the answer behind it is found.
    if (!outstanding || !rtu::answers(outstanding->frame, buffer)) {
        qCDebug(lcTrace) << "not an answer" << buffer.toHex();
        UartData.RxBuffer.clear();
        return;
    }

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
            ui->lineEditAddress->setText(QString::number(UartData.Address, 10));
        } else if (n == 3) {
            UartData.ReplyReceived = 1;
        }
    }

    LogFrame(QString::fromLatin1(buffer.toHex()), true);
    UartData.RxBuffer.clear();
    requestAnswered(rtu::isException(function), static_cast<quint8>(buffer[2]));
}
