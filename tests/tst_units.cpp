// Everything but the end-to-end runs: the pure functions byte for byte
// (checksums, frames, log lines, the CSV record, the build stamp, the thinning
// of the history), the simulated module as a third-party Modbus client finds
// it, and the window without a line: its start state and enabling rules, the
// catalogue, and received bytes fed through the real reception code chunk by
// chunk, under a German default locale; the network transport before a real
// ser2net. Expected bytes are published check values or worked out by hand.
#include "fixture.h"

#include "app/buildstamp.h"
#include "app/catalogue.h"
#include "app/startup.h"
#include "bus/moduletable.h"
#include "bus/scan.h"
#include "link/networktransport.h"
#include "link/porterror.h"
#include "link/rfc2217.h"
#include "bus/schedule.h"
#include "commission/report.h"
#include "gateway/config.h"
#include "gateway/language.h"
#include "gateway/diagnostics.h"
#include "gateway/identity.h"
#include "gateway/notify.h"
#include "gateway/signals.h"
#include "gateway/spool.h"
#include "protocol/logframe.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"
#include "publish/outbox.h"
#include "publish/reasons.h"
#include "share/forwarder.h"
#include "share/listener.h"
#include "share/modbus.h"
#include "bus/watcher.h"
#include "masters.h"
#include "trend/record.h"
#include "ser2net.h"

#include <QHostAddress>
#include <QSerialPort>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

#include <cmath>
#include <csignal>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Chunks = QList<QByteArray>;

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }
static QString hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ')); }

// An information reply: model 2021 at offsets 6-9, serial 1a0c06031f1d at 12-17.
static const QByteArray kInfo = bytes("7b220c10000032303231000" "01a0c06031f1d000000227d");

static QByteArray withCrc(const QByteArray &hexBody)
{
    const QByteArray body = QByteArray::fromHex(hexBody);
    const quint16 crc = rtu::crc16(body);
    return body + char(crc & 0xFF) + char(crc >> 8);
}

// A 36-byte settings reply: its mode byte (offset 10) and interval (17-18).
static QByteArray settingsReply(const char *mode, const char *interval)
{
    return bytes("7b221c1d" + QByteArray(12, '0') + mode + QByteArray(12, '0') + interval + QByteArray(30, '0') + "227d");
}

// A line with nothing behind it: what is written is noted with its rate,
// and what the test hands over comes back as if the line had brought it.
class PaperTransport : public Transport
{
public:
    using Transport::Transport;
    QString name() const override { return QStringLiteral("paper"); }
    bool open(qint32 rate, QString *) override { return m_rate = rate, m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    qint32 rate() const override { return m_rate; }
    bool setRate(qint32 rate) override { return m_rate = rate, true; }
    void write(const QByteArray &bytes) override { written << QString("%1@%2").arg(quint8(bytes[0])).arg(m_rate); }
    QByteArray readAll() override { return std::exchange(m_coming, QByteArray()); }
    void takeWaiting() override {}
    void discard() override {}
    void bring(const QByteArray &bytes) { m_coming += bytes, emit readyRead(); }
    QStringList written;

private:
    qint32 m_rate = 0;
    bool m_open = false;
    QByteArray m_coming;
};

class TestUnits : public QObject
{
    Q_OBJECT
    Bench b;

    // Values, address, acknowledgement, what the labels show after
    // the form's own texts, whether the bytes were echoed, and what is left.
    QString rtuState(const QByteArray &all) const
    {
        const QStringList log = b.traffic();
        const QString echo = log.isEmpty() ? QStringLiteral("-")
            : log == QStringList{QStringLiteral("RX ") + all.toHex()} ? QStringLiteral("logged") : log.join(',');
        return QStringLiteral("%1 %2 %3 %4 a%5 r%6 | %7 | %8 buf%9")
            .arg(UartData.Temperature).arg(UartData.Humidity).arg(UartData.DewTemp).arg(UartData.WetBulbTemp)
            .arg(UartData.Address).arg(UartData.ReplyReceived).arg(b.state("shown").mid(6), echo)
            .arg(UartData.RxBuffer.size());
    }
    // The window opens at the size it was designed for, whatever the language
    // and the screen: the program runs here at 192 dpi, on twice the pixels.
    void verifyDesignedSize()
    {
        b.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(b.w));
        QCOMPARE(QStringLiteral("%1x%2 at %3x").arg(b.w->width()).arg(b.w->height()).arg(b.w->devicePixelRatioF()),
                 QStringLiteral("874x628 at 2x"));
    }
    void feed(const QString &request, const Chunks &chunks)
    {
        WidgetAccess::onLine(b.w, request);
        for (const QByteArray &chunk : chunks)
            WidgetAccess::receive(b.w, chunk);
    }

private slots:
    void table_data();
    void table()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // Readings (seconds from a moment on the buckets' grid, and a temperature;
    // NaN where not carried) in; the points drawn for a span out: how many,
    // then the first and the last as seconds:value.
    void thinning_data();
    void thinning()
    {
        QFETCH(QVector<QPointF>, readings);
        QFETCH(int, span);
        QFETCH(QString, expected);
        const qint64 t0 = 1728000000000; // ms
        trend::History history;
        for (const QPointF &r : readings)
            history.add(t0 + qRound64(r.x() * 1000), {r.y(), NAN, NAN, NAN});
        const QVector<trend::Point> points = history.points(trend::Span(span), trend::Temperature);
        QString drawn = QString::number(points.size());
        for (const trend::Point &p : points.isEmpty() ? points : QVector<trend::Point>{points.first(), points.last()})
            drawn += QStringLiteral(" | %1:%2").arg((p.msecs - t0) / 1000.0, 0, 'f', 1).arg(p.value, 0, 'f', 1);
        QCOMPARE(drawn, expected);
        QVERIFY(history.points(trend::Span(span), trend::Humidity).isEmpty());
    }
    // The scan's requests and waits, and what an outcome says of an address.
    void scanPlan_data();
    void scanPlan()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // The plan's rules: the next module's address past those given, a serial
    // number the batch has not given yet, and the start time a setup sends.
    void plan_data();
    void plan()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // The watch's round robin: which row is polled when, each poll taking
    // pollMs, against a clock the test moves ("wait N": no poll for N ms).
    void schedule_data();
    void schedule()
    {
        QFETCH(QString, watched);
        QFETCH(int, pollMs);
        QFETCH(QString, expected);
        QVector<bool> rows, resting;
        for (QChar c : watched)
            rows << (c != '0'), resting << (c == 'r');
        bus::Schedule schedule;
        QStringList steps;
        for (qint64 now = 0, wait = 0; steps.size() < (watched.contains('r') ? 12 : 8);) {
            const int row = schedule.next(rows, now, &wait, resting);
            steps << (row < 0 ? QStringLiteral("wait %1").arg(wait) : QStringLiteral("%1:%2").arg(now).arg(row));
            now += row < 0 ? wait : pollMs;
        }
        QCOMPARE(steps.join(' '), expected);
    }

    // One module's commissioning as data: what the line brings back to each
    // request ("-" nothing, "#" bytes that make no frame, "cut" the run
    // stopped before it came, else the reply), the verdicts, and the report row. The plan: address 12, 19200 baud,
    // recording after setup, one sample a minute, serial number 261206033129.
    void commissioning_data();
    void commissioning()
    {
        QFETCH(QString, replies);
        QFETCH(QString, expected);
        QFETCH(QString, report);
        commission::Plan plan{12, 19200, 1, 1767225600, 60};
        QFETCH(int, rate);
        plan.baudRate = rate;
        commission::Run run(plan, QStringLiteral("261206033129"));
        QStringList asked;
        for (const QString &reply : replies.split(' ', Qt::SkipEmptyParts)) {
            if (reply == "stop")
                run.stop();
            else if (const auto request = run.next(1767225000))
                asked << QStringLiteral("%1:%2").arg(request->baudRate).arg(QString::fromLatin1(request->frame.toHex().left(12))),
                reply == "cut" ? run.cutOff(), run.stop()
                               : run.take(reply == "-" ? Exchange::Silent : reply == "#" ? Exchange::Garbled : Exchange::Answered,
                                          reply.size() > 1 ? bytes(reply.toLatin1()) : QByteArray());
        }
        QVERIFY(!run.next(1767225000));
        QCOMPARE(QString::fromUtf8(commission::reportRow(QDateTime(QDate(2026, 1, 1), QTime(1, 0), Qt::UTC).toLocalTime(), run)),
                 report);
        run.reported(true, QString());
        QStringList verdicts;
        for (const auto &v : run.verdicts())
            verdicts << commission::stepName(v.step) + (v.failed ? " failed: " : ": ") + v.text;
        QCOMPARE(verdicts.join(" | "), expected + " | Report: appended");
        QTEST(asked.join(' '), "asked");
    }

    // The server's side of a Telnet connection in chunks ("|" between
    // them): the line's bytes, the answers sent back, the rates confirmed.
    void telnet_data();
    void telnet()
    {
        QFETCH(QString, chunks);
        rfc2217::Decoder decoder;
        rfc2217::Decoded out;
        for (const QString &chunk : chunks.split('|'))
            decoder.feed(bytes(chunk.toLatin1()), &out);
        QStringList rates;
        for (quint32 rate : out.rates)
            rates << QString::number(rate);
        QTEST(QStringLiteral("%1 / %2 / %3").arg(hex(out.data), hex(out.reply), rates.join(' ')), "expected");
    }
    // The module behind a real ser2net, reached through the network
    // transport. Steps: "open:RATE" and "rate:RATE" wait for the line to be
    // ready or to fail, "w:HEX" writes a request and takes the 15 bytes of
    // an answer, or nothing for 300 ms, "t:HEX" too, through takeWaiting()
    // alone; "stop" stops the server.
    void server_data();
    void server()
    {
        QFETCH(QString, server);
        QFETCH(QString, modules);
        QFETCH(QString, steps);
        modsim::ModuleSim sim;
        QVERIFY(sim.start() && sim.setModules(modules));
        sim.setValues(-1, 456, 103, 158);
        Ser2net ser2net;
        QString url = "tcp://127.0.0.1:" + QString::number(MqttBroker::freePort()); // nobody there
        // A listener whose one place in the queue is taken: the kernel
        // drops every further handshake unanswered.
        const int full = ::socket(AF_INET, SOCK_STREAM, 0);
        const auto closeFull = qScopeGuard([full] { ::close(full); });
        sockaddr_in address{};
        socklen_t size = sizeof address;
        address.sin_family = AF_INET, address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QTcpSocket taken;
        if (server == "full") {
            QVERIFY(::bind(full, reinterpret_cast<sockaddr *>(&address), size) == 0 && ::listen(full, 0) == 0
                    && ::getsockname(full, reinterpret_cast<sockaddr *>(&address), &size) == 0);
            url = "tcp://127.0.0.1:" + QString::number(ntohs(address.sin_port));
            taken.connectToHost(QHostAddress::LocalHost, ntohs(address.sin_port));
            QVERIFY(taken.waitForConnected(1000));
        } else if (server != "closed") {
            QVERIFY2(ser2net.start(sim.slavePath(), server.startsWith("raw") ? Ser2net::Raw : Ser2net::Rfc2217), qPrintable(ser2net.log()));
            url = server == "raw, asked RFC 2217" ? ser2net.url().replace("tcp:", "rfc2217:") : ser2net.url();
        }
        NetworkTransport line(url, nullptr);
        QByteArray got;
        QStringList seen, failures;
        connect(&line, &Transport::readyRead, [&] { got += line.readAll(); });
        connect(&line, &Transport::failed, [&](const QString &reason) { failures << reason + (line.isOpen() ? " (open)" : ""); });
        const auto settle = [&] {
            if (!QTest::qWaitFor([&] { return line.isReady() || !failures.isEmpty(); }, 5000))
                return QStringLiteral("neither ready nor failed");
            return failures.isEmpty() ? QStringLiteral("ready at %1").arg(line.rate()) : "failed: " + failures.takeFirst();
        };
        for (const QString &step : steps.split(' ')) {
            const QString arg = step.section(':', 1);
            QString error;
            if (step.startsWith("open:"))
                seen << (line.open(arg.toInt(), &error) ? settle() : error);
            else if (step.startsWith("rate:"))
                seen << (!line.setRate(arg.toInt()) ? QStringLiteral("refused") : line.isReady() ? QStringLiteral("ready at once") : settle());
            else if (step.startsWith("w:"))
                got.clear(), line.write(bytes(arg.toLatin1())),
                    seen << (QTest::qWaitFor([&] { return got.size() >= 15; }, 300) || !got.isEmpty() ? hex(got) : "silent");
            else if (step.startsWith("t:")) { // the answer on its way once the module has sent it, taken without the event loop
                QSignalSpy sent(&sim, &modsim::ModuleSim::replySent);
                got.clear(), line.write(bytes(arg.toLatin1()));
                QVERIFY(sent.wait(1000));
                QElapsedTimer waited;
                for (waited.start(); got.size() < 15 && waited.elapsed() < 300; QThread::msleep(2))
                    line.takeWaiting();
                seen << hex(got);
            }
            else if (step == "taken") // by another client, whom the server serves first
                taken.connectToHost(QHostAddress::LocalHost, quint16(url.section(':', -1).toUInt())), seen << (taken.waitForConnected(1000) ? "taken" : "not taken");
            else if (step == "stop")
                ser2net.stop(), seen << (QTest::qWaitFor([&] { return !failures.isEmpty(); }, 3000) ? "failed: " + failures.takeFirst() : "open");
        }
        QTEST(seen.join(" | ").replace(url.section("//", 1), "SERVER"), "expected");
    }

    void mbpoll_data()
    {
        QTest::addColumn<QString>("line"); // as after --address, and whether its modules refuse writes
        QTest::addColumn<QString>("options"); // mbpoll's, around the port
        QTest::addColumn<QString>("expected"); // registers read, mbpoll's complaint, then the first module's address
        QTest::newRow("read") << "1" << "-a 1 -t 4:hex -r 0 -c 5 -b 9600 PORT" << "-37 655 -71 -52 0 @1";
        QTest::newRow("write the address") << "1" << "-a 1 -t 4 -r 256 -b 9600 PORT 12" << "@12";
        QTest::newRow("another rate") << "1" << "-a 1 -t 4:hex -r 0 -c 5 -b 19200 PORT" << "Connection timed out @1";
        QTest::newRow("two stop bits") << "1" << "-a 1 -t 4:hex -r 0 -c 5 -b 9600 -s 2 PORT" << "Connection timed out @1";
        QTest::newRow("the second module") << "1,5" << "-a 5 -t 4:hex -r 0 -c 1 -b 9600 PORT" << "-38 @1";
        QTest::newRow("the second at 19200, asked at 9600") << "1,5@19200" << "-a 5 -t 4:hex -r 0 -c 1 -b 9600 PORT" << "Connection timed out @1";
        QTest::newRow("the second at 19200, asked at 19200") << "1,5@19200" << "-a 5 -t 4:hex -r 0 -c 1 -b 19200 PORT" << "-38 @1";
        QTest::newRow("two at one address") << "5,5" << "-a 5 -t 4:hex -r 0 -c 1 -b 9600 PORT" << "Invalid CRC @5";
        QTest::newRow("two at one address, a write") << "5,5" << "-a 5 -t 4 -r 256 -b 9600 PORT 12" << "Invalid CRC @12";
        QTest::newRow("a write refused") << "1 refusing" << "-a 1 -t 4 -r 256 -b 9600 PORT 12" << "Illegal data address @1";
    }
    void mbpoll()
    {
        QFETCH(QString, line);
        QFETCH(QString, options);
        QFETCH(QString, expected);
        modsim::ModuleSim sim;
        QVERIFY(sim.start() && sim.setModules(line.section(' ', 0, 0)));
        for (int i = 0; i < sim.moduleCount(); ++i) // each one a tenth colder than the one before
            sim.module(i)->setValues(qint16(-37 - i), 655, -71, -52), sim.module(i)->setRefusing(line.endsWith("refusing"));
        const QStringList args = ("-m rtu -0 -1 -o 0.5 -P none " + options).split(' ').replaceInStrings("PORT", sim.portPath());
        QProcess mbpoll;
        mbpoll.setProcessChannelMode(QProcess::MergedChannels);
        QSignalSpy finished(&mbpoll, &QProcess::readChannelFinished);
        mbpoll.start("mbpoll", args);
        QVERIFY2(finished.wait(10000), "mbpoll (Debian package mbpoll) did not run");
        const QString out = QString::fromLocal8Bit(mbpoll.readAll());
        QStringList read;
        const QRegularExpression value("^\\[\\d+\\]:\\s+0x([0-9A-F]{4})$", QRegularExpression::MultilineOption);
        for (auto it = value.globalMatch(out); it.hasNext();)
            read << QString::number(qint16(it.next().captured(1).toUShort(nullptr, 16)));
        read << QRegularExpression("failed: (.+)$", QRegularExpression::MultilineOption).match(out).captured(1);
        read << QStringLiteral("@%1").arg(sim.address());
        QVERIFY2(read.join(' ').simplified() == expected, qPrintable(out));
    }
    // The simulated line as a raw reader on its port finds it. Steps: "w:HEX"
    // writes a frame and waits for the line to fall quiet (60 ms, or MS after
    // "w:HEX/MS"), "r:RATE" sets the
    // port's rate, "t:MS" lets MS pass. The bytes received, in hex, and what
    // their times (ms after the last write) must be: the first and the last
    // piece delivered, how many pieces, the shortest gap between two.
    // The line alone, no window: what goes out for an owner and what reaches it.
    void queue_data();
    void queue()
    {
        QFETCH(QString, script);
        Line line;
        auto *paper = new PaperTransport(&line);
        WidgetAccess::carry(&line, paper);
        QVERIFY(line.open(9600, nullptr));
        QObject owner;
        QStringList told;
        for (const QString &step : script.split(' ')) {
            const QString word = step.section(':', 0, 0), arg = step.section(':', 1);
            if (word == "x" || word == "a") { // x:ADDRESS@RATE, answer within 100 ms; a: the same ahead
                const quint8 address = quint8(arg.section('@', 0, 0).toInt());
                Exchange x = bus::measurementExchange(address, arg.section('@', 1).toInt(), 100);
                x.ahead = word == "a";
                x.done = [&told, address](Exchange::Outcome outcome, const QByteArray &) {
                    told << QString("%1:%2").arg(address).arg(QStringList{"answered", "garbled", "silent"}[outcome]);
                };
                x.late = [&told, address](const QByteArray &, qint64) { told << QString("%1:late").arg(address); };
                line.exchange(&owner, x);
            } else if (word == "answer") { // the module at that address answers
                paper->bring(withCrc(QByteArray::number(arg.toInt() + 256, 16).mid(1) + "030a00e701c80067009e0000"));
            } else if (word == "cancel") {
                line.cancelExchanges(&owner);
            } else if (word == "waited") { // until no request is on the line
                QTRY_VERIFY(!line.onLine());
            }
        }
        QTRY_VERIFY(!line.onLine()); // what is still on the line has had its wait
        QTEST(paper->written.join(' '), "written");
        QTEST(told.join(' '), "told");
    }
    // The listeners on 127.0.0.1 before a line that brings nothing, each
    // request silent after its wait, a watch of address 1 polling it from
    // "watch" on; 3 clients at most, closed when silent for 1.5 s or a
    // request is cut short for 0.3 s. What each client heard (see Masters),
    // the first requests written, what was said of the clients.
    void share_data();
    void share()
    {
        QFETCH(QString, steps);
        Line line;
        auto *paper = new PaperTransport(&line);
        WidgetAccess::carry(&line, paper);
        QVERIFY(line.open(9600, nullptr));
        bus::ModuleTable table;
        bus::Watcher watch(&line, &table);
        share::Forwarder forwarder(&line, &table);
        forwarder.linked(9600, 20);
        QStringList said;
        share::Listener mbap(share::Framing::Mbap, &forwarder, {3, 1500, 300, 1 << 16}), rtuOverTcp(share::Framing::Rtu, &forwarder, mbap.limits());
        for (share::Listener *l : {&mbap, &rtuOverTcp}) {
            connect(l, &share::Listener::said, [&said](const QString &text) { said << QString(text).replace(QRegularExpression("127.0.0.1:\\d+"), "<peer>"); });
            QVERIFY(l->listen(QHostAddress::LocalHost, 0));
        }
        Masters masters(mbap.port(), rtuOverTcp.port());
        for (const QString &step : steps.split(' '))
            QVERIFY2(step == "watch" ? (table.expect({{1, 9600}}), watch.start(9600, 20, 1), true) : masters.run(step), qPrintable(step));
        QFETCH(QString, expected);
        QTRY_COMPARE_WITH_TIMEOUT(masters.transcript(), expected, 5000);
        watch.stop();
        QFETCH(QString, written);
        QVERIFY2((paper->written.join(' ') + ' ').startsWith(written), qPrintable(paper->written.join(' ')));
        QTEST(said.filter(QRegularExpression("closed|turned")).join(' '), "said");
    }
    void line_data();
    void line()
    {
        QFETCH(QString, given);
        QFETCH(QString, steps);
        QVERIFY(b.open());
        b.given(given);
        QSerialPort port(b.sim->slavePath());
        QVERIFY(port.open(QIODevice::ReadWrite) && port.setBaudRate(9600));
        QByteArray got;
        QElapsedTimer since;
        QList<double> at;
        QEventLoop loop;
        QTimer quiet;
        quiet.setSingleShot(true);
        connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(&port, &QSerialPort::readyRead, [&] { got += port.readAll(), at << since.nsecsElapsed() / 1e6, quiet.start(); });
        for (const QString &step : steps.split(' ')) {
            if (step.startsWith("r:")) {
                port.setBaudRate(step.mid(2).toInt());
                continue;
            }
            if (step.startsWith("w:"))
                at.clear(), since.start(), port.write(bytes(step.mid(2).section('/', 0, 0).toLatin1())), port.flush();
            quiet.start(step.startsWith("t:") ? step.mid(2).toInt() : step.contains('/') ? step.section('/', 1).toInt() : 60);
            loop.exec();
        }
        QTEST(hex(got), "expected");
        // The typical gap: one piece handed over late on a loaded machine
        // makes one short gap, not a different pace.
        QList<double> gaps;
        for (int i = 1; i < at.size(); ++i)
            gaps << at[i] - at[i - 1];
        std::sort(gaps.begin(), gaps.end());
        const double gap = gaps.value(gaps.size() / 2, 1e9);
        const QMap<QString, double> measured{{"first", at.value(0)}, {"last", at.value(at.size() - 1)}, {"pieces", at.size()}, {"gap", gap}};
        QFETCH(QString, timing);
        for (const QString &range : timing.split(' ', Qt::SkipEmptyParts)) {
            const double v = measured.value(range.section('=', 0, 0));
            QVERIFY2(v >= range.section('=', 1).section("..", 0, 0).toDouble() && v <= range.section("..", 1).toDouble(),
                     qPrintable(QStringLiteral("%1, measured %2").arg(range).arg(v)));
        }
    }

    // The gateway's command line and file (written as <dir>/gw.conf, beside a
    // password file <dir>/pw and a CA <dir>/ca.pem): the settings taken, or
    // what is said. Every Config taken is read back the same from the file
    // configText writes of it, which holds no password.
    void gatewayConfig_data();
    void gatewayConfig()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, file);
        QTemporaryDir dir;
        const auto write = [&dir](const char *name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        QVERIFY(write("gw.conf", file.toUtf8().replace("<nul>", QByteArray(1, '\0')).replace("<ff>", "\xff")) && write("pw", "s3cret\r\n")
                && write("ca.pem", "-----BEGIN CERTIFICATE-----\nMAMCAQA=\n-----END CERTIFICATE-----\n"));
        const gateway::Parsed parsed = gateway::parse(("hygrovane-gateway " + arguments).split(' ').replaceInStrings("<dir>", dir.path()).replaceInStrings("<source>", HYGROVANE_SOURCE_DIR).replaceInStrings("<long>", QString(201, 'a')));
        const gateway::Config &c = parsed.config;
        QString got = QStringList{"run", "help", "version", parsed.message}[parsed.action];
        if (parsed.action == gateway::Parsed::Run) {
            got = QStringList{c.port, QString::number(c.baudRate), gateway::addressList(c.addresses), QString::number(c.answerMs),
                              QString::number(c.periodMs), c.broker, c.user + ':' + c.password, c.caFile, c.prefix,
                              c.discovery ? "discovery" : "-", c.record, QString::number(c.rescanMinutes), c.spool, QString::number(c.spoolMax),
                              c.modbusTcp, c.rtuOverTcp, c.allowWrites ? "writes" : "-", QString::number(c.cacheMs), QString::number(c.maxClients)}.join('|');
            const QString text = gateway::configText(c);
            QVERIFY(write("back.conf", text.toUtf8()) && !text.contains("s3cret"));
            const gateway::Parsed back = gateway::parse({"hygrovane-gateway", "--config", dir.filePath("back.conf")});
            QVERIFY2(back.action == gateway::Parsed::Run && back.config == c, qPrintable(text + back.message));
        }
        // The system's own words for a file that cannot be read are its own.
        got.replace(dir.path(), "<dir>").replace(QRegularExpression("cannot be read: .*"), "cannot be read");
        QTEST(got, "expected");
    }

    // The gateway's catalogue for the locale's variables ("NAME=value ...").
    void gatewayLanguage_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("catalogue");
        QTest::newRow("LANG") << "LANG=zh_CN.UTF-8" << "Chinese";
        QTest::newRow("LC_MESSAGES over LANG") << "LANG=zh_CN.UTF-8 LC_MESSAGES=en_GB.UTF-8" << "";
        QTest::newRow("LC_ALL over both") << "LANG=de_DE LC_MESSAGES=de_DE LC_ALL=zh_TW.Big5" << "Chinese";
        QTest::newRow("C keeps to English") << "LC_ALL=C.UTF-8 LANGUAGE=zh_CN" << "";
        QTest::newRow("LANGUAGE's first it speaks") << "LANG=de_DE.UTF-8 LANGUAGE=fr:zh_CN:en" << "Chinese";
        QTest::newRow("English first") << "LANG=zh_CN.UTF-8 LANGUAGE=en_US:zh" << "";
        QTest::newRow("a language it does not speak") << "LANG=ar_EG.UTF-8" << "";
    }
    void gatewayLanguage()
    {
        QFETCH(QString, environment);
        QProcessEnvironment env;
        for (const QString &pair : environment.split(' ', Qt::SkipEmptyParts))
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        QTEST(gateway::catalogueFor(env), "catalogue");
    }

    // SIGTERM, SIGINT and SIGHUP come through the event loop, one signal each, and
    // the handlers that were there come back when the catcher goes.
    void gatewaySignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void gatewaySignals()
    {
        QFETCH(int, signal);
        struct sigaction before {}, after {};
        ::sigaction(signal, nullptr, &before);
        {
            gateway::Signals caught;
            QVERIFY2(caught.isValid(), qPrintable(caught.error()));
            QVERIFY(!gateway::Signals().isValid());
            QSignalSpy spy(&caught, &gateway::Signals::received);
            ::raise(signal);
            ::raise(signal);
            QTRY_COMPARE(spy.count(), 2);
            QCOMPARE(spy[1][0].toInt(), signal);
        }
        ::sigaction(signal, nullptr, &after);
        QVERIFY(after.sa_handler == before.sa_handler);
    }

    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void init()
    {
        if (!inThisPart())
            QSKIP("another part runs it");
        QVERIFY(b.open(false));
        UartData.Temperature = 11, UartData.Humidity = 22, UartData.DewTemp = 33, UartData.WetBulbTemp = 44;
        UartData.Address = 42;
        b.ui->lineEditAddress->setText(QStringLiteral("42"));
    }

    void startState()
    {
        const QString stamp = QLocale::c().toString(BuildDate, "yyyy.MM.dd.") + QLocale::c().toString(BuildTime, "hhmm");
        QCOMPARE(b.w->windowTitle(), "Hygrovane   V" + stamp);
        const QString expected = "combo=9600; work=Recording; start=0; sampling=1S; enabled=110; read=Read; port=closed";
        QCOMPARE(b.state(expected), expected);
        QCOMPARE(b.state("armed"), "armed=");
        const qint64 ahead = QDateTime::currentDateTime().secsTo(b.ui->dateTimeEditstarttime->dateTime());
        QVERIFY2(ahead >= 298 && ahead <= 300, qPrintable(QString::number(ahead)));
        QCOMPARE(b.ui->dateTimeEditstarttime->displayFormat(), QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        verifyDesignedSize();
    }

    // Started in a folder that holds Qm/Chinese.qm, the window speaks Chinese.
    void catalogue()
    {
        const QString saved = QDir::currentPath();
        QTranslator translator, toolkit;
        QDir::setCurrent(HYGROVANE_BUILD_DIR);
        QVERIFY(installCatalogue(&translator, &toolkit));
        QDir::setCurrent(saved);
        QVERIFY(b.open(false));
        const QString ok = QDialogButtonBox(QDialogButtonBox::Ok).buttons().value(0)->text();
        QCoreApplication::removeTranslator(&translator);
        QCoreApplication::removeTranslator(&toolkit);
        QCOMPARE(QStringList({b.ui->pushButtonLink->text(), b.ui->groupBox->title(), b.w->windowTitle().left(13),
                              translator.translate("SerialportSettingDialog", "Serial port"), ok}).join(' '),
                 "连接 实时数据 Hygrovane   V 串口 确定");
        verifyDesignedSize();
    }

    void rtuReception_data();
    void rtuReception()
    {
        QFETCH(QString, request);
        QFETCH(Chunks, chunks);
        QFETCH(QString, expected);
        feed(request, chunks);
        QCOMPARE(rtuState(chunks.join()), expected);
        QCOMPARE(b.timer(WidgetAccess::Clear)->isActive() ? b.timer(WidgetAccess::Clear)->interval() : 0, 500);
        b.timer(WidgetAccess::Clear)->setInterval(1); // the silence after the last chunk
        QTRY_VERIFY(!b.timer(WidgetAccess::Clear)->isActive());
        QCOMPARE(UartData.RxBuffer.size(), 0);
    }

    void loggerReception_data();
    void loggerReception()
    {
        QFETCH(QString, request);
        QFETCH(Chunks, chunks);
        QFETCH(QString, expected);
        b.ui->lineEditAddress->clear();
        feed(request, chunks);
        // The work mode shown first: R recording, M monitoring only.
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 ack%6 r%7 buf%8").arg(b.ui->radioButtonRecord->isChecked() ? 'R' : 'M')
                     .arg(b.ui->lineEditSN->text()).arg(UartData.LoggerModel)
                     .arg(UartData.RecordMode).arg(UartData.SampleRate).arg(UartData.SettingAck)
                     .arg(UartData.ReplyReceived).arg(UartData.RxBuffer.size()), expected);
        QCOMPARE(b.ui->lineEditSN->text(), UartData.SerialNumber);
        QCOMPARE(b.traffic(), QStringList()); // logger frames are never echoed
    }

    // The pane keeps the newest 100,000 lines, dropping the oldest a thousand at a time.
    void logIsBounded()
    {
        for (int i = 0; i <= Widget::LogLines + 1000; ++i)
            WidgetAccess::log(b.w, QString::number(i, 16), true);
        const QStringList log = b.traffic();
        QCOMPARE(QStringLiteral("%1, %2 to %3").arg(log.size()).arg(log.first(), log.last()), "100000, RX 3e9 to RX 18a88");
    }

    // Last: once told to quit, Qt runs no further event loop in this process.
    void closeQuits()
    {
        QTimer::singleShot(0, b.ui->pushButtonClose, &QPushButton::click);
        QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QEventLoop().exec(), 0);
    }
};

void TestUnits::table_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QString &actual, const char *expected) {
        QTest::newRow(name) << actual << QString::fromUtf8(expected);
    };
    row("crc of 123456789", QString::number(rtu::crc16(QByteArray("123456789")), 16), "4b37");
    row("crc in wire order", QString::number(Widget::CalcCRC16(reinterpret_cast<const quint8 *>("123456789"), 9), 16), "374b");

    row("request", hex(rtu::buildRequest(0x11, 3, 0x1234, 0x0302)).left(17), "11 03 12 34 03 02");

    const QDateTime when(QDate(2024, 1, 2), QTime(23, 4, 5));
    row("log line sent", trafficLogLine(when, QStringLiteral("0003010000018427"), false),
        "<font color=red>2024-01-02 23:04:05->TX  0003010000018427</font>");
    row("log line received", trafficLogLine(when, QStringLiteral("018302c0f1"), true),
        "<font color=green>2024-01-02 23:04:05->RX  018302c0f1</font>");

    row("serial number 1234, 0x22 unescaped", hex(logger::serialNumberWrite(QStringLiteral("1234"), 0)),
        "7b 22 aa 07 00 0c 22 00 00 00 00 df 22 7d");
    row("setup, monitoring, 24 h", hex(logger::setupFrame(0x01020304, 3, 45000, 0xA0B0C0D0)),
        "7b 22 4a 1d 01 02 03 04 00 00 60 00 00 00 00 ff ff af c8 03 20 01 40 03 20 01 40 a0 b0 c0 d0 00 00 ee 22 7d");

    QStringList seconds, back;
    for (int i = -1; i <= 16; ++i) {
        seconds << QString::number(logger::sampleSecondsForIndex(i));
        back << QString::number(logger::indexForSampleSeconds(logger::sampleSecondsForIndex(i)));
    }
    row("sampling intervals", seconds.join(' '),
        "-1 1 2 5 10 20 30 60 120 300 600 1800 3600 7200 21600 43200 45000 -1");
    row("sampling items", back.join(' '), "-1 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 -1");
    row("no item for 86400 s", QString::number(logger::indexForSampleSeconds(86400)), "-1");

    const QDateTime at(QDate(2026, 12, 7), QTime(10, 15, 30), Qt::OffsetFromUTC, 3600);
    row("csv header", trend::csvHeader(), "time,address,temperature_C,humidity_pct,dew_point_C,wet_bulb_C\r\n");
    row("csv row", trend::csvRow(at, 1, {23.1, 45.6, 10.3, 15.8}), "2026-12-07T10:15:30+01:00,1,23.1,45.6,10.3,15.8\r\n");
    row("csv row, one value", trend::csvRow(at.toOffsetFromUtc(-12600), 247, {NAN, NAN, -0.5, NAN}),
        "2026-12-07T05:45:30-03:30,247,,,-0.5,\r\n");
    row("csv row, UTC", trend::csvRow(at.toUTC(), 16, {-10, 6553.5, NAN, 1234.5}), "2026-12-07T09:15:30+00:00,16,-10.0,6553.5,,1234.5\r\n");

    // The time axis: ticks 15 min apart from 09:15, 2.5 min apart, and from
    // half a minute and a millisecond past it.
    QStringList formats;
    for (const auto &[interval, first] : {std::pair{900000, QTime(9, 15)}, {150000, QTime(9, 15)},
                                          {900000, QTime(9, 15, 30)}, {21600000, QTime(9, 15, 0, 1)}})
        formats << trend::tickFormat(interval, first);
    row("tick labels", formats.join(' '), "hh:mm hh:mm:ss hh:mm:ss hh:mm:ss");

    // What a broker's subscribers get.
    row("state", publish::statePayload({at, 1, {23.1, 45.6, 10.3, 15.8}}),
        "{\"time\":\"2026-12-07T10:15:30+01:00\",\"address\":1,\"temperature_C\":23.1,\"humidity_pct\":45.6,\"dew_point_C\":10.3,\"wet_bulb_C\":15.8}");
    row("state, one value", publish::statePayload({at.toUTC(), 247, {NAN, -0.05, NAN, NAN}}),
        "{\"time\":\"2026-12-07T09:15:30+00:00\",\"address\":247,\"temperature_C\":null,\"humidity_pct\":-0.1,\"dew_point_C\":null,\"wet_bulb_C\":null}");
    row("topics", QStringList{publish::statusTopic("hygrovane/lab"), publish::stateTopic("hygrovane/lab", 7),
                              publish::availabilityTopic("hygrovane/lab", 7), publish::defaultPrefix("büro+#/2")}.join(' '),
        "hygrovane/lab/status hygrovane/lab/7/state hygrovane/lab/7/availability hygrovane/b_ro___2");
    const QVector<publish::Message> announced = publish::discovery("hygrovane/lab", 7);
    row("discovery topics", QStringList{announced[0].topic, announced[3].topic, QString::number(announced.size()), QString::number(announced[1].retained)}.join(' '),
        "homeassistant/sensor/hygrovane_lab/7_temperature_C/config homeassistant/sensor/hygrovane_lab/7_wet_bulb_C/config 4 1");
    row("discovery", announced[2].payload,
        "{\"name\":\"Dew point\",\"device_class\":\"temperature\",\"unit_of_measurement\":\"°C\",\"state_class\":\"measurement\","
        "\"state_topic\":\"hygrovane/lab/7/state\",\"value_template\":\"{{ value_json.dew_point_C }}\","
        "\"availability\":[{\"topic\":\"hygrovane/lab/status\"},{\"topic\":\"hygrovane/lab/7/availability\"}],"
        "\"availability_mode\":\"all\",\"unique_id\":\"hygrovane_lab_7_dew_point_C\","
        "\"object_id\":\"hygrovane_lab_7_dew_point_C\",\"device\":{\"identifiers\":[\"hygrovane_lab_7\"],"
        "\"name\":\"Module 7 (hygrovane/lab)\",\"manufacturer\":\"Hygrovane\",\"model\":\"Temperature and humidity module\"}}");
    QStringList brokers;
    for (const char *url : {"mqtt://localhost:1884", "mqtts://localhost", "mqtt://127.0.0.1", "mqtt://[::1]:1883", "http://localhost", "localhost:1883",
                            "mqtt://localhost/x", "mqtt://u@localhost"}) {
        const publish::Broker b = publish::parseBroker(url);
        brokers << (b.valid ? QStringLiteral("%1%2:%3").arg(b.tls ? "tls " : "", b.host).arg(b.port) : QStringLiteral("-"));
    }
    row("brokers", brokers.join(' '), "localhost:1884 tls localhost:8883 127.0.0.1:1883 ::1:1883 - - - -");
    QStringList delays;
    for (int failures = 0; failures < 8; ++failures)
        delays << QString::number(publish::reconnectDelayMs(failures) / 1000);
    row("reconnect back-off (s)", delays.join(' '), "1 2 4 8 16 30 30 30");
    // The outbox: readings numbered by their address, sent (S), acknowledged
    // (A<address>), the connection lost (L); what waits, what went, in order.
    // Spooled: kept on disk at each commit (C), and after a restart (R)
    // from the file alone.
    QTemporaryDir dir;
    const auto outbox = [&dir](int bound, const QString &script, bool spooled = false) {
        static int files = 0;
        const QString file = dir.filePath(QStringLiteral("s%1.db").arg(++files));
        auto spool = std::make_unique<gateway::Spool>(bound);
        auto box = std::make_unique<publish::Outbox>(bound);
        if (spooled && spool->open(file) == gateway::Spool::Ok)
            box->keepIn(spool.get());
        QMap<int, quint64> seqs;
        QStringList sent;
        for (const QString &step : script.split(' ')) {
            publish::Reading r;
            quint64 seq = 0;
            if (step == "S" && box->next(&r, &seq))
                sent << QString::number(r.address), seqs[r.address] = seq;
            else if (step.startsWith('A'))
                box->acknowledged(seqs.value(step.mid(1).toInt(), 99));
            else if (step == "L")
                box->rewind(), sent << "|";
            else if (step == "C" && !box->commit())
                sent << box->error();
            else if (step == "R") {
                box = std::make_unique<publish::Outbox>(bound);
                spool = std::make_unique<gateway::Spool>(bound);
                sent << "R";
                if (spool->open(file) == gateway::Spool::Ok)
                    box->keepIn(spool.get());
            } else if (step != "S" && step != "C")
                r.address = quint8(step.toInt()), r.when = QDateTime::currentDateTime(), box->add(r);
        }
        return QStringLiteral("sent %1; %2 waiting, %3 in flight, %4 dropped").arg(sent.join(' ')).arg(box->waiting()).arg(box->inFlight()).arg(box->dropped());
    };
    row("outbox, in order", outbox(10, "1 2 3 S S A1 S A2 A3 S"), "sent 1 2 3; 0 waiting, 0 in flight, 0 dropped");
    row("outbox, resent after a loss", outbox(10, "1 2 3 S S S A1 L S S 4 S"), "sent 1 2 3 | 2 3 4; 3 waiting, 3 in flight, 0 dropped");
    row("outbox, acknowledged out of turn", outbox(10, "1 2 3 S S S A2 L S S"), "sent 1 2 3 | 1 3; 2 waiting, 2 in flight, 0 dropped");
    row("outbox, the oldest dropped", outbox(3, "1 2 S 3 4 5 S S A3"), "sent 1 3 4; 2 waiting, 1 in flight, 2 dropped");
    row("outbox, acknowledged ones leave room", outbox(2, "1 S A1 2 3"), "sent 1; 2 waiting, 0 in flight, 0 dropped");
    row("outbox, a late acknowledgement of one dropped", outbox(2, "1 S 2 3 A1 S"), "sent 1 2; 2 waiting, 1 in flight, 1 dropped");
    row("spooled, handed once kept", outbox(10, "1 2 S C S S 3 S", true), "sent 1 2; 3 waiting, 2 in flight, 0 dropped");
    row("spooled, resent after a loss", outbox(10, "1 2 3 C S S S A1 L S 4 C S S", true), "sent 1 2 3 | 2 3 4; 3 waiting, 3 in flight, 0 dropped");
    row("spooled, kept over a restart", outbox(10, "1 2 3 C S A1 C S R S S 4 C S S", true), "sent 1 2 R 2 3 4; 3 waiting, 3 in flight, 0 dropped");
    row("spooled, acknowledged and forgotten", outbox(10, "1 2 C S S A1 A2 3 C R S S", true), "sent 1 2 R 3; 1 waiting, 1 in flight, 0 dropped");
    row("spooled, the oldest dropped", outbox(3, "1 2 C S 3 4 5 C S S A3 C", true), "sent 1 3 4; 2 waiting, 1 in flight, 2 dropped");
    {
        // What comes back from the file is what went in.
        gateway::Spool spool(5);
        publish::Reading r{QDateTime(QDate(2026, 12, 7), QTime(10, 15, 30), Qt::OffsetFromUTC, -12600), 247, {23.1, NAN, -0.5, 6553.5}};
        spool.open(dir.filePath("values.db"));
        spool.add(r);
        spool.commit(0);
        spool.close();
        spool.open(dir.filePath("values.db"));
        row("spooled reading", publish::statePayload(spool.read(spool.first(), 5).value(0)),
            "{\"time\":\"2026-12-07T10:15:30-03:30\",\"address\":247,\"temperature_C\":23.1,\"humidity_pct\":null,\"dew_point_C\":-0.5,\"wet_bulb_C\":6553.5}");
    }
    // A file that is not a spool, or a damaged one, is refused and left as it was.
    const auto refused = [&dir](const char *name, const std::function<void(QFile &)> &make) {
        QFile f(dir.filePath(name));
        make(f);
        f.close();
        f.open(QIODevice::ReadOnly);
        const QByteArray before = f.readAll();
        f.close();
        gateway::Spool spool(10);
        const int opened = spool.open(f.fileName());
        f.open(QIODevice::ReadOnly);
        return QStringLiteral("%1 %2%3").arg(opened).arg(f.readAll() == before ? "untouched" : "changed").arg(QFile::exists(f.fileName() + "-wal") ? " wal" : "");
    };
    const auto sqlite = [](const QString &file, const QString &statements) {
        QProcess p;
        p.start("sqlite3", {file, statements});
        p.waitForFinished(5000);
    };
    row("spool, a text file", refused("text.db", [](QFile &f) { f.open(QIODevice::WriteOnly), f.write(QByteArray(200, 'x')); }), "1 untouched");
    row("spool, another program's database", refused("other.db", [&](QFile &f) { sqlite(f.fileName(), "CREATE TABLE t(x);"); }), "1 untouched");
    row("spool, damaged", refused("damaged.db", [&](QFile &f) {
            {
                gateway::Spool spool(10);
                spool.open(f.fileName());
                for (int i = 0; i < 300; ++i)
                    spool.add({QDateTime::currentDateTime(), 1, {}});
                spool.commit(0);
            }
            sqlite(f.fileName(), "PRAGMA journal_mode=DELETE;");
            f.open(QIODevice::ReadWrite), f.seek(4096), f.write(QByteArray(100, 'x'));
        }), "2 untouched");
    row("spool, a gap in its readings", refused("gap.db", [&](QFile &f) {
            {
                gateway::Spool spool(10);
                spool.open(f.fileName());
                for (int i = 0; i < 3; ++i)
                    spool.add({QDateTime::currentDateTime(), 1, {}});
                spool.commit(0);
            }
            sqlite(f.fileName(), "DELETE FROM reading WHERE seq = 2; PRAGMA journal_mode=DELETE;");
        }), "2 untouched");

    // What the service manager and the broker are told of the gateway.
    row("status", gateway::statusLine({gateway::Health::Watching, 8, 8, gateway::Health::Connected, 0}), "watching 8 of 8 modules, broker connected, 0 waiting");
    row("status, the line down", gateway::statusLine({gateway::Health::Down, 0, 3, gateway::Health::Lost, 120}), "the line is down, broker lost, 120 waiting");
    gateway::Figures figures{3600, 3599, 1002, 12.34, 28792, 28780, 12, 0, 3, 0, 28790, 0, 2, 1, 8};
    row("diagnostics", gateway::diagnosticsJson(figures, {{"listeners", QJsonObject{{"clients", 2}}}}),
        "{\"answers\":28780,\"dropped\":0,\"garbled\":0,\"late_answers\":3,\"line_busy_pct\":12.3,\"listeners\":{\"clients\":2},"
        "\"misses\":12,\"modules_found\":8,\"outbox\":0,\"polls\":28792,\"reconnects\":2,\"rescans\":1,\"round_ms\":1002,"
        "\"rounds\":3599,\"spooled\":28790,\"uptime_s\":3600}");
    const QVector<publish::Message> sensors = gateway::diagnosticSensors("hygrovane/box/line1");
    row("diagnostic sensors", sensors[0].topic + ' ' + sensors[3].topic + ' ' + sensors[0].payload,
        "homeassistant/sensor/hygrovane_box_line1/gateway_round_ms/config homeassistant/sensor/hygrovane_box_line1/gateway_dropped/config "
        "{\"availability_topic\":\"hygrovane/box/line1/status\",\"device\":{\"identifiers\":[\"hygrovane_box_line1_gateway\"],"
        "\"manufacturer\":\"Hygrovane\",\"model\":\"Gateway\",\"name\":\"Gateway (hygrovane/box/line1)\"},\"entity_category\":\"diagnostic\","
        "\"name\":\"Round time\",\"object_id\":\"hygrovane_box_line1_gateway_round_ms\",\"state_class\":\"measurement\","
        "\"state_topic\":\"hygrovane/box/line1/diagnostics\",\"unique_id\":\"hygrovane_box_line1_gateway_round_ms\","
        "\"unit_of_measurement\":\"ms\",\"value_template\":\"{{ value_json.round_ms }}\"}");
    row("diagnostic sensors cleared", QString::number(gateway::diagnosticSensors("p", false).last().payload.size()), "0");

    // Lines on one box, and who holds a prefix.
    QStringList lines;
    for (const auto &[config, port] : {std::pair{"/etc/hygrovane/line1.conf", "/dev/ttyUSB0"}, {"", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
                                       {"", "rfc2217://10.0.0.5:4001/"}, {"rack 2.old.conf", "p"}, {"", "/"}})
        lines << gateway::gatewayPrefix("büro", gateway::lineName(config, port));
    row("line names", lines.join(' '), "hygrovane/b_ro/line1 hygrovane/b_ro/usb-FTDI_FT232R-if00-port0 hygrovane/b_ro/10_0_0_5_4001 hygrovane/b_ro/rack_2_old hygrovane/b_ro/line");
    const gateway::Identity self{"box", "/dev/ttyUSB0", "/etc/hygrovane/line1.conf", "0.1.0", at};
    row("identity", gateway::identityJson(self),
        "{\"config\":\"/etc/hygrovane/line1.conf\",\"host\":\"box\",\"port\":\"/dev/ttyUSB0\",\"started\":\"2026-12-07T10:15:30+01:00\",\"version\":\"0.1.0\"}");
    QStringList holders;
    for (const auto &[status, identity] : {std::pair{"online", gateway::identityJson(self)}, {"offline", gateway::identityJson({"other", "/dev/ttyUSB0", "", "", at})},
                                           {"online", gateway::identityJson({"other", "/dev/ttyUSB0", "", "", at})},
                                           {"online", gateway::identityJson({"box", "/dev/ttyUSB1", "", "", at})}, {"online", QByteArray()}})
        holders << gateway::holder({{"p/status", status}, {"p/gateway", identity}}, "p", self);
    row("prefix holders", holders.join('|'), "||the gateway on other for the port /dev/ttyUSB0, started 2026-12-07T10:15:30+01:00|"
        "the gateway on box for the port /dev/ttyUSB1, started 2026-12-07T10:15:30+01:00|");

    publish::Outbox full;
    for (int i = 0; i < publish::Outbox::Bound + 5; ++i)
        full.add({});
    row("outbox bound", QStringLiteral("%1 %2").arg(full.waiting()).arg(full.dropped()), "10000 5");

    row("RFC 2217 opening, 8N1 at 19200", hex(rfc2217::negotiation() + rfc2217::lineSettings(19200)),
        "ff fb 2c ff fa 2c 01 00 00 4b 00 ff f0 ff fa 2c 02 08 ff f0 ff fa 2c 03 01 ff f0 ff fa 2c 04 01 ff f0");
    row("RFC 2217 rate of 255", hex(rfc2217::setBaudRate(255)), "ff fa 2c 01 00 00 00 ff ff ff f0");
    row("RFC 2217 data", hex(rfc2217::escape(bytes("01ff02ffff"))), "01 ff ff 02 ff ff ff ff");
    QStringList names;
    for (const char *name : {"tcp://127.0.0.1:4001", " RFC2217://localhost:950/", "rfc2217://[::1]:4001", "/dev/ttyUSB0",
                             "tcp://::1:4001", "tcp://:4001", "tcp://a b:1", "tcp://host", "tcp://h:0", "tcp://h:65536", "tcp://h:+12"}) {
        const rfc2217::PortUrl url = rfc2217::parsePortUrl(name);
        names << (!rfc2217::isNetworkPort(name) ? QStringLiteral("serial")
                  : url.error.isEmpty() ? (url.rfc2217 ? "rfc2217 " : "tcp ") + url.where()
                  : url.host.isEmpty() ? QStringLiteral("no server") : QStringLiteral("bad port"));
    }
    row("port names", names.join(", "), "tcp 127.0.0.1:4001, rfc2217 localhost:950, rfc2217 [::1]:4001, serial, "
        "no server, no server, no server, no server, bad port, bad port, bad port");
    row("port name without a server", rfc2217::parsePortUrl("tcp://4001").error,
        "tcp://4001 names no server: write tcp://HOST:PORT or rfc2217://HOST:PORT");
    row("port name with port 0", rfc2217::parsePortUrl("tcp://h:0").error, "tcp://h:0: the port must be a number from 1 to 65535");
    row("server not found", NetworkTransport::connectFailure(QAbstractSocket::HostNotFoundError, "nport.lab:4001", "x"),
        "the host in nport.lab:4001 was not found");
    row("server unreachable", NetworkTransport::connectFailure(QAbstractSocket::NetworkError, "127.0.0.1:4001", "Network unreachable"),
        "the connection to the server at 127.0.0.1:4001 failed: Network unreachable");
    row("port reason, no such port", portErrorText(QSerialPort::DeviceNotFoundError, "No such file or directory"), "no such port");
    row("port reason, busy", portErrorText(QSerialPort::PermissionError, qt_error_string(EBUSY)), "the port is busy: another program has it open");
    row("port reason, unknown", portErrorText(QSerialPort::UnknownError, ""), "an unexpected error of the port (code 11)");
    // libmosquitto's results, -4 to 31: each its own words, none the unexpected one's.
    const QString unexpected = publish::libraryReason(99, 0).section("99", 0, 0);
    QSet<QString> said;
    for (int rc = -4; rc <= 31; ++rc)
        if (!publish::libraryReason(rc, ECONNREFUSED).startsWith(unexpected))
            said << publish::libraryReason(rc, ECONNREFUSED);
    row("broker reasons", QString::number(said.size()), "36");
    // The line shared over TCP: what a client's bytes hold (a frame: its
    // transaction, unit and PDU), and what becomes of a request.
    const auto taken = [](share::Framing framing, const QByteArray &in) {
        const share::Taken t = share::take(framing, in);
        return QStringLiteral("%1 %2").arg(QStringList{"more", "frame", "dropped", "bad"}[t.kind]).arg(t.size)
            + (t.kind == share::Taken::Frame ? QStringLiteral(": t%1 u%2 %3").arg(t.request.transaction).arg(t.request.unit).arg(hex(t.request.pdu)) : QString());
    };
    QStringList frames;
    for (const char *in : {"123400000006070300000005ff", "12340000000607030000", "12340001", "123400000001", "1234000000ff07", "1234000000020711"})
        frames << taken(share::Framing::Mbap, bytes(in));
    for (const QByteArray &in : {withCrc("070300000005") + "\x07", withCrc("070300000005").left(7), bytes("0703000000050000"),
                                 withCrc("07100002000102000a"), withCrc("07100002000102000a").left(6), bytes("0741"), withCrc("0711")})
        frames << taken(share::Framing::Rtu, in);
    row("MBAP: a read, cut short, protocol 1, length 1, 255, 2; RTU: a read, cut short, a wrong CRC, a write of registers, cut short, junk, report id",
        frames.join(" | "), "frame 12: t4660 u7 03 00 00 00 05 | more 0 | bad 0 | bad 0 | bad 0 | frame 8: t4660 u7 11 | frame 8: t0 u7 03 00 00 00 05 | "
        "more 0 | dropped 8 | frame 11: t0 u7 10 00 02 00 01 02 00 0a | more 0 | bad 0 | frame 4: t0 u7 11");
    row("MBAP answer", hex(share::mbapFrame(0x1234, 7, share::exceptionPdu(3, share::NoResponse))), "12 34 00 00 00 03 07 83 0b");
    // Requests as UNIT:PDU, judged with writes refused, then allowed.
    const auto judged = [](bool allow, const QString &requests) {
        QStringList verdicts;
        for (const QString &r : requests.split(' ')) {
            const share::Verdict v = share::judge({0, quint8(r.section(':', 0, 0).toInt()), bytes(r.section(':', 1).toLatin1())}, allow);
            verdicts << QStringList{"on", "to " + QString::number(v.newAddress), QString::number(v.exception)}[v.kind] + (v.write ? "w" : "");
        }
        return verdicts.join(' ');
    };
    row("reads on, writes and the rest refused, units 0 and 248-255 too",
        judged(false, "7:0300000005 7:0400010002 7:0300000000 7:030000007e 7:03000000 7:0600020001 7:050001ff00 7:0f0001000801ff "
                      "7:1000020001020001 7:11 7:2b0e0100 7:170000000100000001020001 0:0300000005 247:0300000005 248:0300000005 255:0300000005"),
        "on on 3 3 3 1w 1w 1w 1w 1 1 1 11 on 11 11");
    row("writes allowed: the rate and the address set up apart",
        judged(true, "7:0600020001 7:0601010004 7:060100000c 7:0601000007 7:0601000000 7:06010000f8 7:050001ff00 7:0500011234 "
                     "7:10000200010200ff 7:1000ff00020400010002 7:100002000103000001 7:0f0001000902ff01 7:0f00010009010f 7:11"),
        "onw 3w to 12w onw 3w 3w onw 3w onw 3w 3w onw 3w 1");
    // From the watch's read of registers 0-4, an age and how long it is kept; at last a refusal.
    QStringList memory;
    for (const auto &[pdu, age, cache, reply] : {std::tuple{"0300000005", 10, 1000, "07030a00fa01f4006e00c80000"}, {"0300010002", 999, 1000, "07030a00fa01f4006e00c80000"},
                                                 {"0300040002", 10, 1000, "07030a00fa01f4006e00c80000"}, {"0400000001", 10, 1000, "07030a00fa01f4006e00c80000"},
                                                 {"0300000001", 1000, 1000, "07030a00fa01f4006e00c80000"}, {"0300000001", 0, 0, "07030a00fa01f4006e00c80000"},
                                                 {"0301000001", 10, 1000, "07030a00fa01f4006e00c80000"}, {"0300000001", 1, 1000, "078302"}})
        memory << hex(share::fromMemory(bytes(pdu), rtu::buildRequest(7, 3, 0, 5), withCrc(reply), age, cache));
    row("reads from memory", memory.join(" | "), "03 0a 00 fa 01 f4 00 6e 00 c8 00 00 | 03 04 01 f4 00 6e |  |  |  |  |  | ");
    QStringList endpoints;
    for (const char *text : {"1502", "0.0.0.0:502", "[::1]:1502", "localhost:1502", "::1:1502", "plc.lab:502", "0", "65536", "+1", "1.2.3.4:"}) {
        QHostAddress host;
        quint16 port = 0;
        QString error;
        endpoints << (share::parseEndpoint(text, &host, &port, &error) ? host.toString() + " " + QString::number(port) : error.section(' ', 1, 2));
    }
    row("listening endpoints", endpoints.join(" | "), "127.0.0.1 1502 | 0.0.0.0 502 | ::1 1502 | 127.0.0.1 1502 | the host | the host | is not | is not | is not | is not");
    // What the line finds of the answers to other masters' requests, and whether their first bytes begin one.
    QStringList found;
    for (const auto &[request, line] : {std::pair{rtu::buildRequest(7, 4, 0, 1), "ab" + withCrc("07040200fa")}, {withCrc("07100002000102000a"), withCrc("071000020001")},
                                        {withCrc("07100002000102000a"), withCrc("071000020002")}, {withCrc("070f000100090201ff"), withCrc("070f00010009")},
                                        {rtu::buildRequest(7, 1, 0, 9), withCrc("07010201ff")}}) {
        int size = 0;
        const int at = rtu::findAnswer(line, request, &size);
        found << QStringLiteral("%1+%2 %3").arg(at).arg(size).arg(rtu::beginsAnswer(line.mid(qMax(0, at), 4), request));
    }
    row("answers to reads of input registers, writes of registers and coils", found.join(' '), "2+7 1 0+8 1 -1+0 1 0+8 1 0+7 1");
    row("bus table row", bus::tableRow(3, 19200, {-0.5, NAN, 10.3, NAN}, "Silent since 10:15:30, \"late\"", 7, 3, at),
        "3,19200,-0.5,,10.3,,\"Silent since 10:15:30, \"\"late\"\"\",7,3,2026-12-07T10:15:30+01:00\r\n");
    row("bus table row, never seen", bus::tableRow(1, 9600, {NAN, NAN, NAN, NAN}, "", 0, 0, {}), "1,9600,,,,,,0,0,\r\n");
    row("build date, one-digit day", parseBuildDate(QStringLiteral("Sep  7 2022")).toString(Qt::ISODate), "2022-09-07");
    row("build date, two-digit day", parseBuildDate(QStringLiteral("Dec 17 2025")).toString(Qt::ISODate), "2025-12-17");
    row("build time", QLocale::c().toString(parseBuildTime(QStringLiteral("09:05:03")), QStringLiteral("hhmm ss")), "0905 03");
}

void TestUnits::scanPlan_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    const auto plan = [](int from, int to, bool allRates) {
        QStringList probes;
        for (const bus::Probe &p : bus::scanPlan(from, to, allRates, 9600))
            probes << QStringLiteral("%1@%2").arg(p.address).arg(p.baudRate);
        return QStringLiteral("%1: %2").arg(probes.size()).arg(probes.size() > 12 ? probes.first() + " .. " + probes.last() : probes.join(' '));
    };
    const auto answer = [](Exchange::Outcome outcome, const char *reply) {
        const bus::Answer a = bus::answerOf(outcome, bytes(reply));
        return QStringLiteral("%1 %2 %3").arg(a.kind).arg(a.exception).arg(a.values[trend::Temperature]);
    };
    auto row = [](const char *name, const QString &actual, const char *expected) {
        QTest::newRow(name) << actual << QString::fromUtf8(expected);
    };
    row("every address at the link's rate", plan(1, 247, false), "247: 1@9600 .. 247@9600");
    row("a short range", plan(5, 7, false), "3: 5@9600 6@9600 7@9600");
    row("an empty range", plan(9, 8, false), "0: ");
    row("every rate, fastest first", plan(1, 2, true),
        "12: 1@115200 2@115200 1@19200 2@19200 1@9600 2@9600 1@4800 2@4800 1@2400 2@2400 1@1200 2@1200");
    row("the read", hex(bus::measurementRead(247)), "f7 03 00 00 00 05 91 5f");
    // The request, the 3.5-character gap and the reply's first character, 125 bits, a character
    // (2 ms at least) to hand it over, then the answer time.
    row("first byte at 9600, 20 ms (µs)", QString::number(rtu::firstByteUs(9600, 20)), "35021");
    row("first byte at 115200, 20 ms", QString::number(rtu::firstByteUs(115200, 20)), "23086");
    row("first byte at 1200, 20 ms", QString::number(rtu::firstByteUs(1200, 20)), "132501");
    QStringList waits;
    for (int measured : {-1, 0, 9, 10, 35, 600})
        waits << QString::number(rtu::defaultAnswerMs(measured));
    row("answer within, from the answer time measured", waits.join(' '), "20 20 20 20 70 1000");
    row("silence at 9600, 20 ms", QString::number(rtu::silenceUs(9600, 20)), "23646");
    // Each address left at its own rate's wait: 1,482 addresses, 215 done.
    row("time left of an all-rates scan (ms)", QString::number(bus::timeLeftUs(bus::scanPlan(1, 247, true, 9600), 215, 20) / 1000), "79880");
    row("the silence before a request at 9600, 19200, 115200 (µs)",
        QStringList{QString::number(rtu::gapUs(9600)), QString::number(rtu::gapUs(19200)), QString::number(rtu::gapUs(115200))}.join(' '),
        "3646 1823 1750");
    // The rescan over 1 and 2 watched, once a minute: ms:address asked, and
    // what its answer made of it (f found, a asked again, g garbled only).
    const auto rescan = [](const QMap<int, bus::Answer::Kind> &says) {
        bus::Rescan r(1);
        r.begin(0);
        QStringList asked;
        for (qint64 now = 0; now <= 1800; now += 10) {
            if (const quint8 address = r.next({1, 2}, now)) {
                const bus::Rescan::Verdict v = r.heard(address, says.value(address, bus::Answer::Silence));
                asked << QStringLiteral("%1:%2%3").arg(now).arg(address).arg(QString(" fag").mid(v, 1).trimmed());
            }
        }
        return asked.join(' ');
    };
    row("the rescan, one address a step", rescan({{4, bus::Answer::Values}}), "250:3 500:4f 750:5 1000:6 1250:7 1500:8 1750:9");
    row("the rescan, garbled answers", rescan({{4, bus::Answer::Garbled}}), "250:3 500:4a 750:4a 1000:4g 1250:5 1500:6 1750:7");
    bus::Overrun overrun;
    QStringList said;
    for (const int ms : {1000, 1030, 1200, 1300, 1500, 1000, 1600})
        if (overrun.worthSaying(ms, 1000))
            said << QString::number(ms);
    row("rounds longer than the period, said", said.join(' '), "1200 1500");
    row("values", answer(Exchange::Answered, "01030AFF9C01F4006E00C800004226"), "0 0 -10");
    row("a refusal", answer(Exchange::Answered, "018302C0F1"), "1 2 nan");
    row("garbled", answer(Exchange::Garbled, "0103"), "2 0 nan");
    row("silence", answer(Exchange::Silent, ""), "3 0 nan");
}

void TestUnits::commissioning_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("asked"); // rate:the request's first six bytes
    const QString probe = withCrc("0003020005").toHex(), echo = withCrc("00060100000C").toHex(), ack = "7b22ab00ab227d";
    const QString info = kInfo.toHex(), setup = settingsReply("20", "003c").toHex();
    const QString values = withCrc("0C030A00E701C80067009E0000").toHex();
    // Every rate is asked, then the logger of the one module that answered.
    const QString find = "- - " + probe + " - - - " + info;
    const QString found = find + ' ' + echo + ' ' + ack + ' ' + info + ' ' + setup + ' ' + setup;
    const QString searched = "115200:000301000001 19200:000301000001 9600:000301000001 4800:000301000001 2400:000301000001 "
                             "1200:000301000001 9600:7b220a000a22";
    const QString written = searched + " 9600:00060100000c 9600:7b22aa07001a 9600:7b220a000a22 9600:7b224a1d6955 9600:7b221a001a22";
    const QString row = "2026-01-01T02:00:00+01:00,5,9600,%1,261206033129,%2,recording,after setup,2026-01-01T01:00:00+01:00,60,%3\r\n";
    const QString steps = "Find: address 5 at 9600 baud | Address: address 12 | Serial number: 261206033129, model 2021 | "
                          "Logger setup: recording after setup, 60 s";
    const QString read = " 19200:0c0300000005";
    QTest::newRow("a module at 9600 to 19200") << 19200 << found + ' ' + withCrc("000601010005").toHex() + ' ' + values
        << steps + " | Baud rate: 19200 baud, 23.1 °C, 45.6 %RH" << row.arg("12,19200").arg(2021).arg("23.1,45.6,10.3,15.8,ok,,")
        << written + " 9600:000601010005" + read;
    // It follows its new rate late: the read is asked again, for up to a second.
    QTest::newRow("a module slow to follow") << 19200 << found + ' ' + withCrc("000601010005").toHex() + " - # - " + values
        << steps + " | Baud rate: 19200 baud, 23.1 °C, 45.6 %RH" << row.arg("12,19200").arg(2021).arg("23.1,45.6,10.3,15.8,ok,,")
        << written + " 9600:000601010005" + read + read + read + read;
    // It took the rate when it echoed the write.
    QTest::newRow("a module that never follows") << 19200 << found + ' ' + withCrc("000601010005").toHex() + " - - - -"
        << steps + " | Baud rate failed: no answer" << row.arg("12,19200").arg(2021).arg(",,,,failed,baud_rate,no answer")
        << written + " 9600:000601010005" + read + read + read + read;
    QTest::newRow("the rate kept") << 9600 << found + ' ' + values
        << steps + " | Baud rate: 9600 baud, 23.1 °C, 45.6 %RH" << row.arg("12,9600").arg(2021).arg("23.1,45.6,10.3,15.8,ok,,")
        << written + " 9600:0c0300000005";
    // Nothing is written where more than one module may hear it, and the row
    // tells only what was found.
    const QString none = "2026-01-01T02:00:00+01:00,,,,,,,,,,,,,,,failed,find,";
    QTest::newRow("two modules answer at one rate") << 9600 << "- - # - - -"
        << "Find failed: More than one module answers (at 9600 baud): keep only the one to commission on the line."
        << none + "More than one module answers (at 9600 baud): keep only the one to commission on the line.\r\n"
        << searched.section(' ', 0, 5);
    QTest::newRow("modules at two rates") << 9600 << "- " + probe + ' ' + probe + " - - -"
        << "Find failed: More than one module answers (at 9600 and 19200 baud): keep only the one to commission on the line."
        << none + "More than one module answers (at 9600 and 19200 baud): keep only the one to commission on the line.\r\n"
        << searched.section(' ', 0, 5);
    QTest::newRow("no module") << 9600 << "- - - - - -" << "Find failed: no module answers at any rate"
        << none + "no module answers at any rate\r\n" << searched.section(' ', 0, 5);
    const QString noSerial = "2026-01-01T02:00:00+01:00,5,9600,%1,,%2,,,,,,,,,%3\r\n";
    QTest::newRow("another address echoed") << 9600 << find + ' ' + withCrc("00060100000D").toHex()
        << "Find: address 5 at 9600 baud | Address failed: the module echoed address 13"
        << noSerial.arg(",").arg("").arg("failed,address,the module echoed address 13") << searched + " 9600:00060100000c";
    QTest::newRow("the serial number read back otherwise") << 9600 << find + ' ' + echo + ' ' + ack + ' ' + QString(kInfo.toHex()).replace("1f1d", "1f1e")
        << "Find: address 5 at 9600 baud | Address: address 12 | Serial number failed: read back 261206033130 where 261206033129 was written"
        << "2026-01-01T02:00:00+01:00,5,9600,12,,261206033129,2021,,,,,,,,,failed,serial_number,read back 261206033130 where 261206033129 was written\r\n"
        << searched + " 9600:00060100000c 9600:7b22aa07001a 9600:7b220a000a22";
    // A write whose answer never came may have been taken.
    QTest::newRow("the setup not acknowledged") << 9600 << find + ' ' + echo + ' ' + ack + ' ' + info + " -"
        << steps.section(" | ", 0, 2) + " | Logger setup: recording after setup, 60 s (not confirmed) | Logger setup failed: no answer"
        << "2026-01-01T02:00:00+01:00,5,9600,12,,261206033129,2021,recording (not confirmed),after setup (not confirmed),"
           "2026-01-01T01:00:00+01:00 (not confirmed),60 (not confirmed),,,,,failed,logger_setup,no answer\r\n"
        << written.section(QLatin1Char(' '), 0, 10);
    QTest::newRow("the rate write garbled") << 19200 << found + " #"
        << steps + " | Baud rate: 19200 baud (not confirmed) | Baud rate failed: a reply that makes no frame"
        << row.arg("12,19200 (not confirmed)").arg(2021).arg(",,,,failed,baud_rate,a reply that makes no frame") << written + " 9600:000601010005";
    QTest::newRow("stopped while the address is written") << 9600 << find + " cut" << "Find: address 5 at 9600 baud | Address: address 12 (not confirmed)"
        << noSerial.arg("12 (not confirmed),").arg("").arg("stopped,address,") << searched + " 9600:00060100000c";
    QTest::newRow("the settings read back otherwise") << 9600 << find + ' ' + echo + ' ' + ack + ' ' + info + ' ' + setup + ' '
        + settingsReply("20", "0078").toHex()
        << steps.section(" | ", 0, 2) + " | Logger setup failed: read back recording after setup, 120 s"
        << row.arg("12,").arg(2021).arg(",,,,failed,logger_setup,\"read back recording after setup, 120 s\"") << written;
    QTest::newRow("a refusal") << 9600 << find + ' ' + withCrc("008602").toHex()
        << "Find: address 5 at 9600 baud | Address failed: the module refused the request (exception 2)"
        << noSerial.arg(",").arg("").arg("failed,address,the module refused the request (exception 2)") << searched + " 9600:00060100000c";
    QTest::newRow("stopped") << 9600 << find + " stop " + echo << "Find: address 5 at 9600 baud"
        << noSerial.arg(",").arg("").arg("stopped,address,") << searched;
}

void TestUnits::plan_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QString &actual, const char *expected) { QTest::newRow(name) << actual << expected; };
    const QSet<int> given{12, 13, 15, 247};
    row("the next address", QString::number(commission::nextAddress(11, given)), "14");
    row("past the given ones", QString::number(commission::nextAddress(13, given)), "14");
    row("after 247, the lowest not given", QString::number(commission::nextAddress(246, given)), "1");
    QSet<int> all;
    for (int address = 1; address <= 247; ++address)
        all << address;
    row("none left", QString::number(commission::nextAddress(12, all)), "0");
    const QDateTime at(QDate(2026, 12, 6), QTime(3, 31, 29, 250));
    row("a serial number from the clock", commission::serialNumber(at), "261206033129");
    row("the same second: wait for the next", QString::number(commission::msUntilNewSerial(at, "261206033129")), "750");
    row("a second on", QString::number(commission::msUntilNewSerial(at.addSecs(1), "261206033129")), "0");
    const qint64 now = 1767225600;
    QStringList starts;
    for (const auto &[mode, start] : {std::pair{1, now - 10}, {3, now - 10}, {2, now - 10}, {2, now}, {2, now + 60},
                                     {1, now + 60}, {2, 0x100000000LL}}) {
        const qint64 sent = logger::setupStart(quint8(mode), start, now);
        starts << (sent < 0 ? QStringLiteral("refused") : QString::number(sent - now));
    }
    row("start times, in seconds from now", starts.join(' '), "300 300 refused refused 60 60 refused");
}

void TestUnits::queue_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("written"); // every request, its address at the rate it went out at
    QTest::addColumn<QString>("told");    // the owner's outcomes and late answers, in order
    QTest::newRow("cancelled: nothing more goes out, no answer reaches it")
        << "x:5@9600 x:6@9600 x:7@9600 cancel answer:5" << "5@9600" << "";
    QTest::newRow("a late answer at the rate its request went out at")
        << "x:5@9600 waited x:6@9600 answer:5" << "5@9600 6@9600" << "5:silent 5:late 6:silent";
    // A module's answer heard at another rate is bytes of nobody's.
    QTest::newRow("a late answer heard at another rate")
        << "x:5@9600 waited x:6@19200 answer:5" << "5@9600 6@19200" << "5:silent 6:silent";
    QTest::newRow("ahead of what waits, in their order")
        << "x:5@9600 x:6@9600 a:7@9600 a:8@9600" << "5@9600 7@9600 8@9600 6@9600" << "5:silent 7:silent 8:silent 6:silent";
}

void TestUnits::share_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("said");
    const QString closed = "Modbus TCP: the client <peer> is closed: ";
    QTest::newRow("bad headers close that client only")
        << "m1>!123400010006070300000005 m1?1 m2>!123400000001 m2?1 m3>!1234000000ff07 m3?1 m4>7:0300000005"
        << "m1: closed | m2: closed | m3: closed | m4: 1 7 830b" << "7@9600" << QString(closed + "a malformed MBAP header. ").repeated(3).trimmed();
    QTest::newRow("junk over RTU closes that client only")
        << "r1>!0741 r2>248:0300000001" << "r1: closed | r2: " + QString::fromLatin1(withCrc("f8830b").toHex()) << ""
        << "RTU over TCP: the client <peer> is closed: bytes that make no request.";
    QTest::newRow("cut short, and silent") << "m1>!1234000000060703 m2>7:0300000005" << "m1: closed | m2: 1 7 830b, closed" << "7@9600"
                                           << closed + "a request cut short for 0.3 s. " + closed + "silent for 1.5 s.";
    QTest::newRow("one client more than allowed") << "m1>7:0300000005 m2>7:0300000005 m3?0 m4>7:0300000005"
                                                  << "m1: 1 7 830b | m2: 1 7 830b | m3:  | m4: closed" << "7@9600 7@9600"
                                                  << "Modbus TCP: the client <peer> is turned away: 3 clients are connected already.";
    QString many = "m1>7:0300000005", answers = "m1: 17 7 8306, 18 7 8306";
    for (int t = 1; t <= 16; ++t)
        many += " m1>7:0300000005", answers += QString(", %1 7 830b").arg(t);
    QTest::newRow("sixteen waiting, and the next ones busy") << many + " m1>7:0300000005" << answers << "7@9600 7@9600" << "";
    QTest::newRow("ahead of the watch, but never twice in a row past a poll")
        << "watch m1>7:0300000005 m1>7:0300000006 m1>7:0300000007" << "m1: 1 7 830b, 2 7 830b, 3 7 830b" << "1@9600 7@9600 1@9600 7@9600 1@9600 7@9600" << "";
}

void TestUnits::line_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("timing");
    const QString all = withCrc("010300000005").toHex(), values = hex(withCrc("01030A00E701C80067009E0000"));
    const QString addresses = withCrc("000301000001").toHex(), toFast = withCrc("000601010005").toHex();
    // A request at 2400 ends 33.3 ms after it is written; a reply of 15 bytes takes 62.5 ms.
    QTest::newRow("echo") << "echo" << "w:" + all << hex(bytes(all.toLatin1())) + ' ' + values << "";
    QTest::newRow("echo where no module hears") << "echo" << "r:19200 w:" + all << hex(bytes(all.toLatin1())) << "";
    QTest::newRow("stray") << "stray" << "w:" + all << "00 " + values << "";
    QTest::newRow("paced, echoed, after a delay") << "module=1@2400 echo pace delay=20" << "r:2400 w:" + all
        << hex(bytes(all.toLatin1())) + ' ' + values << "first=4..12 last=115..135 pieces=15..23";
    QTest::newRow("paced, through a latency") << "module=1@2400 pace latency=16" << "r:2400 w:" + all << values
        << "last=95..125 pieces=4..5 gap=10..22";
    QTest::newRow("a slow module after the other") << "line=1~40,5" << "w:" + addresses
        << hex(withCrc("0503020005") + withCrc("0103020001")) << "first=0..10 last=40..55 pieces=2..2";
    // Where replies overlap, the characters of the one put on the wire first carry every byte of the
    // other that overlaps them in time, ANDed in: 05 03 02 00 05 89 87 against 01 03 02 00 01 79 84
    // starting 4.8 (2.88) bytes later.
    QTest::newRow("answers overlapping in part") << "line=1~5,5" << "w:" + addresses
        << "05 03 02 00 01 01 02 00 01 79 84" << "last=4..25";
    QTest::newRow("paced answers overlapping in part") << "line=1,5 slow=0:3 pace" << "w:" + addresses
        << "05 03 00 00 00 00 00 79 84" << "last=15..30";
    // Neither waits for the other: the module asked second answers first, whole.
    const QString read1 = withCrc("010301000001").toHex(), read5 = withCrc("050301000001").toHex();
    QTest::newRow("an answer before an earlier one") << "line=1~60,5" << "w:" + read1 + "/10 w:" + read5
        << hex(withCrc("0503020005") + withCrc("0103020001")) << "first=0..8 last=40..56 pieces=2..2";
    QTest::newRow("paced, an answer before an earlier one") << "line=1~60,5 pace" << "w:" + read1 + "/10 w:" + read5
        << hex(withCrc("0503020005") + withCrc("0103020001")) << "first=8..20 last=52..70";
    // Without pacing a reply is had at its start: the next answer, asked for then, meets none of it.
    QTest::newRow("asked at once after an answer") << "line=1,5" << "w:" + all + "/2 w:" + withCrc("050300000005").toHex()
        << values + ' ' + hex(withCrc("05030A00E801C80067009E0000")) << "";
    QTest::newRow("a late switch") << "switchDelay=150" << "w:" + toFast + " r:19200 w:" + all + " t:150 w:" + all
        << hex(bytes(toFast.toLatin1())) + ' ' + values << "";
}

void TestUnits::telnet_data()
{
    QTest::addColumn<QString>("chunks");
    QTest::addColumn<QString>("expected"); // data / reply / rates
    // ser2net's opening: WILL and DO SGA, WILL and DONT ECHO, DO and WILL BINARY, DO COM-PORT.
    const QString opening = "fffb03fffd03fffb01fffe01fffd00fffb00fffd2c";
    const QString declined = "ff fe 03 ff fc 03 ff fe 01 ff fb 00 ff fd 00";
    QTest::newRow("data, 0xFF doubled") << "01ffff02" << "01 ff 02 /  / ";
    QTest::newRow("doubled across chunks") << "01ff|ff02ff|ff" << "01 ff 02 ff /  / ";
    QTest::newRow("the opening: binary taken, the rest declined") << opening << " / " + declined + " / ";
    QTest::newRow("asked twice, answered once") << opening + '|' + opening << " / " + declined + " / ";
    QTest::newRow("refusals and confirmations unanswered") << "fffc05fffe05fffd2c" << " /  / ";
    QTest::newRow("binary turned off again") << "fffb00|fffc00fffc00" << " / ff fd 00 ff fe 00 / ";
    QTest::newRow("the rate confirmed, split everywhere") << "ff|fa|2c|65|00|00|4b|00|ff|f0|41" << "41 /  / 19200";
    QTest::newRow("a confirmed rate of 255") << "fffa2c65000000ffff fff0" << " /  / 255";
    QTest::newRow("other answers, and a rate of three bytes, ignored") << "fffa2c6608fff0fffa2c6b00fff0fffa2c6500004bfff0" << " /  / ";
    QTest::newRow("commands of no meaning dropped") << "41fff1fff9fff042" << "41 42 /  / ";
    QTest::newRow("too long a subnegotiation") << "fffa2c650000" + QString(200, '0') + "4b00fff043" << "43 /  / ";
    QTest::newRow("a subnegotiation cut by a command") << "fffa2c650000fffb0544" << "44 / ff fe 05 / ";
}

void TestUnits::server_data()
{
    QTest::addColumn<QString>("server"); // ser2net's mode, or what stands where it would
    QTest::addColumn<QString>("modules");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    const QString read = withCrc("010300000005").toHex(), answer = hex(withCrc("01030AFFFF01C80067009E0000"));
    QTest::newRow("raw: an answer, the rate fixed") << "raw" << "1" << "open:9600 w:" + read + " rate:19200"
        << "ready at 9600 | " + answer + " | refused";
    QTest::newRow("RFC 2217: opened at the module's rate") << "rfc2217" << "1@19200" << "open:19200 w:" + read
        << "ready at 19200 | " + answer;
    QTest::newRow("RFC 2217: the rate moved") << "rfc2217" << "1@19200" << "open:9600 w:" + read + " rate:19200 w:" + read
        << "ready at 9600 | silent | ready at 19200 | " + answer;
    // Asked by a request whose CRC ends in 0xFF.
    QTest::newRow("RFC 2217: 0xFF both ways") << "rfc2217" << "87" << "open:9600 t:5703000000" "0589ff"
        << "ready at 9600 | " + hex(withCrc("57030AFFFF01C80067009E0000"));
    QTest::newRow("refused") << "closed" << "1" << "open:9600" << "failed: the server at SERVER refused the connection";
    QTest::newRow("no answer") << "full" << "1" << "open:9600" << "failed: the server at SERVER did not answer within 3 s";
    QTest::newRow("a raw server asked for RFC 2217") << "raw, asked RFC 2217" << "1" << "open:9600"
        << "failed: the server at SERVER did not confirm the rate: is it an RFC 2217 server?";
    QTest::newRow("the port taken") << "rfc2217" << "1" << "taken open:9600"
        << "taken | failed: the server at SERVER closed the connection: Port already in use";
    QTest::newRow("the server stopped") << "rfc2217" << "1" << "open:9600 stop"
        << "ready at 9600 | failed: the connection to the server at SERVER was dropped";
}

void TestUnits::schedule_data()
{
    QTest::addColumn<QString>("watched"); // ticked rows at the link's rate, in table order; r: a silent one, resting
    QTest::addColumn<int>("pollMs");
    QTest::addColumn<QString>("expected");
    QTest::newRow("quick rounds, once a second") << "111" << 30 << "0:0 30:1 60:2 wait 910 1000:0 1030:1 1060:2 wait 910";
    QTest::newRow("a round longer than a second") << "11" << 600 << "0:0 600:1 1200:0 1800:1 2400:0 3000:1 3600:0 4200:1";
    QTest::newRow("rows not watched are passed over") << "0101" << 30 << "0:1 30:3 wait 940 1000:1 1030:3 wait 940 2000:1 2030:3";
    QTest::newRow("a silent module, asked every tenth round") << "r1" << 1000
        << "0:1 1000:1 2000:1 3000:1 4000:1 5000:1 6000:1 7000:1 8000:1 9000:0 10000:1 11000:1";
    QTest::newRow("nothing watched") << "000" << 30 << "wait 1000 wait 1000 wait 1000 wait 1000 wait 1000 wait 1000 wait 1000 wait 1000";
}

void TestUnits::thinning_data()
{
    QTest::addColumn<QVector<QPointF>>("readings");
    QTest::addColumn<int>("span");
    QTest::addColumn<QString>("expected");
    auto perSecond = [](int seconds, double (*value)(int), int from = 0) {
        QVector<QPointF> readings;
        for (int t = from; t < seconds; ++t)
            readings << QPointF(t, value(t));
        return readings;
    };
    const auto steady = [](int) { return 20.0; };
    QTest::newRow("one reading") << QVector<QPointF>{{0, 20}} << int(trend::TenMinutes) << "1 | 0.0:20.0 | 0.0:20.0";
    QTest::newRow("two in one bucket") << QVector<QPointF>{{0, 20}, {0.2, 21}} << int(trend::TenMinutes)
                                       << "1 | 0.1:20.5 | 0.1:20.5";
    QTest::newRow("no value carried") << QVector<QPointF>{{0, NAN}, {1, NAN}} << int(trend::OneHour) << "0";
    // The clock put right: back by seconds, a slew; by more, a step.
    QTest::newRow("the clock set back") << QVector<QPointF>{{10, 20}, {5, 22}} << int(trend::TenMinutes)
                                        << "2 | 5.0:22.0 | 10.0:20.0";
    QTest::newRow("a day ahead") << QVector<QPointF>{{0, 20}, {86402, 30}, {2, 22}} << int(trend::TenMinutes) << "2 | 0.0:20.0 | 2.0:22.0";
    QTest::newRow("15 min back") << perSecond(1800, steady) + perSecond(960, steady, 900) << int(trend::OneHour) << "533 | 0.5:20.0 | 958.5:20.0";
    QTest::newRow("an hour, 1 h span") << perSecond(3600, [](int t) { return double(t % 3); }) << int(trend::OneHour)
                                       << "2000 | 0.5:0.5 | 3599.0:2.0";
    QTest::newRow("a day, 24 h span") << perSecond(86400, [](int t) { return 20.0 + t % 2; }) << int(trend::OneDay)
                                      << "2000 | 21.5:20.5 | 86378.0:20.5";
    QTest::newRow("a day, 10 min span") << perSecond(86400, steady) << int(trend::TenMinutes)
                                        << "601 | 85799.0:20.0 | 86399.0:20.0";
    QTest::newRow("25 hours keep the last 24") << perSecond(90000, steady) << int(trend::OneDay)
                                               << "2001 | 3607.0:20.0 | 89992.5:20.0";
}

void TestUnits::rtuReception_data()
{
    QTest::addColumn<QString>("request"); // the one on the line (WidgetAccess::onLine)
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QString>("expected");
    const QByteArray all = bytes("01030A00FA01F4006E00C800004226");
    const QString allShown = "250 500 110 200 a42 r1 | 25.0℃,50.0%,11.0℃,20.0℃ | logged buf0";
    const QString untouched = "11 22 33 44 a42 r0 | ,,, | - buf%1";
    const QString acknowledged = "11 22 33 44 a%1 r1 | ,,, | logged buf0";
    const QString refused = "11 22 33 44 a42 r0 | ,,, | logged buf0";
    Chunks byByte;
    for (char c : all)
        byByte << QByteArray(1, c);
    const QByteArray kilo(1024, '\x55');
    auto row = [](const char *name, const char *request, const Chunks &chunks, const QString &expected) {
        QTest::newRow(name) << request << chunks << expected;
    };
    row("ALL", "ALL@1", {all}, allShown);
    row("ALL in two chunks", "ALL@1", {all.left(4), all.mid(4)}, allShown);
    row("ALL byte by byte", "ALL@1", byByte, allShown);
    row("ALL, then nothing new", "ALL@1", {all, {}}, allShown);
    // Found wherever it stands in what the line brought; only it is logged,
    // and only it leaves the buffer: the rest waits for the silence.
    const QString found = QString(allShown).replace("logged", "RX " + all.toHex());
    const auto left = [found](int bytes) { return QString(found).replace("buf0", QString("buf%1").arg(bytes)); };
    row("ALL and one byte more", "ALL@1", {all + '\0'}, left(1));
    row("two replies in one chunk", "ALL@1", {all + all}, left(15));
    row("behind a stray byte", "ALL@1", {'\0' + all}, left(1));
    row("behind noise, in pieces", "ALL@1", {bytes("FF0103"), all.left(9), all.mid(9)}, left(3));
    const QByteArray read = rtu::buildRequest(1, 3, 0, 5), write = bytes("00060100000C89E2");
    row("behind its echo, the echo learnt", "ALL@1", {read.left(3), read.mid(3) + all}, found);
    row("behind its echo and a stray byte", "~ALL@1", {'\0' + read, '\0' + all}, left(1));
    row("an echo alone is no answer", "~ALL@1", {read}, untouched.arg(0));
    // A write's answer is a copy of it: on a line that echoes, the second one.
    row("a write's echo on a line that echoes", "~address=12", {write}, untouched.arg(0));
    row("a write's echo and answer", "~address=12", {write, write}, acknowledged.arg(12).replace("logged", "RX 00060100000c89e2"));
    row("temperature alone", "T@1", {bytes("010302FF9CF9DD")}, "-100 22 33 44 a42 r1 | -10.0℃,---,---,--- | logged buf0");
    row("humidity", "H@1", {bytes("01030201F4B853")}, "11 500 33 44 a42 r1 | ---,50.0%,---,--- | logged buf0");
    row("humidity is unsigned", "H@1", {withCrc("010302FFFF")}, "11 65535 33 44 a42 r1 | ---,6553.5%,---,--- | logged buf0");
    row("dew point", "D@1", {withCrc("010302FFFB")}, "11 22 -5 44 a42 r1 | ---,---,-0.5℃,--- | logged buf0");
    row("wet bulb", "W@1", {withCrc("0103023039")}, "11 22 33 12345 a42 r1 | ---,---,:---,1234.5℃ | logged buf0");
    row("status", "S@1", {bytes("01030200323991")}, "11 22 33 44 a42 r1 | ---,---,:---,--- | logged buf0");
    row("address read", "address", {bytes("0003020007C446")}, acknowledged.arg(7));
    row("address write echo", "address=12", {bytes("00060100000C89E2")}, acknowledged.arg(12));
    row("baud-rate echo", "baud=4", {bytes("000601010004D9E4")}, acknowledged.arg(42));
    // Only the answer to the request on the line is taken; any other whole
    // frame waits for the silence, and the answer behind it is still found.
    row("an address reply without its register", "address", {withCrc("000300")}, untouched.arg(5));
    row("a write echo while polling", "ALL@1", {bytes("000601010004D9E4")}, untouched.arg(8));
    row("another module's reply", "ALL@1", {withCrc("02030A00FA01F4006E00C80000")}, untouched.arg(15));
    row("five registers when one was asked", "H@1", {all}, untouched.arg(15));
    row("a poll's late reply, then the address", "address", {all, bytes("0003020007C446")}, acknowledged.arg(7).replace("logged", "RX 0003020007c446").replace("buf0", "buf15"));
    row("wrong CRC", "T@1", {bytes("01030200FA3808")}, untouched.arg(7));
    row("CRC bytes swapped", "T@1", {bytes("01030200FA0738")}, untouched.arg(7));
    row("refusal while reading humidity", "H@1", {bytes("018302C0F1")}, refused);
    row("refusal of an address command", "address", {bytes("018302C0F1")}, refused);
    row("a 250-byte frame answering nothing", "ALL@1", {withCrc("0103F5" + QByteArray(245, 'a').toHex())}, untouched.arg(250));
    row("a 255-byte reply is not taken apart", "ALL@1", {withCrc("0103FA" + QByteArray(250, 'a').toHex())}, untouched.arg(255));
    row("4096 bytes of noise wait", "ALL@1", {kilo, kilo, kilo, kilo}, untouched.arg(4096));
    row("the 4097th byte drops them", "ALL@1", {kilo, kilo, kilo, kilo, "U"}, untouched.arg(0));
    row("a reply after dropped noise", "ALL@1", {kilo + kilo + kilo + kilo + 'U', all}, QString(allShown).replace("logged", "RX " + all.toHex()));
    row("a logger frame is left to the silence", "ALL@1", {bytes("7B227D")}, untouched.arg(3));
    row("a logger reply, then a reply", "ALL@1", {kInfo, all}, QString(allShown).replace("logged", "RX " + all.toHex()));
    row("an unfinished logger frame takes the RTU path", "baud=4", {bytes("7B220C00")}, untouched.arg(4));
}

void TestUnits::loggerReception_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QString>("expected");
    const auto settings = settingsReply;
    QByteArray inside = settings("20", "012c");
    inside[11] = '\x22', inside[12] = '\x7D';
    const QByteArray longFrame = bytes("7b222c") + QByteArray(57, 0) + bytes("227d") + QByteArray(71, 0) + bytes("227d");
    auto row = [](const char *name, const char *request, const Chunks &chunks, const char *expected) {
        QTest::newRow(name) << request << chunks << expected;
    };
    // A whole frame leaves the buffer empty for the next reply; anything else waits for the silence.
    row("information", "info", {kInfo}, "R 1a0c06031f1d 2021 0 0 ack0 r1 buf0");
    row("model not a number", "info", {QByteArray(kInfo).replace("2021", "2x21")}, "R 1a0c06031f1d 0 0 0 ack0 r1 buf0");
    row("information, length byte wrong", "info", {kInfo.left(14) + bytes("227d")}, "R 1a0c227d 2021 0 0 ack0 r1 buf16");
    row("settings 0x40, 60 s", "settings", {settings("40", "003c")}, "R  0 2 60 ack1 r1 buf0");
    row("settings 0x60, 45000 s", "settings", {settings("60", "afc8")}, "M  0 3 45000 ack1 r1 buf0");
    row("settings 0x9F", "settings", {settings("9f", "0000")}, "R  0 0 0 ack1 r1 buf0");
    row("settings cut short", "settings", {bytes("7b221c0000000000000020 00227d")}, "R  0 1 0 ack1 r1 buf14");
    row("settings with 22 7D inside, in two chunks", "settings", {inside.left(13), inside.mid(13)}, "R  0 1 300 ack1 r1 buf0");
    // A frame that answers another request says nothing of this one.
    row("information while settings are asked", "settings", {kInfo, settings("60", "afc8")}, "M  0 3 45000 ack1 r1 buf0");
    row("settings while information is asked", "info", {settings("60", "afc8")}, "R  0 0 0 ack0 r0 buf0");
    row("7B 22 7D", "info", {bytes("7B227D")}, "R  0 0 0 ack0 r0 buf3");
    row("long frame, up to its inner 22 7D", "info", {longFrame.left(62)}, "R  0 0 0 ack0 r0 buf62");
    row("long frame, whole", "info", {longFrame.left(62), longFrame.mid(62)}, "R  0 0 0 ack0 r0 buf0");
}

void TestUnits::gatewayConfig_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    const QString rate = "is not 1200, 2400, 4800, 9600, 19200, 115200 or auto";
    const QString defaults = "|10||1000000|||-|-1|16";
    const QString elsewhere = "a password given here can be read by others; put it alone in a file only the gateway reads "
                              "and give that file with --password-file";
    auto row = [](const char *name, const char *arguments, const char *file, const QString &expected) {
        QTest::newRow(name) << arguments << file << expected;
    };
    row("options", "--port /dev/ttyUSB0 --baud 9600 --addresses 40,1-32,34,35 --answer-ms=40 --period 2.5 --rescan 0 "
                   "--broker mqtt://127.0.0.1:1884 --prefix hygrovane/lab --no-discovery --record r.csv", "",
        "/dev/ttyUSB0|9600|1-32,34,35,40|40|2500|mqtt://127.0.0.1:1884|:||hygrovane/lab|-|r.csv|0||1000000|||-|-1|16");
    row("defaults", "--port rfc2217://127.0.0.1:2000 --record r.csv", "", "rfc2217://127.0.0.1:2000|0||-1|1000||:|||discovery|r.csv" + defaults);
    row("the line shared, spooled", "--port p --record r --rescan 0 --spool s.db --spool-max 10 --modbus-tcp 1502 --rtu-over-tcp 0.0.0.0:502 --allow-writes --cache-ms 0 --max-clients 1024",
        "", "p|0||-1|1000||:|||discovery|r|0|s.db|10|1502|0.0.0.0:502|writes|0|1024");
    row("a raw server searched", "--port tcp://127.0.0.1:2000 --record r.csv", "",
        "--baud: a raw TCP server cannot change the rate: give the rate the line is set up with");
    row("a file, options over it", "--config <dir>/gw.conf --baud auto --addresses= --user u --password-file <dir>/pw --ca <dir>/ca.pem",
        "# the line\nport = /dev/ttyUSB1\r\nbaud=19200\n\n; old\naddresses = 5, 2-3, 1\nbroker=mqtts://b.example\nno-discovery = yes\n",
        "/dev/ttyUSB1|0||-1|1000|mqtts://b.example|u:s3cret|<dir>/ca.pem||-|" + defaults);
    row("the packaged example", "--config <source>/packaging/gateway.conf.example", "", "/dev/ttyUSB0|9600||-1|1000|mqtt://localhost|:|||discovery|" + defaults);
    row("help before all", "--bogus --help", "", "help");
    row("version", "--version", "", "version");
    row("an unknown option", "--port p --record r --bard 9600", "", "--bard: no such option");
    row("not an option", "--port p --record r 9600", "", "9600: not an option");
    row("a value missing", "--record r --port", "", "--port needs a value");
    row("an unknown key", "--config <dir>/gw.conf", "port = p\nrecord = r\nprefx = a\n", "<dir>/gw.conf:3: prefx: no such key");
    row("a key twice", "--config <dir>/gw.conf", "port = p\n\nport = q\n", "<dir>/gw.conf:3: port: given already on line 1");
    row("an option twice", "--port p --record r --baud 9600 --baud 19200", "", "--baud: given twice");
    row("two files", "--config <dir>/gw.conf --config=<dir>/pw", "", "--config: given twice");
    row("a switch with a value", "--port p --record r --allow-writes=yes", "", "--allow-writes takes no value");
    row("a comment after a value", "--config <dir>/gw.conf", "record = r\nbaud = 9600 # main line\n", "<dir>/gw.conf:2: baud: a comment cannot follow a value: put it on a line of its own");
    row("a NUL byte", "--config <dir>/gw.conf", "port = p\nrecord = r<nul>\nbroker = mqtt://h\n", "<dir>/gw.conf:2: a NUL byte: this is not a text file");
    row("not UTF-8", "--config <dir>/gw.conf", "# lab\nport = p<ff>\n", "<dir>/gw.conf:2: not UTF-8 text");
    row("a password of two lines", "--port p --broker mqtt://h --user u --password-file <dir>/gw.conf", "s3cret\nagain\n", "--password-file: <dir>/gw.conf holds more than one line");
    row("a section", "--config <dir>/gw.conf", "[gateway]\n", "<dir>/gw.conf:1: not a line of key = value");
    row("no file", "--config <dir>/none", "", "--config: <dir>/none cannot be read");
    row("a rate", "--port p --record r --baud 9601", "", "--baud: 9601 " + rate);
    row("a rate in the file", "--config <dir>/gw.conf --port p --record r", "baud = 96000", "<dir>/gw.conf:1: baud: 96000 " + rate);
    row("a rate with letters", "--port p --record r --baud 96OO", "", "--baud: 96OO " + rate);
    row("a rate of 0", "--port p --record r --baud 0", "", "--baud: 0 " + rate);
    row("address 248", "--port p --record r --addresses 1-248", "", "--addresses: 248 is not an address: they run from 1 to 247");
    row("address 0", "--port p --record r --addresses 0,5", "", "--addresses: 0 is not an address: they run from 1 to 247");
    row("a range backwards", "--port p --record r --addresses 32-1", "", "--addresses: the range 32-1 runs backwards");
    row("an empty item", "--port p --record r --addresses 1,,2", "", "--addresses: \"\" is not an address nor a range like 1-32");
    row("an address with a sign", "--port p --record r --addresses +5", "", "--addresses: \"+5\" is not an address nor a range like 1-32");
    row("an address far out", "--port p --record r --addresses 1-99999999999", "", "--addresses: 99999999999 is not an address: they run from 1 to 247");
    row("a broker", "--port p --broker http://h", "", "--broker: http://h is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT] with a port from 1 to 65535");
    row("a password on the command line", "--port p --record r --password s3cret", "", "--password: " + elsewhere);
    row("a password in the file", "--config <dir>/gw.conf", "password = s3cret", "<dir>/gw.conf:1: password: " + elsewhere);
    row("no password file", "--port p --broker mqtt://h --user u --password-file <dir>/none", "", "--password-file: <dir>/none cannot be read");
    row("a password without a user", "--port p --broker mqtt://h --password-file <dir>/pw", "",
        "--password-file: a password needs a user name: give --user too");
    row("a CA not PEM", "--port p --broker mqtts://h --ca <dir>/pw", "", "--ca: <dir>/pw is not a certificate in PEM form");
    row("an answer wait", "--port p --record r --answer-ms 4", "", "--answer-ms: 4 is not a number of milliseconds from 5 to 1000");
    row("an answer wait with its unit", "--port p --record r --answer-ms 40ms", "", "--answer-ms: 40ms is not a number of milliseconds from 5 to 1000");
    row("a period with a comma", "--port p --record r --period 0,5", "", "--period: 0,5 is not a number of seconds from 0.1 to 3600");
    row("a period too long", "--port p --record r --period 3600.5", "", "--period: 3600.5 is not a number of seconds from 0.1 to 3600");
    row("a rescan too rare", "--port p --record r --rescan 1441", "", "--rescan: 1441 is not a number of minutes from 0 to 1440");
    row("a spool beyond any number", "--port p --record r --spool-max 99999999999999999999999", "", "--spool-max: 99999999999999999999999 is not a number of readings from 1 to 100000000");
    row("a cache too old", "--port p --record r --cache-ms 3600001", "", "--cache-ms: 3600001 is not a number of milliseconds from 0 to 3600000");
    row("too many clients", "--port p --record r --max-clients 1025", "", "--max-clients: 1025 is not a number of clients from 1 to 1024");
    row("a listener's port", "--port p --record r --modbus-tcp 70000", "", "--modbus-tcp: 70000 is not [HOST:]PORT with a port from 1 to 65535");
    row("a prefix", "--port p --broker mqtt://h --prefix a/#", "", "--prefix: the topic prefix holds #, a wildcard of MQTT");
    row("a prefix too long", "--port p --broker mqtt://h --prefix <long>", "", "--prefix: the topic prefix has 201 characters, more than the 200 it may have");
    row("a prefix with a tab", "--port p --broker mqtt://h --prefix a\tb", "", "--prefix: the topic prefix holds a control character or another that MQTT does not take");
    row("a spool", "--port p --broker mqtt://h --spool <dir>/s.db --spool-max 500", "", "p|0||-1|1000|mqtt://h|:|||discovery||10|<dir>/s.db|500|||-|-1|16");
    row("no port", "--record r", "", "no line to watch: give --port PATH|URL, or port = in the file");
    row("nothing to do", "--port p", "", "nothing to do: give --broker, --record, --modbus-tcp or --rtu-over-tcp");
    row("the line shared", "--port p --modbus-tcp 1502 --rtu-over-tcp 0.0.0.0:1503 --allow-writes --cache-ms 0 --max-clients 4", "",
        "p|0||-1|1000||:|||discovery||10||1000000|1502|0.0.0.0:1503|writes|0|4");
    row("one port twice", "--port p --modbus-tcp 1502 --rtu-over-tcp 127.0.0.1:1502", "", "--rtu-over-tcp: port 1502 is given to --modbus-tcp already");
}

int main(int argc, char **argv)
{
    setApplicationAttributes(); // as the program's own entry does
    QApplication app(argc, argv);
    TestUnits test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_units.moc"
