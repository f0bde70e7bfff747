#ifndef HYGROVANE_SHARE_MODBUS_H
#define HYGROVANE_SHARE_MODBUS_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QHostAddress;

// The line shared with the plant's other masters (a SCADA, a PLC, a laptop)
// over TCP: what they send, what becomes of it and what they get back, as
// pure functions over bytes. A request is a unit id and a Modbus PDU, come
// in an MBAP header (Modbus TCP) or in an RTU frame with its CRC.
namespace share {

enum class Framing { Mbap, Rtu };

// The exception codes the gateway answers with itself.
enum Exception : quint8 {
    IllegalFunction = 0x01,
    IllegalValue = 0x03,
    DeviceFailure = 0x04,
    Busy = 0x06,
    NoResponse = 0x0B, // the gateway's target failed to respond
};

struct Request
{
    quint16 transaction = 0; // MBAP's; 0 over RTU
    quint8 unit = 0;         // the module's address
    QByteArray pdu;          // the function code, then its data
};

// What the front of a client's bytes holds.
struct Taken
{
    enum Kind {
        NeedMore, // the frame is not all there yet
        Frame,    // `request`, in the first `size` bytes
        Dropped,  // `size` bytes of an RTU frame whose CRC is wrong, dropped as a module drops it
        Bad,      // no frame can begin here: the client's stream is beyond repair
    };
    Kind kind = NeedMore;
    int size = 0;
    Request request;
};

// MBAP: bad for a protocol id other than 0, or a length under 2 or over 254,
// told as soon as the header's bytes are there.
Taken takeMbap(const QByteArray &bytes);
// RTU over TCP, where nothing but the length a function code gives tells
// where a frame ends: bad for a function of no known length (junk).
Taken takeRtu(const QByteArray &bytes);
inline Taken take(Framing framing, const QByteArray &bytes) { return framing == Framing::Mbap ? takeMbap(bytes) : takeRtu(bytes); }

QByteArray mbapFrame(quint16 transaction, quint8 unit, const QByteArray &pdu);
QByteArray rtuFrame(quint8 unit, const QByteArray &pdu);
QByteArray exceptionPdu(quint8 function, quint8 code);
inline bool isException(const QByteArray &pdu) { return !pdu.isEmpty() && (quint8(pdu[0]) & 0x80); }

// What becomes of a request, whoever asks.
struct Verdict
{
    enum Kind {
        Forward,       // onto the line, as an RTU request to the unit
        ChangeAddress, // the module moved to `newAddress` as the bus window moves one
        Refuse,        // answered with `exception`, nothing on the line
    };
    Kind kind = Refuse;
    quint8 exception = 0;
    bool write = false; // it would change something in the module
    quint8 newAddress = 0;
};
// Reads of registers (03, 04) go on; writes (05, 06, 15, 16) only when
// allowed, never to the baud-rate register, which would take the module off
// the line the gateway watches; everything else is refused. Unit 0 would
// reach every module and units 248-255 none: neither goes on the line.
Verdict judge(const Request &request, bool allowWrites);

// The answer to a read from the watch's last poll of the module (its RTU
// request and reply, `ageMs` old): registers within those it read, younger
// than `cacheMs`. Empty when the read must go to the line.
QByteArray fromMemory(const QByteArray &pdu, const QByteArray &poll, const QByteArray &reply, qint64 ageMs, int cacheMs);

// "[HOST:]PORT": a bare port on 127.0.0.1; HOST an IPv4 or IPv6 address
// ([::1]:1502) or localhost. False, with what is wrong, otherwise.
bool parseEndpoint(const QString &text, QHostAddress *host, quint16 *port, QString *error);

} // namespace share

#endif
