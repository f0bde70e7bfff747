// End to end on a line of several modules: the bus window's scan and watch,
// the real windows linked to the simulated line on a pseudo-terminal.
#include "fixture.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestLine : public QObject
{
    Q_OBJECT
    Bench b;
    QTemporaryDir home;

private slots:
    // What the windows remember (the Publish dialog's broker) is the test's own.
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path()); }
    void init()
    {
        if (!inThisPart())
            QSKIP("another part runs it");
        QVERIFY(b.open());
    }
    void cleanup() { b.close(); }

    // Scenes (see Bench::given) and the states they reach, in turn.
    void bus_data();
    void bus()
    {
        QFETCH(QStringList, steps);
        for (int i = 0; i + 1 < steps.size(); i += 2) {
            b.given(steps[i]);
            const QString &expected = steps[i + 1];
            b.reach(expected, 6000);
            if (b.state(expected) != expected) qWarning("%s", qPrintable(b.state(expected)));
            QCOMPARE(b.state(expected), expected);
        }
    }
    // Commissioning is the same scenes on a line of one module, or two.
    void commission_data();
    void commission() { bus(); }
};

void TestLine::bus_data()
{
    QTest::addColumn<QStringList>("steps");
    // Modules 1, 3 and 3 at the link's rate, 9 at another.
    const QString line = "linked line=1,3,3,9@19200 press=pushButtonBus ";
    const QString one = "1@9600 23.1℃,45.6%,10.3℃,15.8℃ ";
    const QString two = "3@9600 ,,, Garbled reply: two modules at this address? 0/0";
    const QString other = "9@19200 23.4℃,45.6%,10.3℃,15.8℃ Not watched: at 19200 baud 0/0";
    QTest::newRow("scan") << QStringList{
        line + "range=1-10 press=pushButtonScan", "scan=Stop",
        "", "rows=" + one + "Answers 0/0 | " + two + "; progress=10 of 10 addresses, 1 module found; scan=Scan; tx=13; rx=2"};
    QTest::newRow("scan all rates") << QStringList{
        line + "range=1-10 allRates press=pushButtonScan",
        "rows=" + one + "Answers 0/0 | " + two + " | 9@19200 23.4℃,45.6%,10.3℃,15.8℃ Answers 0/0"
            + "; progress=60 of 60 addresses, 2 modules found; port=9600; boxes="};
    QTest::newRow("watch, a module stopped and started") << QStringList{
        line + "range=1-9 allRates press=pushButtonScan until=scan=Scan press=pushButtonWatch",
        "watching=Stop watching; rows=" + one + "Answers 2/0 | " + QString(two).replace("0/0", "2/2") + " | " + other
            + "; status=<port> at 9600 baud · Watching 2 modules, a round every <t> s",
        "mute=0", "rows=" + one + "Silent since <time> 5/3 | " + QString(two).replace("0/0", "5/5") + " | " + other
            + "; greyed=1@9600 3@9600 9@19200",
        "unmute=0", "rows=" + one + "Answers 6/3 | " + QString(two).replace("0/0", "6/6") + " | " + other + "; greyed=3@9600 9@19200",
        "press=pushButtonWatch", "watching=Watch; status=<port> at 9600 baud · Idle; boxes="};
    // The watch's readings go to the trend, a module at a time, and to the
    // record; an unticked module is not watched.
    QTest::newRow("watch, the trend and the record") << QStringList{
        "clock=2026-12-07T09:15:30Z linked line=1,2 press=pushButtonBus range=1-2 press=pushButtonScan until=scan=Scan press=pushButtonTrend "
        "saveAs=@readings.csv press=pushButtonRecord untick=1 press=pushButtonWatch until=polled=2 press=pushButtonWatch",
        "watching=Watch; addresses=1; file=time,address,temperature_C,humidity_pct,dew_point_C,wet_bulb_C|2026-12-07T10:15:30+01:00,1,23.1,"
        "45.6,10.3,15.8|2026-12-07T10:15:30+01:00,1,23.1,45.6,10.3,15.8|"};
    // A line as real adapters give it.
    QTest::newRow("scan, an echoing adapter") << QStringList{
        "echo linked line=1,3 press=pushButtonBus range=1-4 press=pushButtonScan",
        "rows=" + one + "Answers 0/0 | 3@9600 23.2℃,45.6%,10.3℃,15.8℃ Answers 0/0; progress=4 of 4 addresses, 2 modules found"};
    // Answers handed over in pieces: the waits Link measured to the last
    // byte take their tails, and pieces 25 ms apart are one answer whatever
    // the wait; the line kept quiet 3.5 characters before every request.
    QTest::newRow("scan, a line that delivers in pieces") << QStringList{
        "pace split=3:60 linked line=1,2,3,4,5,6,7,8 press=pushButtonBus range=1-10 press=pushButtonScan",
        "progress=10 of 10 addresses, 8 modules found; scan=Scan",
        "split=4:25 within=20 press=pushButtonScan until=scan=Stop", "progress=10 of 10 addresses, 8 modules found; scan=Scan; hurried=0"};
    // Noise at an empty address is asked again, and found to be none.
    QTest::newRow("scan, a noisy line") << QStringList{
        "noise linked line=1,2 press=pushButtonBus range=1-10 press=pushButtonScan",
        "progress=10 of 10 addresses, 2 modules found; scan=Scan"};
    // The window busy while an answer comes in time: it is taken as in time.
    QTest::newRow("scan, the window busy") << QStringList{
        "linked line=1 press=pushButtonBus range=1-1 busy=100 press=pushButtonScan",
        "rows=" + one + "Answers 0/0; progress=1 of 1 address, 1 module found"};
    QTest::newRow("scan, a stray byte before each reply") << QStringList{
        "stray linked line=1,3 press=pushButtonBus range=1-4 press=pushButtonScan",
        "rows=" + one + "Answers 0/0 | 3@9600 23.2℃,45.6%,10.3℃,15.8℃ Answers 0/0; progress=4 of 4 addresses, 2 modules found"};
    // Two slow modules: Link's probe, which both answer at once, times them,
    // and the scan waits for them; with a shorter wait their late replies are
    // theirs, and no collision at the next address.
    const QString slow = "line=1,5 slow=0:35 slow=1:35 ";
    const QString five = "5@9600 23.2℃,45.6%,10.3℃,15.8℃ ";
    QTest::newRow("two slow modules, the wait from Link") << QStringList{
        slow + "press=pushButtonLink until=watch=0 press=pushButtonBus range=1-6 press=pushButtonScan",
        "rows=" + one + "Answers 0/0 | " + five + "Answers 0/0; progress=6 of 6 addresses, 2 modules found"};
    QTest::newRow("two slow modules, answering late") << QStringList{
        "linked line=1,5 slow=0:50 slow=1:50 press=pushButtonBus range=1-6 within=20 press=pushButtonScan",
        "rows=" + one + "Answers late (<n> ms): raise Answer within 0/0 | " + five
            + "Answers late (<n> ms): raise Answer within 0/0; progress=6 of 6 addresses, 2 modules found"};
    QTest::newRow("a slow module watched before a healthy one") << QStringList{
        "linked line=1,2 slow=0:90 press=pushButtonBus range=1-2 within=120 press=pushButtonScan until=scan=Scan within=30 "
        "press=pushButtonWatch until=polled=6",
        "statuses=1 Answers late (<n> ms): raise Answer within 0 | 2 Answers 0", "press=pushButtonWatch", "watching=Watch; boxes="};
    // At 1200 a module answering 20 ms after the gap before a reply is found in time.
    QTest::newRow("scan at 1200, paced") << QStringList{
        "pace module=1@1200 dialog=1200 press=pushButtonLink until=field=1 slow=0:49 press=pushButtonBus range=1-2 within=20 "
        "press=pushButtonScan", "rows=1@1200 23.1℃,45.6%,10.3℃,15.8℃ Answers 0/0; progress=2 of 2 addresses, 1 module found"};
    // One line, one master.
    QTest::newRow("the main window during a watch") << QStringList{
        line + "press=pushButtonRead range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch", "read=Read",
        "press=pushButtonAddressRead press=pushButtonRead",
        "probes=1; read=Read; boxes=Error: The line is busy with the bus window. Stop it first. / "
        "Error: The line is busy with the bus window. Stop it first."};
    // Asked at Link, and at every write to address 0 after it; a second
    // module's answer that comes 40 ms after the first is counted.
    QTest::newRow("two modules at one rate, answering apart") << QStringList{
        "line=1,5~40 field=3 press=pushButtonLink",
        "field=; port=9600; boxes=Warning: 2 modules answer on this line at 9600 baud: use the bus window to tell them apart.",
        "field=7 decline press=pushButtonAddress", "line=1@9600 5@9600; tx=1",
        "press=pushButtonAddress", "line=7@9600 7@9600; boxes=Warning: 2 modules answer on this line at 9600 baud: use the bus window to "
        "tell them apart. / Warning: 2 modules answer on this line, and this write reaches every one of them. Write anyway? / Warning: 2 "
        "modules answer on this line, and this write reaches every one of them. Write anyway? / Warning: 2 modules answered this write: "
        "it reached every one of them."};
    // Answers that garble each other count two at least.
    QTest::newRow("two modules at one rate, answering at once") << QStringList{
        "line=1,3 press=pushButtonLink until=watch=0 quiet field=7 decline press=pushButtonAddress", "tx=1; boxes=Warning: At least 2 modules "
        "answer on this line at 9600 baud: use the bus window to tell them apart. (inside a reply) / Warning: At least 2 modules answer on "
        "this line, and this write reaches every one of them. Write anyway?"};
    // The table is the line's: another port's Link clears it, one that
    // cannot open keeps it, a watch is not wiped without asking.
    QTest::newRow("Link to another port") << QStringList{
        line + "range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch decline press=pushButtonScan",
        "watching=Stop watching; boxes=Scan: Stop the watch and scan again? The table is cleared.",
        "dialog=9600 press=pushButtonLink", "watching=Watch; statuses=1 Answers 0",
        "port=/dev/hygrovane-no-such-port press=pushButtonLink", "statuses=1 Answers 0; status=No port linked · Idle; reason=no such port",
        "alias=ttyOther press=pushButtonLink", "rows=; status=<port> at 9600 baud · Idle"};
    // An adapter may stop echoing: a copy of a write that comes once an
    // echo's time has passed is the module's answer.
    QTest::newRow("a write, the adapter stopped echoing") << QStringList{
        "pace echo linked press=poll press=pushButtonRead until=rx=2 echo=off delay=80 module=42 field=12 press=pushButtonAddress",
        "field=12; module=12@9600; rx=3; watch=0; boxes="};
    // Late answers told to the request they answer, at the rate they came.
    QTest::newRow("scan all rates of a short range, a late module") << QStringList{
        "linked line=1,5~50 press=pushButtonBus range=5-6 allRates within=20 press=pushButtonScan",
        "rows=5@9600 23.2℃,45.6%,10.3℃,15.8℃ Answers late (<n> ms): raise Answer within 0/0; progress=12 of 12 addresses, 1 module found"};
    // The head of a late answer that comes in one chunk with the next
    // module's answer waits for its tail.
    QTest::newRow("a late answer split across chunks") << QStringList{
        "pace latency=64 linked line=1~125,2 press=pushButtonBus range=1-3 within=70 press=pushButtonScan",
        "statuses=1 Answers late (<n> ms): raise Answer within 0 | 2 Answers 0; progress=3 of 3 addresses, 2 modules found"};
    // One past its late window could as well answer anything since: nobody's.
    QTest::newRow("a late answer past its late window") << QStringList{
        "linked line=1~150,2 press=pushButtonBus range=1-6 within=20 press=pushButtonScan",
        "rows=2@9600 23.2℃,45.6%,10.3℃,15.8℃ Answers 0/0; progress=6 of 6 addresses, 1 module found"};
    QTest::newRow("several slow modules in a row") << QStringList{
        "linked line=1~50,2~50,3~50,4~50 press=pushButtonBus range=1-5 within=20 press=pushButtonScan",
        "statuses=1 Answers late (<n> ms): raise Answer within 0 | 2 Answers late (<n> ms): raise Answer within 0 | 3 Answers late (<n> "
        "ms): raise Answer within 0 | 4 Answers late (<n> ms): raise Answer within 0; progress=5 of 5 addresses, 4 modules found"};
    // A round is the time a module's readings take to come round again;
    // greyed changes say why; the Link dialog offers the last Link.
    QTest::newRow("the round time") << QStringList{
        line + "range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch until=polled=3",
        "round=1.0; tips=Stop the watch first", "dialog=offered press=pushButtonLink", "port=9600; probes=2; watching=Watch"};
    QTest::newRow("Link ends a watch") << QStringList{
        line + "range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch dialog=cancel press=pushButtonLink",
        "watching=Watch; port=closed; boxes="};
    // A write to address 0 reaches every module at the rate: asked first,
    // and a collided answer said for what it is.
    const QString populated = "linked line=1,3 press=pushButtonBus range=1-3 press=pushButtonScan until=scan=Scan field=7 ";
    const QString asked = "boxes=Warning: 2 modules answer on this line, and this write reaches every one of them. Write anyway?";
    QTest::newRow("an address write to a populated line, declined") << QStringList{
        populated + "decline press=pushButtonAddress", asked + "; modules=1@9600 180b14091e2d, 3@9600 180b14091e2e; tx=4"};
    QTest::newRow("an address write to a populated line") << QStringList{
        populated + "press=pushButtonAddress", asked + " / Error: Several modules answered at once: the write may have reached all of them. (inside a reply); "
        "modules=7@9600 180b14091e2d, 7@9600 180b14091e2e"};
    // Nothing goes out at a rate the search is only trying.
    QTest::newRow("a scan pressed during a search that fails") << QStringList{
        "silent press=pushButtonBus dialog=AUTO press=pushButtonLink press=pushButtonScan",
        "scan=Scan; search=0; boxes=Error: The line is busy with the baud-rate search. Wait for it to end. / Error: Communication error!"};
    QTest::newRow("no link") << QStringList{"press=pushButtonBus press=pushButtonScan",
                                            "scan=Scan; boxes=Error: The serial port is not open. Press Link first."};
    QTest::newRow("keys") << QStringList{
        line + "range=1-3 key=F5", "scan=Scan; progress=3 of 3 addresses, 1 module found",
        "key=F5 key=Esc", "scan=Scan; rows=; status=<port> at 9600 baud · Idle"};
    QTest::newRow("closed mid-watch, 1 module found") << QStringList{
        line + "range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch closeBus press=pushButtonRead",
        "progress=1 of 1 address, 1 module found; watching=Watch; read=Stop; boxes="};
    QTest::newRow("From above To") << QStringList{
        line + "range=1-3 press=pushButtonScan until=scan=Scan range=5-2 press=pushButtonScan",
        "rows=" + one + "Answers 0/0 | " + two + "; boxes=Error: Addresses from 5 to 2 hold no address: the first must not be above the last."};
    // One module's address or rate, written to its own address and read back
    // where it went; the table's order follows. Modules 1, 3 and 7 at 23.1,
    // 23.2 and 23.3 ℃.
    const QString three = "linked line=1,3,7 press=pushButtonBus range=1-7 press=pushButtonScan until=scan=Scan ";
    const auto row = [](int address, const char *rate, const char *celsius) {
        return QString("%1@%2 %3℃,45.6%,10.3℃,15.8℃ Answers 0/0").arg(address).arg(rate).arg(celsius);
    };
    QTest::newRow("one module's address") << QStringList{
        three + "select=0 answer=5 press=pushButtonModuleAddress",
        "line=5@9600 3@9600 7@9600; rows=" + row(3, "9600", "23.2") + " | " + row(5, "9600", "23.1") + " | " + row(7, "9600", "23.3")
            + "; tx=11; field=5; boxes="};
    // One the scan did not cover is found before anything is written.
    QTest::newRow("an address a module outside the scan holds") << QStringList{
        "linked line=1,3,7 press=pushButtonBus range=1-3 press=pushButtonScan until=scan=Scan select=0 answer=7 press=pushButtonModuleAddress",
        "line=1@9600 3@9600 7@9600; boxes=Error: A module answers at address 7 (9600 baud) already: choose another address."};
    // Refused, the question stays open saying why, and takes another.
    QTest::newRow("an address taken") << QStringList{
        three + "select=0 answer=7,cancel press=pushButtonModuleAddress",
        "line=1@9600 3@9600 7@9600; tx=8; boxes=Asked again: Address 7 is already used on this line.",
        "answer=7,5 press=pushButtonModuleAddress", "line=5@9600 3@9600 7@9600; status=<port> at 9600 baud · Idle · The module "
        "answers at address 5, 9600 baud now."};
    QTest::newRow("one module's rate") << QStringList{
        three + "select=1 answer=19200 press=pushButtonModuleBaud",
        "line=1@9600 3@19200 7@9600; rows=" + row(1, "9600", "23.1") + " | " + row(3, "19200", "23.2") + " | " + row(7, "9600", "23.3")
            + "; port=9600; status=<port> at 9600 baud · Idle; boxes="};
    QTest::newRow("two modules at the address asked") << QStringList{
        line + "range=3-3 press=pushButtonScan until=scan=Scan select=0 answer=4 press=pushButtonModuleAddress",
        "line=1@9600 3@9600 3@9600 9@19200; tx=4; boxes=Error: Two modules share this address: disconnect one of them, then "
        "change the other's address."};
    QTest::newRow("the table saved and copied") << QStringList{
        "clock=2026-12-07T09:15:30Z " + line + "range=1-3 press=pushButtonScan until=scan=Scan saveAs=@bus "
        "press=pushButtonSaveTable select=0 press=actionCopy",
        "status=<port> at 9600 baud · Saved 2 rows to bus.csv; file=<BOM>address,baud_rate,temperature_C,humidity_pct,dew_point_C,wet_bulb_C,status,polls,misses,last_seen|"
        "1,9600,23.1,45.6,10.3,15.8,Answers,0,0,2026-12-07T10:15:30+01:00|3,9600,,,,,Garbled reply: two modules at this address?,0,0,"
        "2026-12-07T10:15:30+01:00|; clipboard=Address>Baud rate>Temperature>Humidity>DewTemp>WetBulbTemp>Status>Polls>Misses>Last seen|"
        "1>9600>23.1℃>45.6%>10.3℃>15.8℃>Answers>0>0>10:15:30|; boxes="};
    // What a gateway needs of this line, without the password, and what it
    // leaves out (another rate, an address of garbled answers only); named
    // as the next free service instance.
    QTest::newRow("the line saved for a gateway") << QStringList{
        "linked line=1,2@19200,3,3 press=pushButtonBus range=1-3 allRates within=20 press=pushButtonScan until=scan=Scan saveAs=@line1 press=pushButtonSaveGateway",
        "suggested=line1.conf; keys=port = <port>|baud = 9600|addresses = 1|answer-ms = 20|period = 1|no-discovery = true|rescan = 10|spool = /var/lib/hygrovane/line1/outbox.db; boxes=Save for "
        "gateway: Saved the gateway's file line1.conf, but module 2 answers at 19200 baud and is not in the file: one gateway watches one rate.",
        "press=pushButtonSaveGateway", "suggested=line2.conf"};

    // Lines behind a network serial server (a real ser2net on 127.0.0.1).
    const QString all = "shown=23.1℃,45.6%,10.3℃,15.8℃";
    QTest::newRow("a poll through a raw TCP server") << QStringList{
        "server=raw press=pushButtonLink", "field=1; port=9600; boxes=", "press=poll", all + "; boxes="};
    QTest::newRow("AUTO through an RFC 2217 server") << QStringList{
        "module=1@19200 server=rfc2217 dialog=AUTO press=pushButtonLink", "field=1; port=19200; rate=19200; search=0; boxes="};
    QTest::newRow("a baud-rate change followed through RFC 2217") << QStringList{
        "server=rfc2217 press=pushButtonLink", "field=1; port=9600; boxes=",
        "baud=19200 press=pushButtonBaudRate", "module=1@19200; port=19200; pending=0; boxes=", "press=poll", all + "; boxes="};
    QTest::newRow("AUTO through a raw TCP server") << QStringList{
        "server=raw dialog=AUTO press=pushButtonLink",
        "port=closed; search=0; boxes=Error: <port> carries the bytes only and cannot change the line's rate: <reason>"};
    // Through a gateway that watches the line and shares it: address 0 goes nowhere.
    QTest::newRow("the bus window through a gateway") << QStringList{
        "line=1,3 gateway=--allow-writes_--answer-ms_50 press=pushButtonLink", "port=9600; boxes=Error: The module refused the request (exception 11).",
        "press=pushButtonBus range=1-4 within=100 press=pushButtonScan",
        "rows=1@9600 23.1℃,45.6%,10.3℃,15.8℃ Answers 0/0 | 3@9600 23.2℃,45.6%,10.3℃,15.8℃ Answers 0/0; progress=4 of 4 addresses, 2 modules found",
        "until=scan=Scan select=0 answer=5 press=pushButtonModuleAddress", "line=5@9600 3@9600; status=<port> at 9600 baud · Idle · The module answers at address 5, 9600 baud now.",
        "press=pushButtonWatch until=polled=4 press=pushButtonWatch", "rows=3@9600 23.2℃,45.6%,10.3℃,15.8℃ Answers 2/0 | 5@9600 23.1℃,45.6%,10.3℃,15.8℃ Answers 2/0"};
    const QString dropped = "Error: The serial port <port> stopped working: <reason>";
    QTest::newRow("the server stopped mid-watch") << QStringList{
        "server=raw press=pushButtonLink press=pushButtonBus range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch",
        "watching=Stop watching; boxes=", "serverStop", "port=closed; watching=Watch; boxes=" + dropped,
        "server=raw press=pushButtonLink", "field=1; port=9600; boxes=" + dropped};
}

void TestLine::commission_data()
{
    QTest::addColumn<QStringList>("steps");
    const QString plan = "clock=2026-12-06T03:31:29 linked press=pushButtonCommission saveAs=@report.csv "
                         "press=pushButtonReport next=12 ";
    const QString found = "Find: address 1 at 9600 baud | Address: address 12 | Serial number: 261206033129, model 2021 | ";
    // The serial number in the one form a technician labels the module with;
    // after 247 the next address is the lowest one not given.
    QTest::newRow("a module at a rate not known") << QStringList{
        plan + "module=5@4800 target=19200 next=247 key=Return",
        "run=Commission; module=247@19200; serial=1a0c06031f1d; setup=1 60s 2026-12-06T03:36:29; steps=Find: address 5 at 4800 baud | "
        "Address: address 247 | Serial number: 261206033129, model 2021 | Logger setup: recording after setup, 1min | "
        "Baud rate: 19200 baud, 23.1 °C, 45.6 %RH | Report: appended | Result: ok; counter=This batch: 1 done, 0 failed; next=1; port=9600; "
        "reported=2026-12-06T03:31:29+01:00,5,4800,247,19200,261206033129,2021,recording,after setup,2026-12-06T03:36:29+01:00,60,"
        "23.1,45.6,10.3,15.8,ok,,; boxes="};
    QTest::newRow("a setup not acknowledged") << QStringList{
        plan + "noSetupAck press=pushButtonRun press=pushButtonBus press=pushButtonScan",
        "run=Commission; steps=" + found + "Logger setup: recording after setup, 1min (not confirmed) | Logger setup: failed, no answer | "
        "Report: appended | Result: failed at Logger setup; counter=This batch: 0 done, 1 failed; next=12; reported=2026-12-06T03:31:29+01:00,1,9600,12,,261206033129,2021,"
        "recording (not confirmed),after setup (not confirmed),2026-12-06T03:36:29+01:00 (not confirmed),60 (not confirmed),,,,,failed,"
        "logger_setup,no answer; "
        "boxes=Error: The line is busy with commissioning. Stop it first."};
    // Nothing is written where a module in service may hear it.
    QTest::newRow("modules at two rates") << QStringList{
        plan + "line=1,9@19200 press=pushButtonRun",
        "run=Commission; counter=This batch: 0 done, 1 failed; modules=1@9600 180b14091e2d, 9@19200 180b14091e2e; "
        "reported=2026-12-06T03:31:29+01:00,,,,,,,,,,,,,,,failed,find,More than one module answers (at 9600 and 19200 baud): keep only "
        "the one to commission on the line.; "
        "boxes=Error: More than one module answers (at 9600 and 19200 baud): keep only the one to commission on the line."};
    // Two modules that answer apart both hear address 0: nothing is written.
    QTest::newRow("two modules at one rate") << QStringList{
        plan + "line=1,5~40 press=pushButtonRun",
        "run=Commission; modules=1@9600 180b14091e2d, 5@9600 180b14091e2e; steps=Find: failed, Two modules answer at 9600 baud (the second "
        "<n> ms after the first): keep only the one to commission on the line. | Report: appended | Result: failed at Find; boxes=Error: Two modules answer at 9600 "
        "baud (the second <n> ms after the first): keep only the one to commission on the line."};
    // The module not swapped: asked, No at first, and nothing written.
    QTest::newRow("the same module again") << QStringList{
        plan + "press=pushButtonRun until=run=Commission clock=2026-12-06T03:31:30 decline press=pushButtonRun",
        "run=Commission; counter=This batch: 1 done, 0 failed; module=12@9600; next=13; steps=Find: address 12 at 9600 baud | "
        "Address: declined: commissioned a moment ago | Report: appended | Result: stopped at Address; "
        "reported=2026-12-06T03:31:30+01:00,12,9600,,,,,,,,,,,,,stopped,address,declined: commissioned a moment ago; "
        "boxes=Commission: This module was commissioned a moment ago (address 12). Commission it again?"};
    // Closed while that is asked: asked to stop once it is answered.
    QTest::newRow("closed while the same module is asked about") << QStringList{
        plan + "press=pushButtonRun until=run=Commission clock=2026-12-06T03:31:30 hold=300 press=pushButtonRun "
        "until=steps=Find:_address_12_at_9600_baud closeCommission",
        "run=Commission; reported=2026-12-06T03:31:30+01:00,12,9600,,,,,,,,,,,,,stopped,address,; "
        "boxes=Commission: This module was commissioned a moment ago (address 12). Commission it again? / "
        "Commission: A module is being commissioned (step: Address). Stop the run?"};
    // Closed mid-run, on a question answered Yes: the row says where it
    // stopped, and that the write on the line may have been taken.
    QTest::newRow("quit mid-run") << QStringList{
        plan + "delay=150 press=pushButtonRun until=steps=Find:_address_1_at_9600_baud_|_Address:_address_12 quit",
        "run=Commission; module=12@9600; reported=2026-12-06T03:31:29+01:00,1,9600,12,,261206033129 (not confirmed),,,,,,,,,,stopped,"
        "serial_number,; boxes=Commission: A module is being commissioned (step: Serial number). Stop the run?"};
    // While it is asked, the answer on the line is taken and nothing more is
    // sent: 7 requests to find the module, and its address.
    QTest::newRow("the stop question holds the run") << QStringList{
        plan + "delay=150 press=pushButtonRun until=steps=Find:_address_1_at_9600_baud hold=400 closeCommission",
        "run=Commission; tx=8; steps=Find: address 1 at 9600 baud | Address: address 12 | Report: appended | Result: stopped at Address; "
        "reported=2026-12-06T03:31:29+01:00,1,9600,12,,,,,,,,,,,,stopped,address,; "
        "boxes=Commission: A module is being commissioned (step: Address). Stop the run?"};
    // A module that takes a moment to follow its new rate is read there again.
    // The main window follows the module it reads, and waits for a reading there.
    QTest::newRow("a module slow to follow its new rate") << QStringList{
        plan + "press=poll until=rx=2 switchDelay=200 target=19200 press=pushButtonRun",
        "run=Commission; module=12@19200; counter=This batch: 1 done, 0 failed; field=12; combo=19200; port=19200; shown=---,---,---,---; boxes=",
        "press=poll", "shown=23.1℃,45.6%,10.3℃,15.8℃"};
    // One that never answers there has taken the rate all the same.
    QTest::newRow("a module silent at its new rate") << QStringList{
        plan + "switchDelay=2000 target=19200 press=pushButtonRun",
        "run=Commission; reported=2026-12-06T03:31:29+01:00,1,9600,12,19200,261206033129,2021,recording,after setup,"
        "2026-12-06T03:36:29+01:00,60,,,,,failed,baud_rate,no answer"};
    // A port that dies under a run fails it, and says so where the run is told.
    QTest::newRow("the port dies mid-run") << QStringList{
        plan + "delay=150 press=pushButtonRun until=steps=Find:_address_1_at_9600_baud dies",
        "run=Commission; steps=Find: address 1 at 9600 baud | Address: address 12 (not confirmed) | Address: failed, The serial port <port> "
        "stopped working: <reason> | Report: appended | Result: failed at Address; reported=2026-12-06T03:31:29+01:00,1,9600,12 (not confirmed),,,,,,,,,,,,failed,address,"
        "The serial port <port> stopped working: <reason>; "
        "boxes=Error: The serial port <port> stopped working: <reason>"};
    QTest::newRow("a report that cannot be written") << QStringList{
        "linked press=pushButtonCommission saveAs=/proc/report.csv press=pushButtonRun",
        "run=Commission; probes=1; boxes=Error: The file /proc/report.csv cannot be written: No such file or directory"};
}

QTEST_MAIN(TestLine)
#include "tst_line.moc"
