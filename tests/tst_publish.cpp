// The watch publishing to a real Mosquitto broker on 127.0.0.1, started here
// with a configuration written here: what a subscriber sees, the broker gone
// and back mid-watch, credentials refused, and TLS with a CA made here.
#include "fixture.h"

#include "publish/publisher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTranslator>
#include <QtTest>

#include <sys/socket.h>

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
        QCOMPARE(late.lines.filter(QRegularExpression("^1 (homeassistant/sensor/tp/[12]_\\w+/config \\{|tp/status offline|tp/[12]/availability online)")).size(), 11);
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
    // longer on the line, once connected or at once, and only within its range.
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
        QTRY_COMPARE(late.lines.size(), 11);
        QCOMPARE(late.lines.filter(QRegularExpression("^1 (homeassistant/sensor/rs/[13]_\\w+/config \\{|rs/[13]/availability online|rs/status online)")).size(), 11);
        // Scanned again while connected: what was seen retained goes at once.
        p.lineScanned(3, 3, {});
        QTRY_COMPARE(sub.on("rs/3/availability").last(), QString());
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
