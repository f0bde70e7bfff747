// A day of polling compressed into minutes: the real window, linked through
// its settings dialog to the in-process simulated module on a pty, polled
// as soon as the previous reply was decoded instead of once a second, with
// address reads and logger requests mixed in. Every reply is checked
// against the frame the module put on the line, and the time per cycle and
// the resident memory are followed while the traffic log keeps growing.
//
//   soak [--cycles N] [--clear-log-every N] [--hidden] [--corrupt-every N]
//
// --corrupt-every N has the module spoil the CRC of every Nth poll reply: a
// check of the checker, which must then count exactly those as lost.
//
// Exit status: 0 when no value was wrong or lost, no message box appeared and
// the last 1000 cycles were at most twice as slow as the first 1000 (medians).
#include "bench/benchutil.h"
#include "tests/testsupport.h"

#include "app/uartdata.h"
#include "protocol/logger.h"
#include "tools/modsim/modulesim.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QString tenths(int value)
{
    return QString::number(value / 10.0, 'f', 1);
}

quint16 word(const QByteArray &frame, int at)
{
    return quint16(quint8(frame[at]) << 8 | quint8(frame[at + 1]));
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    const size_t at = std::min(v.size() - 1, size_t(p * double(v.size())));
    std::nth_element(v.begin(), v.begin() + long(at), v.end());
    return v[at];
}

double mean(const std::vector<double> &v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / v.size();
}

struct Counts
{
    long polls = 0;
    long wrong = 0;
    long lost = 0;
    long addressReads = 0;
    long addressFailed = 0;
    long serialReads = 0;
    long serialFailed = 0;
    long settingsReads = 0;
    long settingsFailed = 0;
};

} // namespace

int main(int argc, char **argv)
{
    long cycles = 86400;
    long clearEvery = 0;
    bool hidden = false;
    long corruptEvery = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--cycles") && i + 1 < argc)
            cycles = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--clear-log-every") && i + 1 < argc)
            clearEvery = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--hidden"))
            hidden = true;
        else if (!std::strcmp(argv[i], "--corrupt-every") && i + 1 < argc)
            corruptEvery = std::atol(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--cycles N] [--clear-log-every N] [--hidden] [--corrupt-every N]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every chunk received is traced with qDebug; a day of that on a terminal
    // would measure the terminal.
    qInstallMessageHandler(bench::dropDebug);
    QApplication app(argc, argv);
    const long rssStart = rssKiB();

    modsim::ModuleSim sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulated module: %s\n", qPrintable(sim.errorString()));
        return 2;
    }
    sim.setAddress(1);
    sim.setBaudRate(115200);
    sim.setDrift(true);
    sim.setDriftInterval(2); // a new reading every cycle or two

    QByteArray lastReply;
    long repliesSent = 0;
    QObject::connect(&sim, &modsim::ModuleSim::replySent, [&](const QByteArray &frame) {
        lastReply = frame;
        ++repliesSent;
    });
    long requestsHeard = 0;
    QObject::connect(&sim, &modsim::ModuleSim::requestHeard, [&] { ++requestsHeard; });

    Widget w;
    if (!hidden)
        w.show();
    Ui::Widget *ui = WidgetAccess::ui(&w);
    QTextDocument *log = ui->textBrowser->document();
    MessageBoxCatcher boxes;
    boxes.setDialogHandler(chooseLink(sim.portPath(), QStringLiteral("115200")));

    ui->pushButtonLink->click();
    if (!bench::waitUntil([&] { return ui->lineEditAddress->text() == QLatin1String("1")
                                && !WidgetAccess::timerResponse(&w)->isActive(); },
                   3000)
        || boxes.count() != 0) {
        std::fprintf(stderr, "the window did not link to %s at 115200\n", qPrintable(sim.portPath()));
        return 1;
    }
    ui->pushButtonRead->click();
    if (ui->pushButtonRead->text() != QLatin1String("Stop")) {
        std::fprintf(stderr, "reading did not start\n");
        return 1;
    }

    auto logLines = [&] { return log->isEmpty() ? 0 : log->blockCount(); };
    // What the window would do by itself before the next poll, which in real
    // use comes at least a second later: the watchdog finds the reply, the
    // silence clears the buffer, the record buttons unlock.
    auto elapseCommandTimers = [&](bool recordLock) {
        QMetaObject::invokeMethod(&w, "TimerResponseSlot");
        QMetaObject::invokeMethod(&w, "TimerClearSlot");
        if (recordLock)
            QMetaObject::invokeMethod(&w, "TimerDelaySlot");
    };

    Counts n;
    const QString temperatureLabel = QStringLiteral("Temperature:");
    const QString humidityLabel = QStringLiteral("Humidity:");
    const QString dewLabel = QStringLiteral("DewTemp:");
    const QString wetLabel = QStringLiteral("WetBulbTemp:");
    const QChar celsius(0x2103);

    // Shorter than the window's own poll interval, so that a poll of its
    // timer can never stand in for a lost reply.
    const int replyTimeoutMs = 900;
    auto poll = [&]() {
        const int before = logLines();
        const long sent = repliesSent;
        QMetaObject::invokeMethod(&w, "ReadHumitureOrder");
        ++n.polls;
        if (!bench::waitUntil([&] { return repliesSent > sent && logLines() >= before + 2; },
                       replyTimeoutMs)) {
            ++n.lost;
            return;
        }
        const QByteArray &f = lastReply;
        if (f.size() != 15 || f.left(3) != QByteArray::fromHex("01030a")) {
            ++n.wrong;
            return;
        }
        const qint16 t = qint16(word(f, 3));
        const quint16 h = word(f, 5);
        const qint16 d = qint16(word(f, 7));
        const qint16 wb = qint16(word(f, 9));
        const bool stored = UartData.Temperature == t && UartData.Humidity == h
                            && UartData.DewTemp == d && UartData.WetBulbTemp == wb;
        const bool shown = ui->labelTemperature->text() == temperatureLabel + tenths(t) + celsius
                           && ui->labelHumidity->text() == humidityLabel + tenths(h) + QLatin1Char('%')
                           && ui->labelDewTemp->text() == dewLabel + tenths(d) + celsius
                           && ui->labelWetBulbTemp->text() == wetLabel + tenths(wb) + celsius;
        if (!stored || !shown)
            ++n.wrong;
    };

    auto readAddress = [&]() {
        ++n.addressReads;
        const int before = logLines();
        const long sent = repliesSent;
        ui->pushButtonAddressRead->click();
        const bool ok = bench::waitUntil([&] { return repliesSent > sent && logLines() >= before + 2; },
                                  replyTimeoutMs)
                        && UartData.ReplyReceived == 1
                        && ui->lineEditAddress->text() == QString::number(sim.address())
                        && UartData.Address == sim.address();
        if (!ok)
            ++n.addressFailed;
        elapseCommandTimers(false);
    };

    QRandomGenerator rng(20240601);
    auto readSerial = [&]() {
        ++n.serialReads;
        // A fresh number each time, so that a stale field cannot pass; the
        // bytes stay decimal pairs as the module's own numbers are.
        QByteArray six(6, '\0');
        for (char &c : six)
            c = char(rng.bounded(100));
        sim.setSerialBytes(six, quint8(rng.bounded(256)));
        const QString expected = QString::fromLatin1(six.toHex());
        const long sent = repliesSent;
        ui->pushButtonReadSN->click();
        const bool ok = bench::waitUntil([&] { return repliesSent > sent && UartData.ReplyReceived == 1; },
                                  replyTimeoutMs)
                        && UartData.SerialNumber == expected && ui->lineEditSN->text() == expected
                        && UartData.LoggerModel == sim.loggerModel();
        if (!ok)
            ++n.serialFailed;
        elapseCommandTimers(false);
    };

    auto readSettings = [&]() {
        ++n.settingsReads;
        const int mode = 1 + int(rng.bounded(3));
        const int index = int(rng.bounded(16));
        sim.setRecordMode(mode);
        sim.setSampleInterval(quint16(logger::sampleSecondsForIndex(index)));
        const long sent = repliesSent;
        ui->pushButtonReadRecord->click();
        const bool ok = bench::waitUntil([&] { return repliesSent > sent && UartData.ReplyReceived == 1; },
                                  replyTimeoutMs)
                        && UartData.RecordMode == mode
                        && UartData.SampleRate == logger::sampleSecondsForIndex(index)
                        && ui->sample_ratecomboBox->currentIndex() == index
                        && ui->radioButtonRealmonitoring->isChecked() == false
                        && (mode == 3 || ui->recmodecomboBox->currentIndex() == mode - 1);
        if (!ok)
            ++n.settingsFailed;
        elapseCommandTimers(true);
    };

    std::vector<double> cycleMs;
    std::vector<double> cycleCpuMs;
    cycleMs.reserve(size_t(cycles));
    cycleCpuMs.reserve(size_t(cycles));
    const long rssBefore = rssKiB();
    const int linesBefore = logLines();
    const long heardBefore = requestsHeard;
    long expectedRequests = 0;
    std::printf("soak: %ld cycles, log cleared every %ld, window %s; RSS at start %ld KiB, "
                "linked %ld KiB\n",
                cycles, clearEvery, hidden ? "hidden" : "shown", rssStart, rssBefore);
    std::printf("%8s %8s %10s %10s %8s %10s %10s %9s %11s %6s %5s\n", "cycles", "s", "ms/cycle",
                "cpu ms/c", "p99 ms", "RSS KiB",
                "log lines", "log MiB", "wrong+lost", "boxes", "cmds");
    std::fflush(stdout);

    QElapsedTimer total;
    total.start();
    QElapsedTimer one;
    double windowStart = 0;
    long peakRss = rssBefore;
    for (long c = 1; c <= cycles; ++c) {
        one.start();
        // CPU of the whole process: the window and the module.
        const double cpuBefore = bench::cpuSeconds();
        const bool spoil = corruptEvery > 0 && c % corruptEvery == 0;
        if (spoil)
            sim.setCorruptCrc(true);
        poll();
        if (spoil)
            sim.setCorruptCrc(false);
        ++expectedRequests;
        if (c % 100 == 50) {
            readAddress();
            ++expectedRequests;
        }
        if (c % 1000 == 500) {
            readSerial();
            readSettings();
        }
        cycleMs.push_back(one.nsecsElapsed() / 1e6);
        cycleCpuMs.push_back((bench::cpuSeconds() - cpuBefore) * 1e3);
        if (clearEvery > 0 && c % clearEvery == 0)
            ui->textBrowser->clear();
        if (c % 10000 == 0 || c == cycles) {
            const double now = total.elapsed() / 1000.0;
            const long from = c - (c % 10000 == 0 ? 10000 : c % 10000);
            const long rss = rssKiB();
            peakRss = std::max(peakRss, rss);
            const std::vector<double> span(cycleMs.end() - (c - from), cycleMs.end());
            double spanCpu = 0;
            for (auto it = cycleCpuMs.end() - (c - from); it != cycleCpuMs.end(); ++it)
                spanCpu += *it;
            std::printf("%8ld %8.1f %10.3f %10.3f %8.2f %10ld %10d %9.1f %11ld %6d %5ld\n", c, now,
                        (now - windowStart) * 1000.0 / double(c - from), spanCpu / double(c - from),
                        percentile(span, 0.99), rss, logLines(),
                        log->characterCount() * 2.0 / 1048576.0, n.wrong + n.lost, boxes.count(),
                        n.addressFailed + n.serialFailed + n.settingsFailed);
            std::fflush(stdout);
            windowStart = now;
        }
    }
    const double totalS = total.elapsed() / 1000.0;
    const long rssAfter = rssKiB();
    const int lines = logLines();
    const long chars = log->characterCount();

    const size_t k = std::min<size_t>(1000, cycleMs.size());
    const std::vector<double> first(cycleMs.begin(), cycleMs.begin() + long(k));
    const std::vector<double> last(cycleMs.end() - long(k), cycleMs.end());
    const double ratio = median(first) > 0 ? median(last) / median(first) : 0;
    const double ratioMean = mean(first) > 0 ? mean(last) / mean(first) : 0;
    const std::vector<double> firstCpu(cycleCpuMs.begin(), cycleCpuMs.begin() + long(k));
    const std::vector<double> lastCpu(cycleCpuMs.end() - long(k), cycleCpuMs.end());
    // Logger frames are requests too, but only RTU ones are counted as heard
    // by the simulator's requestHeard; extra ones would be polls of the
    // window's own timer, which the soak never lets run out.
    const long extraRequests = requestsHeard - heardBefore - expectedRequests;

    std::printf("\nresult: cycles %ld, polls %ld, wrong %ld, lost %ld, message boxes %d, "
                "unexpected requests %ld\n",
                cycles, n.polls, n.wrong, n.lost, boxes.count(), extraRequests);
    if (corruptEvery > 0)
        std::printf("result: replies spoilt on purpose %ld: they must all be among the lost\n",
                    cycles / corruptEvery);
    std::printf("result: address reads %ld (failed %ld), serial-number reads %ld (failed %ld), "
                "settings reads %ld (failed %ld)\n",
                n.addressReads, n.addressFailed, n.serialReads, n.serialFailed, n.settingsReads,
                n.settingsFailed);
    std::printf("result: total %.1f s, %.3f ms per cycle on average\n", totalS, totalS * 1000.0 / cycles);
    std::printf("result: first %zu cycles: median %.3f ms, mean %.3f ms; last %zu: median %.3f ms, "
                "mean %.3f ms; last/first %.2f (median), %.2f (mean)\n",
                k, median(first), mean(first), k, median(last), mean(last), ratio, ratioMean);
    std::printf("result: wall ms per cycle, p90/p99/max: first %.3f/%.3f/%.3f, last %.3f/%.3f/%.3f\n",
                percentile(first, 0.9), percentile(first, 0.99), percentile(first, 1),
                percentile(last, 0.9), percentile(last, 0.99), percentile(last, 1));
    std::printf("result: CPU ms per cycle (process, getrusage), mean: first %.3f, last %.3f, "
                "last/first %.2f\n",
                mean(firstCpu), mean(lastCpu), mean(firstCpu) > 0 ? mean(lastCpu) / mean(firstCpu) : 0);
    std::printf("result: RSS at start %ld KiB, linked %ld KiB, after %ld KiB (growth %ld KiB), peak "
                "sampled %ld KiB\n",
                rssStart, rssBefore, rssAfter, rssAfter - rssBefore, std::max(peakRss, rssAfter));
    std::printf("result: log %d lines (%d new), %ld characters = %.1f MiB as UTF-16; that is "
                "%.0f%% of the RSS growth\n",
                lines, lines - linesBefore, chars, chars * 2.0 / 1048576.0,
                rssAfter > rssBefore ? 100.0 * chars * 2.0 / 1024.0 / double(rssAfter - rssBefore) : 0.0);
    std::fflush(stdout);

    const bool ok = n.wrong == 0 && n.lost == 0 && boxes.count() == 0 && n.addressFailed == 0
                    && n.serialFailed == 0 && n.settingsFailed == 0 && ratio <= 2.0;
    std::printf("soak %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
