// The two framings on the line, as far as both the modules (which build
// replies) and the line (which cuts requests out of the byte stream and
// spoils replies) need to know them. Private to the simulator.
#pragma once

#include "module.h"

#include <QByteArray>

namespace modsim::frames {

constexpr int RequestSize = 8;
constexpr quint8 LoggerStart0 = 0x7B;
constexpr quint8 LoggerStart1 = 0x22;
constexpr quint8 LoggerEnd0 = 0x22;
constexpr quint8 LoggerEnd1 = 0x7D;
// 7B 22, command, length, payload, checksum, 22 7D
constexpr int LoggerOverhead = 7;

inline bool looksLikeLoggerFrame(const QByteArray &frame)
{
    return frame.size() >= LoggerOverhead && quint8(frame.at(0)) == LoggerStart0
           && quint8(frame.at(1)) == LoggerStart1;
}

// Where a reply carries its check: a logger frame's checksum sits before the
// 22 7D trailer, an RTU frame's CRC ends it.
inline int checkByteAt(const QByteArray &frame)
{
    return looksLikeLoggerFrame(frame) ? frame.size() - 3 : frame.size() - 1;
}

// Whether a client would take the bytes for a whole frame.
inline bool checkHolds(const QByteArray &frame)
{
    const auto *b = reinterpret_cast<const quint8 *>(frame.constData());
    const int size = frame.size();
    if (looksLikeLoggerFrame(frame) && b[3] + LoggerOverhead == size) {
        quint8 sum = 0;
        for (int i = 2; i < size - 3; ++i)
            sum = quint8(sum + b[i]);
        if (b[size - 3] == sum && b[size - 2] == LoggerEnd0 && b[size - 1] == LoggerEnd1)
            return true;
    }
    return size >= 4 && crc16(frame.constData(), size - 2) == quint16(b[size - 2] | (b[size - 1] << 8));
}

} // namespace modsim::frames
