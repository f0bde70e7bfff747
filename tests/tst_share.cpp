// The gateway as a service runs it, its line shared: the simulated modules on
// a pseudo-terminal watched, and other masters (clients written here,
// mbpoll) reaching them through its listeners on 127.0.0.1.
#include "fixture.h"
#include "masters.h"

#include "bus/scan.h"
#include "share/modbus.h"

#include <QtTest>

class TestShare : public QObject
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

    // A scene (see Bench::given: a gateway on a line of modules at 23.1 +
    // n/10 ℃ each, its options) and steps: the clients' (see Masters),
    // "heard:N" until the modules heard N requests besides the watch's polls,
    // "said:TEXT" until the gateway said it, "polled:A" until the watch polls
    // address A once more, "between:N" at least N polls heard between the
    // first and the last of the clients' requests, "mbpoll:ARGS" mbpoll against the Modbus TCP port
    // (HOST the gateway's), else a scene's words; '_' for a blank. Then what
    // the clients heard, the addresses of what the modules heard besides the
    // watch's polls, and mbpoll's values or complaints.
    void share_data();
    void share()
    {
        QFETCH(QString, scene);
        b.given(scene);
        Masters masters(b.shared[0], b.shared[1]);
        const auto heard = [this] {
            QStringList asked;
            for (const QString &h : qAsConst(b.heard))
                if (!h.startsWith("00") && h.mid(3, 14) != "03 00 00 00 05")
                    asked << QString::number(h.left(2).toInt(nullptr, 16));
            return asked;
        };
        QStringList mbpoll;
        QFETCH(QString, steps);
        for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
            const QString arg = step.section(':', 1).replace('_', ' ');
            if (step.startsWith("heard:")) {
                QTRY_VERIFY(heard().size() >= arg.toInt());
            } else if (step.startsWith("said:")) {
                QVERIFY2(b.gateway->waitFor(arg), qPrintable(b.gateway->said()));
            } else if (step.startsWith("polled:")) {
                const QString poll = QString::fromLatin1(bus::measurementRead(quint8(arg.toInt())).toHex(' '));
                const int before = b.heard.count(poll);
                QTRY_VERIFY_WITH_TIMEOUT(b.heard.count(poll) > before, 5000);
            } else if (step.startsWith("between:")) {
                const auto polls = [this] {
                    int first = -1, last = -1, polls = 0;
                    for (int i = 0; i < b.heard.size(); ++i)
                        if (b.heard[i].mid(3, 14) != "03 00 00 00 05")
                            last = i, first = first < 0 ? i : first;
                    for (int i = first + 1; i < last; ++i)
                        polls += b.heard[i].mid(3, 14) == "03 00 00 00 05";
                    return polls;
                };
                QVERIFY2(polls() >= arg.toInt(), qPrintable(b.heard.join('\n')));
            } else if (step.startsWith("mbpoll:")) {
                QProcess p;
                p.setProcessChannelMode(QProcess::MergedChannels);
                QSignalSpy finished(&p, &QProcess::readChannelFinished); // the simulated line answers meanwhile
                p.start("mbpoll", ("-m tcp -p " + QString::number(b.shared[0]) + " -1 -o 2 " + arg).split(' ').replaceInStrings("HOST", "127.0.0.1"));
                if (!finished.wait(10000))
                    QSKIP("mbpoll (Debian package mbpoll) is not installed");
                const QString out = QString::fromLocal8Bit(p.readAll());
                for (auto it = QRegularExpression("^\\[\\d+\\]:\\s+(-?\\d+)$|failed: (.+)$", QRegularExpression::MultilineOption).globalMatch(out); it.hasNext();)
                    mbpoll << it.next().capturedTexts().mid(1).join("");
            } else if (!masters.run(step)) {
                b.given(step);
            }
        }
        QFETCH(QString, expected);
        QTRY_COMPARE_WITH_TIMEOUT(masters.transcript(), expected, 5000);
        QTEST(heard().join(' '), "heard");
        QTEST(mbpoll.join(' '), "mbpoll");
        QCOMPARE(b.gateway->stop(), 0);
    }
};

void TestShare::share_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("heard");
    QTest::addColumn<QString>("mbpoll");
    const auto rtuFrame = [](int unit, const char *pdu) { return QString::fromLatin1(share::rtuFrame(quint8(unit), QByteArray::fromHex(pdu)).toHex()); };
    // Module 7 silent at the end: its reads go to the line however long memory is kept.
    QTest::newRow("Modbus TCP: from the line, from memory, absent, unit 0, refused, unknown, the module's refusal, silent")
        << "pace line=1,7 gateway=--cache-ms_60000_--period_0.2"
        << "said:Module_7_answers. m1>7:0301000001 m1>7:0300000005 m1>9:0300000001 m1>0:0300000001 m1>7:0600020001 m1>7:11 m1>7:0400000001 "
           "m1>7:0300010002 m1>248:0300000001 m1?9 said:to_module_7,_function_6_at_0x0002:_refused_(exception_1). mute=1 "
           "said:Module_7_has_gone_silent. m1>7:0300000004"
        << "m1: 1 7 03020007, 2 7 030a00e801c80067009e0000, 3 9 830b, 4 0 830b, 5 7 8601, 6 7 9101, 7 7 8401, 8 7 030401c80067, 9 248 830b, 10 7 830b"
        << "7 7 7" << "";
    QTest::newRow("RTU over TCP: answered, a wrong CRC dropped, silence where no module is, the rest as over Modbus TCP")
        << "pace line=1,7 gateway=" << "r1>7:0301000001 r1>!0703010000010000 r1>9:0300000001 r1>0:0300000001 r1>7:0600020001 r1>1:0300000001"
        << "r1: " + rtuFrame(7, "03020007") + ", " + rtuFrame(0, "830b") + ", " + rtuFrame(7, "8601") + ", " + rtuFrame(1, "030200e7") << "7" << "";
    // The first, to a module gone silent, waits its whole wait: by then both
    // clients have asked. Reads of what the watch polls, none from memory.
    QTest::newRow("two clients interleaved, each answered in order")
        << "pace line=1,2,7,9 gateway=--answer-ms_300_--cache-ms_0"
        << "mute=3 m1>9:0301000001 heard:1 m1>1:0301000001 m1>7:0301000001 m2>2:0300000002 m2>7:0300000002 m2>1:0300000002"
        << "m1: 1 9 830b, 2 1 03020001, 3 7 03020007 | m2: 1 2 030400e801c8, 2 7 030400e901c8, 3 1 030400e701c8" << "9 2 1 7 7 1" << "";
    QTest::newRow("a write allowed, and the watch following the module")
        << "pace line=1,7 gateway=--allow-writes"
        << "m1>7:060100000c m1>12:0301000001 m1>1:060100000c m1>1:0601010005 said:to_module_7,_function_6_at_0x0100:_done. "
           "said:the_watch_follows_it. polled:12"
        << "m1: 1 7 060100000c, 2 12 0302000c, 3 1 8603, 4 1 8603" << "7 12" << "";
    QTest::newRow("two modules at one address: asked once more, then 0x04")
        << "pace line=1,5,5 gateway=" << "m1>5:0301000001" << "m1: 1 5 8304" << "5 5" << "";
    QStringList again;
    for (int i = 1; i <= 15; ++i)
        again << QStringLiteral("%1 7 03020007").arg(i);
    QTest::newRow("a client that asks again at once keeps the watch going")
        << "pace line=1@2400,7@2400 gateway=--baud_2400_--period_0.5_--answer-ms_40" << "said:Module_7_answers. m1*15>7:0301000001 m1?15 between:4"
        << "m1: " + again.join(", ") << QString("7 ").repeated(15).trimmed() << "";
    QTest::newRow("mbpoll") << "pace line=1,7 gateway=" << "mbpoll:-a_7_-t_4_-r_1_-c_5_HOST mbpoll:-a_7_-t_4_-r_3_HOST_5" << "" << ""
                            << "232 456 103 158 0 Illegal function";
}

QTEST_MAIN(TestShare)
#include "tst_share.moc"
