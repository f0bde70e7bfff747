// The window without a line: its start state and enabling rules, the
// catalogue, and received bytes fed through the real reception code chunk by
// chunk, under a German locale.
#include "fixture.h"

#include "app/buildstamp.h"
#include "app/catalogue.h"
#include "app/startup.h"
#include "protocol/rtu.h"

#include <QTranslator>
#include <QtTest>

using Chunks = QList<QByteArray>;

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

// An information reply: model 2021 at offsets 6-9, serial 1a0c06031f1d at 12-17.
static const QByteArray kInfo = bytes("7b220c10000032303231000" "01a0c06031f1d000000227d");

static QByteArray withCrc(const QByteArray &hexBody)
{
    const QByteArray body = QByteArray::fromHex(hexBody);
    const quint16 crc = rtu::crc16(body);
    return body + char(crc & 0xFF) + char(crc >> 8);
}

class TestWindow : public QObject
{
    Q_OBJECT
    Bench b;

    // Values, address field, acknowledgement, what the labels show after
    // the form's own texts, whether the bytes were echoed, and what is left.
    QString rtuState(const QByteArray &all) const
    {
        static const QRegularExpression prefix("^(Temperature|Humidity|DewTemp|WetBulbTemp):");
        QStringList shown = b.labels();
        shown.replaceInStrings(prefix, QString());
        const QStringList log = b.traffic();
        const QString echo = log.isEmpty() ? QStringLiteral("-")
            : log == QStringList{QStringLiteral("RX ") + all.toHex()} ? QStringLiteral("logged") : log.join(',');
        return QStringLiteral("%1 %2 %3 %4 a%5 r%6 | %7 | %8 buf%9")
            .arg(UartData.Temperature).arg(UartData.Humidity).arg(UartData.DewTemp).arg(UartData.WetBulbTemp)
            .arg(b.ui->lineEditAddress->text()).arg(UartData.ReplyReceived).arg(shown.join(','), echo)
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
        QCOMPARE(b.armed(), QString());
        const qint64 ahead = QDateTime::currentDateTime().secsTo(b.ui->dateTimeEditstarttime->dateTime());
        QVERIFY2(ahead >= 298 && ahead <= 300, qPrintable(QString::number(ahead)));
        QCOMPARE(b.ui->dateTimeEditstarttime->displayFormat(), QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        verifyDesignedSize();
    }

    // The record group's controls follow the clicks and choices in order.
    void enabling_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("enabled"); // start mode, sampling rate, start time
        for (auto [given, enabled] : {std::pair{"", "110"}, {"start=1", "111"}, {"monitor", "000"},
                                      {"start=1 monitor", "000"}, {"monitor record", "110"},
                                      {"start=1 monitor record", "111"}, {"monitor start=1", "001"},
                                      {"start=1 start=0", "110"}, {"disable record", "110"}})
            QTest::newRow(given) << given << enabled;
    }
    void enabling()
    {
        QFETCH(QString, given);
        QFETCH(QString, enabled);
        b.given(given);
        QCOMPARE(b.state("enabled"), "enabled=" + enabled);
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
                              translator.translate("Widget", "Communication error!"),
                              translator.translate("SerialportSettingDialog", "Serial port")}).join(' '),
                 "连接 实时数据 Hygrovane   V 通讯错误！ 串口");
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
        QVERIFY(b.timer(WidgetAccess::Clear)->isActive());
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
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 ack%5 r%6 buf%7").arg(b.ui->lineEditSN->text()).arg(UartData.LoggerModel)
                     .arg(UartData.RecordMode).arg(UartData.SampleRate).arg(UartData.SettingAck)
                     .arg(UartData.ReplyReceived).arg(UartData.RxBuffer.size()), expected);
        QCOMPARE(b.ui->lineEditSN->text(), UartData.SerialNumber);
        QCOMPARE(b.traffic(), QStringList()); // logger frames are never echoed
    }

    // Last: once told to quit, Qt runs no further event loop in this process.
    void closeQuits()
    {
        QTimer::singleShot(0, b.ui->pushButtonClose, &QPushButton::click);
        QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QEventLoop().exec(), 0);
    }
};

void TestWindow::rtuReception_data()
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

void TestWindow::loggerReception_data()
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
    QTest::newRow("information") << Chunks{kInfo} << "1a0c06031f1d 2021 0 0 ack0 r1 buf0";
    QTest::newRow("model not a number") << Chunks{QByteArray(kInfo).replace("2021", "2x21")} << "1a0c06031f1d 0 0 0 ack0 r1 buf0";
    QTest::newRow("information, length byte wrong") << Chunks{kInfo.left(14) + bytes("227d")} << "1a0c227d 2021 0 0 ack0 r1 buf16";
    QTest::newRow("settings 0x40, 60 s") << Chunks{settings("40", "003c")} << " 0 2 60 ack1 r1 buf0";
    QTest::newRow("settings 0x60, 45000 s") << Chunks{settings("60", "afc8")} << " 0 3 45000 ack1 r1 buf0";
    QTest::newRow("settings 0x9F") << Chunks{settings("9f", "0000")} << " 0 0 0 ack1 r1 buf0";
    QTest::newRow("settings cut short") << Chunks{bytes("7b221c0000000000000020 00227d")} << " 0 1 0 ack1 r1 buf14";
    QTest::newRow("settings in two chunks") << Chunks{settings("20", "012c").left(9), settings("20", "012c").mid(9)}
                                            << " 0 1 300 ack1 r1 buf0";
    QTest::newRow("settings with 22 7D inside, in two chunks") << Chunks{inside.left(13), inside.mid(13)}
                                                                << " 0 1 300 ack1 r1 buf0";
    QTest::newRow("information, then settings") << Chunks{kInfo, settings("60", "afc8")}
                                                << "1a0c06031f1d 2021 3 45000 ack1 r1 buf0";
    QTest::newRow("7B 22 7D") << Chunks{bytes("7B227D")} << " 0 0 0 ack0 r1 buf3";
    QTest::newRow("long frame, up to its inner 22 7D") << Chunks{longFrame.left(62)} << " 0 0 0 ack0 r0 buf62";
    QTest::newRow("long frame, whole") << Chunks{longFrame.left(62), longFrame.mid(62)} << " 0 0 0 ack0 r1 buf0";
}

int main(int argc, char **argv)
{
    setApplicationAttributes(); // as the program's own entry does
    QApplication app(argc, argv);
    TestWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_window.moc"
