// Reception under fuzzing: any bytes, cut into any chunks, with or without the
// silence that resynchronises the stream, whatever request is on the line.
// After every chunk: the receive buffer stays bounded, and nothing is stored
// or acknowledged unless the bytes collected hold a whole frame, wherever it
// stands, that answers the request, from the address it went to.
#include "protocol/rtu.h"
#include "tests/fixture.h"

#include <QApplication>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

#define CHECK(cond) \
    if (!(cond)) \
        std::fprintf(stderr, "invariant broken: %s\nbuffer: %s\n", #cond, seen.toHex(' ').constData()), std::abort();

// A chunk as the line delivers it: the bytes as they are, with a good CRC
// appended, framed 7B 22 ... 22 7D like a logger reply, or repeated many times.
static QByteArray nextChunk(FuzzedDataProvider &in)
{
    const int kind = in.ConsumeIntegralInRange(0, 3);
    const std::string text = in.ConsumeRandomLengthString(300);
    const QByteArray bytes(text.data(), int(text.size()));
    const quint16 crc = rtu::crc16(bytes);
    switch (kind) {
    case 1:
        return bytes + char(crc & 0xFF) + char(crc >> 8);
    case 2:
        return "\x7B\x22" + bytes + "\x22\x7D";
    case 3:
        return bytes.repeated(in.ConsumeIntegralInRange(1, 5000));
    default:
        return bytes;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_reception", *argv[] = {name, nullptr};
    // Never torn down but by the process's end: as static objects their
    // destructors would run after the static that holds Qt's per-thread font
    // cache, and LeakSanitizer would take the cache for a leak at exit.
    static QApplication *app = new QApplication(argc, argv);
    static Widget &w = *new Widget;
    Q_UNUSED(app);
    static const char *const requests[] = {"ALL@1", "T@1", "H@1", "D@1", "W@1", "S@1", "address", "address=12", "baud=4", "~ALL@1", "~address=12",
                                           "info", "settings"};
    FuzzedDataProvider in(data, size);
    const QString request = QString::fromLatin1(in.PickValueInArray(requests));
    UartData.RxBuffer.clear();

    while (in.remaining_bytes() > 0) {
        // The request on the line: the same one again, or after silence a new
        // one, since the silence may have ended a poll's wait.
        if (in.ConsumeBool()) // the line falls silent
            QMetaObject::invokeMethod(&w, "TimerClearSlot");
        WidgetAccess::onLine(&w, request);
        const quint16 item = WidgetAccess::readItem(&w);
        const quint8 asked = request.contains('@') ? 1 : 0; // the address the request went to
        const QByteArray chunk = nextChunk(in);
        const QByteArray seen = UartData.RxBuffer + chunk;
        const UartDataRecord before = UartData;
        UartData.ReplyReceived = 0;
        WidgetAccess::receive(&w, chunk);
        const UartDataRecord &after = UartData;
        CHECK(after.RxBuffer.size() <= 4096);

        const bool logger = seen.size() <= 4096 && seen.indexOf("\x7B\x22") >= 0 && seen.endsWith("\x22\x7D");
        const auto at = [&seen](int i) { return i < seen.size() ? quint8(seen[i]) : 0; };
        // Every whole frame from the address asked, wherever it stands: the
        // data lengths n of those that carry registers, and any write echo.
        QSet<int> lengths;
        bool echo = false;
        for (int i = 0; seen.size() <= 4096 && i + 5 <= seen.size(); ++i) {
            const quint8 fc = at(i + 1);
            const int n = fc == 3 ? at(i + 2) : fc == 6 ? 3 : 0;
            const quint16 crc = rtu::crc16(seen.constData() + i, qMin(n + 3, seen.size() - i));
            if (i + n + 5 <= seen.size() && n + 5 <= 250 && !(fc & 0x80) && at(i + n + 3) == (crc & 0xFF)
                && at(i + n + 4) == (crc >> 8) && (!asked || at(i) == asked))
                fc == 6 ? void(echo = true) : void(lengths << n);
        }
        const bool rtu = echo || !lengths.isEmpty();
        // What one register, or all four, may change, by the request outstanding.
        const bool all = item == 0 && lengths.contains(10);
        const bool one = lengths.contains(2);
        CHECK(after.Temperature == before.Temperature || all || (one && item == 0));
        CHECK(after.Humidity == before.Humidity || all || (one && item == 1));
        CHECK(after.DewTemp == before.DewTemp || all || (one && item == 2));
        CHECK(after.WetBulbTemp == before.WetBulbTemp || all || (one && item == 3));
        CHECK(after.Address == before.Address || (item == Widget::ReadsAddress && (echo || lengths.contains(2))));
        CHECK(!after.ReplyReceived || logger || rtu);
        CHECK(logger || (after.SerialNumber == before.SerialNumber && after.RecordMode == before.RecordMode
                         && after.SampleRate == before.SampleRate && after.SettingAck == before.SettingAck));
    }
    // What an input added to the log and the trend goes with it: memory kept
    // from one input to the next sends libFuzzer's leak check over the whole
    // heap after every one.
    WidgetAccess::ui(&w)->textBrowser->clear();
    WidgetAccess::histories(&w).clear();
    return 0;
}
