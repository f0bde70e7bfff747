// The gateway as a service runs it, against simulated lines and a real
// Mosquitto broker on 127.0.0.1 started here: scenes of the service's life
// (the broker gone, a kill, a reload, a second gateway,
// the service manager listening) and what came of them.
#include "fixture.h"

#include "publish/topics.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QtTest>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A datagram socket standing where the service manager's would.
class Manager
{
public:
    explicit Manager(const QString &path)
    {
        ::unlink(qPrintable(path));
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, qPrintable(path), sizeof address.sun_path);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return;
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, [this] {
            char buffer[4096];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                told << QString::fromUtf8(buffer, int(n)).split('\n', Qt::SkipEmptyParts);
        });
    }
    ~Manager() { delete notifier, ::close(fd); }
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    QStringList told;
};

class TestGateway : public QObject
{
    Q_OBJECT
    MqttBroker broker;
    QTemporaryDir home;
    modsim::ModuleSim sims[2];
    QString ports[2];

private slots:
    void initTestCase()
    {
        if (MqttBroker::program("mosquitto").isEmpty() || MqttBroker::program("mosquitto_sub").isEmpty())
            QSKIP("Mosquitto is not installed (scripts/install-deps.sh installs it): no broker to publish to");
        QProcess passwd;
        passwd.start(MqttBroker::program("mosquitto_passwd"), {"-c", "-b", broker.path("passwd"), "tech", "right"});
        QVERIFY(passwd.waitForFinished(5000) && passwd.exitCode() == 0);
        QVERIFY2(broker.start("allow_anonymous false\npassword_file <dir>/passwd\n"), qPrintable(broker.log()));
        QFile secret(home.filePath("secret"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("right\n") > 0);
        secret.close();
        for (int i = 0; i < 2; ++i) {
            ports[i] = home.filePath(i ? "by-id-b" : "by-id-a");
            QVERIFY(sims[i].setModules(i ? "1,2" : "1,2,3", 19200));
            QVERIFY2(sims[i].start(ports[i]), qPrintable(sims[i].errorString()));
        }
    }
    void init()
    {
        if (!inThisPart())
            QSKIP("another part runs it");
    }
    void cleanup()
    {
        for (int i = 0; i < 2; ++i) {
            if (!sims[i].isRunning())
                sims[i].start(ports[i]);
        }
        broker.start(); // after a scene that failed with the broker stopped
    }

    // A scene, its steps split by " | ", with <a> and <b> the two lines (the
    // first with modules 1-3, the second 1-2), <p> a prefix of the row's own,
    // <dir> a folder of the test's, <host> this host's part of the default
    // prefix, <free> a port no one listens on. Gateways A, B and C are
    // started with the broker, its user and password file before their own
    // options:
    //   run A OPTIONS      started (with the manager's socket after `manager`)
    //   term A, kill A, hup A   SIGTERM, SIGKILL, SIGHUP
    //   ended A [MS]       it ended (within MS): "A ended CODE"
    //   said A TEXT        it said so on standard error
    //   see TOPIC N        the subscriber has N messages of TOPIC
    //   more TOPIC N       N more than when the step began
    //   msgs TOPIC TEXT    its payloads so far, a space between
    //   broker stop|start|wipe   wipe: started again without what it retained
    //   grows FILE N       N more lines in FILE than when the step began
    //   pub TOPIC TEXT     published retained, as another would
    //   write FILE TEXT    in <dir>, \n a line break
    //   inorder FILE N     module N's readings recorded in FILE all published, in order
    //   retained           what a newcomer gets under <p>/# and homeassistant/#
    //   manager            a socket as the service manager's; told LIST: what
    //                      it was told, in this order (";" between)
    void gateway_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("facts");
        QTest::newRow("killed with a spool while the broker is away")
            << "run A --port <a> --baud 19200 --addresses 1-3 --prefix <p> --period 0.3 --spool <dir>/<p>.db --record <dir>/<p>.csv"
               " | see <p>/3/state 2 | broker stop | said A The broker is lost | grows <p>.csv 6 | kill A | ended A | broker start"
               " | run A --port <a> --baud 19200 --addresses 1-3 --prefix <p> --period 0.3 --spool <dir>/<p>.db --record <dir>/<p>.csv"
               " | said A readings from before: they go first. | more <p>/3/state 3 | broker stop | grows <p>.csv 3 | term A | ended A 2000"
               " | said A Readings kept in the spool for the next start | broker start"
               " | run A --port <a> --baud 19200 --addresses 1-3 --prefix <p> --period 0.3 --spool <dir>/<p>.db --record <dir>/<p>.csv"
               " | more <p>/3/state 2 | term A | ended A | inorder <p>.csv 3 | inorder <p>.csv 1"
            << "A ended 9; A ended 0; A ended 0; <p>.csv 3: all; <p>.csv 1: all";
        QTest::newRow("SIGTERM while the broker is away")
            << "run A --port <a> --baud 19200 --addresses 1-3 --prefix <p> --record <dir>/<p>.csv | see <p>/3/state 1 | broker stop"
               " | said A The broker is lost | grows <p>.csv 3 | term A | ended A 7000 | said A Readings not published"
            << "A ended 0";
        QTest::newRow("SIGHUP with a bad, then a good configuration")
            << "write <p>.conf port = <a>\\nbaud = 19200\\naddresses = 1-3\\nprefix = <p>/one | run A --config <dir>/<p>.conf | see <p>/one/3/state 1"
               " | write <p>.conf port = <a>\\nperiod = 0\\nprefix = <p>/two | hup A | said A The configuration is not taken | more <p>/one/3/state 2"
               " | write <p>.conf port = <b>\\nbaud = 19200\\naddresses = 1-2\\nprefix = <p>/two | hup A | said A publishing and watching anew"
               " | see <p>/two/2/state 2 | term A | ended A | msgs <p>/one/status online offline | msgs <p>/two/status online offline | msgs <p>/two/3/state"
            << "A ended 0";
        QTest::newRow("two gateways, a live prefix refused, its own taken over")
            << "write a.conf port = <a>\\nbaud = 19200\\naddresses = 1-3 | write b.conf port = <b>\\nbaud = 19200\\naddresses = 1-2"
               " | run A --config <dir>/a.conf | run B --config <dir>/b.conf | see <host>/a/3/state 1 | see <host>/b/2/state 1"
               " | run C --port <b> --baud 19200 --prefix <host>/a | ended C | said C The prefix <host>/a is in use by the gateway on"
               " | term A | ended A | kill B | ended B | pub <host>/b/status online | run B --config <dir>/b.conf | said B Connected to the broker."
               " | more <host>/b/2/state 1 | term B | ended B"
               " | msgs <host>/a/status online offline | msgs <host>/b/status online offline online online offline"
            << "C ended 2; A ended 0; B ended 9; B ended 0";
        QTest::newRow("the service manager told")
            << "manager | run A --port <a> --baud 19200 --addresses 1-3 --prefix <p> | see <p>/3/state 2 | more <p>/3/state 2 | term A | ended A"
               " | told READY=1;STATUS=watching 3 of 3 modules, broker connected, 0 waiting;WATCHDOG=1;WATCHDOG=1;STOPPING=1"
            << "A ended 0; told";
        QTest::newRow("a broker restarted without what it retained")
            << "run A --port <a> --baud 19200 --addresses 1-3 --prefix <p> --modbus-tcp <free> | see <p>/3/state 1 | see <p>/diagnostics 1 | broker wipe"
               " | said A The broker is back. | more <p>/3/state 1 | retained | term A | ended A"
            << "retained: 16 configs, 4 diagnostic, status online, identity <a>, diagnostics modbus_tcp polls, 3 availability; A ended 0";
    }
    void gateway()
    {
        QFETCH(QString, scene);
        static int rows = 0;
        const QString prefix = QStringLiteral("gw%1").arg(++rows);
        const QString host = publish::defaultPrefix(QSysInfo::machineHostName());
        const auto place = [&](QString text) {
            return text.replace("<a>", ports[0]).replace("<b>", ports[1]).replace("<p>", prefix).replace("<dir>", home.path()).replace("<host>", host)
                .replace("<free>", QString::number(MqttBroker::freePort()));
        };
        Subscriber sub(broker.port(), {prefix + "/#", host + "/#"}, "tst-gateway-" + prefix);
        // Listening before anything is published.
        QTRY_VERIFY(broker.log().contains("Received SUBSCRIBE from tst-gateway-" + prefix + "\n"));
        QMap<QString, QProcess *> gateways;
        QMap<QString, QString> said;
        QMap<QString, QElapsedTimer> since;
        std::unique_ptr<Manager> manager;
        QStringList facts;
        const auto finish = qScopeGuard([&] {
            for (QProcess *gw : qAsConst(gateways))
                stopServer(*gw, 5000), delete gw;
        });
        for (const QString &raw : scene.split(" | ")) {
            const QString step = place(raw);
            const QString verb = step.section(' ', 0, 0), who = step.section(' ', 1, 1), rest = step.section(' ', 2);
            const QString what = step.section(' ', 1);
            QProcess *gw = gateways.value(who);
            if (verb == "run") {
                if (gw)
                    stopServer(*gw, 5000), delete gw;
                gw = gateways[who] = new QProcess;
                said[who].clear();
                QObject::connect(gw, &QProcess::readyReadStandardError, [&said, gw, who] { said[who] += QString::fromUtf8(gw->readAllStandardError()); });
                gw->setWorkingDirectory(home.path()); // no catalogue there: it speaks English, as a service does
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                if (manager)
                    env.insert("NOTIFY_SOCKET", home.filePath("notify")), env.insert("WATCHDOG_USEC", "1000000");
                gw->setProcessEnvironment(env);
                gw->start(HYGROVANE_BUILD_DIR "/hygrovane-gateway",
                          QStringList{"--broker", QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), "--user", "tech",
                                      "--password-file", home.filePath("secret")}
                              + rest.split(' '));
                QVERIFY(gw->waitForStarted(5000));
            } else if (verb == "term" || verb == "kill" || verb == "hup") {
                QVERIFY2(gw, qPrintable(step));
                since[who].start();
                ::kill(pid_t(gw->processId()), verb == "term" ? SIGTERM : verb == "kill" ? SIGKILL : SIGHUP);
            } else if (verb == "ended") {
                QVERIFY2(gw, qPrintable(step));
                QVERIFY2(gw->waitForFinished(15000), qPrintable(step));
                facts << QStringLiteral("%1 ended %2").arg(who).arg(gw->exitStatus() == QProcess::CrashExit ? 9 : gw->exitCode());
                if (!rest.isEmpty() && since[who].elapsed() > rest.toInt())
                    facts << QStringLiteral("%1 ended after %2 ms").arg(who).arg(since[who].elapsed());
            } else if (verb == "said") {
                QTRY_VERIFY2_WITH_TIMEOUT(said[who].contains(rest), qPrintable(step + "\n" + said[who]), 15000);
            } else if (verb == "grows") {
                const auto rows = [&] { QFile f(home.filePath(who)); return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0; };
                const int n = rows() + rest.toInt();
                QTRY_VERIFY2_WITH_TIMEOUT(rows() >= n, qPrintable(step), 15000);
            } else if (verb == "pub") {
                QProcess pub;
                pub.start(MqttBroker::program("mosquitto_pub"), {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-u", "tech", "-P", "right",
                                                                 "-q", "1", "-r", "-t", who, "-m", rest});
                QVERIFY(pub.waitForFinished(5000) && pub.exitCode() == 0);
            } else if (verb == "see" || verb == "more") {
                const int n = step.section(' ', -1).toInt() + (verb == "more" ? sub.on(who).size() : 0);
                QTRY_VERIFY2_WITH_TIMEOUT(sub.on(who).size() >= n, qPrintable(step + "\n" + said.value("A")), 15000);
            } else if (verb == "msgs") {
                QTRY_COMPARE_WITH_TIMEOUT(sub.on(who).join(' '), rest, 5000);
            } else if (verb == "broker") {
                if (who == "start")
                    QVERIFY(broker.start());
                else
                    broker.stop();
                if (who == "wipe")
                    QVERIFY(QFile::remove(broker.path("mosquitto.db")) && broker.start());
            } else if (verb == "write") {
                QFile f(home.filePath(who));
                QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QString(rest).replace("\\n", "\n").toUtf8() + '\n') > 0);
            } else if (verb == "inorder") {
                const QStringList made = recorded(home.filePath(who), rest.toInt());
                const auto result = [&] { return inOrder(sub.on(QStringLiteral("%1/%2/state").arg(prefix, rest)), made).section(' ', 0, 0); };
                (void)QTest::qWaitFor([&] { return result() == "all"; }, 5000); // the last ones on their way
                facts << QStringLiteral("%1 %2: %3").arg(raw.section(' ', 1, 1), rest, result());
                QVERIFY2(made.size() >= 5, qPrintable(QString::number(made.size())));
            } else if (verb == "retained") {
                Subscriber late(broker.port(), {prefix + "/#", "homeassistant/#"}, "tst-late-" + prefix);
                const auto fact = [&late, &prefix] {
                    const QStringList configs = late.lines.filter(QRegularExpression("^1 homeassistant/sensor/" + prefix + "/\\w+/config \\{"));
                    return QStringLiteral("retained: %1 configs, %2 diagnostic, status %3, identity %4, diagnostics %5, %6 availability")
                        .arg(configs.size()).arg(configs.filter("\"entity_category\":\"diagnostic\"").size())
                        .arg(late.on(prefix + "/status").join(' '))
                        .arg(QJsonDocument::fromJson(late.on(prefix + "/gateway").value(0).toUtf8())["port"].toString())
                        .arg(QJsonDocument::fromJson(late.on(prefix + "/diagnostics").value(0).toUtf8()).object().keys().filter(QRegularExpression("^(polls|modbus_tcp)$")).join(' '))
                        .arg(late.lines.filter(QRegularExpression("^1 " + prefix + "/\\d/availability online$")).size());
                };
                QTRY_VERIFY_WITH_TIMEOUT(fact().startsWith("retained: 16 configs"), 5000);
                facts << fact().replace(ports[0], "<a>");
            } else if (verb == "manager") {
                manager = std::make_unique<Manager>(home.filePath("notify"));
                QVERIFY(manager->notifier);
            } else if (verb == "told") {
                // In this order, whatever else came between.
                const auto inOrder = [&manager, what] {
                    int at = 0;
                    for (const QString &expected : what.split(';'))
                        if ((at = manager->told.indexOf(expected, at) + 1) == 0)
                            return false;
                    return true;
                };
                QTRY_VERIFY2_WITH_TIMEOUT(inOrder(), qPrintable(manager->told.mid(manager->told.indexOf("READY=1")).join('\n')), 5000);
                facts << "told";
            } else {
                QFAIL(qPrintable("no such step: " + step));
            }
        }
        QTEST(facts.join("; ").replace(prefix, "<p>").replace(host, "<host>"), "facts");
    }
};

QTEST_MAIN(TestGateway)
#include "tst_gateway.moc"
