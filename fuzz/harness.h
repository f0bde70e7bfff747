// What the reception fuzz targets share: one window built once, the input
// read as a sequence of serial chunks, and an oracle of the program's own
// that judges every chunk the window takes in.
//
// Everything here is a header so that each target stays one translation unit
// plus this file; the targets are separate programs, so the struct
// WidgetAccess below is theirs alone (the test programs have another).
#ifndef HYGROVANE_FUZZ_HARNESS_H
#define HYGROVANE_FUZZ_HARNESS_H

#include "app/uartdata.h"
#include "ui/widget.h"
#include "ui_widget.h"

#include <QApplication>
#include <QByteArray>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QString>
#include <QTextBrowser>
#include <QTimer>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

struct WidgetAccess
{
    static Ui::Widget *ui(Widget *w) { return w->ui; }
    static QTimer *timerClear(Widget *w) { return w->timerClear; }
    static quint16 &readItem(Widget *w) { return w->readItem; }
    // Exactly what my_readuart does with the bytes readAll() returned.
    static void receive(Widget *w, const QByteArray &chunk) { w->receiveChunk(chunk); }
};

namespace fuzz {

// Keep in step with the receiver: the bound on the collected bytes and the
// longest reply it takes apart. Written out here rather than taken from the
// program so that a change there shows up as a finding, not as a new truth.
constexpr int kRxLimit = 4096;
constexpr int kMaxRtuReply = 250;
constexpr int kLongFrameSize = 135;
constexpr int kRepeatLimit = kRxLimit + 512;

[[noreturn]] inline void fail(const char *what, const QByteArray &seen)
{
    std::fprintf(stderr, "\n*** invariant broken: %s\n*** buffer seen (%d bytes): %s\n", what,
                 static_cast<int>(seen.size()), seen.left(300).toHex(' ').constData());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(cond, what, seen)                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::fuzz::fail(what, seen);                                                              \
    } while (0)

// CRC-16/MODBUS of its own (reflected 0xA001, init 0xFFFF), independent of the
// program's function, so that a broken checksum test in the receiver cannot
// hide behind a broken checksum. Table-driven because the generator takes the
// CRC of everything collected so far, up to 4 KiB, for many chunks.
inline quint16 crc16(const char *data, int length)
{
    static const auto table = [] {
        struct { quint16 v[256]; } t{};
        for (int i = 0; i < 256; ++i) {
            quint16 r = static_cast<quint16>(i);
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 1) ? static_cast<quint16>((r >> 1) ^ 0xA001) : static_cast<quint16>(r >> 1);
            t.v[i] = r;
        }
        return t;
    }();
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i)
        crc = static_cast<quint16>((crc >> 8) ^ table.v[(crc ^ static_cast<quint8>(data[i])) & 0xFF]);
    return crc;
}

// The catalogue check value: a CRC of the harness that is wrong would make
// every judgement below wrong with it.
inline void selfCheck()
{
    if (crc16("123456789", 9) != 0x4B37) {
        std::fprintf(stderr, "fuzz harness: CRC-16/MODBUS check value is wrong\n");
        std::abort();
    }
}

inline quint8 at(const QByteArray &b, int i)
{
    return i < b.size() ? static_cast<quint8>(b[i]) : 0;
}

inline quint16 be16(const QByteArray &b, int i)
{
    return static_cast<quint16>(at(b, i) << 8 | at(b, i + 1));
}

// How one collected buffer ought to be read, worked out from the bytes alone.
struct Verdict
{
    bool overflow = false;        // past the bound: dropped whole
    bool logger = false;          // 7B 22 ... 22 7D
    bool longIncomplete = false;  // a 0x2C frame whose closing pair is not at 133..134 yet
    bool rtu = false;             // one whole RTU reply with a good CRC (refusals included)
    bool reading = false;         // ... and not a refusal
    int n = 0;                    // its data length
    quint8 function = 0;
};

inline Verdict judge(const QByteArray &s)
{
    Verdict v;
    const int size = s.size();
    if (size > kRxLimit) {
        v.overflow = true;
        return v;
    }
    v.logger = size >= 2 && at(s, 0) == 0x7B && at(s, 1) == 0x22 && at(s, size - 2) == 0x22
        && at(s, size - 1) == 0x7D;
    if (v.logger) {
        v.longIncomplete = at(s, 2) == 0x2C
            && !(size >= kLongFrameSize && at(s, 133) == 0x22 && at(s, 134) == 0x7D);
        return v;
    }
    if (size < 2)
        return v;
    v.function = at(s, 1);
    v.n = v.function == 3 ? at(s, 2) : v.function == 6 ? 3 : 0;
    if (size != v.n + 5 || size > kMaxRtuReply)
        return v;
    const quint16 wire = static_cast<quint16>(at(s, v.n + 3) | at(s, v.n + 4) << 8);
    v.rtu = crc16(s.constData(), v.n + 3) == wire;
    v.reading = v.rtu && !(v.function & 0x80);
    return v;
}

// The fields of UartData that reception may touch.
struct Snapshot
{
    qint16 temperature, dew, wet;
    quint16 humidity;
    quint8 address, replied, ack, mode;
    qint32 rate, model;
    QString serial;

    static Snapshot take()
    {
        return {UartData.Temperature, UartData.DewTemp,     UartData.WetBulbTemp,
                UartData.Humidity,    UartData.Address,     UartData.ReplyReceived,
                UartData.SettingAck,  UartData.RecordMode,  UartData.SampleRate,
                UartData.LoggerModel, UartData.SerialNumber};
    }
    bool readingsEqual(const Snapshot &o) const
    {
        return temperature == o.temperature && humidity == o.humidity && dew == o.dew
            && wet == o.wet;
    }
    bool loggerEqual(const Snapshot &o) const
    {
        return ack == o.ack && mode == o.mode && rate == o.rate && model == o.model
            && serial == o.serial;
    }
};

inline bool isLowerHexSerial(const QString &s)
{
    if (s.size() > 12 || s.size() % 2 != 0)
        return false;
    for (const QChar c : s) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f')))
            return false;
    }
    return true;
}

inline QString expectedSerial(const QByteArray &s)
{
    static const char digits[] = "0123456789abcdef";
    QString out;
    for (int i = 12; i < 18 && i < s.size(); ++i) {
        out += QLatin1Char(digits[at(s, i) >> 4]);
        out += QLatin1Char(digits[at(s, i) & 15]);
    }
    return out;
}

// Judges one chunk: `before` is UartData as it was, `seen` the buffer the
// receiver examined (what it had collected plus the chunk).
inline void checkChunk(Widget *w, quint16 readItem, const Snapshot &before, const QByteArray &seen)
{
    const Verdict v = judge(seen);
    const Snapshot after = Snapshot::take();
    const QByteArray &rx = UartData.RxBuffer;

    FUZZ_CHECK(rx.size() <= kRxLimit, "RxBuffer grew past 4096 bytes", seen);
    FUZZ_CHECK(WidgetAccess::timerClear(w)->isActive(), "a chunk did not re-arm the silence timer",
               seen);

    // What stays in the buffer.
    if (v.overflow)
        FUZZ_CHECK(rx.isEmpty(), "an over-long buffer was not dropped", seen);
    else if (v.rtu)
        FUZZ_CHECK(rx.isEmpty(), "a decoded RTU reply stayed in the buffer", seen);
    else
        FUZZ_CHECK(rx == seen, "bytes that formed no RTU reply were not kept as received", seen);

    // Readings and the address move only for a whole, checked, accepted reply.
    if (!after.readingsEqual(before))
        FUZZ_CHECK(v.reading, "a reading changed without a valid RTU reply", seen);
    if (after.address != before.address)
        FUZZ_CHECK(v.reading, "the address changed without a valid RTU reply", seen);

    FUZZ_CHECK(after.replied <= 1, "ReplyReceived is neither 0 nor 1", seen);
    FUZZ_CHECK(!(before.replied == 1 && after.replied == 0), "reception cleared ReplyReceived",
               seen);
    if (before.replied == 0 && after.replied == 1)
        FUZZ_CHECK(v.reading || (v.logger && !v.longIncomplete),
                   "ReplyReceived set by something that is neither a reply nor a logger frame",
                   seen);

    // Logger state moves only for a finished logger frame of its command.
    const quint8 command = at(seen, 2);
    if (!v.logger || v.longIncomplete) {
        FUZZ_CHECK(after.loggerEqual(before), "logger state changed without a logger frame", seen);
    } else {
        FUZZ_CHECK(after.replied == 1, "a finished logger frame was not taken as a reply", seen);
        if (command != 0x0C)
            FUZZ_CHECK(after.serial == before.serial && after.model == before.model,
                       "identity changed by a frame that is no information reply", seen);
        if (command != 0x1C)
            FUZZ_CHECK(after.ack == before.ack && after.mode == before.mode
                           && after.rate == before.rate,
                       "settings changed by a frame that is no settings reply", seen);
        if (command == 0x0C)
            FUZZ_CHECK(after.serial == expectedSerial(seen),
                       "serial number is not bytes 12..17 in lowercase hex", seen);
        if (command == 0x1C) {
            FUZZ_CHECK(after.mode == ((at(seen, 10) >> 5) & 3) && after.rate == be16(seen, 17)
                           && after.ack == 1,
                       "settings reply read wrongly", seen);
        }
    }
    FUZZ_CHECK(after.mode <= 3, "RecordMode above 3", seen);
    FUZZ_CHECK(after.rate >= 0 && after.rate <= 0xFFFF, "SampleRate outside 16 bits", seen);
    FUZZ_CHECK(after.model >= -999 && after.model <= 9999, "LoggerModel is not four characters",
               seen);
    FUZZ_CHECK(isLowerHexSerial(after.serial), "serial number is not <= 12 lowercase hex digits",
               seen);

    // An accepted reply is read the way the tables of tst_measure show.
    if (v.reading) {
        const int n = v.n;
        Snapshot want = before;
        bool replied = n == 3;
        switch (readItem) {
        case 0:
            if (n == 10) {
                want.temperature = static_cast<qint16>(be16(seen, 3));
                want.humidity = be16(seen, 5);
                want.dew = static_cast<qint16>(be16(seen, 7));
                want.wet = static_cast<qint16>(be16(seen, 9));
                replied = true;
            } else if (n == 2) {
                want.temperature = static_cast<qint16>(be16(seen, 3));
                replied = true;
            }
            break;
        case 1:
            if (n == 2) {
                want.humidity = be16(seen, 3);
                replied = true;
            }
            break;
        case 2:
            if (n == 2) {
                want.dew = static_cast<qint16>(be16(seen, 3));
                replied = true;
            }
            break;
        case 3:
            if (n == 2) {
                want.wet = static_cast<qint16>(be16(seen, 3));
                replied = true;
            }
            break;
        case 4:
            replied = replied || n == 2;
            break;
        case 256:
            // A read reply without its register leaves the address alone.
            if (v.function == 3 && n >= 2)
                want.address = at(seen, 4);
            else if (v.function == 6)
                want.address = at(seen, 5);
            replied = true;
            break;
        default:
            break;
        }
        FUZZ_CHECK(after.readingsEqual(want), "a valid reply was read into the wrong fields", seen);
        FUZZ_CHECK(after.address == want.address, "a valid reply set the wrong address", seen);
        FUZZ_CHECK(after.replied == (replied ? 1 : before.replied),
                   "a valid reply was (not) acknowledged against its request", seen);
    }
}

// ---------------------------------------------------------------------------
// The input as chunks.
//
// A record is a header byte h and what follows it:
//   h & 0x80   the line falls silent before this chunk (TimerClearSlot runs)
//   h & 0x60   the kind, mapped through the target's table to one of Kind
//   h & 0x1F   a length L; 31 means "the next byte is L"
// Raw:         L bytes, the chunk as is.
// RtuWithCrc:  L bytes, then their CRC over (bytes still collected + these),
//              low byte first: the chunk completes a reply the CRC accepts.
// Repeat:      L bytes and a count byte r: the L bytes (r + 1) * 8 times, at
//              most kRepeatLimit bytes, so that the bound is reachable, and
//              passable in one chunk, from a short input.
// LoggerFrame: a selector byte c, then L payload bytes, framed
//              7B 22 cmd len payload sum 22 7D. c & 3 picks the command:
//              0x0C, 0x1C, 0x2C (payload cut or padded to the 135-byte
//              frame) or the next byte; c & 4 spoils the sum; c & 8 sends the
//              frame in two chunks split at the next byte.
// ---------------------------------------------------------------------------
enum class Kind { Raw, RtuWithCrc, Repeat, LoggerFrame };

class Reader
{
public:
    Reader(const uint8_t *data, size_t size)
        : p(data)
        , end(data + size)
    {
    }
    bool atEnd() const { return p >= end; }
    uint8_t byte() { return p < end ? *p++ : 0; }
    QByteArray bytes(int n)
    {
        const int have = static_cast<int>(end - p);
        if (n > have)
            n = have;
        QByteArray out(reinterpret_cast<const char *>(p), n);
        p += n;
        return out;
    }

private:
    const uint8_t *p;
    const uint8_t *end;
};

struct Chunk
{
    bool silenceBefore = false;
    QByteArray bytes;
};

// Reads the next record; a record can stand for one or two chunks. `collected`
// is what the receiver holds now (for the CRC of RtuWithCrc).
inline QVector<Chunk> nextChunks(Reader &in, const Kind (&table)[4], const QByteArray &collected)
{
    const uint8_t h = in.byte();
    int length = h & 0x1F;
    if (length == 0x1F)
        length = in.byte();
    QVector<Chunk> out(1);
    out[0].silenceBefore = (h & 0x80) != 0;
    switch (table[(h >> 5) & 3]) {
    case Kind::Raw:
        out[0].bytes = in.bytes(length);
        break;
    case Kind::RtuWithCrc: {
        QByteArray body = in.bytes(length);
        const QByteArray whole = (out[0].silenceBefore ? QByteArray() : collected) + body;
        const quint16 crc = crc16(whole.constData(), whole.size());
        body.append(static_cast<char>(crc & 0xFF));
        body.append(static_cast<char>(crc >> 8));
        out[0].bytes = body;
        break;
    }
    case Kind::Repeat: {
        const QByteArray unit = in.bytes(length);
        const int times = (in.byte() + 1) * 8;
        if (!unit.isEmpty()) {
            const int total = qMin(unit.size() * times, kRepeatLimit);
            out[0].bytes = unit.repeated((total + unit.size() - 1) / unit.size());
            out[0].bytes.truncate(total);
        }
        break;
    }
    case Kind::LoggerFrame: {
        const uint8_t c = in.byte();
        static const quint8 commands[3] = {0x0C, 0x1C, 0x2C};
        const quint8 command = (c & 3) == 3 ? in.byte() : commands[c & 3];
        QByteArray payload = in.bytes(length);
        if ((c & 3) == 2) // 7 framing bytes around the payload make 135
            payload = payload.leftJustified(kLongFrameSize - 7, '\0', true);
        QByteArray frame("\x7B\x22", 2);
        frame.append(static_cast<char>(command));
        frame.append(static_cast<char>(payload.size()));
        frame.append(payload);
        quint8 sum = 0;
        for (int i = 2; i < frame.size(); ++i)
            sum = static_cast<quint8>(sum + static_cast<quint8>(frame[i]));
        frame.append(static_cast<char>((c & 4) ? sum ^ 0xFF : sum));
        frame.append("\x22\x7D", 2);
        if (c & 8) {
            const int cut = 1 + in.byte() % (frame.size() - 1);
            out[0].bytes = frame.left(cut);
            out.append(Chunk{false, frame.mid(cut)});
        } else {
            out[0].bytes = frame;
        }
        break;
    }
    }
    return out;
}

// The first bytes of every input: which request the reply answers. 0..4 are
// the polls, 256 the address read or write, 257 the baud-rate write; any
// other value is one nothing sends but that the receiver must still survive.
inline quint16 readItemFrom(Reader &in)
{
    static const quint16 items[7] = {0, 1, 2, 3, 4, 256, 257};
    const uint8_t b = in.byte();
    if ((b & 7) < 7)
        return items[b & 7];
    const uint8_t hi = in.byte();
    return static_cast<quint16>(hi << 8 | in.byte());
}

// ---------------------------------------------------------------------------
// The one window, its reset, and the chunk loop.
// ---------------------------------------------------------------------------
inline void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

inline Widget *&window()
{
    static Widget *w = nullptr;
    return w;
}

inline void initialize()
{
    selfCheck();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    qInstallMessageHandler(dropDebug);
    static int argc = 1;
    static char name[] = "hygrovane-fuzz";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    // Never deleted: the window lives as long as the fuzzing process.
    window() = new Widget;
}

// Back to a window that has received nothing: the receive state, the
// request being answered, and the panes that reception writes to.
inline void resetReception(Widget *w, quint16 readItem)
{
    UartData = UartDataRecord();
    WidgetAccess::timerClear(w)->stop();
    WidgetAccess::readItem(w) = readItem;
    Ui::Widget *ui = WidgetAccess::ui(w);
    if (!ui->textBrowser->document()->isEmpty())
        ui->textBrowser->clear();
    if (!ui->lineEditSN->text().isEmpty())
        ui->lineEditSN->clear();
}

// Feeds every chunk of the input and checks each; `afterChunk` runs the
// target's own checks.
template <typename Extra>
void run(Widget *w, quint16 readItem, Reader &in, const Kind (&table)[4], Extra afterChunk)
{
    while (!in.atEnd()) {
        const QVector<Chunk> chunks = nextChunks(in, table, UartData.RxBuffer);
        for (const Chunk &chunk : chunks) {
            if (chunk.silenceBefore) {
                QMetaObject::invokeMethod(w, "TimerClearSlot");
                FUZZ_CHECK(UartData.RxBuffer.isEmpty()
                               && !WidgetAccess::timerClear(w)->isActive(),
                           "silence left bytes in the buffer", UartData.RxBuffer);
            }
            const Snapshot before = Snapshot::take();
            const QByteArray seen = UartData.RxBuffer + chunk.bytes;
            WidgetAccess::receive(w, chunk.bytes);
            checkChunk(w, readItem, before, seen);
            afterChunk(seen);
        }
    }
    // Text and label updates post events; deliver them (timers are not run,
    // so nothing but the chunks above drives the window).
    QCoreApplication::sendPostedEvents();
}

} // namespace fuzz

#endif
