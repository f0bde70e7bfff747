#ifndef HYGROVANE_UARTDATA_H
#define HYGROVANE_UARTDATA_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The process-wide link state, receive buffer and last readings. Every
// subsystem reads and writes its fields directly, on the GUI thread only.
struct UartDataRecord
{
    QString PortName;
    QByteArray RxBuffer;
    quint8 Address = 0;
    qint32 BaudRate = 0;        // 0: search the rate (AUTO)
    qint32 DataBits = 0;
    qint32 Parity = 0;          // index in the dialog: 0 none, 1 odd, 2 even
    qint32 StopBits = 0;
    qint32 BaudList[6] = {0, 0, 0, 0, 0, 0};
    quint8 BaudIndex = 0;
    quint8 BaudCount = 0;
    qint32 LoggerModel = 0;
    quint8 ReplyReceived = 0;
    quint8 SettingAck = 0;
    quint8 BaudSetPending = 0;
    QString SerialNumber;
    quint8 SerialPrefix = 0;
    qint16 Temperature = 0;     // raw register values, tenths
    quint16 Humidity = 0;
    qint16 DewTemp = 0;
    qint16 WetBulbTemp = 0;
    quint8 RecordMode = 0;
    qint32 SampleRate = 0;      // seconds
    QString StartTime;          // "yyyy-MM-dd hh:mm:ss", local time
};

extern UartDataRecord UartData;

#endif
