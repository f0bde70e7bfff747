// The data-logger side of a technician's session against the simulated
// module: serial number, recording setup and settings, what a silent module
// brings, polling around it, and the long frame.
#include "e2esupport.h"

#include "app/clock.h"
#include "app/uartdata.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest>

namespace {

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// Log entries whose frame is a logger frame (hex after the direction mark).
QStringList loggerEntries(Widget *w)
{
    QStringList found;
    for (const QString &line : WidgetAccess::logLines(w)) {
        if (line.section(QLatin1Char(' '), -1).startsWith(QLatin1String("7b22")))
            found << line;
    }
    return found;
}

// 2026-01-01 00:00:00 UTC, the moment of the worked setup frames below.
QDateTime newYear2026()
{
    return QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).toLocalTime();
}

// Recording from the start time, 60 s, start an hour after newYear2026().
const char *const kSetupTimed = "7B 22 4A 1D 69 55 B9 00 00 00 40 00 00 00 00 FF FF 00 3C "
                                "03 20 01 40 03 20 01 40 69 55 C7 10 00 00 B5 22 7D";

bool inWindow(qint64 elapsed, int ms)
{
    // Coarse timers may fire up to 5 % early; a loaded machine runs late.
    return elapsed >= ms * 9 / 10 && elapsed <= ms + 450;
}

} // namespace

class TestLoggerE2e : public QObject, ModuleBench
{
    Q_OBJECT

    QStringList linkLog; // the probe and its reply

    void chooseRecording(bool monitorOnly, int startMode, const QString &rate, const QDateTime &start)
    {
        ui->sample_ratecomboBox->setCurrentText(rate);
        ui->recmodecomboBox->setCurrentIndex(startMode);
        ui->dateTimeEditstarttime->setDateTime(start);
        if (monitorOnly)
            ui->radioButtonRealmonitoring->click();
        else
            ui->radioButtonRecord->click();
    }

private slots:
    void init()
    {
        setClockForTesting({});
        QVERIFY(start());
        link(QStringLiteral("9600"));
        // The probe's watchdog is left running: every logger request but the
        // setup restarts it, and the probe's reply has already been counted.
        QTRY_COMPARE(ui->lineEditAddress->text(), QStringLiteral("1"));
        linkLog = WidgetAccess::logLines(w);
        QCOMPARE(linkLog.size(), 2);
    }
    void cleanup()
    {
        stop();
        setClockForTesting({});
    }

    void readSerialNumber_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QString>("shown");
        QTest::newRow("at once") << 3105 << bytes("18 0B 14 09 1E 2D") << 0 << 1
                                 << QStringLiteral("180b14091e2d");
        QTest::newRow("late, in pieces") << 42 << bytes("01 02 0A 63 00 FF") << 300 << 4
                                         << QStringLiteral("01020a6300ff");
    }
    void readSerialNumber()
    {
        QFETCH(int, model);
        QFETCH(QByteArray, serial);
        QFETCH(int, delayMs);
        QFETCH(int, pieces);
        QFETCH(QString, shown);
        QVERIFY(sim->setLoggerModel(model));
        QVERIFY(sim->setSerialBytes(serial));
        sim->setReplyDelay(delayMs);
        sim->setSplit(pieces, 25);
        QSignalSpy heard(sim, &modsim::ModuleSim::loggerFrameHeard);

        ui->pushButtonReadSN->click();
        QTRY_COMPARE(ui->lineEditSN->text(), shown);
        QCOMPARE(UartData.LoggerModel, model);
        QCOMPARE(heard.count(), 1);
        QCOMPARE(heard.at(0).at(0).toByteArray(), bytes("7B 22 0A 00 0A 22 7D"));
        // The 500 ms watchdog runs out quietly.
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }

    void autoSetupWritesTheClockThenReadsBack()
    {
        setClockForTesting([] { return QDateTime(QDate(2026, 12, 6), QTime(3, 31, 29)); });
        QSignalSpy heard(sim, &modsim::ModuleSim::loggerFrameHeard);
        ui->pushButtonAUTO->click();
        QVERIFY(heard.wait(1000));
        QCOMPARE(heard.at(0).at(0).toByteArray(), bytes("7B 22 AA 07 00 1A 0C 06 03 1F 1D 1C 22 7D"));
        QCOMPARE(sim->serialBytes(), bytes("1A 0C 06 03 1F 1D"));
        QCOMPARE(int(sim->serialPrefix()), 0);
        // The short acknowledgement counts as a reply for the 1500 ms watchdog.
        QTRY_VERIFY_WITH_TIMEOUT(!WidgetAccess::timerResponse(w)->isActive(), 2500);
        QCOMPARE(boxes->count(), 0);

        ui->pushButtonReadSN->click();
        QTRY_COMPARE(ui->lineEditSN->text(), QStringLiteral("1a0c06031f1d"));
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }

    void manualSetup_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("stored");
        // Pairs are read as decimal: the hex the window shows does not survive.
        QTest::newRow("hex as shown") << QStringLiteral("1a0c06031f1d")
                                      << bytes("7B 22 AA 07 00 00 00 06 03 00 00 BA 22 7D")
                                      << bytes("00 00 06 03 00 00");
        QTest::newRow("decimal pairs") << QStringLiteral("261206033129")
                                       << bytes("7B 22 AA 07 00 1A 0C 06 03 1F 1D 1C 22 7D")
                                       << bytes("1A 0C 06 03 1F 1D");
        QTest::newRow("one pair") << QStringLiteral("12")
                                  << bytes("7B 22 AA 07 00 0C 00 00 00 00 00 BD 22 7D")
                                  << bytes("0C 00 00 00 00 00");
    }
    void manualSetup()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, stored);
        QSignalSpy heard(sim, &modsim::ModuleSim::loggerFrameHeard);
        ui->lineEditSN->setText(text);
        ui->pushButtonMANU->click();
        QVERIFY(heard.wait(1000));
        QCOMPARE(heard.count(), 1);
        QCOMPARE(heard.at(0).at(0).toByteArray(), frame);
        QCOMPARE(sim->serialBytes(), stored);
        QTRY_COMPARE(UartData.ReplyReceived, quint8(1));
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }

    void setupFrame_data()
    {
        QTest::addColumn<bool>("monitorOnly");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<int>("startAfter");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("interval");
        QTest::newRow("timing start, 1min") << false << 1 << QStringLiteral("1min") << 3600
                                            << bytes(kSetupTimed) << 2 << 60;
        QTest::newRow("after setup, 24h")
            << false << 0 << QStringLiteral("24h") << 300
            << bytes("7B 22 4A 1D 69 55 B9 00 00 00 20 00 00 00 00 FF FF AF C8 "
                     "03 20 01 40 03 20 01 40 69 55 BA 2C 00 00 DF 22 7D")
            << 1 << 45000;
        // The start time goes out even when only monitoring.
        QTest::newRow("monitor only, 1S")
            << true << 1 << QStringLiteral("1S") << 60
            << bytes("7B 22 4A 1D 69 55 B9 00 00 00 60 00 00 00 00 FF FF 00 01 "
                     "03 20 01 40 03 20 01 40 69 55 B9 3C 00 00 B8 22 7D")
            << 3 << 1;
    }
    void setupFrame()
    {
        QFETCH(bool, monitorOnly);
        QFETCH(int, startMode);
        QFETCH(QString, rate);
        QFETCH(int, startAfter);
        QFETCH(QByteArray, frame);
        QFETCH(int, mode);
        QFETCH(int, interval);
        const QDateTime now = newYear2026();
        setClockForTesting([now] { return now; });
        chooseRecording(monitorOnly, startMode, rate, now.addSecs(startAfter));
        QSignalSpy heard(sim, &modsim::ModuleSim::loggerFrameHeard);

        ui->pushButtonSetup->click();
        QVERIFY(heard.wait(1000));
        QCOMPARE(heard.count(), 1);
        QCOMPARE(heard.at(0).at(0).toByteArray(), frame);
        QCOMPARE(sim->recordMode(), mode);
        QCOMPARE(int(sim->sampleInterval()), interval);
        QCOMPARE(sim->setupClock(), quint32(now.toSecsSinceEpoch()));
        QCOMPARE(sim->recordStart(), quint32(now.toSecsSinceEpoch() + startAfter));
        // The module's settings reply is the acknowledgement.
        QTRY_COMPARE(UartData.SettingAck, quint8(1));
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }

    void readSettings_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<bool>("editorEnabled");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<int>("startModeBefore");
        // Before each read: only monitoring, "2S", and the other start mode.
        QTest::newRow("timing start, 24h") << 2 << 45000 << true << 1 << true << QStringLiteral("24h") << 0;
        QTest::newRow("after setup, 10min") << 1 << 600 << true << 0 << false << QStringLiteral("10min") << 1;
        QTest::newRow("monitor only, 2h") << 3 << 7200 << false << 1 << false << QStringLiteral("2h") << 1;
        QTest::newRow("interval not in the list") << 2 << 7 << true << 1 << true << QStringLiteral("2S") << 0;
    }
    void readSettings()
    {
        QFETCH(int, mode);
        QFETCH(int, interval);
        QFETCH(bool, recording);
        QFETCH(int, startMode);
        QFETCH(bool, editorEnabled);
        QFETCH(QString, rate);
        QFETCH(int, startModeBefore);
        QVERIFY(sim->setRecordMode(mode));
        sim->setSampleInterval(quint16(interval));
        chooseRecording(true, startModeBefore, QStringLiteral("2S"), currentDateTime().addSecs(600));
        QSignalSpy heard(sim, &modsim::ModuleSim::loggerFrameHeard);

        ui->pushButtonReadRecord->click();
        QTRY_COMPARE(UartData.SampleRate, interval);
        QCOMPARE(heard.count(), 1);
        QCOMPARE(heard.at(0).at(0).toByteArray(), bytes("7B 22 1A 00 1A 22 7D"));
        QCOMPARE(int(UartData.RecordMode), mode);
        QCOMPARE(ui->radioButtonRecord->isChecked(), recording);
        QCOMPARE(ui->radioButtonRealmonitoring->isChecked(), !recording);
        QCOMPARE(ui->recmodecomboBox->currentIndex(), startMode);
        QCOMPARE(ui->recmodecomboBox->isEnabled(), recording);
        QCOMPARE(ui->dateTimeEditstarttime->isEnabled(), editorEnabled);
        QCOMPARE(ui->sample_ratecomboBox->currentText(), rate);
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }

    void readLocksTheRecordButtonsForTwoSeconds()
    {
        QElapsedTimer clock;
        clock.start();
        ui->pushButtonReadRecord->click();
        QVERIFY(!ui->pushButtonReadRecord->isEnabled());
        QVERIFY(!ui->pushButtonSetup->isEnabled());
        QTRY_COMPARE(ui->sample_ratecomboBox->currentText(), QStringLiteral("1min"));
        QVERIFY(!ui->pushButtonReadRecord->isEnabled());
        QVERIFY(!ui->pushButtonSetup->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(ui->pushButtonReadRecord->isEnabled(), 3000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(inWindow(elapsed, 2000), qPrintable(QString::number(elapsed)));
        QVERIFY(ui->pushButtonSetup->isEnabled());
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }

    // Reading goes on around a setup: the box, the unlock, then the polls.
    void setupWhilePolling()
    {
        const QDateTime now = newYear2026();
        setClockForTesting([now] { return now; });
        chooseRecording(false, 1, QStringLiteral("1min"), now.addSecs(3600));

        // Clicked right after the first poll's reply was shown, so that no
        // reply is on its way when the setup goes out.
        ui->pushButtonRead->click();
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(231, 456, 103, 158), 2500);

        QElapsedTimer clock;
        QList<qint64> pollTimes;
        connect(sim, &modsim::ModuleSim::requestHeard, this, [&] { pollTimes << clock.elapsed(); });
        QSignalSpy heard(sim, &modsim::ModuleSim::loggerFrameHeard);
        clock.start();
        ui->pushButtonSetup->click();
        QVERIFY(!ui->pushButtonSetup->isEnabled());
        QVERIFY(!ui->pushButtonReadRecord->isEnabled());
        QVERIFY(heard.wait(1000));
        QCOMPARE(heard.at(0).at(0).toByteArray(), bytes(kSetupTimed));

        QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 2500);
        const qint64 boxAt = clock.elapsed();
        QVERIFY2(inWindow(boxAt, 1000), qPrintable(QString::number(boxAt)));
        QCOMPARE(boxes->seen().at(0).title, QStringLiteral("Succeed"));
        QCOMPARE(boxes->seen().at(0).text, QStringLiteral("Setting succeed!"));
        QCOMPARE(boxes->seen().at(0).parent, w);

        QTRY_VERIFY_WITH_TIMEOUT(ui->pushButtonSetup->isEnabled(), 2500);
        const qint64 unlockedAt = clock.elapsed();
        QVERIFY2(inWindow(unlockedAt, 2000), qPrintable(QString::number(unlockedAt)));
        QVERIFY(ui->pushButtonReadRecord->isEnabled());

        QTRY_COMPARE_WITH_TIMEOUT(pollTimes.size(), 1, 2500);
        QVERIFY2(inWindow(pollTimes.at(0), 3000), qPrintable(QString::number(pollTimes.at(0))));
        sim->setValues(250, 612, 170, 201);
        QTRY_VERIFY_WITH_TIMEOUT(labelsShow(250, 612, 170, 201), 2500);
        QVERIFY(pollTimes.size() >= 2);
        const qint64 gap = pollTimes.at(1) - pollTimes.at(0);
        QVERIFY2(inWindow(gap, 1000), qPrintable(QString::number(gap)));

        QCOMPARE(boxes->count(), 1);
        QVERIFY(!WidgetAccess::timerSettingResponse(w)->isActive());
        QCOMPARE(loggerEntries(w), QStringList());
    }

    void silentModule_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("afterMs");
        QTest::newRow("setup") << QStringLiteral("pushButtonSetup") << QStringLiteral("Failed")
                               << QStringLiteral("Setting failed, please try again!") << 1000;
        QTest::newRow("serial-number read") << QStringLiteral("pushButtonReadSN") << QStringLiteral("Error")
                                            << QStringLiteral("Communication error!") << 500;
        QTest::newRow("serial-number write") << QStringLiteral("pushButtonAUTO") << QStringLiteral("Error")
                                             << QStringLiteral("Communication error!") << 1500;
    }
    void silentModule()
    {
        QFETCH(QString, button);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(int, afterMs);
        auto *push = w->findChild<QPushButton *>(button);
        QVERIFY(push);
        chooseRecording(false, 0, QStringLiteral("1S"), currentDateTime().addSecs(600));
        sim->setSilent(true);
        QSignalSpy heard(sim, &modsim::ModuleSim::loggerFrameHeard);

        QElapsedTimer clock;
        clock.start();
        push->click();
        QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, afterMs + 1000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(inWindow(elapsed, afterMs), qPrintable(QString::number(elapsed)));
        QCOMPARE(boxes->seen().at(0).title, title);
        QCOMPARE(boxes->seen().at(0).text, text);
        QCOMPARE(boxes->seen().at(0).parent, w);
        QCOMPARE(heard.count(), 1);
        // Nothing is left that could report it a second time.
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QVERIFY(!WidgetAccess::timerSettingResponse(w)->isActive());
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }

    void longFrameCountsAsAReply()
    {
        sim->setLongFrame(true);
        ui->lineEditSN->setText(QStringLiteral("unchanged"));
        QSignalSpy sent(sim, &modsim::ModuleSim::replySent);
        ui->pushButtonReadSN->click();
        QVERIFY(sent.wait(1000));
        QCOMPARE(sent.at(0).at(0).toByteArray().size(), modsim::ModuleSim::LongFrameSize);
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(UartData.ReplyReceived, quint8(1));
        QCOMPARE(ui->lineEditSN->text(), QStringLiteral("unchanged"));
        QCOMPARE(WidgetAccess::logLines(w), linkLog);
    }
};

QTEST_MAIN(TestLoggerE2e)
#include "tst_logger_e2e.moc"
