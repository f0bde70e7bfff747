#ifndef HYGROVANE_RTU_H
#define HYGROVANE_RTU_H

#include <QByteArray>
#include <QtGlobal>

// The module's register protocol: Modbus-RTU framing, 8-byte requests,
// replies whose length follows from their first bytes.
namespace rtu {

enum Function : quint8 {
    ReadCoils = 1,
    ReadInputs = 2,
    ReadRegisters = 3,
    ReadInputRegisters = 4,
    WriteCoil = 5,
    WriteRegister = 6,
    WriteCoils = 15,
    WriteRegisters = 16,
};

enum Register : quint16 {
    Temperature = 0x0000,
    Humidity = 0x0001,
    DewPoint = 0x0002,
    WetBulb = 0x0003,
    Status = 0x0004,
    DeviceAddress = 0x0100,
    BaudRateCode = 0x0101,
};

constexpr int RequestSize = 8;
// Longest reply the receiver takes apart: Modbus's longest frame. A function-3
// reply could announce 255 data bytes (260 in all), but no server sends more
// than 125 registers; nothing this program asks for itself exceeds 15 bytes.
constexpr int MaxReplySize = 256;

// CRC-16/MODBUS: poly 0x8005 reflected (0xA001), init 0xFFFF, refin/refout,
// no final xor; check value 0x4B37 for "123456789". The register is returned
// as computed: its low byte goes on the wire first.
quint16 crc16(const char *data, int length);
inline quint16 crc16(const QByteArray &bytes) { return crc16(bytes.constData(), bytes.size()); }

// address, function, register (big-endian), count or value (big-endian), CRC low, CRC high.
QByteArray buildRequest(quint8 address, quint8 function, quint16 reg, quint16 countOrValue);

// Number of data bytes n a reply carries, from what has arrived so far:
// byte 2 for function 3, 3 for function 6, 0 for any other code. A byte that
// has not arrived counts as 0. The whole frame is n + 5 bytes.
int replyDataLength(const QByteArray &buffer);

// An 8-byte function-5 or -6 request: its answer is a copy of it.
inline bool isWrite(const QByteArray &frame)
{
    return frame.size() == RequestSize && (frame[1] == char(WriteRegister) || frame[1] == char(WriteCoil));
}

// Function code with the high bit set: the module refused the request.
inline bool isException(quint8 function) { return (function & 0x80) != 0; }

// Whether a whole reply (its length and CRC checked) answers this request:
// from its address (any address for a request to address 0), with its
// function or that function's exception, and as long as the request makes
// it: 2 data bytes a register read, one a coil read's 8 coils, the 8-byte
// echo of a write (the first 6 bytes of a multiple write's), 5 bytes for a
// refusal. The module's own requests are 8 bytes; another master's, passed
// on by the gateway, may be longer.
bool answers(const QByteArray &request, const QByteArray &reply);

// Size of the whole reply that begins at `at` in what the line brought: a
// read's reply of up to MaxReplySize bytes (functions 1 to 4), a write's
// 8-byte answer (5, 6, 15, 16) or a refusal, its CRC holding; 0 when none
// begins there or not all of it came.
int wholeReplyAt(const QByteArray &buffer, int at);
// Where in the buffer the first whole reply that answers this request begins,
// -1 when none does; `size` gets its length. Bytes before it (a stray byte of
// a driver turning the line round, another's reply) are no part of it.
int findAnswer(const QByteArray &buffer, const QByteArray &request, int *size);
// The buffer without the whole replies it holds: what is left is bytes that
// make no frame, as two modules answering at once give.
QByteArray withoutReplies(const QByteArray &buffer);
// The size of a whole answer to this request that is no refusal: a read's
// n + 5 bytes, a write's 8.
int answerSize(const QByteArray &request);
// Whether these bytes may be the first of an answer to this request whose
// rest is still to come: its address, function (or refusal) and length so
// far, and fewer bytes than the whole answer.
bool beginsAnswer(const QByteArray &bytes, const QByteArray &request);
// Bytes an idle line gives when a driver turns it round: one or two 00 or FF.
bool isTurnaroundGlitch(const QByteArray &bytes);

// Register k of a function-3 reply, big-endian at offsets 3 + 2k and 4 + 2k.
quint16 registerAt(const QByteArray &reply, int k);

// The rate a baud-rate code written to register 0x0101 stands for
// (1 = 1200 ... 6 = 115200); 0 for an unknown code.
qint32 baudRateForCode(int code);

// The rates a search for a module tries, fastest first.
constexpr qint32 SearchRates[6] = {115200, 19200, 9600, 4800, 2400, 1200};

// Wire time of that many bytes at a rate, 10 bits a byte (8N1), in µs.
qint64 wireUs(int bytes, qint32 baudRate);
// A request's wait for the first byte of a reply: its own wire time, the
// three and a half characters of silence before a reply, the reply's first
// character and the time to hand it over, and then the module's time to answer.
qint64 firstByteUs(qint32 baudRate, int answerMs);
// "Answer within" as the line showed it: the linked module's answer time
// (-1: none measured) at least doubled, never below 20 ms nor above 1000.
int defaultAnswerMs(int measuredMs);
// Once a reply has begun, the line quiet this long means it is over: the
// answer time again, and three and a half characters as Modbus counts a gap.
qint64 silenceUs(qint32 baudRate, int answerMs);
// The silence a master keeps between the end of the last frame on the line
// and its next request: three and a half characters, 1.75 ms above 19200.
qint64 gapUs(qint32 baudRate);

} // namespace rtu

#endif
