// The adapter pulled out from under the program: the simulated module's side
// of the pseudo-terminal closes in the middle of the work.
#include "e2esupport.h"

#include "app/uartdata.h"

#include <QSerialPort>
#include <QtTest>

class TestLostPort : public QObject, ModuleBench
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(start()); }
    void cleanup() { stop(); }

    void pulled_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("polling") << "polling";
        QTest::newRow("AUTO search") << "search";
        QTest::newRow("baud change") << "baud";
    }
    void pulled()
    {
        QFETCH(QString, during);
        const QString port = sim->portPath();
        if (during == QLatin1String("search")) {
            // The module sits at the last rate; the first probe at 115200 is
            // heard as noise, and the line dies right then.
            sim->setBaudRate(1200);
            connect(sim, &modsim::ModuleSim::discarded, sim, &modsim::ModuleSim::stop,
                    Qt::QueuedConnection);
            link(QStringLiteral("AUTO"));
        } else {
            link(QStringLiteral("9600"));
            QTRY_COMPARE(ui->lineEditAddress->text(), QStringLiteral("1"));
            QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
            if (during == QLatin1String("polling")) {
                ui->pushButtonRead->click();
                QTRY_COMPARE_WITH_TIMEOUT(ui->labelTemperature->text(),
                                          QStringLiteral("Temperature:23.1") + QChar(0x2103), 2500);
                sim->stop();
            } else {
                connect(sim, &modsim::ModuleSim::baudRateChanged, sim, &modsim::ModuleSim::stop,
                        Qt::QueuedConnection);
                ui->comboBoxBaudRate->setCurrentText(QStringLiteral("19200"));
                ui->pushButtonBaudRate->click();
            }
        }

        QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 3000);
        QCOMPARE(boxes->seen().first().title, QStringLiteral("Error"));
        const QString prefix = QStringLiteral("The serial port %1 stopped working: ").arg(port);
        QVERIFY2(boxes->seen().first().text.startsWith(prefix), qPrintable(boxes->seen().first().text));
        QVERIFY(boxes->seen().first().text.size() > prefix.size());
        QVERIFY(!WidgetAccess::port(w)->isOpen());
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Read"));
        QVERIFY(!WidgetAccess::timerAutoUart(w)->isActive());
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QVERIFY(!WidgetAccess::timerHumiture(w)->isActive());
        QCOMPARE(UartData.BaudSetPending, quint8(0));

        // Told once; nothing more goes out on the dead line.
        const int sent = logCount("->TX");
        QSignalSpy ticks(WidgetAccess::timerHumiture(w), &QTimer::timeout);
        QSignalSpy steps(WidgetAccess::timerAutoUart(w), &QTimer::timeout);
        QVERIFY(!ticks.wait(1200));
        QCOMPARE(steps.count(), 0);
        QCOMPARE(logCount("->TX"), sent);
        QCOMPARE(boxes->count(), 1);

        // Plugged back in: Link works again.
        delete sim;
        sim = new modsim::ModuleSim;
        QVERIFY(sim->start());
        sim->setAddress(5);
        sim->setBaudRate(9600);
        ui->lineEditAddress->clear();
        link(QStringLiteral("9600"));
        QTRY_COMPARE(ui->lineEditAddress->text(), QStringLiteral("5"));
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 1);
    }
};

QTEST_MAIN(TestLostPort)
#include "tst_lostport.moc"
