// End to end: the real window linked through its dialog to the simulated
// module on a pseudo-terminal, driven as a technician drives it.
#include "fixture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QSerialPort>
#include <QtTest>

using W = WidgetAccess;

static const QString kAll = QStringLiteral("23.1℃,45.6%,10.3℃,15.8℃");

class TestE2e : public QObject
{
    Q_OBJECT
    Bench b;

private slots:
    void init()
    {
        if (!inThisPart())
            QSKIP("another part runs it");
        QVERIFY(b.open());
    }
    void cleanup() { b.close(); }

    // A scene is set (see Bench::given), one button is pressed. Then: the
    // timers running at once, the frames the module heard, and the state
    // reached, about `at` ms after the press (-1: any time).
    void press_data();
    void press()
    {
        QFETCH(QString, given);
        QFETCH(QString, button);
        QFETCH(QString, armed);
        QFETCH(QString, heard);
        QFETCH(int, at);
        QFETCH(QString, expected);
        b.given(given);
        QElapsedTimer clock;
        clock.start();
        b.press(button);
        QCOMPARE(b.state("armed"), "armed=" + armed);
        QTRY_COMPARE_WITH_TIMEOUT(b.state(expected), expected, 5000);
        const qint64 reached = clock.elapsed();
        // Coarse timers may fire 5 % early; a loaded machine runs late.
        QVERIFY2(at < 0 || (reached >= at * 9 / 10 && reached <= at + 450), qPrintable(QString::number(reached)));
        // The module reads what was written on its own turn of the event loop.
        if (!QTest::qWaitFor([&] { return b.heard.join(", ") == heard; }, 500))
            qWarning("%s", qPrintable(b.traffic().join(" / ")));
        QCOMPARE(b.heard.join(", "), heard);
    }

    // The trend window records what the main window shows, one row a reading
    // with the values it carried, and appends to a record under its header.
    void record()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath("readings.csv"), log = dir.filePath("log.txt"), other = dir.filePath("ttyOther");
        QVERIFY(QFile::link(b.sim->portPath(), other)); // the same module under another port's name
        // Scenes and the states they reach: polls one at a time, a second apart,
        // a status reply (which carries no value), a record stopped and started again.
        const QStringList steps{
            "clock=2026-12-07T09:15:30Z linked press=pushButtonTrend minimise press=pushButtonTrend saveAs=" + csv
                + " press=pushButtonRecord item=0 press=poll press=pushButtonRead",
            "rx=2; points=1* 1* 1* 1*; record=Stop recording (readings.csv, 2 rows); trend=1 Hygrovane – Trend",
            "clock=2026-12-07T09:15:31Z item=2 press=poll press=pushButtonRead", "rx=3; points=1* 2 1* 1*",
            "clock=2026-12-07T09:15:32Z item=5 press=poll press=pushButtonRead", "rx=4; points=1* 2 1* 1*",
            "press=pushButtonRecord press=pushButtonRecord clock=2026-12-07T09:15:33Z item=3 press=poll press=pushButtonRead",
            "rx=5; points=1* 2 2 1*; record=Stop recording (readings.csv, 1 row); boxes=",
            "press=pushButtonRecord clock=2026-12-07T09:16:33Z item=0 press=poll press=pushButtonRead", "points=1*+1* 2+1* 2+1* 1*+1*", // a gap
            // Linked again, the same port keeps its lines; another port's module 1 starts its own.
            "press=pushButtonLink until=watch=0", "addresses=1; points=1*+1* 2+1* 2+1* 1*+1*",
            "port=" + other + " press=pushButtonLink until=watch=0", "addresses=",
            "clock=2026-12-07T09:16:34Z item=0 press=poll press=pushButtonRead", "addresses=1; points=1* 1* 1* 1*",
            "saveAs=" + log + " press=actionSaveLog", "boxes="};
        for (int i = 0; i < steps.size(); i += 2) {
            b.given(steps[i]);
            QTRY_COMPARE(b.state(steps[i + 1]), steps[i + 1]);
        }
        QFile file(csv), saved(log);
        QVERIFY(file.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "time,address,temperature_C,humidity_pct,dew_point_C,wet_bulb_C\r\n"
                                 "2026-12-07T10:15:30+01:00,1,23.1,45.6,10.3,15.8\r\n"
                                 "2026-12-07T10:15:31+01:00,1,,45.6,,\r\n"
                                 "2026-12-07T10:15:33+01:00,1,,,10.3,\r\n");
        QCOMPARE(QString::fromUtf8(saved.readAll()), b.ui->textBrowser->toPlainText() + '\n');
    }

    // Noise, split replies and a stray byte behind them: polling goes on,
    // and no value is ever shown that the module did not send.
    void noisyLine()
    {
        b.given("linked");
        b.sim->setDriftInterval(200), b.sim->setDrift(true), b.sim->setNoise(true), b.sim->setSplit(3, 40);
        QSet<QString> sent, shown;
        QTimer sampler; // the module's values last 200 ms each, the labels a second
        connect(&sampler, &QTimer::timeout, [&] {
            sent << QStringLiteral("Temperature:%1℃").arg(b.sim->temperature() / 10.0, 0, 'f', 1);
            shown << b.ui->labelTemperature->text();
        });
        sampler.start(10);
        b.press("pushButtonRead");
        QTRY_COMPARE_WITH_TIMEOUT(b.state("rx"), QString("rx=4"), 5000); // the link's reply and three polls
        b.sim->setExtraByte(true); // a frame is still read with a byte behind it
        QTRY_COMPARE_WITH_TIMEOUT(b.state("rx; boxes"), QString("rx=5; boxes="), 3000);
        shown.remove(QStringLiteral("Temperature:")), shown.remove(QStringLiteral("Temperature:---"));
        QVERIFY(!shown.isEmpty());
        QVERIFY2((shown - sent).isEmpty(), qPrintable(QStringList((shown - sent).values()).join(',')));
    }
};

void TestE2e::press_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("armed");
    QTest::addColumn<QString>("heard");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QString &given, const char *button, const char *armed, const QString &heard,
                  int at, const QString &expected) {
        QTest::newRow(name) << given << button << armed << heard << at << expected;
    };
    const char *probe = "00 03 01 00 00 01 84 27";
    const QString list = "list=115200 19200 9600 4800 2400 1200 /6; ";
    const QString noPort = "Error: The serial port <port> cannot be opened: <reason>";
    const char *info = "7b 22 0a 00 0a 22 7d", *settings = "7b 22 1a 00 1a 22 7d";

    // Linking: a fixed rate, the AUTO search fastest first, 300 ms a rate.
    // The rate box shows the rate in use, whatever it showed before, and
    // the readings wait for the module linked now.
    row("fixed rate", "module=7@9600 baud=2400", "pushButtonLink", "response500 humiture1000", probe, 500,
        "field=7; tx=1; rx=1; port=9600; combo=9600; shown=---,---,---,---; watch=0; boxes=");
    row("AUTO finds 115200", "module=7@115200 baud=2400 dialog=AUTO", "pushButtonLink", "humiture1000 search300", probe,
        300, list + "field=7; tx=1; rx=1; port=115200; rate=115200; combo=115200; search=0; watch=0; boxes=");
    row("AUTO finds 9600", "module=7@9600 dialog=AUTO", "pushButtonLink", "humiture1000 search300", probe, 900,
        list + "field=7; tx=3; rx=1; port=9600; rate=9600; combo=9600; search=0; watch=0; boxes=");
    row("fixed rate, silence", "silent", "pushButtonLink", "response500 humiture1000", probe, 500,
        "field=; tx=1; rx=0; port=9600; watch=0; boxes=Error: Communication error!");
    row("AUTO, silence", "silent baud=2400 dialog=AUTO", "pushButtonLink", "humiture1000 search300", probe, 1800,
        "field=; tx=6; rx=0; port=1200; combo=2400; search=0; watch=0; boxes=Error: Communication error!");
    row("no such port", "port=/dev/hygrovane-no-such-port", "pushButtonLink", "", "", 0,
        "tx=0; port=closed; watch=0; boxes=" + noPort);
    row("AUTO, no such port", "port=/dev/hygrovane-no-such-port dialog=AUTO", "pushButtonLink", "", "", 0,
        "tx=0; port=closed; search=0; boxes=" + noPort);
    // A port another program holds makes no new link: what the last one showed stays.
    row("a port another program holds", "linked press=poll until=rx=2 press=pushButtonTrend held=ttyHeld", "pushButtonLink", "", "01 03 00 00 00 05 85 c9", 0,
        "tx=2; port=closed; points=1* 1* 1* 1*; shown=" + kAll + "; reason=the port is busy: another program has it open");
    row("Link ends reading", "linked press=pushButtonRead dialog=cancel", "pushButtonLink", "", "", 0,
        "port=closed; read=Read; polling=0; tx=1; boxes=");
    row("Link during a baud change", "linked baud=19200 press=pushButtonBaudRate answered dialog=19200", "pushButtonLink",
        "response500 humiture1000", "00 06 01 01 00 05 18 24, " + QString(probe), 500,
        "port=19200; pending=0; tx=3; rx=2; watch=0; boxes=");
    // A line as real adapters give it: the request's own echo before the
    // reply, a stray byte before it; neither is logged, and neither hides it.
    row("fixed rate, an echoing adapter", "echo module=7@9600", "pushButtonLink", "response500 humiture1000", probe, 500,
        "field=7; tx=1; rx=1; watch=0; boxes=");
    row("poll, an echoing adapter", "echo linked", "poll", "humiture1000", "01 03 00 00 00 05 85 c9", 0, "rx=2; shown=" + kAll);
    row("address write, an echoing adapter", "echo linked module=42 field=12", "pushButtonAddress", "response500 humiture1000",
        "00 06 01 00 00 0c 89 e2", 500, "field=12; module=12@9600; rx=2; watch=0; boxes=");
    // The echo of a write is a copy of the answer, and no answer.
    row("address write unanswered, an echoing adapter", "echo linked silent field=12", "pushButtonAddress",
        "response500 humiture1000", "00 06 01 00 00 0c 89 e2", 500, "rx=1; watch=0; boxes=Error: Communication error!");
    row("fixed rate, a stray byte before the reply", "stray module=7@9600", "pushButtonLink", "response500 humiture1000", probe,
        0, "field=7; rx=1; boxes=");
    row("poll, a stray byte before the reply", "stray linked", "poll", "humiture1000", "01 03 00 00 00 05 85 c9", 0,
        "rx=2; shown=" + kAll);
    // What is pressed during a search waits for it, and goes at the rate found.
    row("a baud write during a search", "module=1@1200 dialog=AUTO press=pushButtonLink", "pushButtonBaudRate",
        "humiture1000 search300", QString(probe) + ", 00 06 01 01 00 04 d9 e4", 2300,
        "field=1; module=1@9600; port=9600; pending=0; search=0; boxes=");
    for (const char *button : {"poll", "pushButtonAddressRead", "pushButtonAddress", "pushButtonBaudRate",
                               "pushButtonReadSN", "pushButtonAUTO", "pushButtonMANU", "pushButtonReadRecord",
                               "pushButtonSetup"}) {
        QTest::addRow("%s with no link", button) << "field=5 sn=261206033129 start=1 at=3600" << button << "" << "" << 0
            << "tx=0; read=Read; watch=0; rate=0; pending=0; locked=00; boxes=Error: The serial port is not open. Press Link first.";
    }

    // The record group's controls follow the clicks and choices, in order.
    const char *enabled = "enabled="; // start mode, sampling rate, start time
    row("a click on the checked Recording", "disable", "radioButtonRecord", "", "", 0, enabled + QString("110"));
    row("Timing Start", "start=1", "radioButtonRecord", "", "", 0, enabled + QString("111"));
    row("monitoring", "start=1", "radioButtonRealmonitoring", "", "", 0, enabled + QString("000"));
    row("back to recording", "press=radioButtonRealmonitoring", "radioButtonRecord", "", "", 0, enabled + QString("110"));
    row("back to recording, Timing Start", "start=1 press=radioButtonRealmonitoring", "radioButtonRecord", "", "", 0,
        enabled + QString("111"));
    row("Timing Start while monitoring", "press=radioButtonRealmonitoring start=1", "", "", "", 0, enabled + QString("001"));
    row("After Setup again", "start=1 start=0", "", "", "", 0, enabled + QString("110"));

    // Reading: one poll a second from the first second on, for the item chosen.
    row("Read", "linked", "pushButtonRead", "humiture1000", "01 03 00 00 00 05 85 c9", 1000,
        "read=Stop; rx=2; traces=0; shown=" + kAll);
    row("Stop", "linked press=pushButtonRead", "pushButtonRead", "", "", 0, "read=Read; polling=0");
    row("poll, nothing chosen", "linked item=-1", "poll", "humiture1000", "01 03 00 00 00 05 85 c9", 0, "shown=" + kAll);
    row("poll Temperature", "linked item=1", "poll", "humiture1000", "01 03 00 00 00 01 84 0a", 0, "shown=23.1℃,---,---,---");
    row("poll Humidity", "linked item=2", "poll", "humiture1000", "01 03 00 01 00 01 d5 ca", 0, "shown=---,45.6%,---,---");
    row("poll DewTemp", "linked item=3", "poll", "humiture1000", "01 03 00 02 00 01 25 ca", 0, "shown=---,---,10.3℃,---");
    row("poll WetBulbTemp", "linked item=4", "poll", "humiture1000", "01 03 00 03 00 01 74 0a", 0, "shown=---,---,:---,15.8℃");
    row("poll Status", "linked item=5", "poll", "humiture1000", "01 03 00 04 00 01 c5 cb", 0, "rx=2; shown=---,---,:---,---");
    row("poll address 247", "module=247 linked", "poll", "humiture1000", "f7 03 00 00 00 05 91 5f", 0, "shown=" + kAll);
    row("poll address 16, WetBulbTemp", "module=16 linked item=4", "poll", "humiture1000", "10 03 00 03 00 01 77 4b", 0,
        "shown=---,---,:---,15.8℃");
    for (const char *button : {"poll", "pushButtonAddress"}) {
        for (const char *field : {"", "0", "248", "abc"}) {
            QTest::addRow("%s refuses address '%s'", button, field)
                << "linked field=" + QString(field) << button << "" << "" << 0
                << QString("tx=1; read=Read; boxes=Error: The address is ") + (*field ? "between 1 and 247!" : "empty!");
        }
    }

    // One request on the line at a time: a command pressed while a poll's
    // reply is on its way goes out once that reply is in, and the reply is
    // taken as the poll's.
    row("a command while a poll's reply is on its way", "linked delay=300 press=poll", "pushButtonAddressRead",
        "humiture1000", "01 03 00 00 00 05 85 c9, " + QString(probe), 600,
        "field=1; order=TRTRTR; shown=" + kAll + "; boxes=");
    // Each watchdog judges its own request: a poll's reply is no answer to the logger.
    row("serial number write unanswered while reading", "clock=2026-12-06T03:31:29 linked loggerSilent press=pushButtonRead",
        "pushButtonAUTO", "response1500 humiture1000", "7b 22 aa 07 00 1a 0c 06 03 1f 1d 1c 22 7d, 01 03 00 00 00 05 85 c9",
        1500, "rx=2; boxes=Error: Communication error!");
    // ... nor a write answered long ago: a poll on the line when its watchdog ends is not its business.
    row("a poll on the line when an answered write's watchdog ends", "clock=2026-12-06T03:31:29 linked delay=600 press=pushButtonRead",
        "pushButtonAUTO", "response1500 humiture1000", "7b 22 aa 07 00 1a 0c 06 03 1f 1d 1c 22 7d, 01 03 00 00 00 05 85 c9",
        1600, "rx=2; boxes=");
    // Link ends what waited for the line: the read already on it was heard,
    // and then only the link's own probe goes out.
    row("Link empties the queue", "linked press=pushButtonAddressRead press=pushButtonAUTO", "pushButtonLink",
        "response500 humiture1000", QString(probe) + ", " + probe, 500, "field=1; watch=0; boxes=");
    // A module that answers and says no is no dead line.
    row("a refusal", "linked refuses field=12", "pushButtonAddress", "response500 humiture1000", "00 06 01 00 00 0c 89 e2",
        500, "field=12; module=1@9600; rx=2; watch=0; boxes=Error: The module refused the request (exception 2).");
    // Values that stopped coming are not shown as current.
    row("values gone stale", "linked press=pushButtonRead until=rx=2 silent", "", "humiture1000",
        "01 03 00 00 00 05 85 c9, 01 03 00 00 00 05 85 c9, 01 03 00 00 00 05 85 c9, 01 03 00 00 00 05 85 c9, "
        "01 03 00 00 00 05 85 c9", 4000,
        "shown=---,---,---,---; read=Stop; boxes=");

    // Address and baud rate, sent to address 0; the watchdog judges at 500 ms.
    row("address read", "linked module=42 field=junk", "pushButtonAddressRead", "response500 humiture1000", probe, 500,
        "field=42; rx=2; watch=0; boxes=");
    row("address write 12", "linked module=42 field=12", "pushButtonAddress", "response500 humiture1000",
        "00 06 01 00 00 0c 89 e2", 500, "field=12; module=12@9600; watch=0; boxes=");
    row("baud rate 19200", "linked baud=19200", "pushButtonBaudRate", "response500 humiture1000",
        "00 06 01 01 00 05 18 24", 500, "module=1@19200; port=19200; rate=19200; pending=0; tx=2; watch=0; boxes=");
    row("baud rate 115200", "linked baud=115200", "pushButtonBaudRate", "response500 humiture1000",
        "00 06 01 01 00 06 58 25", 500, "module=1@115200; port=115200; rate=115200; pending=0; watch=0; boxes=");
    row("address read, silence", "linked silent field=junk", "pushButtonAddressRead", "response500 humiture1000", probe,
        500, "field=junk; watch=0; boxes=Error: Communication error!");
    row("baud rate, silence", "linked silent baud=19200", "pushButtonBaudRate", "response500 humiture1000",
        "00 06 01 01 00 05 18 24", 500, "port=9600; rate=19200; pending=0; watch=0; boxes=Error: Communication error!");

    // The logger: never in the traffic log.
    row("serial number read", "linked serial=180b14091e2d", "pushButtonReadSN", "response500 humiture1000", info, 500,
        "sn=180b14091e2d; tx=1; rx=1; watch=0; boxes=");
    row("AUTO setup", "clock=2026-12-06T03:31:29 linked sn=untouched", "pushButtonAUTO", "response1500 humiture1000",
        "7b 22 aa 07 00 1a 0c 06 03 1f 1d 1c 22 7d", 1500, "serial=1a0c06031f1d; sn=untouched; watch=0; traces=0; boxes=");
    row("MANU setup", "linked sn=261206033129", "pushButtonMANU", "response1500 humiture1000",
        "7b 22 aa 07 00 1a 0c 06 03 1f 1d 1c 22 7d", 0, "serial=1a0c06031f1d; ack=10");
    // Only six decimal pairs can mean a serial number; nothing else is written.
    for (const char *sn : {"1a0c06031f1d", "12", "2612060331290", "26120603312x"})
        QTest::addRow("MANU setup refuses '%s'", sn) << "linked sn=" + QString(sn) << "pushButtonMANU" << "" << "" << 0
            << "serial=180b14091e2d; boxes=Error: The serial number is twelve digits, 0 to 9!";
    row("setup, timing start", "clock=2026-01-01T00:00:00Z linked start=1 rate=1min at=3600", "pushButtonSetup",
        "humiture3000 delay2000 setting1000", "7b 22 4a 1d 69 55 b9 00 00 00 40 00 00 00 00 ff ff 00 3c 03 20 01 40 "
        "03 20 01 40 69 55 c7 10 00 00 b5 22 7d", 2000, "boxes=Succeed: Setting succeed!; ack=11; locked=00");
    row("setup, after setup", "clock=2026-01-01T00:00:00Z linked start=0 rate=24h at=300", "pushButtonSetup",
        "humiture3000 delay2000 setting1000", "7b 22 4a 1d 69 55 b9 00 00 00 20 00 00 00 00 ff ff af c8 03 20 01 40 "
        "03 20 01 40 69 55 ba 2c 00 00 df 22 7d", 0, "ack=11; locked=11");
    const QString refused = "boxes=Error: Time setting error!; locked=00";
    row("setup at the current second", "clock=2026-03-01T12:00:00 linked start=1 at=0", "pushButtonSetup", "", "", 0, refused);
    row("setup before 1970", "clock=2026-03-01T12:00:00 linked start=1 at=1960-01-01T00:00:00", "pushButtonSetup", "", "",
        0, refused);
    row("setup past 32 bits", "clock=2026-03-01T12:00:00 linked start=1 at=2106-02-07T06:28:16Z", "pushButtonSetup", "",
        "", 0, refused);
    row("setup, after setup, past 32 bits", "linked start=0 at=2200-01-01T00:00:00", "pushButtonSetup", "", "", 0, refused);
    row("setup at the last 32-bit second", "clock=2026-03-01T12:00:00Z linked start=1 at=2106-02-07T06:28:15Z",
        "pushButtonSetup", "humiture3000 delay2000 setting1000", "7b 22 4a 1d 69 a4 2a 40 00 00 40 00 00 00 00 ff ff 00 "
        "01 03 20 01 40 03 20 01 40 ff ff ff ff 00 00 e1 22 7d", 0, "ack=11; traces=0");
    row("setup in the repeated hour, second pass", "clock=2026-10-25T00:00:00Z linked start=1 at=2026-10-25T01:30:00Z",
        "pushButtonSetup", "humiture3000 delay2000 setting1000", "7b 22 4a 1d 6a dd 46 80 00 00 40 00 00 00 00 ff ff 00 "
        "01 03 20 01 40 03 20 01 40 6a dd 5b 98 00 00 b5 22 7d", 0, "ack=11");
    // Outside "Timing Start" a start time that has passed is refreshed, not refused.
    row("setup, after setup, editor behind", "clock=2026-03-01T12:00:00Z linked start=0 at=-400", "pushButtonSetup",
        "humiture3000 delay2000 setting1000", "7b 22 4a 1d 69 a4 2a 40 00 00 20 00 00 00 00 ff ff 00 01 03 20 01 40 03 "
        "20 01 40 69 a4 2b 6c 00 00 69 22 7d", 0, "at=300; ack=11; locked=11");
    row("setup, monitoring, editor behind", "clock=2026-03-01T12:00:00Z linked press=radioButtonRealmonitoring at=-3600", "pushButtonSetup",
        "humiture3000 delay2000 setting1000", "7b 22 4a 1d 69 a4 2a 40 00 00 60 00 00 00 00 ff ff 00 01 03 20 01 40 03 "
        "20 01 40 69 a4 2b 6c 00 00 a9 22 7d", 0, "at=300; ack=11; locked=11");
    row("settings, timing start, 24h", "linked mode=2 interval=45000 press=radioButtonRealmonitoring start=0 rate=2S", "pushButtonReadRecord",
        "response500 humiture3000 delay2000", settings, 2000,
        "work=Recording; start=1; enabled=111; sampling=24h; ack=11; locked=00");
    row("settings, after setup, 10min", "linked mode=1 interval=600 press=radioButtonRealmonitoring start=1 rate=2S", "pushButtonReadRecord",
        "response500 humiture3000 delay2000", settings, 0, "work=Recording; start=0; enabled=110; sampling=10min; locked=11");
    row("settings, monitoring only over Timing Start", "linked mode=3 start=1 press=radioButtonRecord", "pushButtonReadRecord",
        "response500 humiture3000 delay2000", settings, 0, "work=Only Realtime Monitoring; start=1; enabled=000; ack=11");
    // A logger reply leaves the line to the next one.
    row("settings right after the serial number", "linked press=pushButtonReadSN", "pushButtonReadRecord",
        "response500 humiture1000 delay2000", QString(info) + ", " + settings, 0, "sn=180b14091e2d; sampling=1min; ack=11");
    row("baud change right after a logger reply", "linked press=pushButtonReadSN baud=19200", "pushButtonBaudRate",
        "response500 humiture1000", QString(info) + ", 00 06 01 01 00 05 18 24", 500,
        "port=19200; module=1@19200; pending=0; watch=0; boxes=");
    row("settings, interval not listed", "linked mode=2 interval=7 press=radioButtonRealmonitoring rate=2S", "pushButtonReadRecord",
        "response500 humiture3000 delay2000", settings, 0, "work=Recording; start=1; enabled=111; sampling=2S; ack=11");
    // A settings reply before is no acknowledgement of the setup after it.
    row("setup, silence", "clock=2026-01-01T00:00:00Z linked press=pushButtonReadRecord until=locked=00 silent at=600",
        "pushButtonSetup", "humiture3000 delay2000 setting1000", QString(settings) + ", 7b 22 4a 1d 69 55 b9 00 00 00 60 00 "
        "00 00 00 ff ff 00 3c 03 20 01 40 03 20 01 40 69 55 bb 58 00 00 11 22 7d", 1000,
        "boxes=Failed: Setting failed, please try again!");
    row("serial number read, silence", "linked silent", "pushButtonReadSN", "response500 humiture1000", info, 500,
        "watch=0; boxes=Error: Communication error!");
    row("serial number write, silence", "clock=2026-12-06T03:31:29 linked silent", "pushButtonAUTO",
        "response1500 humiture1000", "7b 22 aa 07 00 1a 0c 06 03 1f 1d 1c 22 7d", 1500,
        "watch=0; boxes=Error: Communication error!");
    row("settings read, silence", "linked silent", "pushButtonReadRecord", "response500 humiture3000 delay2000", settings,
        500, "watch=0; boxes=Error: Communication error!");
    // A history block is not the logger's identity.
    row("long frame", "linked long sn=unchanged", "pushButtonReadSN", "response500 humiture1000", info, 500,
        "ack=00; sn=unchanged; watch=0; boxes=Error: Communication error!");

    // The adapter pulled while polling, searching or changing the rate: told
    // once, and nothing is left running that would send on the dead line.
    // A file that cannot be written is said once, and nothing else stops.
    row("record to a full disk", "linked press=pushButtonTrend saveAs=@full.csv full=0", "pushButtonRecord", "", "", 0,
        "record=Record…; boxes=Error: The file @full.csv cannot be written: File too large");
    row("record where no file can be made", "linked press=pushButtonTrend saveAs=/proc/readings.csv", "pushButtonRecord",
        "", "", 0, "record=Record…; boxes=Error: The file /proc/readings.csv cannot be written: No such file or directory");
    // A record stays whole: no rows in a foreign file, none glued to a row
    // left unended, none cut short; its box waits until the reply is handled.
    const QString header = "time,address,temperature_C,humidity_pct,dew_point_C,wet_bulb_C|", poll = "01 03 00 00 00 05 85 c9";
    row("record after an unended row", "clock=2026-12-08T12:46:06Z linked press=pushButtonTrend saveAs=@r.csv file=" + header
        + "x press=pushButtonRecord", "poll", "humiture1000", poll, -1, "file=" + header + "x|2026-12-08T13:46:06+01:00,1,23.1,45.6,10.3,15.8|");
    row("record into a foreign file", "linked press=pushButtonTrend saveAs=@f.csv file=Datum;Temp;Feuchte|", "pushButtonRecord", "", "", 0,
        "record=Record…; file=Datum;Temp;Feuchte|; boxes=Error: The file @f.csv is not a record of readings. Choose another file.");
    row("record to a disk full mid-row", "linked press=pushButtonTrend saveAs=@full.csv press=pushButtonRecord full=9", "poll",
        "humiture1000", poll, -1, "record=Record…; file=" + header + "; boxes=Error: The file @full.csv cannot be written: File too large");
    row("record to a deleted file", "linked press=pushButtonTrend saveAs=@gone.csv press=pushButtonRecord gone", "poll", "humiture1000",
        poll, -1, "record=Record…; rx=2; boxes=Error: The file @gone.csv cannot be written: No such file or directory");
    row("save the log over an earlier log, disk full", "linked saveAs=@log.txt file=earlier full=9", "actionSaveLog", "", "", 0,
        "file=earlier; boxes=Error: The file @log.txt cannot be written: File too large");
    row("save the log where no file can be made", "linked saveAs=/proc/log.txt", "actionSaveLog", "", "", 0,
        "boxes=Error: The file /proc/log.txt cannot be written: No such file or directory");

    const QString lost = "port=closed; read=Read; pending=0; watch=0; search=0; polling=0; "
                         "boxes=Error: The serial port <port> stopped working: <reason>";
    row("port lost while polling", "linked dies", "pushButtonRead", "humiture1000", "01 03 00 00 00 05 85 c9", 1000, lost);
    row("port lost in a search", "module=1@1200 dialog=AUTO dies", "pushButtonLink", "humiture1000 search300", "", 0, lost);
    row("port lost in a baud change", "linked baud=19200 dies", "pushButtonBaudRate", "response500 humiture1000",
        "00 06 01 01 00 05 18 24", 0, lost);
}

QTEST_MAIN(TestE2e)
#include "tst_e2e.moc"
