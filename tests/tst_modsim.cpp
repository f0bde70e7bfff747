// The simulated module as a third-party Modbus client (mbpoll) finds it: it
// reads and writes its registers, and is heard only at the module's rate.
#include "tools/modsim/modulesim.h"

#include <QtTest>

class TestModSim : public QObject
{
    Q_OBJECT
private slots:
    void mbpoll_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected"); // registers read, then the module's address
        QTest::newRow("read") << "-t 4:hex -r 0 -c 5 -b 9600" << "" << "-37 655 -71 -52 0 @1";
        QTest::newRow("write the address") << "-t 4 -r 256 -b 9600" << "12" << "@12";
        QTest::newRow("another rate") << "-t 4:hex -r 0 -c 5 -b 19200" << "" << "@1";
    }
    void mbpoll()
    {
        QFETCH(QString, options);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        modsim::ModuleSim sim;
        QVERIFY(sim.start());
        sim.setValues(-37, 655, -71, -52);
        QProcess mbpoll;
        mbpoll.setProcessChannelMode(QProcess::MergedChannels);
        QSignalSpy finished(&mbpoll, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        mbpoll.start(QStringLiteral("mbpoll"), QStringLiteral("-m rtu -a 1 -0 -1 -o 0.5 %1 %2 %3")
                                                   .arg(options, sim.portPath(), value).trimmed().split(' '));
        QVERIFY2(finished.wait(10000), "mbpoll (Debian package mbpoll) did not run");
        const QString out = QString::fromLocal8Bit(mbpoll.readAll());
        QStringList read;
        const QRegularExpression line(QStringLiteral("^\\[\\d+\\]:\\s+0x([0-9A-F]{4})$"),
                                      QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
        for (auto it = line.globalMatch(out); it.hasNext();)
            read << QString::number(qint16(it.next().captured(1).toUShort(nullptr, 16)));
        read << QStringLiteral("@%1").arg(sim.address());
        QVERIFY2(read.join(' ') == expected, qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestModSim)
#include "tst_modsim.moc"
