// End to end on a line of several modules: the bus window's scan and watch,
// the real windows linked to the simulated line on a pseudo-terminal.
#include "fixture.h"

#include <QtTest>

class TestLine : public QObject
{
    Q_OBJECT
    Bench b;

private slots:
    void init() { QVERIFY(b.open()); }
    void cleanup() { b.close(); }

    // Scenes (see Bench::given) and the states they reach, in turn.
    void bus_data();
    void bus()
    {
        QFETCH(QStringList, steps);
        for (int i = 0; i + 1 < steps.size(); i += 2) {
            b.given(steps[i]);
            b.reach(steps[i + 1], 6000);
            QCOMPARE(b.state(steps[i + 1]), steps[i + 1]);
        }
    }
};

void TestLine::bus_data()
{
    QTest::addColumn<QStringList>("steps");
    // Modules 1, 3 and 3 at the link's rate, 9 at another.
    const QString line = "linked line=1,3,3,9@19200 press=pushButtonBus ";
    const QString one = "1@9600 23.1℃,45.6%,10.3℃,15.8℃ ";
    const QString two = "3@9600 ,,, Garbled reply: two modules at this address? 0/0";
    QTest::newRow("scan") << QStringList{
        line + "range=1-10 press=pushButtonScan", "scan=Stop",
        "", "rows=" + one + "Answers 0/0 | " + two + "; progress=10 of 10 addresses, 2 modules found; scan=Scan; tx=11; rx=2"};
    QTest::newRow("scan all rates") << QStringList{
        line + "range=1-10 allRates press=pushButtonScan",
        "rows=9@19200 23.4℃,45.6%,10.3℃,15.8℃ Answers 0/0 | " + one + "Answers 0/0 | " + two
            + "; progress=60 of 60 addresses, 3 modules found; port=9600; boxes="};
    QTest::newRow("watch, a module stopped and started") << QStringList{
        line + "range=1-9 allRates press=pushButtonScan until=scan=Scan untick=2 press=pushButtonWatch",
        "watching=Stop watching; rows=9@19200 23.4℃,45.6%,10.3℃,15.8℃ Answers 0/0 | " + one + "Answers 2/0 | " + two,
        "mute=0", "rows=9@19200 23.4℃,45.6%,10.3℃,15.8℃ Answers 0/0 | " + one + "Silent since <time> 5/3 | " + two,
        "unmute=0", "rows=9@19200 23.4℃,45.6%,10.3℃,15.8℃ Answers 0/0 | " + one + "Answers 6/3 | " + two,
        "press=pushButtonWatch", "watching=Watch; boxes="};
    // One line, one master.
    QTest::newRow("the main window during a watch") << QStringList{
        line + "press=pushButtonRead range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch", "read=Read",
        "press=pushButtonAddressRead press=pushButtonRead",
        "probes=1; read=Read; boxes=Error: The line is busy with the bus window. Stop it first. / "
        "Error: The line is busy with the bus window. Stop it first."};
    QTest::newRow("Link ends a watch") << QStringList{
        line + "range=1-1 press=pushButtonScan until=scan=Scan press=pushButtonWatch dialog=cancel press=pushButtonLink",
        "watching=Watch; port=closed; boxes="};
    QTest::newRow("no link") << QStringList{"press=pushButtonBus press=pushButtonScan",
                                            "scan=Scan; boxes=Error: The serial port is not open. Press Link first."};
}

QTEST_MAIN(TestLine)
#include "tst_line.moc"
