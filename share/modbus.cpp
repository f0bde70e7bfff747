#include "share/modbus.h"

#include "protocol/rtu.h"

#include <QCoreApplication>
#include <QHostAddress>

namespace share {

namespace {

// An MBAP header: transaction, protocol, length (of the unit id and the PDU), unit.
constexpr int kMbapHeader = 7;
constexpr int kMaxMbapLength = 254;
// Modbus's longest RTU frame: address, 253 bytes of PDU, CRC.
constexpr int kMaxRtuFrame = 256;

quint16 word(const QByteArray &bytes, int at)
{
    return quint16(quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
}

// How long the RTU request that begins the bytes is, by its function code
// and the byte count some functions carry; 0 while that is not there yet,
// -1 for a function of no known length.
int rtuRequestSize(const QByteArray &bytes)
{
    if (bytes.size() < 2)
        return 0;
    const auto countAt = [&bytes](int at, int around) { return bytes.size() > at ? around + quint8(bytes[at]) : 0; };
    switch (quint8(bytes[1])) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x08:
        return 8;
    case 0x07: case 0x0B: case 0x0C: case 0x11:
        return 4;
    case 0x0F: case 0x10: // address, quantity, byte count, the values
        return countAt(6, 9);
    case 0x14: case 0x15: // file records: a byte count, then the records
        return countAt(2, 5);
    case 0x16:
        return 10;
    case 0x17: // the read's address and quantity, the write's, a byte count, the values
        return countAt(10, 13);
    case 0x18:
        return 6;
    case 0x2B: // device identification: MEI type, read code, object id
        return 7;
    default:
        return -1;
    }
}

Verdict refuse(quint8 code, bool write = false)
{
    Verdict v;
    v.kind = Verdict::Refuse;
    v.exception = code;
    v.write = write;
    return v;
}

} // namespace

Taken takeMbap(const QByteArray &bytes)
{
    Taken t;
    // A header is judged as soon as its fields are in: junk is not waited on.
    if ((bytes.size() >= 4 && word(bytes, 2) != 0)
        || (bytes.size() >= 6 && (word(bytes, 4) < 2 || word(bytes, 4) > kMaxMbapLength))) {
        t.kind = Taken::Bad;
        return t;
    }
    if (bytes.size() < kMbapHeader || bytes.size() < 6 + word(bytes, 4))
        return t;
    t.kind = Taken::Frame;
    t.size = 6 + word(bytes, 4);
    t.request.transaction = word(bytes, 0);
    t.request.unit = quint8(bytes[6]);
    t.request.pdu = bytes.mid(kMbapHeader, t.size - kMbapHeader);
    return t;
}

Taken takeRtu(const QByteArray &bytes)
{
    Taken t;
    const int size = rtuRequestSize(bytes);
    if (size < 0 || size > kMaxRtuFrame) {
        t.kind = Taken::Bad;
        return t;
    }
    if (size == 0 || bytes.size() < size)
        return t;
    t.size = size;
    const quint16 crc = rtu::crc16(bytes.constData(), size - 2);
    if (quint8(bytes[size - 2]) != (crc & 0xFF) || quint8(bytes[size - 1]) != crc >> 8) {
        t.kind = Taken::Dropped;
        return t;
    }
    t.kind = Taken::Frame;
    t.request.unit = quint8(bytes[0]);
    t.request.pdu = bytes.mid(1, size - 3);
    return t;
}

QByteArray mbapFrame(quint16 transaction, quint8 unit, const QByteArray &pdu)
{
    QByteArray frame;
    frame.reserve(kMbapHeader + pdu.size());
    const int length = pdu.size() + 1;
    frame.append(char(transaction >> 8)).append(char(transaction & 0xFF)).append('\0').append('\0');
    frame.append(char(length >> 8)).append(char(length & 0xFF)).append(char(unit));
    return frame + pdu;
}

QByteArray rtuFrame(quint8 unit, const QByteArray &pdu)
{
    QByteArray frame = char(unit) + pdu;
    const quint16 crc = rtu::crc16(frame);
    return frame.append(char(crc & 0xFF)).append(char(crc >> 8));
}

QByteArray exceptionPdu(quint8 function, quint8 code)
{
    return QByteArray(1, char(function | 0x80)) + char(code);
}

Verdict judge(const Request &request, bool allowWrites)
{
    if (request.unit == 0 || request.unit > 247)
        return refuse(NoResponse);
    const QByteArray &pdu = request.pdu;
    if (pdu.isEmpty())
        return refuse(IllegalFunction);
    const quint8 function = quint8(pdu[0]);
    const bool write = function == rtu::WriteCoil || function == rtu::WriteRegister || function == rtu::WriteCoils
        || function == rtu::WriteRegisters;
    // The function first, then the frame's own sense, as a Modbus server checks them.
    if (function != rtu::ReadRegisters && function != rtu::ReadInputRegisters && (!write || !allowWrites))
        return refuse(IllegalFunction, write);
    Verdict forward;
    forward.kind = Verdict::Forward;
    forward.write = write;
    const quint16 at = pdu.size() >= 5 ? word(pdu, 1) : 0;
    const quint16 value = pdu.size() >= 5 ? word(pdu, 3) : 0;
    switch (function) {
    case rtu::ReadRegisters:
    case rtu::ReadInputRegisters:
        return pdu.size() == 5 && value >= 1 && value <= 125 ? forward : refuse(IllegalValue);
    case rtu::WriteCoil:
        return pdu.size() == 5 && (value == 0 || value == 0xFF00) ? forward : refuse(IllegalValue, true);
    case rtu::WriteRegister:
        if (pdu.size() != 5 || at == rtu::BaudRateCode)
            return refuse(IllegalValue, true);
        if (at == rtu::DeviceAddress && value != request.unit) {
            if (value < 1 || value > 247)
                return refuse(IllegalValue, true);
            forward.kind = Verdict::ChangeAddress;
            forward.newAddress = quint8(value);
        }
        return forward;
    default: {
        // 15 and 16: address, quantity, byte count, the values.
        const int count = pdu.size() >= 6 ? quint8(pdu[5]) : -1;
        const bool coils = function == rtu::WriteCoils;
        const bool fits = count >= 0 && pdu.size() == 6 + count && value >= 1 && value <= (coils ? 1968 : 123)
            && count == (coils ? (value + 7) / 8 : 2 * value);
        // The address and the rate go one at a time, through the address change.
        const bool setup = !coils && at <= rtu::BaudRateCode && at + value - 1 >= rtu::DeviceAddress;
        return fits && !setup ? forward : refuse(IllegalValue, true);
    }
    }
}

QByteArray fromMemory(const QByteArray &pdu, const QByteArray &poll, const QByteArray &reply, qint64 ageMs, int cacheMs)
{
    if (cacheMs <= 0 || ageMs >= cacheMs || pdu.size() != 5 || quint8(pdu[0]) != rtu::ReadRegisters || poll.size() != rtu::RequestSize
        || quint8(poll[1]) != rtu::ReadRegisters || !rtu::answers(poll, reply) || rtu::isException(quint8(reply[1])))
        return QByteArray();
    const int from = word(poll, 2);
    const int start = word(pdu, 1);
    const int count = word(pdu, 3);
    if (count < 1 || start < from || start + count > from + word(poll, 4))
        return QByteArray();
    return QByteArray(1, char(rtu::ReadRegisters)) + char(2 * count) + reply.mid(3 + 2 * (start - from), 2 * count);
}

bool parseEndpoint(const QString &text, QHostAddress *host, quint16 *port, QString *error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString name = colon < 0 ? QString() : text.left(colon);
    const QString number = text.mid(colon + 1);
    bool ok = false;
    const uint p = number.toUInt(&ok);
    if (!ok || p < 1 || p > 65535 || number.startsWith(QLatin1Char('+'))) {
        *error = QCoreApplication::translate("share::Listener", "%1 is not [HOST:]PORT with a port from 1 to 65535").arg(text);
        return false;
    }
    *port = quint16(p);
    if (name.isEmpty() && colon < 0) {
        *host = QHostAddress(QHostAddress::LocalHost);
        return true;
    }
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    else if (name.contains(QLatin1Char(':')))
        name.clear(); // an IPv6 address goes in brackets, lest its last group pass for the port
    if (name == QLatin1String("localhost")) {
        *host = QHostAddress(QHostAddress::LocalHost);
        return true;
    }
    if (name.isEmpty() || !host->setAddress(name)) {
        *error = QCoreApplication::translate("share::Listener", "%1: the host is not an IP address (0.0.0.0, 192.0.2.7, [::1]) nor localhost")
                     .arg(text);
        return false;
    }
    return true;
}

} // namespace share
