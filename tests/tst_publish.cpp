// The watch publishing to a real Mosquitto broker on 127.0.0.1, started here
// with a configuration written here: what a subscriber sees, the broker gone
// and back mid-watch, credentials refused, and TLS with a CA made here.
#include "fixture.h"
#include "ser2net.h"

#include "publish/publisher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTranslator>
#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>

class TestPublish : public QObject
{
    Q_OBJECT
    Bench b;
    MqttBroker broker;
    QTemporaryDir home;
    int tlsPort = 0;

    // Turns the event loop until the state is reached, or says where it stopped.
    void reach(const QString &expected, int ms)
    {
        b.reach(expected, ms);
        QCOMPARE(b.state(expected), expected);
    }

private slots:
    void initTestCase()
    {
        if (MqttBroker::program("mosquitto").isEmpty() || MqttBroker::program("mosquitto_sub").isEmpty())
            QSKIP("Mosquitto is not installed (scripts/install-deps.sh installs it): no broker to publish to");
        // The dialog remembers its settings: here, not in the real home.
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
        // A catalogue where the gateways start, which they do not take.
        QVERIFY(QDir(home.path()).mkpath("Qm") && QFile::copy(HYGROVANE_BUILD_DIR "/Qm/Chinese.qm", home.filePath("Qm/Chinese.qm")));
        // A CA and the broker's certificate, naming 127.0.0.1; another CA that
        // signed nothing here.
        const QString openssl = QStandardPaths::findExecutable("openssl");
        QVERIFY2(!openssl.isEmpty(), "openssl is not installed");
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        QFile ext(broker.path("ext")); 
        QVERIFY(ext.open(QIODevice::WriteOnly) && ext.write("subjectAltName=IP:127.0.0.1\n") > 0);
        ext.close();
        for (const QStringList &args : {QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj", "/CN=Test CA"},
                                        QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "other.key", "-out", "other.crt", "-days", "2", "-subj", "/CN=Test CA"},
                                        QStringList{"req"} + ec + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"},
                                        QStringList{"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
                                                    "-out", "server.crt", "-days", "2", "-extfile", "ext"}}) {
            QProcess p;
            p.setWorkingDirectory(broker.path(""));
            p.start(openssl, args);
            QVERIFY2(p.waitForFinished(10000) && p.exitCode() == 0, p.readAllStandardError().constData());
        }
        QProcess passwd;
        passwd.start(MqttBroker::program("mosquitto_passwd"), {"-c", "-b", broker.path("passwd"), "tech", "right"});
        QVERIFY(passwd.waitForFinished(5000) && passwd.exitCode() == 0);
        tlsPort = MqttBroker::freePort();
        QVERIFY2(broker.start(QStringLiteral("allow_anonymous false\npassword_file <dir>/passwd\nlistener %1 127.0.0.1\n"
                                             "cafile <dir>/ca.crt\ncertfile <dir>/server.crt\nkeyfile <dir>/server.key\n").arg(tlsPort)),
                 qPrintable(broker.log()));
    }
    void init()
    {
        if (!inThisPart())
            QSKIP("another part runs it");
    }
    void cleanup()
    {
        b.close();
        broker.start(); // after a test that failed with the broker stopped
    }

    // Two modules watched: their readings, availability and discovery reach
    // a subscriber; then the broker goes and comes back mid-watch, and every
    // reading still arrives, in order.
    void watch()
    {
        const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
        Subscriber sub(broker.port(), {"tp/#", "homeassistant/#"});
        QVERIFY(b.open());
        b.given("linked line=1,2 press=pushButtonTrend saveAs=" + home.filePath("r.csv") + " press=pushButtonRecord press=pushButtonBus "
                "range=1-2 press=pushButtonScan until=scan=Scan press=pushButtonPublish broker=" + url
                + " user=tech password=right topic=tp discovery press=pushButtonConnect press=pushButtonWatch");
        reach("publish=Connected | 0 readings waiting, 0 dropped; connect=Disconnect", 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!sub.on("tp/2/state").isEmpty(), 4000);
        QCOMPARE(sub.on("tp/status"), QStringList{"online"});
        QCOMPARE(sub.on("tp/1/availability"), QStringList{"online"});
        QCOMPARE(sub.lines.filter(QRegularExpression("^0 homeassistant/sensor/tp/[12]_(temperature_C|humidity_pct|dew_point_C|wet_bulb_C)/config \\{")).size(), 8);
        const QJsonObject config = QJsonDocument::fromJson(sub.on("homeassistant/sensor/tp/2_humidity_pct/config").value(0).toUtf8()).object();
        QCOMPARE(QStringList({config["device_class"].toString(), config["unit_of_measurement"].toString(), config["state_topic"].toString(),
                              config["value_template"].toString(), config["availability"][0]["topic"].toString(),
                              config["availability"][1]["topic"].toString(), config["availability_mode"].toString(), config["unique_id"].toString(),
                              config["device"].toObject()["identifiers"].toArray().first().toString()}).join(' '),
                 "humidity % tp/2/state {{ value_json.humidity_pct }} tp/status tp/2/availability all tp_2_humidity_pct tp_2");
        QVERIFY2(sub.on("tp/1/state").first().contains(QRegularExpression(
                     "^\\{\"time\":\"[-0-9T:]{19}[-+]\\d\\d:\\d\\d\",\"address\":1,\"temperature_C\":23.1,\"humidity_pct\":45.6,\"dew_point_C\":10.3,\"wet_bulb_C\":15.8\\}$")),
                 qPrintable(sub.on("tp/1/state").first()));
        QVERIFY(broker.log().contains(QRegularExpression("New client connected from 127.0.0.1:\\d+ as auto-\\S+ \\(p2, c1, k30, u'tech'\\)")));

        // Gone: the readings wait, then go once it is back; meanwhile a
        // module falls silent.
        b.given("mute=0");
        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(b.state("publish").contains(QRegularExpression(
                                     "^publish=Disconnected: .* \\(trying again in \\d s\\) \\| [1-9]\\d* readings waiting, 0 dropped$")), 3000);
        QVERIFY(broker.start());
        reach("publish=Connected | 0 readings waiting, 0 dropped", 5000);
        QTRY_COMPARE_WITH_TIMEOUT(sub.on("tp/1/availability").last(), QString("offline"), 6000);
        // Back, but answering only late: available again all the same.
        b.given("within=30 slow=0:90 unmute=0");
        QTRY_COMPARE_WITH_TIMEOUT(sub.on("tp/1/availability").last(), QString("online"), 3000);
        // In time again before the watch stops: no late reading comes after it.
        b.given("slow=0:0");
        QTRY_VERIFY(b.state("statuses").contains(QRegularExpression("^statuses=1 Answers \\d")));
        b.given("press=pushButtonWatch");
        reach("publish=Connected | 0 readings waiting, 0 dropped", 3000);
        QTRY_COMPARE_WITH_TIMEOUT(inOrder(sub.on("tp/2/state"), recorded(home.filePath("r.csv"), 2)), QStringLiteral("all %1").arg(recorded(home.filePath("r.csv"), 2).size()), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(inOrder(sub.on("tp/1/state"), recorded(home.filePath("r.csv"), 1)), QStringLiteral("all %1").arg(recorded(home.filePath("r.csv"), 1).size()), 3000);
        // Remembered, all but the password.
        b.press("pushButtonConnect");
        reach("publish=Disconnected: stopped | 0 readings waiting, 0 dropped; connect=Connect", 1000);
        QTRY_COMPARE(sub.on("tp/status").last(), QString("offline"));
        // What a newcomer gets: the retained ones.
        Subscriber late(broker.port(), {"tp/#", "homeassistant/#"}, "tst-late");
        QTRY_COMPARE(late.lines.size(), 11);
        QCOMPARE(late.lines.filter(QRegularExpression("^1 (homeassistant/sensor/tp/[12]_\\w+/config \\{|tp/status offline|tp/[12]/availability offline)")).size(), 11);
        QFile settings(QSettings(QStringLiteral("Hygrovane"), QStringLiteral("hygrovane")).fileName());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QString saved = QString::fromUtf8(settings.readAll());
        QVERIFY2(saved.contains("broker=" + url) && saved.contains("user=tech") && !saved.contains("right"), qPrintable(saved));
        // Rescanned while disconnected, module 2 gone: it goes from the broker once connected.
        b.given("mute=1 press=pushButtonScan until=scan=Scan press=pushButtonConnect");
        QTRY_COMPARE(sub.on("tp/2/availability").last(), QString());
    }

    // The broker stops answering, then crashes: the readings it never
    // acknowledged go again once it is back.
    void crash()
    {
        publish::Publisher p;
        p.start({QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), "tech", "right", {}, "crash", false, 4});
        QTRY_COMPARE(int(p.state()), int(publish::Publisher::Connected));
        broker.freeze();
        for (int i = 0; i < 3; ++i)
            p.addReading(QDateTime::currentDateTime(), 1, {});
        QCOMPARE(p.outbox().inFlight(), 3);
        broker.crash();
        QVERIFY(broker.start());
        QTRY_COMPARE_WITH_TIMEOUT(p.outbox().waiting(), 0, 3000);
    }

    // A password the broker refuses is said once, and not tried again.
    void refused()
    {
        QVERIFY(b.open(false));
        const int before = broker.count("not authorised");
        b.given(QStringLiteral("press=pushButtonBus press=pushButtonPublish broker=mqtt://127.0.0.1:%1 user=tech password=wrong topic=tp/# press=pushButtonConnect").arg(broker.port()));
        reach("boxes=Error: Not connected: the topic prefix holds #, a wildcard of MQTT.; connect=Connect", 1000);
        b.given("topic=tp press=pushButtonConnect");
        reach("publish=Disconnected: the broker refused the user name or password | 0 readings waiting, 0 dropped; connect=Connect", 3000);
        QTest::qWait(1500); // a retry would have come after 1 s
        QCOMPARE(broker.count("not authorised") - before, 1);
    }

    // A tool that dies, its socket cut off under it, leaves "offline"
    // retained by its will.
    void dies()
    {
        publish::Publisher p;
        p.start({QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), "tech", "right", {}, "dies", false, 4});
        QTRY_COMPARE(int(p.state()), int(publish::Publisher::Connected));
        Subscriber sub(broker.port(), {"dies/status"}, "tst-dies");
        QTRY_COMPARE(sub.on("dies/status"), QStringList{"online"});
        ::shutdown(p.findChild<QSocketNotifier *>()->socket(), SHUT_RDWR);
        QTRY_COMPARE(int(p.state()), int(publish::Publisher::Retrying));
        p.stop(); // unconnected: it says nothing itself
        QTRY_COMPARE(sub.on("dies/status").last(), QString("offline"));
        Subscriber late(broker.port(), {"dies/status"}, "tst-dies-late");
        QTRY_COMPARE(late.lines, QStringList{"1 dies/status offline"});
    }

    // A rescan clears from the broker what an earlier run left of a module no
    // longer on the line, once connected or at once, and only within its range;
    // announcing nothing, the earlier run's discovery configs go too.
    void rescan()
    {
        const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
        Subscriber sub(broker.port(), {"rs/#", "homeassistant/sensor/rs/#"}, "tst-rescan");
        {
            publish::Publisher before;
            before.start({url, "tech", "right", {}, "rs", true, 4});
            for (quint8 address : {1, 2, 3})
                before.setAvailability(address, true);
            QTRY_COMPARE(sub.lines.size(), 16);
        }
        publish::Publisher p;
        p.lineScanned(1, 2, {1});
        p.start({url, "tech", "right", {}, "rs", false, 4});
        QTRY_COMPARE(sub.on("rs/2/availability").last(), QString());
        Subscriber late(broker.port(), {"rs/#", "homeassistant/sensor/rs/#"}, "tst-rescan-late");
        QTRY_COMPARE(late.lines.size(), 3);
        QCOMPARE(late.lines.filter(QRegularExpression("^1 (rs/[13]/availability offline|rs/status online)")).size(), 3);
        // Scanned again while connected: what was seen retained goes at once.
        p.lineScanned(3, 3, {});
        QTRY_COMPARE(sub.on("rs/3/availability").last(), QString());
    }

    // The gateway as a service runs it, against the simulated modules 1-3 at
    // 19200 baud and the broker, a row a run: its options taking effect, the
    // adapter pulled and put back, serial servers, a broker that refuses,
    // then SIGTERM. It starts where a catalogue lies that is not its own.
    void gateway_data()
    {
        QTest::addColumn<QString>("options"); // <base>: the broker, its user, password and the row's prefix; NAME=value first: the environment
        // (<stderr>: standard error's device and inode, as journald names its stream)
        // read:A[:N]: N (2) more readings of module A; round:A:S: S s from one to the next; pull, plug: the adapter goes and
        // comes back; accept: the broker learns the user "late"; serve: ser2net serves; asked:N: N connections to <other>;
        // appear: module 3, silent from the start, answers once the watch has begun
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("seen"); // "TOPIC=payloads;...", below the prefix; discovery=configs; recorded=module
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said"); // texts said once each, "|" between them; "!text": never said
        const QString port = "--port <port> <base> ", all = " --baud 19200 --addresses 1-3 --no-discovery";
        QTest::newRow("three modules, then SIGTERM, under the journal") << "JOURNAL_STREAM=<stderr> " + port + all << "read:3" << "2/availability=online offline;discovery=0" << 0 << "Module 3 answers.|Connected to the broker.";
        QTest::newRow("the adapter pulled and put back") << port + "--baud auto --addresses 1-3 --no-discovery" << "read:3 pull plug read:2"
            << "2/availability=online offline online offline" << 0 << "The port <port> is open.|The port <port> stopped working|The port <port> is back.";
        // Module 3 comes on once the watch of 1 and 2 has begun.
        QTest::newRow("a module found by the rescan") << port + "--baud 19200 --addresses 1-2 --rescan 1 --no-discovery" << "appear read:3"
            << "3/availability=online offline" << 0 << "Watching addresses 1,2 at 19200 baud.|Module 3 found at 19200 baud by the rescan: watched from now on.";
        QTest::newRow("a round every 3 s, module 1 alone, no rescan, recorded") << port + "--baud 19200 --addresses 1 --period 3 --rescan 0 --record <dir>/r.csv --no-discovery"
            << "round:1:3" << "2/state=;recorded=1" << 0 << "Watching addresses 1 at 19200 baud.";
        QTest::newRow("the rate searched, a scan, discovery, TLS") << "--port <port> --broker <mqtts> --ca <ca> --user tech --password-file <secret> --prefix <prefix> --answer-ms 10"
            << "read:3" << "discovery=12" << 0 << "Linked at 19200 baud; each module has 10 ms to answer.|3 modules found at 19200 baud: 1-3|Connected to the broker.";
        QTest::newRow("a broker that refuses, then accepts") << "--port <port> --broker <mqtt> --user late --password-file <secret> --prefix <prefix>" + all
            << "accept read:3" << "" << 0 << "The broker refuses: the broker refused the user name or password (trying again in 1 s)|Connected to the broker.";
        QTest::newRow("a serial server that sets another rate") << "--port <other> <base>" + all << "asked:2" << "" << 0
            << "The port <other> cannot be opened: the serial server set 9600 baud, not 19200 as asked. Trying again every 2 s.|!is open|!Linked";
        QTest::newRow("a serial server away, then serving for 10 s") << "--port <ser2net> <base>" + all << "serve read:1:10" << "" << 0
            << "The port <ser2net> cannot be opened: the server at <server> refused the connection.|The port <ser2net> is open.|!stopped|!is back";
        QTest::newRow("help") << "--help" << "" << "" << 0 << "Usage: hygrovane-gateway [options]|--max-clients N";
        QTest::newRow("an option twice") << port + all + " --baud 9600" << "" << "" << 2 << "--baud: given twice";
        QTest::newRow("a prefix of 70000 characters") << "--port <port> --record r.csv --prefix <long>" << "" << "" << 2
            << "--prefix: the topic prefix has 70000 characters, more than the 200 it may have";
        QTest::newRow("in Chinese") << "LC_ALL=zh_CN.UTF-8 --port <port> --record r.csv --baud 96OO" << "" << "" << 2
            << "--baud：96OO 不是 1200、2400、4800、9600、19200、115200 或 auto";
    }
    void gateway()
    {
        QFETCH(QString, options);
        QFETCH(QString, scene);
        QFETCH(QString, seen);
        QFETCH(int, code);
        QFETCH(QString, said);
        modsim::ModuleSim sim;
        QVERIFY(sim.setModules("1,2,3", 19200));
        const QString port = home.filePath("by-id-adapter");
        QVERIFY2(sim.start(port), qPrintable(sim.errorString()));
        QFile secret(home.filePath("secret"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("right\n") > 0);
        secret.close();
        QFile::remove(home.filePath("r.csv"));
        // A prefix of the row's own: what an earlier row left retained is not its.
        static int rows = 0;
        const QString prefix = QStringLiteral("gw%1").arg(++rows);
        Subscriber sub(broker.port(), {prefix + "/#", "homeassistant/sensor/" + prefix + "/#"}, "tst-gateway");
        OtherRateServer other(9600);
        Ser2net ser2net; // started once to have its port, which it keeps
        if (options.contains("<ser2net>")) {
            QVERIFY2(ser2net.start(port, Ser2net::Rfc2217), qPrintable(ser2net.log()));
            ser2net.stop();
        }
        const QString mqtt = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
        options.replace("<base>", "--broker <mqtt> --user tech --password-file <secret> --prefix <prefix>");
        QStringList args = options.split(' ', Qt::SkipEmptyParts)
                               .replaceInStrings("<port>", port).replaceInStrings("<mqtts>", QStringLiteral("mqtts://127.0.0.1:%1").arg(tlsPort))
                               .replaceInStrings("<mqtt>", mqtt).replaceInStrings("<ca>", broker.path("ca.crt"))
                               .replaceInStrings("<secret>", secret.fileName()).replaceInStrings("<prefix>", prefix)
                               .replaceInStrings("<dir>", home.path()).replaceInStrings("<other>", other.url())
                               .replaceInStrings("<ser2net>", ser2net.url()).replaceInStrings("<long>", QString(70000, 'x'));
        // What it says goes to a file, so that the journal's stream can be
        // named by the file's device and inode; one named that is not
        // standard error is none, as when the gateway is run by hand.
        QFile err(home.filePath("stderr"));
        struct stat file;
        QVERIFY(err.open(QIODevice::ReadWrite | QIODevice::Truncate) && fstat(err.handle(), &file) == 0);
        const QString stream = QStringLiteral("%1:%2").arg(file.st_dev).arg(file.st_ino);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("JOURNAL_STREAM", "0:0");
        const bool journal = options.contains("JOURNAL_STREAM=<stderr>");
        for (QString set; !args.isEmpty() && args.first().contains('=');)
            set = args.takeFirst().replace("<stderr>", stream), environment.insert(set.section('=', 0, 0), set.section('=', 1));
        sim.module(2)->setSilent(scene.contains("appear"));
        QProcess gw;
        gw.setStandardOutputFile(err.fileName(), QIODevice::Append);
        gw.setStandardErrorFile(err.fileName(), QIODevice::Append);
        gw.setProcessEnvironment(environment);
        gw.setWorkingDirectory(home.path()); // where Qm/Chinese.qm is: not the gateway's
        gw.start(HYGROVANE_BUILD_DIR "/hygrovane-gateway", args);
        QVERIFY(gw.waitForStarted(5000));
        const auto told = [&err] { return err.seek(0) ? QString::fromUtf8(err.readAll()) : QString(); };
        const int refusals = broker.count("not authorised");
        for (const QString &step : scene.split(' ', Qt::SkipEmptyParts)) {
            const QString topic = QStringLiteral("%1/%2/state").arg(prefix, step.section(':', 1, 1));
            int states = sub.on(topic).size();
            if (step.startsWith("read")) {
                const int more = step.section(':', 2).isEmpty() ? 2 : step.section(':', 2).toInt();
                QTRY_VERIFY_WITH_TIMEOUT(sub.on(topic).size() >= states + more, 10000 + 1000 * more);
            } else if (step.startsWith("round")) { // from a reading published to the next, both made once connected
                QTRY_VERIFY_WITH_TIMEOUT(sub.on(topic).size() >= 2, 10000);
                QElapsedTimer round;
                round.start(), states = sub.on(topic).size();
                QTRY_VERIFY_WITH_TIMEOUT(sub.on(topic).size() > states, 5000);
                QCOMPARE(qRound(round.elapsed() / 1000.0), step.section(':', 2).toInt());
            } else if (step == "appear") {
                QTRY_VERIFY_WITH_TIMEOUT(told().contains("Watching addresses"), 5000);
                sim.module(2)->setSilent(false);
            } else if (step == "pull") {
                sim.stop();
                QTRY_COMPARE_WITH_TIMEOUT(sub.on(prefix + "/2/availability").value(1), QString("offline"), 5000);
            } else if (step == "plug") {
                QVERIFY(sim.start(port));
            } else if (step == "accept") { // after a second refusal: it is tried again
                QTRY_VERIFY_WITH_TIMEOUT(broker.count("not authorised") >= refusals + 2, 5000);
                QProcess passwd;
                passwd.start(MqttBroker::program("mosquitto_passwd"), {"-b", broker.path("passwd"), "late", "right"});
                QVERIFY(passwd.waitForFinished(5000) && passwd.exitCode() == 0);
                broker.reload();
            } else if (step == "serve") {
                QTRY_VERIFY_WITH_TIMEOUT(told().contains("cannot be opened"), 5000);
                QVERIFY2(ser2net.start(port, Ser2net::Rfc2217), qPrintable(ser2net.log()));
            } else if (step.startsWith("asked:")) {
                QTRY_VERIFY_WITH_TIMEOUT(other.connections >= step.section(':', 1).toInt(), 6000);
                QTRY_COMPARE(other.asked, other.connections); // told once, not again
            }
        }
        if (code == 0 && !scene.isEmpty())
            gw.terminate(); // SIGTERM
        QVERIFY(gw.waitForFinished(10000));
        QString output = told();
        QCOMPARE(gw.exitStatus(), QProcess::NormalExit);
        QVERIFY2(gw.exitCode() == code, qPrintable(output));
        output.replace(port, "<port>").replace(other.url(), "<other>");
        if (options.contains("<ser2net>"))
            output.replace(ser2net.url(), "<ser2net>").replace(ser2net.url().section("//", 1), "<server>");
        // Run by hand, each event's line begins with the local time; the journal keeps its own.
        static const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d([+-]\\d\\d:\\d\\d|Z) ");
        for (const QString &line : output.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(code || scene.isEmpty() || line.contains(stamp) != journal, qPrintable(line));
        for (const QString &text : said.split('|'))
            QVERIFY2(text.startsWith('!') ? !output.contains(text.mid(1)) : output.count(text) == 1, qPrintable(text + " in:\n" + output));
        if (code == 0 && !scene.isEmpty())
            QTRY_COMPARE(sub.on(prefix + "/status").join(' '), QString("online offline"));
        for (const QString &check : seen.split(';', Qt::SkipEmptyParts)) {
            const QString what = check.section('=', 0, 0), expected = check.section('=', 1);
            if (what == "discovery") {
                QCOMPARE(QString::number(sub.lines.filter(QRegularExpression("^\\d homeassistant/sensor/" + prefix + "/[123]_\\w+/config \\{")).size()), expected);
            } else if (what == "recorded") { // every reading, published once each
                QTRY_COMPARE(sub.on(prefix + "/1/state"), recorded(home.filePath("r.csv"), 1));
            } else {
                QCOMPARE(sub.on(prefix + '/' + what).join(' '), expected);
            }
        }
    }

    // Why a connection fails or is refused, each cause named. TLS over MQTT
    // 5, the broker's certificate checked against the CA file. A reason
    // expected in Chinese is read with the catalogue.
    void reasons_data()
    {
        QTest::addColumn<QString>("url"); // <plain>, <tls>: the broker's ports; <none>: no broker's
        QTest::addColumn<QString>("ca");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("reason"); // none: connected; <dir>: the broker's folder
        const QString again = " (trying again in 1 s)";
        QTest::newRow("the right CA") << "mqtts://127.0.0.1:<tls>" << "ca.crt" << "tp" << "";
        QTest::newRow("another CA") << "mqtts://127.0.0.1:<tls>" << "other.crt" << "tp"
                                    << "TLS failed: the broker's certificate is not trusted or does not name the host" + again;
        QTest::newRow("a key for a CA") << "mqtts://127.0.0.1:<tls>" << "ca.key" << "tp" << "the CA file <dir>/ca.key is not a certificate in PEM form";
        QTest::newRow("TLS to a plain port") << "mqtts://127.0.0.1:<plain>" << "ca.crt" << "tp"
                                             << "the broker does not speak TLS at that port: is it a plain one (mqtt://)?" + again;
        QTest::newRow("plain to a TLS port") << "mqtt://127.0.0.1:<tls>" << "" << "tp"
                                             << "the broker hung up without answering: is that port a TLS one (mqtts://)?" + again;
        QTest::newRow("a wildcard") << "mqtt://127.0.0.1:<plain>" << "" << "tp/+/x" << "the topic prefix holds +, a wildcard of MQTT";
        QTest::newRow("an empty level") << "mqtt://127.0.0.1:<plain>" << "" << "tp//x" << "the topic prefix has an empty level (//)";
        QTest::newRow("no broker, in Chinese") << "mqtt://127.0.0.1:<none>" << "" << "tp" << "该地址和端口上没有代理服务器在监听（1 秒后重试）";
    }
    void reasons()
    {
        QFETCH(QString, url);
        QFETCH(QString, ca);
        QFETCH(QString, prefix);
        QFETCH(QString, reason);
        QTranslator chinese;
        if (reason.contains(QRegularExpression("[^\\x{0}-\\x{7f}]"))) {
            QVERIFY(chinese.load(HYGROVANE_BUILD_DIR "/Qm/Chinese.qm"));
            QCoreApplication::installTranslator(&chinese);
        }
        publish::Publisher p;
        url.replace("<plain>", QString::number(broker.port())).replace("<tls>", QString::number(tlsPort)).replace("<none>", QString::number(MqttBroker::freePort()));
        p.start({url, "tech", "right", ca.isEmpty() ? QString() : broker.path(ca), prefix, false, 5});
        QTRY_VERIFY_WITH_TIMEOUT(p.state() != publish::Publisher::Connecting, 3000);
        QCoreApplication::removeTranslator(&chinese);
        QCOMPARE(p.reason(), reason.replace("<dir>", broker.path("")));
        if (reason.isEmpty())
            QVERIFY(broker.log().contains(QRegularExpression("\\(p5, c1, k30, u'tech'\\)")));
    }
};

QTEST_MAIN(TestPublish)
#include "tst_publish.moc"
