// Reception under fuzzing: any bytes, cut into any chunks, with or without the
// silence that resynchronises the stream, whatever request is on the line.
// After every chunk: the receive buffer stays bounded, and nothing is stored
// or acknowledged unless the bytes collected were one frame that answers the
// request, from the address it went to.
#include "protocol/rtu.h"
#include "tests/fixture.h"

#include <QApplication>

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
    static QApplication app(argc, argv);
    static Widget w;
    static const char *const requests[] = {"ALL@1", "T@1", "H@1", "D@1", "W@1", "S@1", "address", "address=12", "baud=4",
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

        const bool logger = seen.size() <= 4096 && seen.startsWith("\x7B\x22") && seen.endsWith("\x22\x7D");
        const auto at = [&seen](int i) { return i < seen.size() ? quint8(seen[i]) : 0; };
        const quint8 fc = at(1);
        const int n = fc == 3 ? at(2) : fc == 6 ? 3 : 0;
        const quint16 crc = rtu::crc16(seen.constData(), qMin(n + 3, seen.size()));
        const bool rtu = !logger && seen.size() == n + 5 && seen.size() <= 250 && !(fc & 0x80)
            && at(n + 3) == (crc & 0xFF) && at(n + 4) == (crc >> 8) && (!asked || at(0) == asked);
        // What one register, or all four, may change, by the request outstanding.
        const bool all = rtu && item == 0 && n == 10;
        const bool one = rtu && n == 2;
        CHECK(after.Temperature == before.Temperature || all || (one && item == 0));
        CHECK(after.Humidity == before.Humidity || all || (one && item == 1));
        CHECK(after.DewTemp == before.DewTemp || all || (one && item == 2));
        CHECK(after.WetBulbTemp == before.WetBulbTemp || all || (one && item == 3));
        CHECK(after.Address == before.Address || (rtu && item == Widget::ReadsAddress && (n >= 2 || fc == 6)));
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
