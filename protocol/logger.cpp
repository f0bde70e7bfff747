#include "protocol/logger.h"

namespace logger {

namespace {

constexpr int kIntervals[16] = {1,   2,    5,    10,   20,    30,    60,    120,
                                300, 600,  1800, 3600, 7200,  21600, 43200, 45000};

quint8 byteAt(const QByteArray &bytes, int offset)
{
    return offset < bytes.size() ? static_cast<quint8>(bytes[offset]) : 0;
}

void appendBigEndian32(QByteArray &frame, quint32 value)
{
    frame.append(static_cast<char>(value >> 24));
    frame.append(static_cast<char>(value >> 16));
    frame.append(static_cast<char>(value >> 8));
    frame.append(static_cast<char>(value));
}

// Closes a frame that holds 7B 22, command, length and payload so far.
QByteArray closeFrame(QByteArray frame)
{
    quint8 sum = 0;
    for (int i = 2; i < frame.size(); ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(frame[i]));
    frame.append(static_cast<char>(sum));
    frame.append('\x22');
    frame.append('\x7D');
    return frame;
}

QByteArray request(quint8 command)
{
    return closeFrame(QByteArray("\x7B\x22", 2) + static_cast<char>(command) + '\0');
}

} // namespace

QByteArray infoRequest()
{
    return request(InfoRequest);
}

QByteArray settingsRequest()
{
    return request(SettingsRequest);
}

QByteArray serialNumberWrite(const QString &serialNumber, quint8 prefix)
{
    QByteArray frame("\x7B\x22", 2);
    frame.append(static_cast<char>(SerialNumberWrite));
    frame.append('\x07');
    frame.append(static_cast<char>(prefix));
    for (int k = 0; k < 6; ++k) {
        bool ok = false;
        const int pair = serialNumber.mid(2 * k, 2).toInt(&ok, 10);
        frame.append(static_cast<char>(ok ? (pair & 0xFF) : 0));
    }
    return closeFrame(frame);
}

QByteArray setupFrame(quint32 now, quint8 recordMode, quint16 sampleSeconds, quint32 start)
{
    QByteArray frame("\x7B\x22", 2);
    frame.append(static_cast<char>(Setup));
    frame.append('\x1D');
    appendBigEndian32(frame, now);
    frame.append(2, '\0');
    frame.append(static_cast<char>(recordMode << 5));
    frame.append(4, '\0');
    frame.append("\xFF\xFF", 2);
    frame.append(static_cast<char>(sampleSeconds >> 8));
    frame.append(static_cast<char>(sampleSeconds & 0xFF));
    frame.append("\x03\x20\x01\x40\x03\x20\x01\x40", 8);
    appendBigEndian32(frame, start);
    frame.append(2, '\0');
    return closeFrame(frame);
}

bool isFrame(const QByteArray &buffer)
{
    return buffer.startsWith(QByteArray("\x7B\x22", 2)) && buffer.endsWith(QByteArray("\x22\x7D", 2));
}

bool isIncompleteLongFrame(const QByteArray &buffer)
{
    return command(buffer) == LongFrame
        && !(buffer.size() >= LongFrameSize && byteAt(buffer, 133) == 0x22 && byteAt(buffer, 134) == 0x7D);
}

bool isWholeFrame(const QByteArray &buffer)
{
    if (!isFrame(buffer) || buffer.size() < 4)
        return false;
    if (command(buffer) == LongFrame)
        return !isIncompleteLongFrame(buffer) && buffer.size() == LongFrameSize;
    return buffer.size() == byteAt(buffer, 3) + 7;
}

quint8 command(const QByteArray &buffer)
{
    return byteAt(buffer, 2);
}

bool answers(const QByteArray &request, const QByteArray &reply)
{
    if (!isFrame(request) || !isFrame(reply) || isIncompleteLongFrame(reply))
        return false;
    switch (command(request)) {
    case InfoRequest:
        return command(reply) == InfoReply;
    case SettingsRequest:
    case Setup:
        return command(reply) == SettingsReply;
    case SerialNumberWrite:
        return command(reply) != InfoReply && command(reply) != SettingsReply;
    default:
        return false;
    }
}

Info parseInfo(const QByteArray &reply)
{
    Info info;
    bool ok = false;
    const int model = QString::fromLatin1(reply.mid(6, 4)).toInt(&ok, 10);
    info.model = ok ? model : 0;
    for (int i = 12; i < 18 && i < reply.size(); ++i)
        info.serial += QStringLiteral("%1").arg(static_cast<quint8>(reply[i]), 2, 16, QLatin1Char('0'));
    return info;
}

Settings parseSettings(const QByteArray &reply)
{
    Settings settings;
    settings.recordMode = static_cast<quint8>((byteAt(reply, 10) >> 5) & 3);
    settings.sampleSeconds = byteAt(reply, 17) * 256 + byteAt(reply, 18);
    return settings;
}

qint64 setupStart(quint8 recordMode, qint64 start, qint64 now)
{
    if (recordMode != RecordFromStartTime && start <= now)
        start = now + 300;
    return start > now && start <= 0xFFFFFFFFLL ? start : -1;
}

int sampleSecondsForIndex(int index)
{
    return index >= 0 && index < 16 ? kIntervals[index] : -1;
}

int indexForSampleSeconds(int seconds)
{
    for (int i = 0; i < 16; ++i) {
        if (kIntervals[i] == seconds)
            return i;
    }
    return -1;
}

} // namespace logger
