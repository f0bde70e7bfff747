// The simulated module as a third-party Modbus client (mbpoll) finds it: it
// reads and writes its registers, and is heard only at the module's rate and
// with one stop bit (data bits and parity do not cross a pseudo-terminal).
#include "tools/modsim/modulesim.h"

#include <QtTest>

class TestModSim : public QObject
{
    Q_OBJECT
private slots:
    void mbpoll_data()
    {
        QTest::addColumn<QString>("options"); // mbpoll's, around the port
        QTest::addColumn<QString>("expected"); // registers read, then the module's address
        QTest::newRow("read") << "-t 4:hex -r 0 -c 5 -b 9600 PORT" << "-37 655 -71 -52 0 @1";
        QTest::newRow("write the address") << "-t 4 -r 256 -b 9600 PORT 12" << "@12";
        QTest::newRow("another rate") << "-t 4:hex -r 0 -c 5 -b 19200 PORT" << "@1";
        QTest::newRow("two stop bits") << "-t 4:hex -r 0 -c 5 -b 9600 -s 2 PORT" << "@1";
    }
    void mbpoll()
    {
        QFETCH(QString, options);
        QFETCH(QString, expected);
        modsim::ModuleSim sim;
        QVERIFY(sim.start());
        sim.setValues(-37, 655, -71, -52);
        const QStringList args = ("-m rtu -a 1 -0 -1 -o 0.5 -P none " + options).split(' ').replaceInStrings("PORT", sim.portPath());
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
        read << QStringLiteral("@%1").arg(sim.address());
        QVERIFY2(read.join(' ') == expected, qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestModSim)
#include "tst_modsim.moc"
