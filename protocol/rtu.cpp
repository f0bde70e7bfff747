#include "protocol/rtu.h"

namespace rtu {

quint16 crc16(const char *data, int length)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray buildRequest(quint8 address, quint8 function, quint16 reg, quint16 countOrValue)
{
    QByteArray frame(RequestSize, '\0');
    frame[0] = static_cast<char>(address);
    frame[1] = static_cast<char>(function);
    frame[2] = static_cast<char>(reg >> 8);
    frame[3] = static_cast<char>(reg & 0xFF);
    frame[4] = static_cast<char>(countOrValue >> 8);
    frame[5] = static_cast<char>(countOrValue & 0xFF);
    const quint16 crc = crc16(frame.constData(), 6);
    frame[6] = static_cast<char>(crc & 0xFF);
    frame[7] = static_cast<char>(crc >> 8);
    return frame;
}

int replyDataLength(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return 0;
    switch (static_cast<quint8>(buffer[1])) {
    case ReadRegisters:
        return buffer.size() > 2 ? static_cast<quint8>(buffer[2]) : 0;
    case WriteRegister:
        return 3;
    default:
        return 0;
    }
}

namespace {
constexpr qint32 kRates[] = {1200, 2400, 4800, 9600, 19200, 115200};
}

qint32 baudRateForCode(int code)
{
    return code >= 1 && code <= 6 ? kRates[code - 1] : 0;
}

} // namespace rtu
