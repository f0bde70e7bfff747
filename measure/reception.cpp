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

quint16 registerAt(const QByteArray &reply, int offset)
{
    return static_cast<quint16>(static_cast<quint8>(reply[offset]) << 8
                                | static_cast<quint8>(reply[offset + 1]));
}

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
    // The logger's brace-framed replies share the line and are never echoed.
    // Once the buffer is exactly one whole frame it is emptied, so that the
    // next reply finds it so; anything else waits for more bytes or silence.
    if (DecodeLoggerFrame(buffer)) {
        if (logger::isWholeFrame(buffer))
            UartData.RxBuffer.clear();
        return;
    }
    decodeRtuReply(buffer);
}

void Widget::decodeRtuReply(const QByteArray &buffer)
{
    const int n = rtu::replyDataLength(buffer);
    // Incomplete, or more than one frame: wait for the rest, or for silence.
    if (buffer.size() != n + 5 || buffer.size() > rtu::MaxReplySize)
        return;
    const quint16 received = registerAt(buffer, n + 3);
    if (CalcCRC16(reinterpret_cast<const quint8 *>(buffer.constData()), static_cast<quint16>(n + 3))
        != received)
        return;

    const quint8 function = static_cast<quint8>(buffer[1]);
    // A refusal is a well-formed frame, worth seeing in the log, but its
    // bytes are no reading and no acknowledgement.
    if (!rtu::isException(function)) {
        switch (readItem) {
        case 0:
            if (n == 10) {
                UartData.Temperature = static_cast<qint16>(registerAt(buffer, 3));
                UartData.Humidity = registerAt(buffer, 5);
                UartData.DewTemp = static_cast<qint16>(registerAt(buffer, 7));
                UartData.WetBulbTemp = static_cast<qint16>(registerAt(buffer, 9));
                UartData.ReplyReceived = 1;
                DisplayHumiture(0);
            } else if (n == 2) {
                UartData.Temperature = static_cast<qint16>(registerAt(buffer, 3));
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
                const quint16 value = registerAt(buffer, 3);
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
}
