// The logger side: frames byte for byte, the decoder over buffers, the
// read-back settings in the record controls, and the workflows at a fixed clock.
#include "testsupport.h"

#include "app/clock.h"
#include "app/uartdata.h"
#include "protocol/logger.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A reply of `size` bytes framed 7B 22 <command> ... 22 7D, with `fill` at
// the given offsets.
QByteArray reply(quint8 command, int size, const QMap<int, quint8> &fill = {})
{
    QByteArray r(size, '\0');
    r[0] = '\x7B';
    r[1] = '\x22';
    r[2] = static_cast<char>(command);
    for (auto it = fill.begin(); it != fill.end() && it.key() < size - 2; ++it)
        r[it.key()] = static_cast<char>(it.value());
    r[size - 2] = '\x22';
    r[size - 1] = '\x7D';
    return r;
}

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT

    Widget *w = nullptr;
    Ui::Widget *ui = nullptr;
    MessageBoxCatcher *boxes = nullptr;

private slots:
    void init()
    {
        resetUartData();
        w = new Widget;
        ui = WidgetAccess::ui(w);
        boxes = new MessageBoxCatcher;
    }
    void cleanup()
    {
        setClockForTesting({});
        delete boxes;
        delete w;
    }

    void frames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("information request") << logger::infoRequest() << hex("7B220A000A227D");
        QTest::newRow("settings request") << logger::settingsRequest() << hex("7B221A001A227D");
        QTest::newRow("serial 261206033129")
            << logger::serialNumberWrite("261206033129", 0) << hex("7B22AA07001A0C06031F1D1C227D");
        QTest::newRow("serial 1234, 0x22 unescaped")
            << logger::serialNumberWrite("1234", 0) << hex("7B22AA07000C2200000000DF227D");
        QTest::newRow("read-back hex written back")
            << logger::serialNumberWrite("1a0c06031f1d", 0) << hex("7B22AA0700000006030000BA227D");
        QTest::newRow("empty serial") << logger::serialNumberWrite("", 0)
                                      << hex("7B22AA0700000000000000B1227D");
        QTest::newRow("setup, timing start")
            << logger::setupFrame(0x6955B900, 2, 60, 0x6955C710)
            << hex("7B224A1D6955B90000004000000000FFFF003C032001400320014069"
                   "55C7100000B5227D");
    }
    void frames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void setupFieldsAtTheirOffsets_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QByteArray>("modeByte");
        QTest::addColumn<QByteArray>("interval");
        QTest::newRow("after setup, 1S") << 1 << 1 << hex("20") << hex("0001");
        QTest::newRow("monitor only, 24h") << 3 << 45000 << hex("60") << hex("AFC8");
        QTest::newRow("timing start, 12h") << 2 << 43200 << hex("40") << hex("A8C0");
    }
    void setupFieldsAtTheirOffsets()
    {
        QFETCH(int, mode);
        QFETCH(int, seconds);
        QFETCH(QByteArray, modeByte);
        QFETCH(QByteArray, interval);
        const QByteArray frame = logger::setupFrame(1, static_cast<quint8>(mode),
                                                    static_cast<quint16>(seconds), 2);
        QCOMPARE(frame.size(), 36);
        QCOMPARE(frame.mid(10, 1), modeByte);
        QCOMPARE(frame.mid(17, 2), interval);
        quint8 sum = 0;
        for (int i = 2; i <= 32; ++i)
            sum = static_cast<quint8>(sum + static_cast<quint8>(frame[i]));
        QCOMPARE(static_cast<quint8>(frame[33]), sum);
    }

    void intervals()
    {
        const int seconds[16] = {1, 2, 5, 10, 20, 30, 60, 120, 300, 600, 1800, 3600, 7200,
                                 21600, 43200, 45000};
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(logger::sampleSecondsForIndex(i), seconds[i]);
            QCOMPARE(logger::indexForSampleSeconds(seconds[i]), i);
        }
        QCOMPARE(logger::indexForSampleSeconds(86400), -1);
        QCOMPARE(logger::indexForSampleSeconds(15), -1);
        QCOMPARE(logger::sampleSecondsForIndex(16), -1);
        QCOMPARE(logger::sampleSecondsForIndex(-1), -1);
    }

    // Buffers through the real reception path.
    void decoding_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("replied");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("ack");

        const QMap<int, quint8> info{{6, '2'}, {7, '0'}, {8, '2'}, {9, '1'}, {12, 0x1A},
                                     {13, 0x0C}, {14, 0x06}, {15, 0x03}, {16, 0x1F}, {17, 0x1D}};
        QTest::newRow("information reply") << QList<QByteArray>{reply(0x0C, 24, info)} << true
                                           << "1a0c06031f1d" << 2021 << 0 << 0 << false;
        QMap<int, quint8> letters = info;
        letters[7] = 'x';
        QTest::newRow("model not decimal") << QList<QByteArray>{reply(0x0C, 24, letters)} << true
                                           << "1a0c06031f1d" << 0 << 0 << 0 << false;
        QTest::newRow("short information reply")
            << QList<QByteArray>{reply(0x0C, 16, info)} << true << "1a0c227d" << 2021 << 0 << 0 << false;
        QTest::newRow("settings 0x40, 60 s")
            << QList<QByteArray>{reply(0x1C, 24, {{10, 0x40}, {17, 0x00}, {18, 0x3C}})} << true
            << "" << 0 << 2 << 60 << true;
        QTest::newRow("settings 0x60, 45000 s")
            << QList<QByteArray>{reply(0x1C, 24, {{10, 0x60}, {17, 0xAF}, {18, 0xC8}})} << true
            << "" << 0 << 3 << 45000 << true;
        QTest::newRow("settings 0x9F")
            << QList<QByteArray>{reply(0x1C, 24, {{10, 0x9F}})} << true << "" << 0 << 0 << 0 << true;
        QTest::newRow("settings cut short: missing bytes are 0")
            << QList<QByteArray>{reply(0x1C, 14, {{10, 0x20}})} << true << "" << 0 << 1 << 0 << true;
        QTest::newRow("7B 22 7D") << QList<QByteArray>{hex("7B227D")} << true << "" << 0 << 0 << 0
                                  << false;
        QByteArray longFrame = reply(0x2C, 135);
        longFrame[60] = '\x22';
        longFrame[61] = '\x7D';
        QTest::newRow("long frame, 62 bytes so far")
            << QList<QByteArray>{longFrame.left(62)} << false << "" << 0 << 0 << 0 << false;
        QTest::newRow("long frame complete")
            << QList<QByteArray>{longFrame.left(62), longFrame.mid(62)} << true << "" << 0 << 0 << 0
            << false;
        QTest::newRow("settings reply in two chunks")
            << QList<QByteArray>{reply(0x1C, 24, {{10, 0x20}, {18, 5}}).left(9),
                                 reply(0x1C, 24, {{10, 0x20}, {18, 5}}).mid(9)}
            << true << "" << 0 << 1 << 5 << true;
    }
    void decoding()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, replied);
        QFETCH(QString, serial);
        QFETCH(int, model);
        QFETCH(int, mode);
        QFETCH(int, seconds);
        QFETCH(bool, ack);
        QByteArray all;
        for (const QByteArray &chunk : chunks) {
            WidgetAccess::receive(w, chunk);
            all += chunk;
        }
        QCOMPARE(UartData.ReplyReceived, quint8(replied));
        QCOMPARE(UartData.SerialNumber, serial);
        QCOMPARE(ui->lineEditSN->text(), serial);
        QCOMPARE(UartData.LoggerModel, model);
        QCOMPARE(int(UartData.RecordMode), mode);
        QCOMPARE(UartData.SampleRate, seconds);
        QCOMPARE(UartData.SettingAck, quint8(ack));
        // Never in the traffic log, and left for the silence to clear.
        QVERIFY(WidgetAccess::logLines(w).isEmpty());
        QCOMPARE(UartData.RxBuffer, all);
        QVERIFY(WidgetAccess::timerClear(w)->isActive());
    }

    // Until its closing pair arrives a logger frame takes the RTU path, where
    // five bytes that happen to carry a valid CRC are an RTU reply.
    void unfinishedFrameTakesTheRtuPath()
    {
        WidgetAccess::readItem(w) = 257;
        WidgetAccess::receive(w, hex("7B220C00"));
        QCOMPARE(UartData.ReplyReceived, quint8(0));
        QCOMPARE(UartData.RxBuffer.size(), 4);
    }

    void showRecordSettings_data()
    {
        QTest::addColumn<bool>("monitoringBefore");
        QTest::addColumn<int>("startModeBefore");
        QTest::addColumn<QByteArray>("modeByte");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<bool>("editor");
        QTest::addColumn<bool>("combos");
        QTest::newRow("mode 1") << true << 1 << hex("20") << true << 0 << false << true;
        QTest::newRow("mode 2") << true << 0 << hex("40") << true << 1 << true << true;
        // The radios stay; the editor is disabled, then RecModeSelect enables it again.
        QTest::newRow("mode 3 over Recording, Timing Start")
            << false << 1 << hex("60") << true << 1 << true << true;
        QTest::newRow("mode 3 over monitoring") << true << 0 << hex("60") << false << 0 << false
                                                << false;
    }
    void showRecordSettings()
    {
        QFETCH(bool, monitoringBefore);
        QFETCH(int, startModeBefore);
        QFETCH(QByteArray, modeByte);
        QFETCH(bool, recording);
        QFETCH(int, startMode);
        QFETCH(bool, editor);
        QFETCH(bool, combos);
        ui->recmodecomboBox->setCurrentIndex(startModeBefore);
        (monitoringBefore ? ui->radioButtonRealmonitoring : ui->radioButtonRecord)->click();
        ui->sample_ratecomboBox->setCurrentIndex(4);
        WidgetAccess::receive(w, reply(0x1C, 24, {{10, quint8(modeByte[0])}, {18, 15}}));
        QCOMPARE(ui->radioButtonRecord->isChecked(), recording);
        QCOMPARE(ui->radioButtonRealmonitoring->isChecked(), !recording);
        QCOMPARE(ui->recmodecomboBox->currentIndex(), startMode);
        QCOMPARE(ui->dateTimeEditstarttime->isEnabled(), editor);
        QCOMPARE(ui->recmodecomboBox->isEnabled(), combos);
        QCOMPARE(ui->sample_ratecomboBox->isEnabled(), combos);
        QCOMPARE(ui->sample_ratecomboBox->currentIndex(), 4); // 15 s is no item
    }

    void settingsSelectTheInterval()
    {
        WidgetAccess::receive(w, reply(0x1C, 24, {{10, 0x20}, {17, 0xAF}, {18, 0xC8}}));
        QCOMPARE(ui->sample_ratecomboBox->currentText(), QStringLiteral("24h"));
    }

    void autoSetupAtAFixedClock()
    {
        setClockForTesting([] { return QDateTime(QDate(2026, 12, 6), QTime(3, 31, 29)); });
        ui->lineEditSN->setText(QStringLiteral("untouched"));
        ui->pushButtonAUTO->click();
        QCOMPARE(UartData.SerialNumber, QStringLiteral("261206033129"));
        QCOMPARE(ui->lineEditSN->text(), QStringLiteral("untouched"));
        QCOMPARE(WidgetAccess::timerResponse(w)->interval(), 1500);
        QVERIFY(WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(WidgetAccess::timerHumiture(w)->interval(), 1000);
    }

    void requestsArmTheirTimers_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("watchdog");
        QTest::addColumn<int>("poll");
        QTest::addColumn<bool>("locks");
        QTest::newRow("serial number read") << "pushButtonReadSN" << 500 << 1000 << false;
        QTest::newRow("MANU setup") << "pushButtonMANU" << 1500 << 1000 << false;
        QTest::newRow("settings read") << "pushButtonReadRecord" << 500 << 3000 << true;
    }
    void requestsArmTheirTimers()
    {
        QFETCH(QString, button);
        QFETCH(int, watchdog);
        QFETCH(int, poll);
        QFETCH(bool, locks);
        UartData.ReplyReceived = 1;
        w->findChild<QPushButton *>(button)->click();
        QCOMPARE(UartData.ReplyReceived, quint8(0));
        QVERIFY(WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(WidgetAccess::timerResponse(w)->interval(), watchdog);
        QCOMPARE(WidgetAccess::timerHumiture(w)->interval(), poll);
        QCOMPARE(ui->pushButtonSetup->isEnabled(), !locks);
        QCOMPARE(ui->pushButtonReadRecord->isEnabled(), !locks);
        QVERIFY(WidgetAccess::logLines(w).isEmpty()); // logger frames are not echoed
    }

    void setupRejectsAStartNotInTheFuture_data()
    {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<int>("offset");
        QTest::newRow("timing start, now") << false << 1 << 0;
        QTest::newRow("timing start, a second ago") << false << 1 << -1;
        QTest::newRow("after setup, editor left behind") << false << 0 << -400;
        QTest::newRow("monitoring, an hour ago") << true << 0 << -3600;
    }
    void setupRejectsAStartNotInTheFuture()
    {
        QFETCH(bool, monitoring);
        QFETCH(int, startMode);
        QFETCH(int, offset);
        const QDateTime now(QDate(2026, 3, 1), QTime(12, 0, 0));
        setClockForTesting([now] { return now; });
        ui->recmodecomboBox->setCurrentIndex(startMode);
        (monitoring ? ui->radioButtonRealmonitoring : ui->radioButtonRecord)->click();
        ui->dateTimeEditstarttime->setDateTime(now.addSecs(offset));
        ui->pushButtonSetup->click();
        QTRY_COMPARE(boxes->count(), 1);
        QCOMPARE(boxes->seen().first().title, QStringLiteral("Error"));
        QCOMPARE(boxes->seen().first().text, QStringLiteral("Time setting error!"));
        QVERIFY(!WidgetAccess::timerSettingResponse(w)->isActive());
        QVERIFY(!WidgetAccess::timerDelay(w)->isActive());
        QVERIFY(!WidgetAccess::timerHumiture(w)->isActive());
        QVERIFY(ui->pushButtonSetup->isEnabled());
        QVERIFY(ui->pushButtonReadRecord->isEnabled());
    }

    // Monitoring sends mode 3 and still the editor's time and interval; the
    // buttons come back after 2000 ms with no reply; no reply is a failure.
    void setupWithoutAReply()
    {
        const QDateTime now(QDate(2026, 3, 1), QTime(12, 0, 0));
        setClockForTesting([now] { return now; });
        ui->radioButtonRealmonitoring->click();
        ui->sample_ratecomboBox->setCurrentText(QStringLiteral("24h"));
        ui->dateTimeEditstarttime->setDateTime(now.addSecs(3600));
        QElapsedTimer clock;
        clock.start();
        ui->pushButtonSetup->click();
        QCOMPARE(int(UartData.RecordMode), 3);
        QCOMPARE(UartData.SampleRate, 45000);
        QCOMPARE(UartData.StartTime, now.addSecs(3600).toString("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(WidgetAccess::timerHumiture(w)->interval(), 3000);
        QVERIFY(!ui->pushButtonSetup->isEnabled());
        QVERIFY(!ui->pushButtonReadRecord->isEnabled());

        QTRY_COMPARE(boxes->count(), 1);
        QVERIFY(clock.elapsed() >= 940);
        QCOMPARE(boxes->seen().first().title, QStringLiteral("Failed"));
        QCOMPARE(boxes->seen().first().text, QStringLiteral("Setting failed, please try again!"));
        QCOMPARE(boxes->seen().first().parent, w);
        QTRY_VERIFY(ui->pushButtonSetup->isEnabled());
        QVERIFY(clock.elapsed() >= 1880); // coarse timers may fire 5 % early
        QVERIFY(ui->pushButtonReadRecord->isEnabled());
        QCOMPARE(boxes->count(), 1);
    }

    void setupAcknowledged()
    {
        ui->recmodecomboBox->setCurrentIndex(1);
        ui->dateTimeEditstarttime->setDateTime(QDateTime::currentDateTime().addSecs(300));
        ui->pushButtonSetup->click();
        WidgetAccess::receive(w, reply(0x1C, 24, {{10, 0x40}, {18, 1}}));
        QTRY_COMPARE(boxes->count(), 1);
        QCOMPARE(boxes->seen().first().title, QStringLiteral("Succeed"));
        QCOMPARE(boxes->seen().first().text, QStringLiteral("Setting succeed!"));
    }
};

QTEST_MAIN(TestLogger)
#include "tst_logger.moc"
