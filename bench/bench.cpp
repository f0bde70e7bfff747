// Benchmarks, the soak and the memcheck session, through the real window and
// the simulated module on a pseudo-terminal:
//   hygrovane-bench micro              decoding a reply, a log line in an empty log and at
//                                      100,000 lines, window start
//   hygrovane-bench idle [SECONDS]     CPU per poll while polling once a second (default 10)
//   hygrovane-bench soak [CYCLES] [--clear-log-every N]
//                                      a day of polls (86,400), as fast as the line allows
//   hygrovane-bench session            one technician's session, for memcheck
//   hygrovane-bench scan [RATE] [raw]  the bus window's scan of addresses 1-247 (default 9600); raw: through
//                                      a ser2net on 127.0.0.1 in front of the simulated line
//   hygrovane-bench watch [SECONDS]    a watch of 32 modules, the log at its bound (default 40)
//   hygrovane-bench paced [SECONDS]    a paced line behind a 16 ms adapter: Link, a scan and a watch (default 300)
//   hygrovane-bench commission [RATE]  one module commissioned, step by step (left at RATE, default 19200)
//   hygrovane-bench publish [OUTAGE]   publishing to a Mosquitto broker on 127.0.0.1: CPU per reading,
//                                      the worst event-loop gap while a watch of 32 publishes, and the
//                                      broker stopped for OUTAGE seconds (default 20) mid-watch
// Exit status 0 when everything went as in real use.
#include "tests/fixture.h"

#include "app/clock.h"
#include "bus/scan.h"
#include "gateway/spool.h"
#include "publish/publisher.h"
#include "trend/history.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>

namespace {

const QByteArray kAllReply = QByteArray::fromHex("01030A00FA01F4006E00C800004226");

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double cpuSeconds() // user and system time of this process
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The event loop's worst gap while measured: a 1 ms timer's longest wait
// beyond its millisecond. The tick costs CPU of its own, so it runs only
// between start() and stop().
class LoopGaps
{
public:
    LoopGaps()
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            m_worst = std::max(m_worst, m_since.nsecsElapsed() / 1e6 - 1);
            m_since.start();
        });
    }
    void start()
    {
        m_worst = 0;
        m_since.start();
        m_tick.start(1);
    }
    double stop()
    {
        m_tick.stop();
        return m_worst;
    }

private:
    QTimer m_tick;
    QElapsedTimer m_since;
    double m_worst = 0;
};

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Turns the event loop until done() holds, sleeping between events (the CPU
// and time figures would count spinning); false after timeoutMs.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(timeoutMs);
    while (!done() && deadline.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

bool showWindow(QWidget *w)
{
    w->show();
    return QTest::qWaitForWindowExposed(w);
}

// Median and fastest of `samples` timed runs of op, with reset untimed before each.
void measure(const char *name, int samples, const std::function<void()> &op, const std::function<void()> &reset)
{
    std::vector<double> us;
    for (int i = 0; i < samples; ++i) {
        reset();
        QElapsedTimer t;
        t.start();
        op();
        us.push_back(t.nsecsElapsed() / 1e3);
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double u : us)
        sum += u;
    std::printf("%-36s median %9.1f us  fastest %9.1f us  mean %9.1f us  slowest %9.1f us  (%d samples)\n", name,
                us[us.size() / 2], us[0], sum / samples, us.back(), samples);
}

int micro()
{
    // A day of readings once a second, all four values each.
    const long rssBefore = rssKiB();
    auto *day = new trend::History;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - 86400 * 1000LL;
    for (qint64 s = 0; s < 86400; ++s)
        day->add(start + s * 1000, {20.0 + s % 7, 50.0, 10.0, 15.0});
    int points = 0;
    for (int span = 0; span < trend::SpanCount; ++span)
        for (int series = 0; series < trend::SeriesCount; ++series)
            points += day->points(trend::Span(span), trend::Series(series)).size();
    std::printf("%-36s %d points for 3 spans of 4 series, RSS +%ld KiB\n", "a day of history kept", points,
                rssKiB() - rssBefore);
    // A day of a watch of 32 modules, each polled once a second.
    {
        const long before = rssKiB();
        auto *line = new trend::Histories;
        for (qint64 s = 0; s < 86400; ++s)
            for (quint8 a = 1; a <= 32; ++a)
                (*line)[a].add(start + s * 1000, {20.0 + s % 7, 50.0, 10.0, 15.0});
        std::printf("%-36s RSS +%ld KiB\n", "a day of history, 32 modules", rssKiB() - before);
        delete line;
    }
    qint64 later = start + 86400 * 1000LL;
    measure("a reading added to a day of history", 1000, [&] { day->add(later += 1000, {21.0, 50.0, 10.0, 15.0}); }, [] {});
    delete day;

    Bench b;
    b.open(false);
    if (!showWindow(b.w))
        return 1;
    const auto clearLog = [&] { b.ui->textBrowser->clear(), settle(); };
    measure("decode an ALL reply, show and log it", 200, [&] { WidgetAccess::receive(b.w, kAllReply); },
            [&] { clearLog(), WidgetAccess::onLine(b.w, "ALL@1"); });
    const QString hex = QString::fromLatin1(kAllReply.toHex());
    measure("log line, empty log", 200, [&] { WidgetAccess::log(b.w, hex, true); }, clearLog);
    // Filled while hidden (a shown log lays out and scrolls at every line),
    // then shown, which lays the whole document out as appending would have.
    // First as the log was before it was bounded, then at its bound.
    // At the bound, a thousand lines are dropped at the 1001st: the figure
    // over 2,000 lines includes two of those.
    b.w->hide();
    for (int i = 0; i < Widget::LogLines; ++i)
        WidgetAccess::log(b.w, hex, i % 2);
    showWindow(b.w);
    settle();
    measure("log line, at 100,000 lines", 2000, [&] { WidgetAccess::log(b.w, hex, true); }, settle);
    std::printf("%-36s %d\n", "log lines after it", b.ui->textBrowser->document()->blockCount());
    b.close();

    // Through the window: a reply decoded, shown, logged, kept and
    // drawn in the trend window over its day.
    Bench trend;
    trend.open(false);
    qint64 next = start;
    const auto receive = [&] {
        setClockForTesting([t = QDateTime::fromMSecsSinceEpoch(next += 1000)] { return t; });
        WidgetAccess::onLine(trend.w, "ALL@1");
        WidgetAccess::receive(trend.w, kAllReply);
    };
    for (int s = 0; s < 86400; ++s)
        receive();
    trend.given("press=pushButtonTrend");
    trend.w->findChild<QComboBox *>("comboBoxSpan")->setCurrentIndex(trend::OneDay);
    settle();
    measure("a reply shown and drawn over a day", 200, receive, settle);
    QWidget *trendWindow = trend.w->findChild<QWidget *>("TrendWindow");
    measure("the trend of a day, drawn", 50, [&] { QMetaObject::invokeMethod(trendWindow, "redraw"); }, settle);
    trendWindow->hide();
    measure("the same, the trend window closed", 200, receive, settle);
    trend.close();

    Widget *fresh = nullptr;
    measure("window start, to its first paint", 15, [&] {
        fresh = new Widget;
        showWindow(fresh);
        fresh->repaint();
    }, [&] { delete fresh, fresh = nullptr, settle(); });
    delete fresh;
    return 0;
}

int idle(int seconds)
{
    Bench b;
    if (!b.open() || !b.linked())
        return 1;
    b.w->show();
    long polls = 0;
    QObject::connect(b.sim, &modsim::ModuleSim::requestHeard, [&] { ++polls; });
    // Round trip: from the request's TX line to its reply's RX line, both
    // written by the window as the frame goes out and as the reply is taken.
    QElapsedTimer sent;
    std::vector<double> trips;
    QObject::connect(b.ui->textBrowser->document(), &QTextDocument::blockCountChanged, [&] {
        const QString line = b.ui->textBrowser->document()->lastBlock().text();
        if (line.contains(QLatin1String("->TX")))
            sent.start();
        else if (line.contains(QLatin1String("->RX")) && sent.isValid())
            trips.push_back(sent.nsecsElapsed() / 1e6), sent.invalidate();
    });
    const auto phase = [&](const char *name) {
        const double cpu = cpuSeconds();
        const long before = polls;
        trips.clear();
        QTest::qWait(seconds * 1000);
        const double used = cpuSeconds() - cpu;
        std::sort(trips.begin(), trips.end());
        std::printf("%-22s %3d s: CPU %.3f s (%.2f %%), %ld polls, %.3f ms CPU a poll, round trip median %.2f ms\n",
                    name, seconds, used, 100 * used / seconds, polls - before,
                    polls > before ? 1000 * used / double(polls - before) : 0,
                    trips.empty() ? 0.0 : trips[trips.size() / 2]);
        return used;
    };
    phase("linked, not reading"); // the window and the module at rest
    b.press("pushButtonRead");
    phase("polling once a second");
    return b.boxes.isEmpty() && polls >= seconds - 1 ? 0 : 1;
}

int soak(long cycles, long clearEvery)
{
    Bench b;
    const long rssStart = rssKiB();
    if (!b.open())
        return 1;
    b.w->show();
    b.given("module=1@115200 dialog=115200");
    b.press("pushButtonLink");
    if (!waitUntil([&] { return b.state("field") == "field=1"; }, 3000))
        return 1;
    b.sim->setDriftInterval(2); // a new reading every cycle or two
    b.sim->setDrift(true);
    QByteArray reply;
    QObject::connect(b.sim, &modsim::ModuleSim::replySent, [&](const QByteArray &f) { reply = f; });
    const auto word = [&](int at) { return quint16(quint8(reply[at]) << 8 | quint8(reply[at + 1])); };
    const auto answered = [&] { return waitUntil([] { return UartData.ReplyReceived == 1; }, 900); };
    b.given("press=pushButtonRead");
    long wrong = 0, lost = 0, failed = 0;
    const long rssBefore = rssKiB();
    QElapsedTimer total;
    total.start();
    for (long c = 1; c <= cycles; ++c) {
        // The window's own timers would do this before the next poll a second later.
        for (const char *slot : {"TimerClearSlot", "TimerResponseSlot", "TimerDelaySlot"})
            QMetaObject::invokeMethod(b.w, slot);
        QMetaObject::invokeMethod(b.w, "ReadHumitureOrder");
        if (!answered()) {
            ++lost;
            continue;
        }
        const QString shown = QStringLiteral("Temperature:%1℃").arg(qint16(word(3)) / 10.0, 0, 'f', 1);
        wrong += reply.size() != 15 || UartData.Humidity != word(5) || b.ui->labelTemperature->text() != shown;
        if (c % 100 == 50) {
            b.press("pushButtonAddressRead");
            // The address shows once the line has been listened out for a second module.
            failed += !answered() || !waitUntil([&] { return b.state("field") == "field=1"; }, 900);
        }
        if (c % 1000 == 500) {
            b.press("pushButtonReadSN");
            failed += !answered();
            QMetaObject::invokeMethod(b.w, "TimerClearSlot");
            b.press("pushButtonReadRecord");
            failed += !answered();
        }
        if (clearEvery && c % clearEvery == 0)
            b.ui->textBrowser->clear();
        if (c % 10000 == 0 || c == cycles) {
            std::printf("%8ld cycles %7.1f s  RSS %7ld KiB  log %6d lines  wrong %ld lost %ld failed %ld\n", c,
                        total.elapsed() / 1000.0, rssKiB(), b.ui->textBrowser->document()->blockCount(), wrong, lost,
                        failed);
            std::fflush(stdout);
        }
    }
    const long rssAfter = rssKiB();
    std::printf("result: %ld cycles in %.1f s, %.3f ms a cycle; wrong %ld, lost %ld, commands failed %ld, boxes %lld\n",
                cycles, total.elapsed() / 1000.0, double(total.elapsed()) / double(cycles), wrong, lost, failed,
                qlonglong(b.boxes.size()));
    std::printf("result: RSS at start %ld KiB, linked %ld KiB, after %ld KiB (growth %ld KiB); log %d lines\n", rssStart,
                rssBefore, rssAfter, rssAfter - rssBefore, b.ui->textBrowser->document()->blockCount());
    return wrong || lost || failed || !b.boxes.isEmpty() ? 1 : 0;
}

// The bus window over a simulated line: a scan of addresses 1 to 247 at a
// rate, against the time the requests and their waits take by themselves.
int scan(qint32 rate, const QString &server)
{
    Bench b;
    if (!b.open())
        return 1;
    b.given(QStringLiteral("module=1@%1 dialog=%1").arg(rate));
    if (!server.isEmpty())
        b.given("server=" + server);
    b.press("pushButtonLink");
    if (!waitUntil([&] { return b.state("field") == "field=1"; }, 3000))
        return 1;
    b.given(QStringLiteral("line=1@%1,17@%1,200@%1,200@%1 press=pushButtonBus range=1-247").arg(rate));
    // Each request's TX line, as it is written: the gaps between them.
    QElapsedTimer t;
    std::vector<double> writes;
    QObject::connect(b.ui->textBrowser->document(), &QTextDocument::blockCountChanged, [&] { writes.push_back(t.nsecsElapsed() / 1e6); });
    const double cpu = cpuSeconds();
    t.start();
    b.press("pushButtonScan");
    if (!b.reach("scan=Scan", 60000))
        return 1;
    const double ms = t.nsecsElapsed() / 1e6;
    const double cpuMs = (cpuSeconds() - cpu) * 1000;
    // Every address waits for a first byte but the three that answer at once,
    // as long as the line's measured answer time asks.
    const int answerMs = b.bus<QSpinBox>("spinBoxAnswerMs")->value();
    const double waits = 244.0 * rtu::firstByteUs(rate, answerMs) / 1000;
    std::vector<double> gaps;
    for (size_t i = 1; i < writes.size(); ++i)
        gaps.push_back(writes[i] - writes[i - 1] - rtu::firstByteUs(rate, answerMs) / 1000.0);
    std::sort(gaps.begin(), gaps.end());
    std::printf("scan 1-247 at %6d%s: %7.0f ms; answer within %d ms (measured %d ms); waits alone %6.0f ms; the tool's own "
                "%.3f ms an address; CPU %.3f ms an address (the simulated line's included); %s\n",
                rate, server.isEmpty() ? "" : qPrintable(" via " + server), ms, answerMs,
                WidgetAccess::line(b.w)->measuredAnswerMs(), waits, (ms - waits) / 247, cpuMs / 247, qPrintable(b.state("progress")));
    if (!gaps.empty())
        std::printf("  from one silent address's write to the next, beyond the wait: median %.3f ms, slowest %.3f ms\n",
                    gaps[gaps.size() / 2], gaps.back());
    return 0;
}

// A watch of 32 modules with the traffic log at its bound: the CPU each poll
// costs, and the event loop's worst gap (a 1 ms timer's longest wait beyond 1 ms).
int watch(int seconds)
{
    Bench b;
    if (!b.open() || !b.linked())
        return 1;
    b.w->show();
    QStringList addresses;
    for (int a = 1; a <= 32; ++a)
        addresses << QString::number(a);
    b.given("line=" + addresses.join(',') + " press=pushButtonBus range=1-32");
    b.w->hide();
    const QString hex = QString::fromLatin1(kAllReply.toHex());
    for (int i = 0; i < Widget::LogLines; ++i)
        WidgetAccess::log(b.w, hex, i % 2);
    showWindow(b.w);
    settle();
    b.press("pushButtonScan");
    if (!b.reach("scan=Scan", 10000) || b.state("progress") != "progress=32 of 32 addresses, 32 modules found")
        return 1;
    long polls = 0;
    QObject::connect(b.sim, &modsim::ModuleSim::requestHeard, [&] { ++polls; });
    LoopGaps gaps;
    b.press("pushButtonWatch");
    // First the CPU alone, then the gaps, whose 1 ms tick costs CPU of its own.
    const double cpu = cpuSeconds();
    QTest::qWait(seconds * 500);
    const double used = cpuSeconds() - cpu;
    const long cpuPolls = polls;
    gaps.start();
    QTest::qWait(seconds * 500);
    const double worst = gaps.stop();
    std::printf("watch of 32 for %d s: %ld polls, %.3f ms CPU a poll (the simulated line's included); worst event-loop gap "
                "%.1f ms; log %d lines; RSS %ld KiB\n",
                seconds, polls, cpuPolls ? 1000 * used / double(cpuPolls) : 0.0, worst,
                b.ui->textBrowser->document()->blockCount(), rssKiB());
    return b.boxes.isEmpty() ? 0 : 1;
}

// A line as a USB adapter shows it: bytes paced at the wire's rate, handed
// over every 16 ms, sixteen modules answering in 5 ms or 35 ms. Linked as a
// technician would, the window's own wait; a scan of 1-247 at 9600 against
// the wire's limit at that wait, the modules found and any phantom row; then a
// watch of the sixteen and its misses.
int paced(int seconds)
{
    Bench b;
    if (!b.open())
        return 1;
    const QList<int> addresses{1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 120, 144, 200, 210, 230, 247};
    QStringList line;
    for (int i = 0; i < addresses.size(); ++i)
        line << QStringLiteral("%1~%2").arg(addresses[i]).arg(i % 2 ? 35 : 5);
    if (!b.sim->setModules(line.join(',')))
        return 1;
    b.sim->setPace(true);
    b.sim->setLatency(16);
    // Link's probe to address 0 is answered by every module: garbled, as the README says, but timed.
    b.given("dialog=9600 press=pushButtonLink until=watch=0 press=pushButtonBus range=1-247");
    const int chosen = b.w->findChild<QSpinBox *>("spinBoxAnswerMs")->value();
    QElapsedTimer t;
    t.start();
    b.press("pushButtonScan");
    if (!b.reach("scan=Scan", 120000))
        return 1;
    const double ms = t.nsecsElapsed() / 1e6;
    QAbstractItemModel *m = b.w->findChild<QTableView *>("tableModules")->model();
    int found = 0, phantom = 0, late = 0;
    QList<int> missing = addresses;
    for (int r = 0; r < m->rowCount(); ++r) {
        const bool real = addresses.contains(m->index(r, 0).data().toInt());
        missing.removeAll(m->index(r, 0).data().toInt());
        const QString status = m->index(r, 6).data().toString();
        found += real, phantom += !real || status.startsWith("Garbled");
        late += status.startsWith("Answers late");
    }
    const double limit = 247 * rtu::firstByteUs(9600, chosen) / 1000.0;
    std::printf("paced line, latency 16 ms, 16 modules answering in 5 or 35 ms; Answer within chosen: %d ms\n"
                "  scan 1-247 at 9600: %.0f ms against the wire's limit at that wait, %.0f ms (%.0f %%)\n"
                "  found %d of %d modules (%d of them answering late), %d phantom rows\n",
                chosen, ms, limit, 100 * ms / limit, found, int(addresses.size()), late, phantom);
    for (const int address : missing)
        std::printf("  not found: %d\n", address);
    b.press("pushButtonWatch");
    QTest::qWait(seconds * 1000);
    b.press("pushButtonWatch");
    int polls = 0, misses = 0;
    for (int r = 0; r < m->rowCount(); ++r)
        polls += m->index(r, 7).data().toInt(), misses += m->index(r, 8).data().toInt();
    std::printf("  watch of %d modules for %d s: %d polls, %d misses\n", m->rowCount(), seconds, polls, misses);
    return found == addresses.size() && !phantom ? 0 : 1;
}

// One module commissioned at 9600 (found there, its rate changed to 19200 or
// kept), step by step: the time from the press to each step's verdict.
int commission(qint32 target)
{
    Bench b;
    if (!b.open() || !b.linked())
        return 1;
    b.given(QStringLiteral("press=pushButtonCommission saveAs=@report.csv press=pushButtonReport next=12 target=%1").arg(target));
    QListWidget *steps = b.w->findChild<QListWidget *>("listSteps");
    QElapsedTimer t;
    double last = 0;
    QObject::connect(steps->model(), &QAbstractItemModel::rowsInserted, [&](const QModelIndex &, int first, int) {
        const double now = t.nsecsElapsed() / 1e6;
        std::printf("  %8.0f ms (+%5.0f)  %s\n", now, now - last, qPrintable(steps->item(first)->text()));
        last = now;
    });
    std::printf("commission a module at 9600, leaving it at %d:\n", target);
    t.start();
    b.press("pushButtonRun");
    return b.reach("run=Commission; counter=This batch: 1 done, 0 failed", 20000) ? 0 : 1;
}

// Under valgrind everything runs many times slower while the window's timers
// keep real time, so each step waits long; a step that still misses is
// reported, since what matters here is what valgrind finds.
int session()
{
    Bench b;
    if (!b.open() || !b.linked())
        return 3;
    b.w->show();
    int missed = 0;
    const auto step = [&](const char *given, const char *button, const QString &expected) {
        b.given(given);
        b.press(button);
        const bool ok = waitUntil([&] { return b.state(expected) == expected; }, 60000);
        std::printf("%-24s %s\n", button, ok ? "ok" : qPrintable("MISSED: " + b.state(expected)));
        missed += !ok;
    };
    step("", "pushButtonRead", "rx=2");
    step("", "pushButtonRead", "read=Read");
    step("field=junk", "pushButtonAddressRead", "field=1; watch=0");
    step("field=5", "pushButtonAddress", "module=5@9600; watch=0");
    step("baud=19200", "pushButtonBaudRate", "port=19200; watch=0");
    step("serial=0102030a0b0c", "pushButtonReadSN", "sn=0102030a0b0c; watch=0");
    step("", "pushButtonAUTO", "watch=0; boxes=");
    step("", "pushButtonReadRecord", "locked=00");
    step("start=1 at=3600", "pushButtonSetup", "locked=00; boxes=Succeed: Setting succeed!");
    b.press("pushButtonClose");
    return missed ? 3 : 0;
}

// Publishing to a real broker on 127.0.0.1, which this starts and stops.
int publishing(int outage)
{
    if (MqttBroker::program("mosquitto").isEmpty()) {
        std::printf("publish: Mosquitto is not installed\n");
        return 1;
    }
    MqttBroker broker;
    if (!broker.start("allow_anonymous true"))
        return 1;
    // A subscriber whose session the broker keeps across its restart.
    QProcess sub;
    QStringList seen;
    QObject::connect(&sub, &QProcess::readyReadStandardOutput, [&] {
        for (const QByteArray &line : sub.readAllStandardOutput().split('\n'))
            if (line.contains("/state "))
                seen << QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
    });
    sub.start(MqttBroker::program("mosquitto_sub"), {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-q", "1", "-c", "-i",
                                                      "bench-sub", "-t", "bench/#", "-v"});
    QTest::qWait(300);
    const publish::Settings settings{QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), {}, {}, {}, "bench", true, 4};

    // The publisher's own cost: 10,000 readings, made at once, each until the
    // broker acknowledges it.
    {
        publish::Publisher p;
        publish::Settings burst = settings;
        burst.prefix = "burst"; // not what the subscriber counts
        p.start(burst);
        if (!waitUntil([&] { return p.state() == publish::Publisher::Connected; }, 5000))
            return 1;
        const trend::Values values{23.1, 45.6, 10.3, 15.8};
        const int n = 10000;
        const double cpu = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        for (int i = 0; i < n; ++i)
            p.addReading(QDateTime::currentDateTime(), quint8(1 + i % 32), values);
        if (!waitUntil([&] { return p.outbox().waiting() == 0; }, 60000))
            return 1;
        std::printf("publish: %d readings acknowledged in %.0f ms, %.1f µs CPU a reading (this process; the broker apart)\n", n,
                    wall.nsecsElapsed() / 1e6, 1e6 * (cpuSeconds() - cpu) / n);
        p.stop();
    }

    // A watch of 32, published, recorded; the event loop's worst gap.
    Bench b;
    QTemporaryDir dir;
    if (!b.open() || !b.linked())
        return 1;
    QStringList addresses;
    for (int a = 1; a <= 32; ++a)
        addresses << QString::number(a);
    b.given("line=" + addresses.join(',') + " press=pushButtonTrend saveAs=" + dir.filePath("r.csv")
            + " press=pushButtonRecord press=pushButtonBus range=1-32 press=pushButtonScan");
    if (!b.reach("scan=Scan", 10000))
        return 1;
    b.w->publisher()->start(settings);
    b.press("pushButtonWatch");
    LoopGaps gaps;
    QTest::qWait(2000);
    gaps.start();
    QTest::qWait(10000);
    std::printf("publish: a watch of 32 published for 10 s: worst event-loop gap %.1f ms\n", gaps.stop());

    // The broker gone for a while, mid-watch, then back.
    broker.stop();
    gaps.start();
    QTest::qWait(outage * 1000);
    const double deadWorst = gaps.stop();
    const int waiting = b.w->publisher()->outbox().waiting();
    QElapsedTimer back;
    back.start();
    if (!broker.start())
        return 1;
    b.press("pushButtonWatch"); // the watch stops: what was made is all there is
    if (!waitUntil([&] { return b.w->publisher()->outbox().waiting() == 0; }, 60000))
        return 1;
    const double drained = back.nsecsElapsed() / 1e6;
    QFile f(dir.filePath("r.csv"));
    f.open(QIODevice::ReadOnly);
    QStringList made;
    for (const QString &row : QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts).mid(1)) {
        const QStringList v = row.split(',');
        made << QStringLiteral("{\"time\":\"%1\",\"address\":%2,\"temperature_C\":%3,\"humidity_pct\":%4,\"dew_point_C\":%5,\"wet_bulb_C\":%6}")
                    .arg(v[0], v[1], v[2], v[3], v[4], v[5]);
    }
    // Per module, each reading made is found at the subscriber, in order; one
    // sent again after a lost acknowledgement is passed over.
    waitUntil([&] { return seen.size() >= made.size(); }, 10000);
    QTest::qWait(500);
    int missing = 0, disordered = 0, repeated = 0;
    for (const QString &a : addresses) {
        const QString key = "\"address\":" + a + ',';
        const QStringList m = made.filter(key), s = seen.filter(key);
        int next = 0;
        for (const QString &x : s) {
            if (next < m.size() && x == m[next])
                ++next;
            else if (m.mid(0, next).contains(x))
                ++repeated;
            else
                ++disordered;
        }
        missing += m.size() - next;
    }
    std::printf("publish: broker stopped %d s mid-watch (dead broker: worst event-loop gap %.1f ms), %d readings waited; all sent "
                "%.0f ms after it was back; at the subscriber: %lld made, %lld seen, %d missing, %d out of order, %d sent twice\n",
                outage, deadWorst, waiting, drained, qlonglong(made.size()), qlonglong(seen.size()), missing, disordered, repeated);
    sub.terminate();
    sub.waitForFinished(2000);
    return missing || disordered ? 1 : 0;
}

// Bytes this process has handed to write() so far, and those that reached a disk.
std::pair<qint64, qint64> bytesWritten()
{
    QFile io(QStringLiteral("/proc/self/io"));
    qint64 handed = 0, disk = 0;
    if (io.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : io.readAll().split('\n')) {
            if (line.startsWith("wchar: "))
                handed = line.mid(7).toLongLong();
            else if (line.startsWith("write_bytes: "))
                disk = line.mid(13).toLongLong();
        }
    }
    return {handed, disk};
}

// The gateway's outbox on disk: its cost a reading, at 32 readings a round
// (one commit each), and the time a publisher takes to send what it holds
// after a restart, against the same readings from memory.
int spooling()
{
    QTemporaryDir dir;
    const trend::Values values{23.1, 45.6, 10.3, 15.8};
    {
        gateway::Spool spool(1000000);
        if (spool.open(dir.filePath("cost.db")) != gateway::Spool::Ok)
            return std::printf("spool: %s\n", qPrintable(spool.error())), 1;
        const int rounds = 300;
        const auto before = bytesWritten();
        const double cpu = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        for (int r = 0; r < rounds; ++r) {
            for (int a = 1; a <= 32; ++a)
                spool.add({QDateTime::currentDateTime(), quint8(a), values});
            // As the broker acknowledges them: each round forgets the one before.
            spool.commit(spool.end() > 32 ? spool.end() - 32 : 0);
        }
        const auto after = bytesWritten();
        const int n = rounds * 32;
        std::printf("spool: %d rounds of 32 readings, one synced commit each: %.1f µs CPU and %.0f bytes written (%.0f to disk) a reading, "
                    "%.1f ms a round\n", rounds, 1e6 * (cpuSeconds() - cpu) / n, double(after.first - before.first) / n,
                    double(after.second - before.second) / n, wall.nsecsElapsed() / 1e6 / rounds);
    }

    if (MqttBroker::program("mosquitto").isEmpty())
        return std::printf("spool: Mosquitto is not installed\n"), 1;
    MqttBroker broker;
    if (!broker.start("allow_anonymous true"))
        return 1;
    const publish::Settings settings{QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), {}, {}, {}, "drain", false, 4};
    // Sent until the last is acknowledged; the spool forgets what was, once a second as a round would.
    const auto drain = [&](int n, bool spooled) -> double {
        gateway::Spool spool(1000000);
        const QString file = dir.filePath(QStringLiteral("drain%1.db").arg(n));
        if (spooled) {
            if (spool.open(file) != gateway::Spool::Ok)
                return -1;
            for (int i = 0; i < n; ++i) {
                spool.add({QDateTime::currentDateTime(), quint8(1 + i % 32), values});
                if (i % 1000 == 999)
                    spool.commit(0);
            }
            spool.commit(0);
            spool.close();
            if (spool.open(file) != gateway::Spool::Ok) // as after a restart
                return -1;
        }
        publish::Publisher p;
        if (spooled)
            p.keepIn(&spool);
        p.start(settings);
        if (!waitUntil([&] { return p.state() == publish::Publisher::Connected; }, 5000))
            return -1;
        QElapsedTimer wall;
        wall.start();
        for (int i = 0; !spooled && i < n; ++i)
            p.addReading(QDateTime::currentDateTime(), quint8(1 + i % 32), values);
        QTimer round;
        QObject::connect(&round, &QTimer::timeout, [&] { p.commit(); });
        round.start(1000);
        if (!waitUntil([&] { return p.outbox().waiting() == 0; }, 600000))
            return -1;
        return wall.nsecsElapsed() / 1e6;
    };
    drain(publish::Outbox::Bound, false); // the broker warmed up
    const double memory = drain(publish::Outbox::Bound, false), small = drain(publish::Outbox::Bound, true), large = drain(100000, true);
    std::printf("spool: sent after a restart: 100,000 spooled in %.0f ms; %d spooled in %.0f ms, the same from memory (its bound) in %.0f ms\n",
                large, publish::Outbox::Bound, small, memory);
    return memory < 0 || small < 0 || large < 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == "micro")
        return micro();
    if (mode == "idle")
        return idle(args.value(1, "10").toInt());
    if (mode == "soak") {
        const int clear = args.indexOf("--clear-log-every");
        return soak(args.value(1, "86400").toLong(), clear > 0 ? args.value(clear + 1).toLong() : 0);
    }
    if (mode == "session")
        return session();
    if (mode == "scan")
        return scan(args.value(1, "9600").toInt(), args.value(2));
    if (mode == "watch")
        return watch(args.value(1, "40").toInt());
    if (mode == "paced")
        return paced(args.value(1, "300").toInt());
    if (mode == "commission")
        return commission(args.value(1, "19200").toInt());
    if (mode == "publish")
        return publishing(args.value(1, "20").toInt());
    if (mode == "spool")
        return spooling();
    std::fprintf(stderr, "usage: hygrovane-bench micro | idle [SECONDS] | soak [CYCLES] [--clear-log-every N] | session"
                         " | scan [RATE] | watch [SECONDS] | paced [SECONDS] | commission [RATE] | publish [OUTAGE] | spool\n");
    return 2;
}
