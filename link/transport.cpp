// Writing RTU requests and echoing the traffic into the log pane.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "app/clock.h"
#include "protocol/logframe.h"
#include "protocol/rtu.h"

#include "app/trace.h"

#include <QSerialPort>
#include <QTimer>

quint16 Widget::CalcCRC16(const quint8 *data, quint16 length)
{
    const quint16 crc = rtu::crc16(reinterpret_cast<const char *>(data), length);
    return static_cast<quint16>((crc << 8) | (crc >> 8));
}

bool Widget::portReady()
{
    // Nothing is written, logged or awaited on a port that is not open; the
    // module is not to blame for it. Reading stops, so this is said once.
    if (serialPort->isOpen())
        return true;
    stopReadingWith(tr("The serial port is not open. Press Link first."));
    return false;
}

bool Widget::SendRtuRequest(RtuSend kind, quint16 selector, quint8 address, quint8 function,
                            quint16 reg, quint16 countOrValue)
{
    if (!portReady())
        return false;
    readItem = selector;
    const QByteArray frame = rtu::buildRequest(address, function, reg, countOrValue);
    serialPort->write(frame);
    if (kind != RtuSend::Poll)
        timerResponse->start(500);
    UartData.ReplyReceived = 0;
    if (kind == RtuSend::BaudWrite)
        UartData.BaudSetPending = 1;
    LogFrame(QString::fromLatin1(frame.toHex()), false);
    // While reading is on, the next poll keeps a full second from any command.
    if (kind != RtuSend::Poll)
        timerHumiture->start(1000);
    if (kind == RtuSend::AddressRead)
        qCDebug(lcTrace) << "7777";
    return true;
}

void Widget::LogFrame(const QString &text, bool isRx)
{
    ui->textBrowser->append(trafficLogLine(currentDateTime(), text, isRx));
}
