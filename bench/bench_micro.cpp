// Micro-benchmarks of the hot paths: the CRC, one pass of the reception
// path for a measurement reply and for a logger reply, one traffic-log line
// at an empty and at a long log, and the window from construction to its
// first painted frame.
//
// Run normally, every case prints a line
//   BENCH <name> <median ns/op> <min ns/op> <mean ns/op> <ops per sample> <samples>
// Under `valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no`
// every case instead dumps its collected operations as "<name> ops=<n>": the
// instruction count per operation is the dump's total divided by n.
#include "bench/benchutil.h"
#include "tests/testsupport.h"

#include "app/uartdata.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Times `samples` samples of `perSample` operations each (after one
// warm-up sample) and prints the median, the fastest and the mean per operation;
// `between` runs untimed after every sample. Under callgrind (started with
// --instr-atstart=no --collect-atstart=no) only the operations are
// collected, `between` left out, and dumped once per case.
void measure(const char *name, int samples, int perSample, const std::function<void()> &op,
             const std::function<void()> &between = {})
{
    if (bench::underValgrind()) {
        for (int i = 0; i < perSample; ++i)
            op();
        if (between)
            between();
#ifdef HYGROVANE_HAVE_CALLGRIND
        // Counts hardly vary from one sample to the next, so three samples
        // of at most 1000 operations do; single operations (a log line, a
        // window) are all collected, since their cost has a saw-tooth.
        const int ops = std::min(perSample, 1000);
        const int runs = perSample > 1 ? 3 : samples;
        const QByteArray tag = QByteArray(name) + " ops=" + QByteArray::number(ops * runs);
        CALLGRIND_START_INSTRUMENTATION;
        CALLGRIND_ZERO_STATS;
        for (int s = 0; s < runs; ++s) {
            CALLGRIND_TOGGLE_COLLECT;
            for (int i = 0; i < ops; ++i)
                op();
            CALLGRIND_TOGGLE_COLLECT;
            if (between)
                between();
        }
        CALLGRIND_DUMP_STATS_AT(tag.constData());
        CALLGRIND_STOP_INSTRUMENTATION;
#endif
        return;
    }

    std::vector<double> nsPerOp;
    QElapsedTimer clock;
    for (int s = -1; s < samples; ++s) {
        clock.start();
        for (int i = 0; i < perSample; ++i)
            op();
        const double ns = double(clock.nsecsElapsed()) / perSample;
        if (between)
            between();
        if (s >= 0) // the first sample warms caches and lazy set-ups
            nsPerOp.push_back(ns);
    }
    std::sort(nsPerOp.begin(), nsPerOp.end());
    const double median = nsPerOp[nsPerOp.size() / 2];
    double sum = 0;
    for (double ns : nsPerOp)
        sum += ns;
    std::printf("BENCH %s %.1f %.1f %.1f %d %d\n", name, median, nsPerOp.front(),
                sum / double(nsPerOp.size()), perSample, samples);
    std::fflush(stdout);
}

// Deliberately kept out of the optimiser's sight.
volatile quint32 sink;

const QByteArray kAllReply = QByteArray::fromHex("01030a00fa01f4006e00c800004226");

// An information reply as the module sends it: model "2021", serial
// 26 06 01 12 30 45, prefix 1; 23 bytes, 16 of them payload.
const QByteArray kInfoReply =
    QByteArray::fromHex("7b220c10" "0000323032310001" "1a06010c1e2d0000" "5a227d");

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

class BenchMicro : public QObject
{
    Q_OBJECT

    Widget *w = nullptr;
    Ui::Widget *ui = nullptr;

    void clearLog()
    {
        ui->textBrowser->clear();
        settle();
    }

    // The same at 1,000 and at 100,000 lines, alternating requests and
    // replies, at the bottom as appending keeps it; each sample adds one line
    // more. Filled through the same writer in a window not shown yet (some
    // 15 us a line instead of 100 with a shown one scrolling), then shown:
    // that lays the whole document out at the window's width, as appending
    // while shown would have.
    void logLineAtLength(const char *name, int lines)
    {
        delete w;
        settle();
        w = new Widget;
        ui = WidgetAccess::ui(w);
        const QString tx = QStringLiteral("010300000005" "85c9");
        const QString rx = QString::fromLatin1(kAllReply.toHex());
        QElapsedTimer fill;
        fill.start();
        for (int i = 0; i < lines; ++i)
            WidgetAccess::logFrame(w, i % 2 ? rx : tx, i % 2);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        settle();
        QScrollBar *bar = ui->textBrowser->verticalScrollBar();
        bar->setValue(bar->maximum());
        settle();
        QCOMPARE(ui->textBrowser->document()->blockCount(), lines);
        if (!bench::underValgrind())
            std::printf("INFO filling %d lines and showing them took %.2f s\n", lines,
                        fill.elapsed() / 1000.0);
        measure(name, 200, 1, [&] { WidgetAccess::logFrame(w, rx, true); },
                [&] { QCoreApplication::processEvents(); });
        QVERIFY(ui->textBrowser->document()->blockCount() > lines);
        QCOMPARE(bar->value(), bar->maximum()); // still following the end
    }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(bench::dropDebug);
    }

    void init()
    {
        UartData = UartDataRecord();
        w = new Widget;
        ui = WidgetAccess::ui(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        settle();
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
        settle();
    }

    void crc6()
    {
        const QByteArray request = QByteArray::fromHex("010300000005");
        const auto *data = reinterpret_cast<const quint8 *>(request.constData());
        QCOMPARE(Widget::CalcCRC16(data, 6), quint16(0x85C9));
        measure("crc_6_bytes", 25, 100000, [&] { sink = Widget::CalcCRC16(data, 6); });
    }

    void crc250()
    {
        QByteArray bytes(250, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 + 3);
        const auto *data = reinterpret_cast<const quint8 *>(bytes.constData());
        measure("crc_250_bytes", 25, 10000, [&] { sink = Widget::CalcCRC16(data, 250); });
    }

    // One call of the path my_readuart runs after readAll(): decode, four
    // labels, one log line. The log is cleared between samples, so it stays
    // under 200 lines.
    void receiveAllWhole()
    {
        WidgetAccess::readItem(w) = 0;
        WidgetAccess::receive(w, kAllReply);
        QCOMPARE(UartData.Temperature, qint16(250));
        QCOMPARE(UartData.Humidity, quint16(500));
        QCOMPARE(UartData.DewTemp, qint16(110));
        QCOMPARE(UartData.WetBulbTemp, qint16(200));
        QCOMPARE(ui->labelTemperature->text(), QString("Temperature:25.0") + QChar(0x2103));
        QVERIFY(UartData.RxBuffer.isEmpty());
        clearLog();
        measure("receive_all_whole", 25, 100, [&] { WidgetAccess::receive(w, kAllReply); },
                [&] { clearLog(); });
    }

    // The same reply as three 5-byte chunks: three calls, timed together.
    void receiveAllThreeChunks()
    {
        WidgetAccess::readItem(w) = 0;
        const QByteArray a = kAllReply.mid(0, 5), b = kAllReply.mid(5, 5), c = kAllReply.mid(10, 5);
        WidgetAccess::receive(w, a);
        WidgetAccess::receive(w, b);
        QCOMPARE(ui->textBrowser->document()->isEmpty(), true);
        WidgetAccess::receive(w, c);
        QCOMPARE(UartData.Humidity, quint16(500));
        QVERIFY(UartData.RxBuffer.isEmpty());
        clearLog();
        measure("receive_all_3_chunks", 25, 100,
                [&] {
                    WidgetAccess::receive(w, a);
                    WidgetAccess::receive(w, b);
                    WidgetAccess::receive(w, c);
                },
                [&] { clearLog(); });
    }

    // The information reply through the same call. Logger replies stay in
    // the buffer until the line falls silent; each operation empties it
    // afterwards, as the silence would.
    void receiveLoggerInfo()
    {
        const QByteArray reply = kInfoReply;
        QCOMPARE(reply.size(), 23);
        WidgetAccess::receive(w, reply);
        QCOMPARE(UartData.LoggerModel, 2021);
        QCOMPARE(ui->lineEditSN->text(), QStringLiteral("1a06010c1e2d"));
        QCOMPARE(UartData.RxBuffer, reply);
        UartData.RxBuffer.clear();
        measure("receive_logger_info", 25, 100, [&] {
            WidgetAccess::receive(w, reply);
            UartData.RxBuffer.clear();
        });
    }

    // Building and appending one line, timed alone, each time to an empty log.
    void logLineEmptyLog()
    {
        const QString hex = QString::fromLatin1(kAllReply.toHex());
        clearLog();
        WidgetAccess::logFrame(w, hex, true);
        QCOMPARE(ui->textBrowser->document()->blockCount(), 1);
        QVERIFY(ui->textBrowser->toPlainText().endsWith(hex));
        clearLog();
        measure("log_line_empty_log", 200, 1, [&] { WidgetAccess::logFrame(w, hex, true); },
                [&] { clearLog(); });
    }

    void logLine1kLines() { logLineAtLength("log_line_at_1k_lines", 1000); }
    void logLine100kLines() { logLineAtLength("log_line_at_100k_lines", 100000); }

    // From `new Widget` to the first frame painted (offscreen), then deleted
    // untimed. The very first one also pays for fonts and styles.
    void windowToFirstShow()
    {
        delete w;
        w = nullptr;
        settle();
        Widget *fresh = nullptr;
        bool painted = false;
        struct PaintSpy : QObject
        {
            bool *seen;
            explicit PaintSpy(bool *s) : seen(s) {}
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint)
                    *seen = true;
                return false;
            }
        } spy(&painted);
        auto op = [&] {
            painted = false;
            fresh = new Widget;
            fresh->installEventFilter(&spy);
            fresh->show();
            while (!painted)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        };
        auto drop = [&] {
            delete fresh;
            fresh = nullptr;
            settle();
        };
        measure("window_to_first_show", 15, 1, op, drop);
        w = new Widget; // for cleanup()
        ui = WidgetAccess::ui(w);
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchMicro bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_micro.moc"
