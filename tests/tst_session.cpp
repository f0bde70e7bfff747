// A technician's session against the simulated module: continuous reading,
// the address and baud-rate commands, a noisy line, closing while reading.
#include "e2esupport.h"

#include "app/uartdata.h"

#include <QSerialPort>
#include <QSet>
#include <QtTest>

class TestSession : public QObject, ModuleBench
{
    Q_OBJECT

private slots:
    // Linked at 9600 to the module at address 1, its address shown.
    void init()
    {
        QVERIFY(start());
        link(QStringLiteral("9600"));
        QTRY_COMPARE(ui->lineEditAddress->text(), QStringLiteral("1"));
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
    }
    void cleanup() { stop(); }

    void readAllThenStop()
    {
        QSignalSpy heard(sim, &modsim::ModuleSim::requestHeard);
        ui->pushButtonRead->click();
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(231, 456, 103, 158), 2500);
        QCOMPARE(heard.first().first().toByteArray().toHex(), QByteArray("01030000000585c9"));

        ui->pushButtonRead->click();
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Read"));
        heard.clear();
        QVERIFY(!heard.wait(1500));
        QCOMPARE(boxes->count(), 0);
    }

    void switchingToHumidityReadsOnlyHumidity()
    {
        ui->pushButtonRead->click();
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(231, 456, 103, 158), 2500);
        sim->setValues(250, 612, 170, 201);
        ui->comboBoxNum->setCurrentIndex(2);
        QTRY_COMPARE_WITH_TIMEOUT(ui->labelHumidity->text(), QStringLiteral("Humidity:61.2%"), 2500);
        QCOMPARE(ui->labelTemperature->text(), QStringLiteral("Temperature:---"));
        QCOMPARE(ui->labelDewTemp->text(), QStringLiteral("DewTemp:---"));
        QCOMPARE(ui->labelWetBulbTemp->text(), QStringLiteral("WetBulbTemp:---"));
        QCOMPARE(UartData.Temperature, qint16(231)); // not read again
        QSignalSpy heard(sim, &modsim::ModuleSim::requestHeard);
        QVERIFY(heard.wait(1500));
        QCOMPARE(heard.first().first().toByteArray().left(6).toHex(), QByteArray("010300010001"));
    }

    void addressReadShowsTheModulesAddress()
    {
        sim->setAddress(42);
        ui->lineEditAddress->setText(QStringLiteral("junk"));
        ui->pushButtonAddressRead->click();
        QTRY_COMPARE(ui->lineEditAddress->text(), QStringLiteral("42"));
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 0);
    }

    void addressWriteThenPollTheNewAddress()
    {
        QSignalSpy moved(sim, &modsim::ModuleSim::addressChanged);
        ui->lineEditAddress->setText(QStringLiteral("12"));
        ui->pushButtonAddress->click();
        QVERIFY(moved.wait(1000));
        QCOMPARE(moved.first().first().toInt(), 12);
        QTRY_COMPARE(UartData.Address, quint8(12));
        QCOMPARE(ui->lineEditAddress->text(), QStringLiteral("12"));

        QSignalSpy replies(sim, &modsim::ModuleSim::replySent);
        ui->pushButtonRead->click();
        QVERIFY(replies.wait(2500));
        QCOMPARE(replies.first().first().toByteArray().left(3).toHex(), QByteArray("0c030a"));
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(231, 456, 103, 158), 2500);
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 0);
    }

    void baudChangeFollowedByThePort()
    {
        ui->pushButtonRead->click();
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(231, 456, 103, 158), 2500);
        QSignalSpy rate(sim, &modsim::ModuleSim::baudRateChanged);
        ui->comboBoxBaudRate->setCurrentText(QStringLiteral("19200"));
        const int txBefore = logCount("->TX");
        ui->pushButtonBaudRate->click();
        QCOMPARE(UartData.BaudRate, 19200);
        QCOMPARE(WidgetAccess::port(w)->baudRate(), 9600); // not before the echo is judged
        QVERIFY(rate.wait(1000));
        QCOMPARE(rate.first().first().toInt(), 19200);
        QTRY_COMPARE(WidgetAccess::port(w)->baudRate(), 19200);
        QCOMPARE(UartData.BaudSetPending, quint8(0));
        // Only the baud write went out: the reopened port sends no probe.
        QCOMPARE(logCount("->TX"), txBefore + 1);

        sim->setValues(199, 300, 12, 80);
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(199, 300, 12, 80), 2500);
        QCOMPARE(boxes->count(), 0);
    }

    void baudChangeToASilentModule()
    {
        sim->setSilent(true);
        ui->comboBoxBaudRate->setCurrentText(QStringLiteral("19200"));
        ui->pushButtonBaudRate->click();
        QTRY_COMPARE(boxes->count(), 1);
        QCOMPARE(boxes->seen().first().text, QStringLiteral("Communication error!"));
        QCOMPARE(WidgetAccess::port(w)->baudRate(), 9600);
        QCOMPARE(UartData.BaudRate, 19200);
        QCOMPARE(UartData.BaudSetPending, quint8(0));
    }

    // Noise, split replies and a stray byte: polling goes on and no value is
    // ever shown that the module did not send.
    void noisyLine()
    {
        sim->setDrift(true);
        sim->setDriftInterval(200);
        sim->setNoise(true);
        sim->setSplit(3, 40);
        QSet<QString> sent;
        auto remember = [&] {
            sent << "Temperature:" + celsius(sim->temperature());
        };
        remember();
        connect(sim, &modsim::ModuleSim::valuesChanged, this, remember);
        QStringList shown;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            const QString t = ui->labelTemperature->text();
            if (t != QStringLiteral("Temperature:") && (shown.isEmpty() || shown.last() != t))
                shown << t;
        });
        sampler.start(10);

        ui->pushButtonRead->click();
        QSignalSpy replies(sim, &modsim::ModuleSim::replySent);
        QTRY_VERIFY_WITH_TIMEOUT(replies.count() >= 5, 8000);
        sim->setExtraByte(true);
        const int rxBefore = logCount("->RX");
        QTRY_VERIFY_WITH_TIMEOUT(replies.count() >= 8, 6000);
        QCOMPARE(logCount("->RX"), rxBefore); // a frame plus a byte is no frame
        sim->setExtraByte(false);
        sim->setNoise(false);
        QTRY_VERIFY_WITH_TIMEOUT(logCount("->RX") > rxBefore, 3000);
        sampler.stop();

        QVERIFY(!shown.isEmpty());
        for (const QString &t : shown)
            QVERIFY2(sent.contains(t), qPrintable(t));
    }

    // Last: once the application was told to quit, Qt lets no event loop
    // (not even a dialog's) run again in this process.
    void closeWhileReadingSendsNothingMore()
    {
        ui->pushButtonRead->click();
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(231, 456, 103, 158), 2500);
        QSignalSpy heard(sim, &modsim::ModuleSim::requestHeard);
        QEventLoop loop;
        QTimer::singleShot(0, this, [this] { ui->pushButtonClose->click(); });
        QCOMPARE(loop.exec(), 0); // Close ended the event loop...
        delete w;                 // ...and the program destroys its window on the way out.
        w = nullptr;
        QVERIFY(!heard.wait(1500));
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
