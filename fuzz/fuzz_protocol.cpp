// The protocol's pure functions over arbitrary bytes: reply lengths, the
// logger parsers and frame tests, the checksums and the frames built from
// arbitrary field values, each held against a reading of the bytes of its own.
#include "harness.h"

#include "protocol/logger.h"
#include "protocol/rtu.h"

namespace {

using fuzz::at;

void checkRtu(const QByteArray &b)
{
    const int n = rtu::replyDataLength(b);
    const int want = b.size() < 2 ? 0 : at(b, 1) == 3 ? at(b, 2) : at(b, 1) == 6 ? 3 : 0;
    FUZZ_CHECK(n == want, "replyDataLength disagrees", b);
    FUZZ_CHECK(rtu::replyLength(b) == n + 5, "replyLength is not n + 5", b);
    FUZZ_CHECK(rtu::isException(at(b, 1)) == ((at(b, 1) & 0x80) != 0), "isException disagrees", b);

    const quint16 crc = fuzz::crc16(b.constData(), b.size());
    FUZZ_CHECK(rtu::crc16(b) == crc, "crc16 disagrees with CRC-16/MODBUS", b);
    if (b.size() <= 0xFFFF) {
        const quint16 swapped = Widget::CalcCRC16(reinterpret_cast<const quint8 *>(b.constData()),
                                                  static_cast<quint16>(b.size()));
        FUZZ_CHECK(swapped == static_cast<quint16>(crc << 8 | crc >> 8),
                   "CalcCRC16 is not the CRC in wire order", b);
    }

    // A request built from any fields carries them and checks to a zero residue.
    const QByteArray request = rtu::buildRequest(at(b, 0), at(b, 1), fuzz::be16(b, 2),
                                                 fuzz::be16(b, 4));
    FUZZ_CHECK(request.size() == rtu::RequestSize, "request is not 8 bytes", b);
    FUZZ_CHECK(request.left(6) == QByteArray(6, '\0').replace(0, qMin(6, b.size()), b.left(6)),
               "request does not carry its fields", b);
    FUZZ_CHECK(fuzz::crc16(request.constData(), request.size()) == 0, "request CRC is wrong", b);

    const int code = static_cast<qint8>(at(b, 0));
    const qint32 rate = rtu::baudRateForCode(code);
    FUZZ_CHECK((code >= 1 && code <= 6) == (rate != 0), "baud-rate code range", b);
    if (rate != 0)
        FUZZ_CHECK(rtu::codeForBaudRate(rate) == code, "baud-rate code does not round-trip", b);
    const qint32 anyRate = static_cast<qint32>(fuzz::be16(b, 1)) * 3;
    const int anyCode = rtu::codeForBaudRate(anyRate);
    FUZZ_CHECK(anyCode == 0 || rtu::baudRateForCode(anyCode) == anyRate,
               "baud rate does not round-trip", b);
}

bool closedFrame(const QByteArray &f, int size, quint8 command)
{
    if (f.size() != size || at(f, 0) != 0x7B || at(f, 1) != 0x22 || at(f, 2) != command
        || at(f, size - 2) != 0x22 || at(f, size - 1) != 0x7D || at(f, 3) != size - 7)
        return false;
    quint8 sum = 0;
    for (int i = 2; i < size - 3; ++i)
        sum = static_cast<quint8>(sum + at(f, i));
    return at(f, size - 3) == sum;
}

void checkLogger(const QByteArray &b)
{
    const int size = b.size();
    const bool frame = size >= 2 && at(b, 0) == 0x7B && at(b, 1) == 0x22 && at(b, size - 2) == 0x22
        && at(b, size - 1) == 0x7D;
    FUZZ_CHECK(logger::isFrame(b) == frame, "isFrame disagrees", b);
    FUZZ_CHECK(logger::command(b) == at(b, 2), "command disagrees", b);
    const bool incomplete = at(b, 2) == 0x2C && !(size >= 135 && at(b, 133) == 0x22 && at(b, 134) == 0x7D);
    FUZZ_CHECK(logger::isIncompleteLongFrame(b) == incomplete, "isIncompleteLongFrame disagrees", b);

    const logger::Info info = logger::parseInfo(b);
    FUZZ_CHECK(info.serial == fuzz::expectedSerial(b), "parseInfo serial disagrees", b);
    FUZZ_CHECK(fuzz::isLowerHexSerial(info.serial), "parseInfo serial is not 12 lowercase hex", b);
    FUZZ_CHECK(info.model >= -999 && info.model <= 9999, "parseInfo model out of four characters", b);
    bool allDigits = size >= 10;
    int model = 0;
    for (int i = 6; i < 10 && allDigits; ++i) {
        allDigits = at(b, i) >= '0' && at(b, i) <= '9';
        model = model * 10 + (at(b, i) - '0');
    }
    if (allDigits)
        FUZZ_CHECK(info.model == model, "parseInfo misreads four digits", b);

    const logger::Settings settings = logger::parseSettings(b);
    FUZZ_CHECK(settings.recordMode == ((at(b, 10) >> 5) & 3), "parseSettings mode disagrees", b);
    FUZZ_CHECK(settings.sampleSeconds == fuzz::be16(b, 17), "parseSettings interval disagrees", b);

    const int index = static_cast<qint8>(at(b, 0));
    const int seconds = logger::sampleSecondsForIndex(index);
    FUZZ_CHECK((index >= 0 && index < 16) == (seconds > 0), "interval index range", b);
    if (seconds > 0)
        FUZZ_CHECK(logger::indexForSampleSeconds(seconds) == index, "interval does not round-trip", b);
    const int anySeconds = fuzz::be16(b, 1);
    const int anyIndex = logger::indexForSampleSeconds(anySeconds);
    FUZZ_CHECK(anyIndex < 0 || logger::sampleSecondsForIndex(anyIndex) == anySeconds,
               "interval seconds do not round-trip", b);

    // Frames built from arbitrary field values keep their shape.
    const QByteArray serial = logger::serialNumberWrite(QString::fromLatin1(b.mid(1, 14)), at(b, 0));
    FUZZ_CHECK(closedFrame(serial, 14, 0xAA) && at(serial, 4) == at(b, 0),
               "serial-number frame malformed", b);
    const quint32 now = static_cast<quint32>(fuzz::be16(b, 0)) << 16 | fuzz::be16(b, 2);
    const quint32 start = static_cast<quint32>(fuzz::be16(b, 4)) << 16 | fuzz::be16(b, 6);
    const quint8 mode = at(b, 8);
    const quint16 interval = fuzz::be16(b, 9);
    const QByteArray setup = logger::setupFrame(now, mode, interval, start);
    FUZZ_CHECK(closedFrame(setup, 36, 0x4A), "setup frame malformed", b);
    FUZZ_CHECK(setup.mid(4, 4) == QByteArray::fromHex(QByteArray::number(now, 16).rightJustified(8, '0'))
                   && at(setup, 10) == static_cast<quint8>(mode << 5) && fuzz::be16(setup, 17) == interval
                   && setup.mid(27, 4) == QByteArray::fromHex(QByteArray::number(start, 16).rightJustified(8, '0')),
               "setup frame does not carry its fields", b);
    FUZZ_CHECK(closedFrame(logger::infoRequest(), 7, 0x0A)
                   && closedFrame(logger::settingsRequest(), 7, 0x1A),
               "request frames malformed", b);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::selfCheck();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray b(reinterpret_cast<const char *>(data), static_cast<int>(size));
    checkRtu(b);
    checkLogger(b);
    return 0;
}
