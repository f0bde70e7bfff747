#ifndef HYGROVANE_LOGGER_H
#define HYGROVANE_LOGGER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The module's logger framing: 7B 22, command, length n, n payload bytes,
// checksum (sum of command, length and payload, mod 256), 22 7D. Nothing is
// escaped, so 22 7D can stand inside a frame.
namespace logger {

enum Command : quint8 {
    InfoRequest = 0x0A,
    InfoReply = 0x0C,
    SettingsRequest = 0x1A,
    SettingsReply = 0x1C,
    LongFrame = 0x2C,
    Setup = 0x4A,
    SerialNumberWrite = 0xAA,
};

// Record modes carried in bits 5 and 6 of the setup's mode byte.
enum RecordMode : quint8 {
    RecordAfterSetup = 1,
    RecordFromStartTime = 2,
    MonitorOnly = 3,
};

constexpr int LongFrameSize = 135;

QByteArray infoRequest();
QByteArray settingsRequest();

// Twelve characters read as six decimal pairs, one byte each ("26" -> 0x1A);
// a pair that is missing or no number is sent as 0x00.
QByteArray serialNumberWrite(const QString &serialNumber, quint8 prefix);

// now and start: seconds since 1970-01-01 UTC. The start is sent in every mode.
QByteArray setupFrame(quint32 now, quint8 recordMode, quint16 sampleSeconds, quint32 start);

// Begins with 7B 22 and ends with 22 7D (the three bytes 7B 22 7D qualify).
bool isFrame(const QByteArray &buffer);
// A long frame whose closing pair has not reached offsets 133 and 134 yet.
bool isIncompleteLongFrame(const QByteArray &buffer);
// Exactly one frame: as long as its length byte says, or the whole long frame.
bool isWholeFrame(const QByteArray &buffer);
// Command byte of a frame, 0 when the buffer is too short to carry one.
quint8 command(const QByteArray &buffer);

// Whether a received frame answers this request: the information reply the
// information request, the settings reply the settings request and the
// setup, and any other frame the serial-number write, whose acknowledgement
// carries neither. As on the receiving side in general, the length and the
// checksum of the reply are not held against it.
bool answers(const QByteArray &request, const QByteArray &reply);

struct Info
{
    qint32 model = 0;   // four ASCII digits at offsets 6 to 9; 0 when not a number
    QString serial;     // bytes 12 to 17 as lowercase hex, two digits per byte present
};
Info parseInfo(const QByteArray &reply);

struct Settings
{
    quint8 recordMode = 0;  // bits 5 and 6 of byte 10
    qint32 sampleSeconds = 0; // bytes 17 and 18, high byte first
};
// Bytes beyond the end of the reply count as 0.
Settings parseSettings(const QByteArray &reply);

// The start time a setup sends, in seconds since the epoch. In the modes that
// do not show it (after setup, monitoring only) a start that has passed is
// one nobody can mend, so it becomes five minutes from now; -1 when it is not
// later than now or past the 32 bits the frame carries it in (2106-02-07
// 06:28:15 UTC), in any mode, since the module takes it whatever it records.
qint64 setupStart(quint8 recordMode, qint64 start, qint64 now);

// The sixteen sampling intervals of the window's list, "1S" to "24h".
// "24h" is 45000 s, not 86400: the module expects that value.
int sampleSecondsForIndex(int index); // -1 outside 0..15
int indexForSampleSeconds(int seconds); // -1 for any other value

} // namespace logger

#endif
