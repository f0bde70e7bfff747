// What the window costs while it sits polling: linked to the in-process
// simulated module, reading "ALL" once a second on its own timer. Prints the
// CPU seconds the process used per wall-clock second (getrusage), first
// linked but not reading, then reading, and the polls and replies seen.
//
//   bench_idle [--seconds N]      (default 10 s of reading, 5 s before)
//
// Under `valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no`
// each phase is collected and dumped as "idle_<phase> seconds=<s> polls=<n>".
#include "bench/benchutil.h"
#include "tests/testsupport.h"

#include "tools/modsim/modulesim.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using bench::idleFor;

struct Phase
{
    const char *name;
    double cpu0 = 0;
    QElapsedTimer wall;
    long heard0 = 0;
    explicit Phase(const char *n, long heard) : name(n), heard0(heard)
    {
#ifdef HYGROVANE_HAVE_CALLGRIND
        if (bench::underValgrind()) {
            CALLGRIND_START_INSTRUMENTATION;
            CALLGRIND_ZERO_STATS;
            CALLGRIND_TOGGLE_COLLECT;
        }
#endif
        cpu0 = bench::cpuSeconds();
        wall.start();
    }
    void end(long heard, long replies)
    {
        const double cpu = bench::cpuSeconds() - cpu0;
        const double seconds = wall.nsecsElapsed() / 1e9;
#ifdef HYGROVANE_HAVE_CALLGRIND
        if (bench::underValgrind()) {
            CALLGRIND_TOGGLE_COLLECT;
            const QByteArray tag = QByteArray("idle_") + name + " seconds="
                                   + QByteArray::number(seconds, 'f', 2)
                                   + " polls=" + QByteArray::number(qlonglong(heard - heard0));
            CALLGRIND_DUMP_STATS_AT(tag.constData());
            CALLGRIND_STOP_INSTRUMENTATION;
        }
#endif
        std::printf("IDLE %s wall_s=%.2f cpu_s=%.4f cpu_per_wall=%.5f polls=%ld replies=%ld "
                    "cpu_ms_per_poll=%.3f\n",
                    name, seconds, cpu, cpu / seconds, heard - heard0, replies,
                    heard > heard0 ? cpu * 1000.0 / double(heard - heard0) : 0.0);
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char **argv)
{
    int seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(bench::dropDebug);
    QApplication app(argc, argv);

    modsim::ModuleSim sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulated module: %s\n", qPrintable(sim.errorString()));
        return 2;
    }
    sim.setAddress(1);
    sim.setBaudRate(9600);
    long heard = 0;
    QObject::connect(&sim, &modsim::ModuleSim::requestHeard, [&] { ++heard; });

    Widget w;
    w.show();
    Ui::Widget *ui = WidgetAccess::ui(&w);
    {
        MessageBoxCatcher boxes;
        boxes.setDialogHandler(chooseLink(sim.portPath(), QStringLiteral("9600")));
        ui->pushButtonLink->click();
        const bool linked = bench::waitUntil(
            [&] {
                return ui->lineEditAddress->text() == QLatin1String("1")
                    && !WidgetAccess::timerResponse(&w)->isActive();
            },
            5000);
        if (!linked || boxes.count()) {
            std::fprintf(stderr, "the window did not link to the simulated module\n");
            return 1;
        }
        // The catcher polls every 5 ms: it goes before anything is measured.
    }
    idleFor(500);

    QTextDocument *log = ui->textBrowser->document();
    auto rxLines = [&] {
        return WidgetAccess::logLines(&w).filter(QStringLiteral("->RX")).size();
    };

    Phase linked("linked_not_reading", heard);
    idleFor(seconds * 500);
    linked.end(heard, 0);

    const int rxBefore = rxLines();
    ui->pushButtonRead->click();
    Phase polling("polling", heard);
    idleFor(seconds * 1000);
    polling.end(heard, rxLines() - rxBefore);
    ui->pushButtonRead->click();

    const bool ok = !QApplication::activeModalWidget() && heard >= 2 && log->blockCount() > 2;
    if (!ok)
        std::fprintf(stderr, "polling did not go as expected (a message box, or no replies)\n");
    return ok ? 0 : 1;
}
