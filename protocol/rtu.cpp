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

namespace {

bool isRead(quint8 function)
{
    return function >= ReadCoils && function <= ReadInputRegisters;
}

// The data bytes of a read's answer: a bit a coil or input, two bytes a register.
int readDataSize(const QByteArray &request)
{
    const int count = static_cast<quint8>(request[4]) << 8 | static_cast<quint8>(request[5]);
    return static_cast<quint8>(request[1]) <= ReadInputs ? (count + 7) / 8 : 2 * count;
}

} // namespace

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

bool answers(const QByteArray &request, const QByteArray &reply)
{
    if (request.size() < 4 || reply.size() < 5)
        return false;
    const quint8 address = static_cast<quint8>(request[0]);
    const quint8 function = static_cast<quint8>(request[1]);
    if (address != 0 && static_cast<quint8>(reply[0]) != address)
        return false;
    const quint8 answered = static_cast<quint8>(reply[1]);
    if (answered == (function | 0x80))
        return reply.size() == 5;
    if (answered != function)
        return false;
    if (isRead(function))
        return request.size() >= 6 && static_cast<quint8>(reply[2]) == readDataSize(request) && reply.size() == readDataSize(request) + 5;
    // A multiple write is answered with its first six bytes, a single one with a copy.
    if (function == WriteCoils || function == WriteRegisters)
        return reply.size() == RequestSize && request.size() >= 6 && reply.mid(2, 4) == request.mid(2, 4);
    return reply.size() == RequestSize;
}

int wholeReplyAt(const QByteArray &buffer, int at)
{
    const int left = buffer.size() - at;
    if (at < 0 || left < 5)
        return 0;
    const quint8 function = static_cast<quint8>(buffer[at + 1]);
    int size = 0;
    if (isRead(function))
        size = static_cast<quint8>(buffer[at + 2]) + 5;
    else if (function == WriteCoil || function == WriteRegister || function == WriteCoils || function == WriteRegisters)
        size = RequestSize;
    else if (isException(function) && (function & 0x7F) != 0)
        size = 5;
    if (size == 0 || size > MaxReplySize || size > left)
        return 0;
    const quint16 received = static_cast<quint16>(static_cast<quint8>(buffer[at + size - 2])
                                                  | static_cast<quint8>(buffer[at + size - 1]) << 8);
    return crc16(buffer.constData() + at, size - 2) == received ? size : 0;
}

int findAnswer(const QByteArray &buffer, const QByteArray &request, int *size)
{
    if (request.size() < 4)
        return -1;
    const quint8 address = static_cast<quint8>(request[0]);
    for (int at = 0; at + 5 <= buffer.size(); ++at) {
        // Cheap tests first: a CRC at every offset of a noisy buffer adds up.
        if (address != 0 && static_cast<quint8>(buffer[at]) != address)
            continue;
        if ((static_cast<quint8>(buffer[at + 1]) & 0x7F) != static_cast<quint8>(request[1]))
            continue;
        const int whole = wholeReplyAt(buffer, at);
        if (whole && answers(request, buffer.mid(at, whole))) {
            *size = whole;
            return at;
        }
    }
    return -1;
}

QByteArray withoutReplies(const QByteArray &buffer)
{
    QByteArray left;
    for (int at = 0; at < buffer.size();) {
        const int whole = wholeReplyAt(buffer, at);
        if (whole) {
            at += whole;
        } else {
            left += buffer[at];
            ++at;
        }
    }
    return left;
}

int answerSize(const QByteArray &request)
{
    if (request.size() < 6 || !isRead(static_cast<quint8>(request[1])))
        return RequestSize;
    return 5 + readDataSize(request);
}

bool beginsAnswer(const QByteArray &bytes, const QByteArray &request)
{
    if (bytes.isEmpty() || request.size() < 4)
        return false;
    const quint8 address = static_cast<quint8>(request[0]);
    if (address != 0 && static_cast<quint8>(bytes[0]) != address)
        return false;
    if (bytes.size() < 2)
        return true;
    const quint8 function = static_cast<quint8>(request[1]);
    const quint8 answered = static_cast<quint8>(bytes[1]);
    if (answered == (function | 0x80))
        return bytes.size() < 5;
    if (answered != function)
        return false;
    if (!isRead(function)) {
        // A single write's answer is a copy of it, a multiple write's its first six bytes.
        const bool copy = function != WriteCoils && function != WriteRegisters;
        return bytes.size() < RequestSize && (copy ? request.mid(2) : request.mid(2, 4)).startsWith(bytes.mid(2, copy ? -1 : 4));
    }
    const int size = answerSize(request);
    return (bytes.size() < 3 || static_cast<quint8>(bytes[2]) == size - 5) && bytes.size() < size;
}

bool isTurnaroundGlitch(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > 2)
        return false;
    for (const char c : bytes) {
        if (c != '\x00' && c != '\xFF')
            return false;
    }
    return true;
}

quint16 registerAt(const QByteArray &reply, int k)
{
    return static_cast<quint16>(static_cast<quint8>(reply[3 + 2 * k]) << 8 | static_cast<quint8>(reply[4 + 2 * k]));
}

namespace {
constexpr qint32 kRates[] = {1200, 2400, 4800, 9600, 19200, 115200};
}

qint32 baudRateForCode(int code)
{
    return code >= 1 && code <= 6 ? kRates[code - 1] : 0;
}


qint64 wireUs(int bytes, qint32 baudRate)
{
    return baudRate > 0 ? (qint64(bytes) * 10 * 1000000 + baudRate - 1) / baudRate : 0;
}

qint64 firstByteUs(qint32 baudRate, int answerMs)
{
    // In bits: the request, the gap, the reply's first character. Then one
    // character more (2 ms at least) for the adapter to hand that byte over and
    // the event loop to see it: without it a module answering just within
    // the time would be missed as often as not.
    constexpr qint64 bits = rtu::RequestSize * 10 + 35 + 10;
    const qint64 handOver = qMax<qint64>(2000, wireUs(1, baudRate));
    return (baudRate > 0 ? (bits * 1000000 + baudRate - 1) / baudRate : 0) + handOver + answerMs * 1000LL;
}

int defaultAnswerMs(int measuredMs)
{
    return qBound(20, 2 * measuredMs, 1000);
}

qint64 silenceUs(qint32 baudRate, int answerMs)
{
    return answerMs * 1000LL + wireUs(7, baudRate) / 2;
}

qint64 gapUs(qint32 baudRate)
{
    if (baudRate > 19200)
        return 1750;
    return baudRate > 0 ? (35 * qint64(1000000) + baudRate - 1) / baudRate : 0;
}

} // namespace rtu
