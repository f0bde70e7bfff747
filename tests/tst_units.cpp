// Everything but the end-to-end runs: the pure functions byte for byte
// (checksums, frames, log lines, the CSV record, the build stamp, the thinning
// of the history), the simulated module as a third-party Modbus client finds
// it, and the window without a line: its start state and enabling rules, the
// catalogue, and received bytes fed through the real reception code chunk by
// chunk, under a German default locale. Expected bytes are published check
// values or worked out by hand.
#include "fixture.h"

#include "app/buildstamp.h"
#include "app/catalogue.h"
#include "app/startup.h"
#include "protocol/logframe.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"
#include "trend/record.h"

#include <QTranslator>
#include <QtTest>

#include <cmath>

using Chunks = QList<QByteArray>;

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }
static QString hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ')); }

// An information reply: model 2021 at offsets 6-9, serial 1a0c06031f1d at 12-17.
static const QByteArray kInfo = bytes("7b220c10000032303231000" "01a0c06031f1d000000227d");

static QByteArray withCrc(const QByteArray &hexBody)
{
    const QByteArray body = QByteArray::fromHex(hexBody);
    const quint16 crc = rtu::crc16(body);
    return body + char(crc & 0xFF) + char(crc >> 8);
}

class TestUnits : public QObject
{
    Q_OBJECT
    Bench b;

    // Values, address field, acknowledgement, what the labels show after
    // the form's own texts, whether the bytes were echoed, and what is left.
    QString rtuState(const QByteArray &all) const
    {
        const QStringList log = b.traffic();
        const QString echo = log.isEmpty() ? QStringLiteral("-")
            : log == QStringList{QStringLiteral("RX ") + all.toHex()} ? QStringLiteral("logged") : log.join(',');
        return QStringLiteral("%1 %2 %3 %4 a%5 r%6 | %7 | %8 buf%9")
            .arg(UartData.Temperature).arg(UartData.Humidity).arg(UartData.DewTemp).arg(UartData.WetBulbTemp)
            .arg(b.ui->lineEditAddress->text()).arg(UartData.ReplyReceived).arg(b.state("shown").mid(6), echo)
            .arg(UartData.RxBuffer.size());
    }
    // The window opens at the size it was designed for, whatever the language
    // and the screen: the program runs here at 192 dpi, on twice the pixels.
    void verifyDesignedSize()
    {
        b.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(b.w));
        QCOMPARE(QStringLiteral("%1x%2 at %3x").arg(b.w->width()).arg(b.w->height()).arg(b.w->devicePixelRatioF()),
                 QStringLiteral("874x628 at 2x"));
    }
    void feed(int item, const Chunks &chunks)
    {
        WidgetAccess::readItem(b.w) = quint16(item);
        for (const QByteArray &chunk : chunks)
            WidgetAccess::receive(b.w, chunk);
    }

private slots:
    void table_data();
    void table()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // Readings (seconds from a moment on the buckets' grid, and a temperature;
    // NaN where not carried) in; the points drawn for a span out: how many,
    // then the first and the last as seconds:value.
    void thinning_data();
    void thinning()
    {
        QFETCH(QVector<QPointF>, readings);
        QFETCH(int, span);
        QFETCH(QString, expected);
        const qint64 t0 = 1728000000000; // ms
        trend::History history;
        for (const QPointF &r : readings)
            history.add(t0 + qRound64(r.x() * 1000), {r.y(), NAN, NAN, NAN});
        const QVector<trend::Point> points = history.points(trend::Span(span), trend::Temperature);
        QString drawn = QString::number(points.size());
        for (const trend::Point &p : points.isEmpty() ? points : QVector<trend::Point>{points.first(), points.last()})
            drawn += QStringLiteral(" | %1:%2").arg((p.msecs - t0) / 1000.0, 0, 'f', 1).arg(p.value, 0, 'f', 1);
        QCOMPARE(drawn, expected);
        QVERIFY(history.points(trend::Span(span), trend::Humidity).isEmpty());
    }
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
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void init()
    {
        QVERIFY(b.open(false));
        UartData.Temperature = 11, UartData.Humidity = 22, UartData.DewTemp = 33, UartData.WetBulbTemp = 44;
        UartData.Address = 42;
        b.ui->lineEditAddress->setText(QStringLiteral("42"));
    }

    void startState()
    {
        const QString stamp = QLocale::c().toString(BuildDate, "yyyy.MM.dd.") + QLocale::c().toString(BuildTime, "hhmm");
        QCOMPARE(b.w->windowTitle(), "Hygrovane   V" + stamp);
        const QString expected = "combo=9600; work=Recording; start=0; sampling=1S; enabled=110; read=Read; port=closed";
        QCOMPARE(b.state(expected), expected);
        QCOMPARE(b.state("armed"), "armed=");
        const qint64 ahead = QDateTime::currentDateTime().secsTo(b.ui->dateTimeEditstarttime->dateTime());
        QVERIFY2(ahead >= 298 && ahead <= 300, qPrintable(QString::number(ahead)));
        QCOMPARE(b.ui->dateTimeEditstarttime->displayFormat(), QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        verifyDesignedSize();
    }

    // Started in a folder that holds Qm/Chinese.qm, the window speaks Chinese.
    void catalogue()
    {
        const QString saved = QDir::currentPath();
        QTranslator translator;
        QDir::setCurrent(HYGROVANE_BUILD_DIR);
        QVERIFY(installCatalogue(&translator));
        QDir::setCurrent(saved);
        QVERIFY(b.open(false));
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(QStringList({b.ui->pushButtonLink->text(), b.ui->groupBox->title(), b.w->windowTitle().left(13),
                              translator.translate("SerialportSettingDialog", "Serial port")}).join(' '),
                 "连接 实时数据 Hygrovane   V 串口");
        verifyDesignedSize();
    }

    void rtuReception_data();
    void rtuReception()
    {
        QFETCH(int, item);
        QFETCH(Chunks, chunks);
        QFETCH(QString, expected);
        feed(item, chunks);
        QCOMPARE(rtuState(chunks.join()), expected);
        QCOMPARE(b.timer(WidgetAccess::Clear)->isActive() ? b.timer(WidgetAccess::Clear)->interval() : 0, 500);
        b.timer(WidgetAccess::Clear)->setInterval(1); // the silence after the last chunk
        QTRY_VERIFY(!b.timer(WidgetAccess::Clear)->isActive());
        QCOMPARE(UartData.RxBuffer.size(), 0);
    }

    void loggerReception_data();
    void loggerReception()
    {
        QFETCH(Chunks, chunks);
        QFETCH(QString, expected);
        b.ui->lineEditAddress->clear();
        feed(0, chunks);
        // The work mode shown first: R recording, M monitoring only.
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 ack%6 r%7 buf%8").arg(b.ui->radioButtonRecord->isChecked() ? 'R' : 'M')
                     .arg(b.ui->lineEditSN->text()).arg(UartData.LoggerModel)
                     .arg(UartData.RecordMode).arg(UartData.SampleRate).arg(UartData.SettingAck)
                     .arg(UartData.ReplyReceived).arg(UartData.RxBuffer.size()), expected);
        QCOMPARE(b.ui->lineEditSN->text(), UartData.SerialNumber);
        QCOMPARE(b.traffic(), QStringList()); // logger frames are never echoed
    }

    // The pane keeps the newest 100,000 lines, dropping the oldest a thousand at a time.
    void logIsBounded()
    {
        for (int i = 0; i <= Widget::LogLines + 1000; ++i)
            WidgetAccess::log(b.w, QString::number(i, 16), true);
        const QStringList log = b.traffic();
        QCOMPARE(QStringLiteral("%1, %2 to %3").arg(log.size()).arg(log.first(), log.last()), "100000, RX 3e9 to RX 18a88");
    }

    // Last: once told to quit, Qt runs no further event loop in this process.
    void closeQuits()
    {
        QTimer::singleShot(0, b.ui->pushButtonClose, &QPushButton::click);
        QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QEventLoop().exec(), 0);
    }
};

void TestUnits::table_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QString &actual, const char *expected) {
        QTest::newRow(name) << actual << QString::fromUtf8(expected);
    };
    row("crc of 123456789", QString::number(rtu::crc16(QByteArray("123456789")), 16), "4b37");
    row("crc in wire order", QString::number(Widget::CalcCRC16(reinterpret_cast<const quint8 *>("123456789"), 9), 16), "374b");

    row("request", hex(rtu::buildRequest(0x11, 3, 0x1234, 0x0302)).left(17), "11 03 12 34 03 02");

    const QDateTime when(QDate(2024, 1, 2), QTime(23, 4, 5));
    row("log line sent", trafficLogLine(when, QStringLiteral("0003010000018427"), false),
        "<font color=red>2024-01-02 23:04:05->TX  0003010000018427</font>");
    row("log line received", trafficLogLine(when, QStringLiteral("018302c0f1"), true),
        "<font color=green>2024-01-02 23:04:05->RX  018302c0f1</font>");

    row("serial number 1234, 0x22 unescaped", hex(logger::serialNumberWrite(QStringLiteral("1234"), 0)),
        "7b 22 aa 07 00 0c 22 00 00 00 00 df 22 7d");
    row("setup, monitoring, 24 h", hex(logger::setupFrame(0x01020304, 3, 45000, 0xA0B0C0D0)),
        "7b 22 4a 1d 01 02 03 04 00 00 60 00 00 00 00 ff ff af c8 03 20 01 40 03 20 01 40 a0 b0 c0 d0 00 00 ee 22 7d");

    QStringList seconds, back;
    for (int i = -1; i <= 16; ++i) {
        seconds << QString::number(logger::sampleSecondsForIndex(i));
        back << QString::number(logger::indexForSampleSeconds(logger::sampleSecondsForIndex(i)));
    }
    row("sampling intervals", seconds.join(' '),
        "-1 1 2 5 10 20 30 60 120 300 600 1800 3600 7200 21600 43200 45000 -1");
    row("sampling items", back.join(' '), "-1 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 -1");
    row("no item for 86400 s", QString::number(logger::indexForSampleSeconds(86400)), "-1");

    const QDateTime at(QDate(2026, 12, 7), QTime(10, 15, 30), Qt::OffsetFromUTC, 3600);
    row("csv header", trend::csvHeader(), "time,address,temperature_C,humidity_pct,dew_point_C,wet_bulb_C\r\n");
    row("csv row", trend::csvRow(at, 1, {23.1, 45.6, 10.3, 15.8}), "2026-12-07T10:15:30+01:00,1,23.1,45.6,10.3,15.8\r\n");
    row("csv row, one value", trend::csvRow(at.toOffsetFromUtc(-12600), 247, {NAN, NAN, -0.5, NAN}),
        "2026-12-07T05:45:30-03:30,247,,,-0.5,\r\n");
    row("csv row, UTC", trend::csvRow(at.toUTC(), 16, {-10, 6553.5, NAN, 1234.5}), "2026-12-07T09:15:30+00:00,16,-10.0,6553.5,,1234.5\r\n");

    row("build date, one-digit day", parseBuildDate(QStringLiteral("Sep  7 2022")).toString(Qt::ISODate), "2022-09-07");
    row("build date, two-digit day", parseBuildDate(QStringLiteral("Dec 17 2025")).toString(Qt::ISODate), "2025-12-17");
    row("build time", QLocale::c().toString(parseBuildTime(QStringLiteral("09:05:03")), QStringLiteral("hhmm ss")), "0905 03");
}

void TestUnits::thinning_data()
{
    QTest::addColumn<QVector<QPointF>>("readings");
    QTest::addColumn<int>("span");
    QTest::addColumn<QString>("expected");
    auto perSecond = [](int seconds, double (*value)(int), int from = 0) {
        QVector<QPointF> readings;
        for (int t = from; t < seconds; ++t)
            readings << QPointF(t, value(t));
        return readings;
    };
    const auto steady = [](int) { return 20.0; };
    QTest::newRow("one reading") << QVector<QPointF>{{0, 20}} << int(trend::TenMinutes) << "1 | 0.0:20.0 | 0.0:20.0";
    QTest::newRow("two in one bucket") << QVector<QPointF>{{0, 20}, {0.2, 21}} << int(trend::TenMinutes)
                                       << "1 | 0.1:20.5 | 0.1:20.5";
    QTest::newRow("no value carried") << QVector<QPointF>{{0, NAN}, {1, NAN}} << int(trend::OneHour) << "0";
    // The clock put right: back by seconds, a slew; by more, a step.
    QTest::newRow("the clock set back") << QVector<QPointF>{{10, 20}, {5, 22}} << int(trend::TenMinutes)
                                        << "2 | 5.0:22.0 | 10.0:20.0";
    QTest::newRow("a day ahead") << QVector<QPointF>{{0, 20}, {86402, 30}, {2, 22}} << int(trend::TenMinutes) << "2 | 0.0:20.0 | 2.0:22.0";
    QTest::newRow("15 min back") << perSecond(1800, steady) + perSecond(960, steady, 900) << int(trend::OneHour) << "533 | 0.5:20.0 | 958.5:20.0";
    QTest::newRow("an hour, 1 h span") << perSecond(3600, [](int t) { return double(t % 3); }) << int(trend::OneHour)
                                       << "2000 | 0.5:0.5 | 3599.0:2.0";
    QTest::newRow("a day, 24 h span") << perSecond(86400, [](int t) { return 20.0 + t % 2; }) << int(trend::OneDay)
                                      << "2000 | 21.5:20.5 | 86378.0:20.5";
    QTest::newRow("a day, 10 min span") << perSecond(86400, steady) << int(trend::TenMinutes)
                                        << "601 | 85799.0:20.0 | 86399.0:20.0";
    QTest::newRow("25 hours keep the last 24") << perSecond(90000, steady) << int(trend::OneDay)
                                               << "2001 | 3607.0:20.0 | 89992.5:20.0";
}

void TestUnits::rtuReception_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QString>("expected");
    const QByteArray all = bytes("01030A00FA01F4006E00C800004226");
    const QString allShown = "250 500 110 200 a42 r1 | 25.0℃,50.0%,11.0℃,20.0℃ | logged buf0";
    const QString untouched = "11 22 33 44 a42 r0 | ,,, | - buf%1";
    const QString acknowledged = "11 22 33 44 a%1 r1 | ,,, | logged buf0";
    const QString refused = "11 22 33 44 a42 r0 | ,,, | logged buf0";
    Chunks byByte;
    for (char c : all)
        byByte << QByteArray(1, c);
    const QByteArray kilo(1024, '\x55');
    auto row = [](const char *name, int item, const Chunks &chunks, const QString &expected) {
        QTest::newRow(name) << item << chunks << expected;
    };
    row("ALL", 0, {all}, allShown);
    row("ALL in two chunks", 0, {all.left(4), all.mid(4)}, allShown);
    row("ALL byte by byte", 0, byByte, allShown);
    row("ALL, then nothing new", 0, {all, {}}, allShown);
    row("ALL and one byte more", 0, {all + '\0'}, untouched.arg(16));
    row("two replies in one chunk", 0, {all + all}, untouched.arg(30));
    row("temperature alone", 0, {bytes("010302FF9CF9DD")}, "-100 22 33 44 a42 r1 | -10.0℃,---,---,--- | logged buf0");
    row("humidity", 1, {bytes("01030201F4B853")}, "11 500 33 44 a42 r1 | ---,50.0%,---,--- | logged buf0");
    row("humidity is unsigned", 1, {withCrc("010302FFFF")}, "11 65535 33 44 a42 r1 | ---,6553.5%,---,--- | logged buf0");
    row("dew point", 2, {withCrc("010302FFFB")}, "11 22 -5 44 a42 r1 | ---,---,-0.5℃,--- | logged buf0");
    row("wet bulb", 3, {withCrc("0103023039")}, "11 22 33 12345 a42 r1 | ---,---,:---,1234.5℃ | logged buf0");
    row("status", 4, {bytes("01030200323991")}, "11 22 33 44 a42 r1 | ---,---,:---,--- | logged buf0");
    row("address read", Widget::ReadsAddress, {bytes("0003020007C446")}, acknowledged.arg(7));
    row("address write echo", Widget::ReadsAddress, {bytes("00060100000C89E2")}, acknowledged.arg(12));
    row("address reply without its register", Widget::ReadsAddress, {withCrc("000300")}, acknowledged.arg(42));
    row("baud-rate echo", Widget::ReadsBaudRate, {bytes("000601010004D9E4")}, acknowledged.arg(42));
    row("a write echo while polling", 0, {bytes("000601010004D9E4")}, acknowledged.arg(42));
    row("wrong CRC", 0, {bytes("01030200FA3808")}, untouched.arg(7));
    row("CRC bytes swapped", 0, {bytes("01030200FA0738")}, untouched.arg(7));
    row("refusal while reading humidity", 1, {bytes("018302C0F1")}, refused);
    row("refusal of an address command", Widget::ReadsAddress, {bytes("018302C0F1")}, refused);
    row("five registers when one was asked", 1, {all}, refused);
    row("a 250-byte reply is taken apart", 0, {withCrc("0103F5" + QByteArray(245, 'a').toHex())}, refused);
    row("a 255-byte reply is not", 0, {withCrc("0103FA" + QByteArray(250, 'a').toHex())}, untouched.arg(255));
    row("4096 bytes of noise wait", 0, {kilo, kilo, kilo, kilo}, untouched.arg(4096));
    row("the 4097th byte drops them", 0, {kilo, kilo, kilo, kilo, "U"}, untouched.arg(0));
    row("a reply after dropped noise", 0, {kilo + kilo + kilo + kilo + 'U', all}, QString(allShown).replace("logged", "RX " + all.toHex()));
    row("a logger frame is left to the silence", 0, {bytes("7B227D")}, "11 22 33 44 a42 r1 | ,,, | - buf3");
    row("a logger reply, then a reply", 0, {kInfo, all}, QString(allShown).replace("logged", "RX " + all.toHex()));
    row("an unfinished logger frame takes the RTU path", Widget::ReadsBaudRate, {bytes("7B220C00")}, untouched.arg(4));
}

void TestUnits::loggerReception_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QString>("expected");
    // Offsets 10 (mode) and 17-18 (interval) of a 36-byte settings reply.
    auto settings = [](const char *mode, const char *interval) {
        return bytes("7b221c1d" + QByteArray(12, '0') + mode + QByteArray(12, '0') + interval + QByteArray(30, '0') + "227d");
    };
    QByteArray inside = settings("20", "012c");
    inside[11] = '\x22', inside[12] = '\x7D';
    const QByteArray longFrame = bytes("7b222c") + QByteArray(57, 0) + bytes("227d") + QByteArray(71, 0) + bytes("227d");
    // A whole frame leaves the buffer empty for the next reply; anything else waits for the silence.
    QTest::newRow("information") << Chunks{kInfo} << "R 1a0c06031f1d 2021 0 0 ack0 r1 buf0";
    QTest::newRow("model not a number") << Chunks{QByteArray(kInfo).replace("2021", "2x21")} << "R 1a0c06031f1d 0 0 0 ack0 r1 buf0";
    QTest::newRow("information, length byte wrong") << Chunks{kInfo.left(14) + bytes("227d")} << "R 1a0c227d 2021 0 0 ack0 r1 buf16";
    QTest::newRow("settings 0x40, 60 s") << Chunks{settings("40", "003c")} << "R  0 2 60 ack1 r1 buf0";
    QTest::newRow("settings 0x60, 45000 s") << Chunks{settings("60", "afc8")} << "M  0 3 45000 ack1 r1 buf0";
    QTest::newRow("settings 0x9F") << Chunks{settings("9f", "0000")} << "R  0 0 0 ack1 r1 buf0";
    QTest::newRow("settings cut short") << Chunks{bytes("7b221c0000000000000020 00227d")} << "R  0 1 0 ack1 r1 buf14";
    QTest::newRow("settings with 22 7D inside, in two chunks") << Chunks{inside.left(13), inside.mid(13)}
                                                                << "R  0 1 300 ack1 r1 buf0";
    QTest::newRow("information, then settings") << Chunks{kInfo, settings("60", "afc8")}
                                                << "M 1a0c06031f1d 2021 3 45000 ack1 r1 buf0";
    QTest::newRow("7B 22 7D") << Chunks{bytes("7B227D")} << "R  0 0 0 ack0 r1 buf3";
    QTest::newRow("long frame, up to its inner 22 7D") << Chunks{longFrame.left(62)} << "R  0 0 0 ack0 r0 buf62";
    QTest::newRow("long frame, whole") << Chunks{longFrame.left(62), longFrame.mid(62)} << "R  0 0 0 ack0 r1 buf0";
}

int main(int argc, char **argv)
{
    setApplicationAttributes(); // as the program's own entry does
    QApplication app(argc, argv);
    TestUnits test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_units.moc"
