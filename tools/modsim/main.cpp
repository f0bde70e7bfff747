// hygrovane-modsim: temperature-and-humidity modules on a pseudo-terminal,
// one or a line of several, for trying the program without the hardware.

#include "modulesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = sig == SIGUSR1 ? 'u' : 'q';
    // Nothing to do if the pipe is full: a quit is already on its way.
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// The silences the client kept before its frames since the last summary,
// against Modbus's three and a half characters; then a fresh count.
void summarise(modsim::ModuleSim &sim, qint32 baud)
{
    QVector<qint64> gaps = sim.requestGaps();
    sim.clearRequestGaps();
    std::sort(gaps.begin(), gaps.end());
    const qint64 least = baud > 19200 ? 1750 : (35 * qint64(1000000) + baud - 1) / baud;
    const auto under = std::count_if(gaps.cbegin(), gaps.cend(), [least](qint64 gap) { return gap < least; });
    std::printf("hygrovane-modsim: %d requests, %d of them less than 3.5 characters after the last byte on the line; "
                "gaps shortest %.2f ms, median %.2f ms\n",
                int(gaps.size()), int(under), gaps.isEmpty() ? 0.0 : gaps.first() / 1000.0,
                gaps.isEmpty() ? 0.0 : gaps.at(gaps.size() / 2) / 1000.0);
    std::fflush(stdout);
}

// SIGINT/SIGTERM/SIGHUP end the event loop normally, so the link is removed;
// SIGUSR1 prints the summary of the request gaps (with --pace).
bool quitOnSignals(QCoreApplication &app, modsim::ModuleSim &sim, qint32 baud)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, &sim, baud] {
        char buf[16];
        bool quit = false;
        for (ssize_t n; (n = ::read(g_signalPipe[0], buf, sizeof buf)) > 0;) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == 'u')
                    summarise(sim, baud);
                else
                    quit = true;
            }
        }
        if (quit)
            app.quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        ::sigaction(sig, &sa, nullptr);
    return true;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

void logLine(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

// "1, 5 and 17@19200, 9600 baud unless marked,": each module off the line's
// usual rate carries its own, and one with delays of its own carries them.
QString lineDescription(const modsim::ModuleSim &sim, qint32 baud)
{
    QStringList names;
    bool marked = false;
    bool unmarked = false;
    for (int i = 0; i < sim.moduleCount(); ++i) {
        const modsim::Module *m = sim.module(i);
        QString name = QString::number(m->address());
        if (m->baudRate() == baud) {
            unmarked = true;
        } else {
            name += QStringLiteral("@%1").arg(m->baudRate());
            marked = true;
        }
        if (m->answerDelay() >= 0)
            name += QStringLiteral("~%1").arg(m->answerDelay());
        if (m->switchDelay() >= 0)
            name += QStringLiteral("/%1").arg(m->switchDelay());
        names << name;
    }
    const QString list = names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ")
                         + names.last();
    if (!unmarked)
        return list;
    return list + QStringLiteral(", %1 baud").arg(baud) + (marked ? QStringLiteral(" unless marked,") : QString());
}

[[noreturn]] void usageError(QCommandLineParser &parser, const QString &message)
{
    std::fprintf(stderr, "hygrovane-modsim: %s\n\n%s", qPrintable(message), qPrintable(parser.helpText()));
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hygrovane-modsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated temperature-and-humidity modules on a pseudo-terminal: one, or a\n"
        "line of several wired to one pair. Type the printed port path into the\n"
        "program's Link dialog.\n\n"
        "Each module hears and answers only at its own rate. A request to address 0\n"
        "and every data-logger request reach every module that hears them; when more\n"
        "than one answers at once (or two share an address) the replies collide and\n"
        "one garbled reply with a failing CRC or checksum goes out, as on a real line.\n"
        "A module answers when it is ready, waiting for no other: replies that\n"
        "overlap in part are garbled where they overlap.\n"
        "The fault switches apply to every module; --echo, --pace and --latency make\n"
        "the line look as it does through a USB adapter on a two-wire RS-485 pair."));
    parser.addHelpOption();
    const QCommandLineOption addressOpt(QStringLiteral("address"),
                                        QStringLiteral("The modules on the line by bus address, 1..247, "
                                                       "separated by commas (default 1), each "
                                                       "ADDR[@RATE][~MS][/MS]: @RATE puts one at another rate "
                                                       "than --baud, ~MS gives it an answer delay of its own, "
                                                       "/MS a switch delay of its own, e.g. "
                                                       "1~35,5,17@19200~35/200."),
                                        QStringLiteral("LIST"), QStringLiteral("1"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"),
                                     QStringLiteral("Rate of the modules without @RATE: 1200, 2400, "
                                                    "4800, 9600, 19200 or 115200 (default 9600)."),
                                     QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption linkOpt(QStringLiteral("link"),
                                     QStringLiteral("Also make a symbolic link to the port at PATH "
                                                    "(removed on exit)."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption silentOpt(QStringLiteral("silent"),
                                       QStringLiteral("Hear requests but never answer."));
    const QCommandLineOption delayOpt(QStringLiteral("delay"),
                                      QStringLiteral("Answer MS milliseconds after each request has "
                                                     "ended (with --pace, once its last byte has "
                                                     "crossed the wire)."),
                                      QStringLiteral("MS"));
    const QCommandLineOption splitOpt(QStringLiteral("split"),
                                      QStringLiteral("Write each reply in N pieces, GAPMS apart."),
                                      QStringLiteral("N:GAPMS"));
    const QCommandLineOption extraOpt(QStringLiteral("extra-byte"),
                                      QStringLiteral("Append a stray byte to each reply."));
    const QCommandLineOption strayOpt(QStringLiteral("stray"),
                                      QStringLiteral("Send a stray 00 byte before each reply."));
    const QCommandLineOption echoOpt(QStringLiteral("echo"),
                                     QStringLiteral("Send every byte the program writes back to it, "
                                                    "at any rate, as a two-wire adapter hears itself."));
    const QCommandLineOption paceOpt(QStringLiteral("pace"),
                                     QStringLiteral("Let every byte take its wire time, 10 bits at "
                                                    "the line's rate, both ways: a reply comes in "
                                                    "pieces as it crosses."));
    const QCommandLineOption latencyOpt(QStringLiteral("latency"),
                                        QStringLiteral("Hand what the program receives over in "
                                                       "chunks every MS milliseconds, as a USB "
                                                       "adapter's latency timer does."),
                                        QStringLiteral("MS"));
    const QCommandLineOption switchDelayOpt(QStringLiteral("switch-delay"),
                                            QStringLiteral("After echoing a baud-rate write, keep "
                                                           "the old rate MS milliseconds more."),
                                            QStringLiteral("MS"));
    const QCommandLineOption badCrcOpt(QStringLiteral("bad-crc"),
                                       QStringLiteral("Spoil the CRC of each reply."));
    const QCommandLineOption noiseOpt(QStringLiteral("noise"),
                                      QStringLiteral("Write a few random bytes between replies."));
    const QCommandLineOption frozenOpt(QStringLiteral("no-drift"),
                                       QStringLiteral("Keep the measured values still."));
    const QCommandLineOption modelOpt(QStringLiteral("model"),
                                      QStringLiteral("Data-logger model number, 0..9999 (default 2021)."),
                                      QStringLiteral("N"), QStringLiteral("2021"));
    const QCommandLineOption longFrameOpt(QStringLiteral("long-frame"),
                                          QStringLiteral("Answer every data-logger request with "
                                                         "the 135-byte long frame."));
    const QCommandLineOption refuseOpt(QStringLiteral("refuse"),
                                       QStringLiteral("Refuse every register write (exception 2, "
                                                      "nothing changed); reads are answered."));
    const QCommandLineOption loggerSilentOpt(QStringLiteral("logger-silent"),
                                             QStringLiteral("Obey data-logger requests but never "
                                                            "answer them."));
    const QCommandLineOption noSetupAckOpt(QStringLiteral("no-setup-ack"),
                                           QStringLiteral("Ignore the data-logger setup: store "
                                                          "nothing, answer nothing."));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"),
                                        QStringLiteral("Log requests and replies to stderr."));
    parser.addOptions({addressOpt, baudOpt, linkOpt, silentOpt, delayOpt, splitOpt, extraOpt, strayOpt,
                       badCrcOpt, noiseOpt, echoOpt, paceOpt, latencyOpt, switchDelayOpt, frozenOpt,
                       modelOpt, longFrameOpt, refuseOpt, loggerSilentOpt, noSetupAckOpt, verboseOpt});
    parser.process(app);

    modsim::ModuleSim sim;

    bool ok = false;
    const int baud = parser.value(baudOpt).toInt(&ok);
    if (!ok || modsim::ModuleSim::baudCode(baud) == 0)
        usageError(parser, QStringLiteral("--baud must be 1200, 2400, 4800, 9600, 19200 or 115200"));
    if (!sim.setModules(parser.value(addressOpt), baud))
        usageError(parser, QStringLiteral("--address takes addresses 1..247 separated by commas, each "
                                          "with @RATE if it runs at another rate, ~MS for its own answer "
                                          "delay and /MS for its own switch delay, e.g. 1~35,5,17@19200/200"));
    const int model = parser.value(modelOpt).toInt(&ok);
    if (!ok || !sim.setLoggerModel(model))
        usageError(parser, QStringLiteral("--model must be 0..9999"));
    const auto milliseconds = [&parser](const QCommandLineOption &option) {
        bool ok = false;
        const int ms = parser.value(option).toInt(&ok);
        if (!ok || ms < 0)
            usageError(parser, QStringLiteral("--%1 needs a number of milliseconds").arg(option.names().first()));
        return ms;
    };
    if (parser.isSet(delayOpt))
        sim.setReplyDelay(milliseconds(delayOpt));
    if (parser.isSet(latencyOpt))
        sim.setLatency(milliseconds(latencyOpt));
    if (parser.isSet(switchDelayOpt))
        sim.setSwitchDelay(milliseconds(switchDelayOpt));
    if (parser.isSet(splitOpt)) {
        const QStringList parts = parser.value(splitOpt).split(QLatin1Char(':'));
        bool okChunks = false;
        bool okGap = parts.size() == 2;
        const int chunks = parts.value(0).toInt(&okChunks);
        const int gap = okGap ? parts.value(1).toInt(&okGap) : 0;
        if (!okChunks || !okGap || chunks < 1 || gap < 0)
            usageError(parser, QStringLiteral("--split takes N:GAPMS, e.g. 3:20"));
        sim.setSplit(chunks, gap);
    }
    sim.setExtraByte(parser.isSet(extraOpt));
    sim.setStray(parser.isSet(strayOpt));
    sim.setEcho(parser.isSet(echoOpt));
    sim.setPace(parser.isSet(paceOpt));
    sim.setCorruptCrc(parser.isSet(badCrcOpt));
    sim.setNoise(parser.isSet(noiseOpt));
    for (int i = 0; i < sim.moduleCount(); ++i) {
        modsim::Module *m = sim.module(i);
        m->setLoggerModel(model);
        m->setSilent(parser.isSet(silentOpt));
        m->setDrift(!parser.isSet(frozenOpt));
        m->setLongFrame(parser.isSet(longFrameOpt));
        m->setRefusing(parser.isSet(refuseOpt));
        m->setLoggerSilent(parser.isSet(loggerSilentOpt));
        m->setSetupUnacknowledged(parser.isSet(noSetupAckOpt));
    }

    if (parser.isSet(verboseOpt)) {
        QObject::connect(&sim, &modsim::ModuleSim::requestHeard, [](const QByteArray &f) {
            logLine(QStringLiteral("rx %1").arg(hex(f)));
        });
        QObject::connect(&sim, &modsim::ModuleSim::loggerFrameHeard, [](const QByteArray &f) {
            logLine(QStringLiteral("rx logger %1").arg(hex(f)));
        });
        QObject::connect(&sim, &modsim::ModuleSim::replySent, [](const QByteArray &f) {
            logLine(QStringLiteral("tx %1").arg(hex(f)));
        });
        QObject::connect(&sim, &modsim::ModuleSim::discarded, [](const QByteArray &f) {
            logLine(QStringLiteral("dropped %1").arg(hex(f)));
        });
        // On a line, which module changed, counted in the order of --address.
        for (int i = 0; i < sim.moduleCount(); ++i) {
            const QString who = sim.moduleCount() > 1 ? QStringLiteral("module %1: ").arg(i + 1) : QString();
            QObject::connect(sim.module(i), &modsim::Module::addressChanged, [who](int a) {
                logLine(QStringLiteral("%1address now %2").arg(who).arg(a));
            });
            QObject::connect(sim.module(i), &modsim::Module::baudRateChanged, [who](int b) {
                logLine(QStringLiteral("%1baud rate now %2").arg(who).arg(b));
            });
        }
    }

    if (!quitOnSignals(app, sim, baud)) {
        std::perror("hygrovane-modsim: pipe");
        return 1;
    }
    if (!sim.start(parser.value(linkOpt))) {
        std::fprintf(stderr, "hygrovane-modsim: %s\n", qPrintable(sim.errorString()));
        return 1;
    }

    if (sim.moduleCount() == 1)
        std::printf("hygrovane-modsim: module at address %d, %d baud on %s\n", int(sim.address()),
                    int(sim.baudRate()), qPrintable(sim.portPath()));
    else
        std::printf("hygrovane-modsim: modules at addresses %s on %s\n", qPrintable(lineDescription(sim, baud)),
                    qPrintable(sim.portPath()));
    std::fflush(stdout);

    const int rc = app.exec();
    sim.stop();
    return rc;
}
