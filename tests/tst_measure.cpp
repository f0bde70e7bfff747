// Measuring: taking replies apart, the four label texts, the polls the
// reading timer sends and the address and baud-rate commands. The window runs
// without a port; writes to the closed port go nowhere, and the traffic log
// shows every frame that was built.
#include "testsupport.h"

#include "app/uartdata.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QtTest>

namespace {

// A checksum of the test's own, so that expected frames do not come from the
// code under test: CRC-16/MODBUS, bit by bit.
quint16 localCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = crc & 1;
            crc >>= 1;
            if (carry)
                crc ^= 0xA001;
        }
    }
    return crc;
}

QByteArray withCrc(const QByteArray &body)
{
    const quint16 crc = localCrc(body);
    return body + QByteArray(1, static_cast<char>(crc & 0xFF)) + QByteArray(1, static_cast<char>(crc >> 8));
}

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

const QString kDegrees = QString(QChar(0x2103));

QString deg(const char *text)
{
    return QString::fromLatin1(text) + kDegrees;
}

// The form's own label texts, before any reading has been shown.
const QStringList kFormLabels{QStringLiteral("Temperature:"), QStringLiteral("Humidity:"),
                              QStringLiteral("DewTemp:"), QStringLiteral("WetBulbTemp:")};

// Stored values the decoding rows start from, so that "unchanged" is visible.
const QList<int> kPreset{11, 22, 33, 44};
constexpr int kPresetAddress = 42;

// The five-register reply: 25.0 ℃, 50.0 %, 11.0 ℃, 20.0 ℃, status 0.
const QByteArray kAllReply = QByteArray::fromHex("01030A00FA01F4006E00C800004226");
const QList<int> kAllValues{250, 500, 110, 200};

// RAII for the process-wide default locale.
struct DefaultLocale
{
    explicit DefaultLocale(const QLocale &locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(saved); }
    QLocale saved = QLocale();
};

} // namespace

class TestMeasure : public QObject
{
    Q_OBJECT

    Widget *w = nullptr;
    Ui::Widget *ui = nullptr;

    QStringList labels() const
    {
        return {ui->labelTemperature->text(), ui->labelHumidity->text(), ui->labelDewTemp->text(),
                ui->labelWetBulbTemp->text()};
    }

    static QList<int> storedValues()
    {
        return {UartData.Temperature, UartData.Humidity, UartData.DewTemp, UartData.WetBulbTemp};
    }

    // The traffic log as "TX <hex>" / "RX <hex>"; a line of any other shape
    // is returned whole, so that it fails the comparison. The log is HTML, so
    // the two spaces after the marker show as one.
    QStringList traffic() const
    {
        static const QRegularExpression line(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d->(TX|RX) ([0-9a-f]+)$"));
        QStringList out;
        for (const QString &text : WidgetAccess::logLines(w)) {
            const QRegularExpressionMatch m = line.match(text);
            out << (m.hasMatch() ? m.captured(1) + QLatin1Char(' ') + m.captured(2) : text);
        }
        return out;
    }

    static QStringList tx(const QByteArray &frame)
    {
        return {QStringLiteral("TX ") + QString::fromLatin1(frame.toHex())};
    }

    void verifyOneErrorBox(const MessageBoxCatcher &catcher, const QString &message)
    {
        QTRY_COMPARE(catcher.count(), 1);
        QCOMPARE(catcher.seen().first().title, QStringLiteral("Error"));
        QCOMPARE(catcher.seen().first().text, message);
        QCOMPARE(catcher.seen().first().parent, static_cast<QWidget *>(w));
    }

private slots:
    void init()
    {
        resetUartData();
        w = new Widget;
        ui = WidgetAccess::ui(w);
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
        ui = nullptr;
        resetUartData();
    }

    // The checksum the expected frames are made with agrees with captured frames.
    void localChecksum_data()
    {
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("five-register reply") << kAllReply;
        QTest::newRow("negative temperature") << bytes("010302FF9CF9DD");
        QTest::newRow("baud code 6") << bytes("0006010100065825");
        QTest::newRow("status poll") << bytes("010300040001C5CB");
    }
    void localChecksum()
    {
        QFETCH(QByteArray, frame);
        QCOMPARE(localCrc("123456789"), quint16(0x4B37));
        QCOMPARE(withCrc(frame.left(frame.size() - 2)).toHex(), frame.toHex());
    }

    void decode_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArrayList>("bufferAfter"); // after each chunk
        QTest::addColumn<QList<int>>("values");          // T, H, D, W
        QTest::addColumn<int>("replyReceived");
        QTest::addColumn<QStringList>("labelTexts");
        QTest::addColumn<QStringList>("rx");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("addressText");

        const QString presetText = QString::number(kPresetAddress);
        const QStringList allLabels{deg("Temperature:25.0"), QStringLiteral("Humidity:50.0%"),
                                    deg("DewTemp:11.0"), deg("WetBulbTemp:20.0")};
        auto rx = [](const QByteArray &frame) {
            return QStringList{QStringLiteral("RX ") + QString::fromLatin1(frame.toHex())};
        };
        // Not taken apart: everything stays as it was, the bytes wait.
        auto kept = [&](const char *name, int item, const QByteArray &frame) {
            QTest::newRow(name) << item << QByteArrayList{frame} << QByteArrayList{frame} << kPreset
                                << 0 << kFormLabels << QStringList() << kPresetAddress << presetText;
        };

        QTest::newRow("ALL, whole")
            << 0 << QByteArrayList{kAllReply} << QByteArrayList{QByteArray()} << kAllValues << 1
            << allLabels << rx(kAllReply) << kPresetAddress << presetText;
        QTest::newRow("ALL, two chunks")
            << 0 << QByteArrayList{kAllReply.left(4), kAllReply.mid(4)}
            << QByteArrayList{kAllReply.left(4), QByteArray()} << kAllValues << 1 << allLabels
            << rx(kAllReply) << kPresetAddress << presetText;
        {
            QByteArrayList chunks, after;
            for (int i = 0; i < kAllReply.size(); ++i) {
                chunks << kAllReply.mid(i, 1);
                after << (i + 1 < kAllReply.size() ? kAllReply.left(i + 1) : QByteArray());
            }
            QTest::newRow("ALL, byte by byte") << 0 << chunks << after << kAllValues << 1 << allLabels
                                               << rx(kAllReply) << kPresetAddress << presetText;
        }
        QTest::newRow("empty chunk after a decoded reply")
            << 0 << QByteArrayList{kAllReply, QByteArray()}
            << QByteArrayList{QByteArray(), QByteArray()} << kAllValues << 1 << allLabels
            << rx(kAllReply) << kPresetAddress << presetText;
        kept("ALL, one byte too many", 0, kAllReply + QByteArray(1, '\0'));
        kept("two replies in one chunk", 0, kAllReply + kAllReply);

        const QByteArray minus10 = bytes("010302FF9CF9DD");
        QTest::newRow("temperature alone, negative")
            << 0 << QByteArrayList{minus10} << QByteArrayList{QByteArray()} << QList<int>{-100, 22, 33, 44}
            << 1
            << QStringList{deg("Temperature:-10.0"), QStringLiteral("Humidity:---"),
                           QStringLiteral("DewTemp:---"), QStringLiteral("WetBulbTemp:---")}
            << rx(minus10) << kPresetAddress << presetText;
        const QByteArray humidity = bytes("01030201F4B853");
        QTest::newRow("humidity")
            << 1 << QByteArrayList{humidity} << QByteArrayList{QByteArray()} << QList<int>{11, 500, 33, 44}
            << 1
            << QStringList{QStringLiteral("Temperature:---"), QStringLiteral("Humidity:50.0%"),
                           QStringLiteral("DewTemp:---"), QStringLiteral("WetBulbTemp:---")}
            << rx(humidity) << kPresetAddress << presetText;
        const QByteArray dew = withCrc(bytes("010302FFF6"));
        QTest::newRow("dew point")
            << 2 << QByteArrayList{dew} << QByteArrayList{QByteArray()} << QList<int>{11, 22, -10, 44} << 1
            << QStringList{QStringLiteral("Temperature:---"), QStringLiteral("Humidity:---"),
                           deg("DewTemp:-1.0"), QStringLiteral("WetBulbTemp:---")}
            << rx(dew) << kPresetAddress << presetText;
        const QByteArray wet = withCrc(bytes("01030200C8"));
        QTest::newRow("wet bulb")
            << 3 << QByteArrayList{wet} << QByteArrayList{QByteArray()} << QList<int>{11, 22, 33, 200} << 1
            << QStringList{QStringLiteral("Temperature:---"), QStringLiteral("Humidity:---"),
                           QStringLiteral("DewTemp::---"), deg("WetBulbTemp:20.0")}
            << rx(wet) << kPresetAddress << presetText;
        const QByteArray status = bytes("01030200323991");
        QTest::newRow("status")
            << 4 << QByteArrayList{status} << QByteArrayList{QByteArray()} << kPreset << 1
            << QStringList{QStringLiteral("Temperature:---"), QStringLiteral("Humidity:---"),
                           QStringLiteral("DewTemp::---"), QStringLiteral("WetBulbTemp:---")}
            << rx(status) << kPresetAddress << presetText;

        const QByteArray addressReply = bytes("0003020007C446");
        QTest::newRow("address read reply")
            << 256 << QByteArrayList{addressReply} << QByteArrayList{QByteArray()} << kPreset << 1
            << kFormLabels << rx(addressReply) << 7 << QStringLiteral("7");
        const QByteArray addressEcho = bytes("00060100000C89E2");
        QTest::newRow("address write echo")
            << 256 << QByteArrayList{addressEcho} << QByteArrayList{QByteArray()} << kPreset << 1
            << kFormLabels << rx(addressEcho) << 12 << QStringLiteral("12");
        // A read reply with no register: its byte 4 is a CRC byte, not an address.
        const QByteArray noRegister = withCrc(bytes("000300"));
        QTest::newRow("address read reply without a register")
            << 256 << QByteArrayList{noRegister} << QByteArrayList{QByteArray()} << kPreset << 1
            << kFormLabels << rx(noRegister) << kPresetAddress << presetText;
        const QByteArray baudEcho = bytes("000601010004D9E4");
        QTest::newRow("baud write echo")
            << 257 << QByteArrayList{baudEcho} << QByteArrayList{QByteArray()} << kPreset << 1
            << kFormLabels << rx(baudEcho) << kPresetAddress << presetText;

        kept("wrong CRC", 0, bytes("01030200FA3808"));
        kept("CRC bytes swapped", 0, bytes("01030200FA0738"));

        // A refusal is logged and cleared, but is neither a reading nor an answer.
        const QByteArray refusal = bytes("018302C0F1");
        QTest::newRow("exception while reading humidity")
            << 1 << QByteArrayList{refusal} << QByteArrayList{QByteArray()} << kPreset << 0 << kFormLabels
            << rx(refusal) << kPresetAddress << presetText;
        QTest::newRow("exception to an address command")
            << 256 << QByteArrayList{refusal} << QByteArrayList{QByteArray()} << kPreset << 0
            << kFormLabels << rx(refusal) << kPresetAddress << presetText;
        QTest::newRow("five registers while reading humidity")
            << 1 << QByteArrayList{kAllReply} << QByteArrayList{QByteArray()} << kPreset << 0
            << kFormLabels << rx(kAllReply) << kPresetAddress << presetText;

        QByteArray body250("\x01\x03\xF5", 3);
        body250.append(QByteArray(245, '\x07'));
        const QByteArray reply250 = withCrc(body250);
        QTest::newRow("250-byte reply is taken apart")
            << 0 << QByteArrayList{reply250} << QByteArrayList{QByteArray()} << kPreset << 0
            << kFormLabels << rx(reply250) << kPresetAddress << presetText;
        QByteArray body255("\x01\x03\xFA", 3);
        body255.append(QByteArray(250, '\x07'));
        const QByteArray reply255 = withCrc(body255);
        kept("255-byte reply is not", 0, reply255);

        // Noise whose function byte announces a 5-byte frame: never a reply.
        const QByteArray kilo(1024, '\x55');
        const QByteArray full = kilo + kilo + kilo + kilo;
        QTest::newRow("4096 bytes are kept")
            << 0 << QByteArrayList{kilo, kilo, kilo, kilo}
            << QByteArrayList{kilo, kilo + kilo, kilo + kilo + kilo, full} << kPreset << 0
            << kFormLabels << QStringList() << kPresetAddress << presetText;
        QTest::newRow("the 4097th byte drops them all")
            << 0 << QByteArrayList{kilo, kilo, kilo, kilo, QByteArray(1, '\x55')}
            << QByteArrayList{kilo, kilo + kilo, kilo + kilo + kilo, full, QByteArray()} << kPreset << 0
            << kFormLabels << QStringList() << kPresetAddress << presetText;
        QTest::newRow("4097 bytes at once")
            << 0 << QByteArrayList{full + '\x55'} << QByteArrayList{QByteArray()} << kPreset << 0
            << kFormLabels << QStringList() << kPresetAddress << presetText;
        QTest::newRow("a reply after dropped noise")
            << 0 << QByteArrayList{full + '\x55', kAllReply} << QByteArrayList{QByteArray(), QByteArray()}
            << kAllValues << 1 << allLabels << rx(kAllReply) << kPresetAddress << presetText;
    }
    void decode()
    {
        QFETCH(int, item);
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArrayList, bufferAfter);
        QFETCH(QList<int>, values);
        QFETCH(int, replyReceived);
        QFETCH(QStringList, labelTexts);
        QFETCH(QStringList, rx);
        QFETCH(int, address);
        QFETCH(QString, addressText);
        QCOMPARE(chunks.size(), bufferAfter.size());

        UartData.Temperature = static_cast<qint16>(kPreset[0]);
        UartData.Humidity = static_cast<quint16>(kPreset[1]);
        UartData.DewTemp = static_cast<qint16>(kPreset[2]);
        UartData.WetBulbTemp = static_cast<qint16>(kPreset[3]);
        UartData.Address = kPresetAddress;
        ui->lineEditAddress->setText(QString::number(kPresetAddress));
        QCOMPARE(labels(), kFormLabels);
        WidgetAccess::readItem(w) = static_cast<quint16>(item);

        bool emptied = false;
        for (int i = 0; i < chunks.size(); ++i) {
            WidgetAccess::receive(w, chunks[i]);
            QCOMPARE(UartData.RxBuffer, bufferAfter[i]);
            if (bufferAfter[i].isEmpty()) {
                emptied = true;
            } else if (!emptied) {
                // Bytes still waiting: nothing else may have moved yet.
                QCOMPARE(storedValues(), kPreset);
                QCOMPARE(int(UartData.ReplyReceived), 0);
                QCOMPARE(labels(), kFormLabels);
                QCOMPARE(traffic(), QStringList());
            }
        }

        QCOMPARE(storedValues(), values);
        QCOMPARE(int(UartData.ReplyReceived), replyReceived);
        QCOMPARE(labels(), labelTexts);
        QCOMPARE(traffic(), rx);
        QCOMPARE(int(UartData.Address), address);
        QCOMPARE(ui->lineEditAddress->text(), addressText);
        QCOMPARE(int(WidgetAccess::readItem(w)), item);
    }

    // Bytes that never become a frame go after 500 ms of silence; every chunk
    // starts the 500 ms again.
    void silenceDropsUndecodedBytes_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");

        QTest::newRow("reply cut short") << kAllReply.left(3) << kAllReply.mid(3, 5);
        QTest::newRow("wrong CRC") << bytes("01030200FA") << bytes("3808");
        QTest::newRow("one byte too many") << kAllReply.left(14) << kAllReply.right(1) + '\0';
    }
    void silenceDropsUndecodedBytes()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QTimer *clear = WidgetAccess::timerClear(w);

        WidgetAccess::receive(w, first);
        QVERIFY(clear->isActive());
        QCOMPARE(clear->interval(), 500);
        // Stretched by hand; the next chunk must bring it back to 500 ms.
        clear->start(60000);
        WidgetAccess::receive(w, second);
        QVERIFY(clear->isActive());
        QCOMPARE(clear->interval(), 500);
        // Coarse timers may run up to 5 % late.
        QVERIFY2(clear->remainingTime() > 400 && clear->remainingTime() <= 525,
                 qPrintable(QString::number(clear->remainingTime())));
        QVERIFY(!UartData.RxBuffer.isEmpty());

        QVERIFY(QMetaObject::invokeMethod(w, "TimerClearSlot"));
        QVERIFY(UartData.RxBuffer.isEmpty());
        QVERIFY(!clear->isActive());
        QCOMPARE(traffic(), QStringList());
        QCOMPARE(int(UartData.ReplyReceived), 0);
    }

    void display_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<QList<int>>("values"); // T, H, D, W
        QTest::addColumn<QStringList>("expected");

        const QString t = QStringLiteral("Temperature:---");
        const QString h = QStringLiteral("Humidity:---");
        const QString d = QStringLiteral("DewTemp:---");
        const QString dd = QStringLiteral("DewTemp::---");
        const QString wb = QStringLiteral("WetBulbTemp:---");
        const QString tv = deg("Temperature:25.0");
        const QString hv = QStringLiteral("Humidity:50.0%");
        const QString dv = deg("DewTemp:11.0");
        const QString wv = deg("WetBulbTemp:20.0");
        const QStringList untouched{QStringLiteral("T?"), QStringLiteral("H?"), QStringLiteral("D?"),
                                    QStringLiteral("W?")};

        QTest::newRow("0 shows all four") << 0 << kAllValues << QStringList{tv, hv, dv, wv};
        QTest::newRow("1 temperature") << 1 << kAllValues << QStringList{tv, h, d, wb};
        QTest::newRow("2 humidity") << 2 << kAllValues << QStringList{t, hv, d, wb};
        QTest::newRow("3 dew point") << 3 << kAllValues << QStringList{t, h, dv, wb};
        QTest::newRow("4 wet bulb") << 4 << kAllValues << QStringList{t, h, dd, wv};
        QTest::newRow("5 status") << 5 << kAllValues << QStringList{t, h, dd, wb};
        QTest::newRow("6 leaves the labels") << 6 << kAllValues << untouched;
        QTest::newRow("255 leaves the labels") << 255 << kAllValues << untouched;

        QTest::newRow("negative tenths")
            << 0 << QList<int>{-100, 65535, -5, 5}
            << QStringList{deg("Temperature:-10.0"), QStringLiteral("Humidity:6553.5%"), deg("DewTemp:-0.5"),
                           deg("WetBulbTemp:0.5")};
        QTest::newRow("below one degree")
            << 0 << QList<int>{5, 1, -1, -9}
            << QStringList{deg("Temperature:0.5"), QStringLiteral("Humidity:0.1%"), deg("DewTemp:-0.1"),
                           deg("WetBulbTemp:-0.9")};
        QTest::newRow("register extremes")
            << 0 << QList<int>{-32768, 0, 32767, -32768}
            << QStringList{deg("Temperature:-3276.8"), QStringLiteral("Humidity:0.0%"),
                           deg("DewTemp:3276.7"), deg("WetBulbTemp:-3276.8")};
        QTest::newRow("temperature 0.5 alone") << 1 << QList<int>{5, 0, 0, 0} << QStringList{deg("Temperature:0.5"), h, d, wb};
    }
    void display()
    {
        QFETCH(int, selector);
        QFETCH(QList<int>, values);
        QFETCH(QStringList, expected);

        ui->labelTemperature->setText(QStringLiteral("T?"));
        ui->labelHumidity->setText(QStringLiteral("H?"));
        ui->labelDewTemp->setText(QStringLiteral("D?"));
        ui->labelWetBulbTemp->setText(QStringLiteral("W?"));
        UartData.Temperature = static_cast<qint16>(values[0]);
        UartData.Humidity = static_cast<quint16>(values[1]);
        UartData.DewTemp = static_cast<qint16>(values[2]);
        UartData.WetBulbTemp = static_cast<qint16>(values[3]);

        WidgetAccess::displayHumiture(w, static_cast<quint8>(selector));
        QCOMPARE(labels(), expected);
    }

    // A German desktop writes "25,0"; the readings keep the point and no
    // thousands separator.
    void displayIgnoresLocale()
    {
        const DefaultLocale german{QLocale(QLocale::German, QLocale::Germany)};
        QCOMPARE(QLocale().toString(2.5, 'f', 1), QStringLiteral("2,5"));
        UartData.Temperature = 250;
        UartData.Humidity = 655;
        UartData.DewTemp = -5;
        UartData.WetBulbTemp = 12345;
        WidgetAccess::displayHumiture(w, 0);
        QCOMPARE(labels(), (QStringList{deg("Temperature:25.0"), QStringLiteral("Humidity:65.5%"),
                                        deg("DewTemp:-0.5"), deg("WetBulbTemp:1234.5")}));
    }

    void poll_data()
    {
        QTest::addColumn<QString>("addressText");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("item");

        const QString one = QStringLiteral("1");
        QTest::newRow("1, ALL") << one << 0 << bytes("01030000000585C9") << 0;
        QTest::newRow("1, Temperature") << one << 1 << bytes("010300000001840A") << 0;
        QTest::newRow("1, Humidity") << one << 2 << withCrc(bytes("010300010001")) << 1;
        QTest::newRow("1, DewTemp") << one << 3 << withCrc(bytes("010300020001")) << 2;
        QTest::newRow("1, WetBulbTemp") << one << 4 << withCrc(bytes("010300030001")) << 3;
        QTest::newRow("1, Status") << one << 5 << bytes("010300040001C5CB") << 4;
        QTest::newRow("1, nothing chosen") << one << -1 << bytes("01030000000585C9") << 0;
        const QString top = QStringLiteral("247");
        QTest::newRow("247, ALL") << top << 0 << withCrc(bytes("F70300000005")) << 0;
        QTest::newRow("247, Humidity") << top << 2 << withCrc(bytes("F70300010001")) << 1;
        QTest::newRow("247, Status") << top << 5 << withCrc(bytes("F70300040001")) << 4;
        QTest::newRow("16, WetBulbTemp") << QStringLiteral("16") << 4 << withCrc(bytes("100300030001")) << 3;
    }
    void poll()
    {
        QFETCH(QString, addressText);
        QFETCH(int, index);
        QFETCH(QByteArray, frame);
        QFETCH(int, item);
        MessageBoxCatcher catcher;
        QTimer *humiture = WidgetAccess::timerHumiture(w);

        ui->lineEditAddress->setText(addressText);
        ui->comboBoxNum->setCurrentIndex(index);
        QCOMPARE(ui->comboBoxNum->currentIndex(), index);
        UartData.ReplyReceived = 1;
        WidgetAccess::readItem(w) = 999;

        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Read"));
        ui->pushButtonRead->click();
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Stop"));
        QVERIFY(humiture->isActive());
        QCOMPARE(humiture->interval(), 1000);
        QCOMPARE(traffic(), QStringList());

        QVERIFY(QMetaObject::invokeMethod(w, "ReadHumitureOrder"));
        QCOMPARE(traffic(), tx(frame));
        QCOMPARE(int(WidgetAccess::readItem(w)), item);
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(int(UartData.ReplyReceived), 0);
        QVERIFY(humiture->isActive());
        QCOMPARE(humiture->interval(), 1000);
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Stop"));
        QCOMPARE(ui->lineEditAddress->text(), addressText);
        QCOMPARE(catcher.count(), 0);
    }

    void pollRejectsAddress_data()
    {
        QTest::addColumn<QString>("addressText");
        QTest::addColumn<QString>("message");

        const QString range = QStringLiteral("The address is between 1 and 247!");
        QTest::newRow("empty") << QString() << QStringLiteral("The address is empty!");
        QTest::newRow("0") << QStringLiteral("0") << range;
        QTest::newRow("248") << QStringLiteral("248") << range;
        QTest::newRow("abc") << QStringLiteral("abc") << range;
    }
    void pollRejectsAddress()
    {
        QFETCH(QString, addressText);
        QFETCH(QString, message);
        MessageBoxCatcher catcher;

        ui->lineEditAddress->setText(addressText);
        WidgetAccess::readItem(w) = 3;
        ui->pushButtonRead->click();
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Stop"));
        QVERIFY(QMetaObject::invokeMethod(w, "ReadHumitureOrder"));

        verifyOneErrorBox(catcher, message);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(traffic(), QStringList());
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Read"));
        QVERIFY(!WidgetAccess::timerHumiture(w)->isActive());
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(int(WidgetAccess::readItem(w)), 3);
        QCOMPARE(ui->lineEditAddress->text(), addressText);
    }

    // While reading, any command pushes the next poll a full second away,
    // whatever interval the reading timer had.
    void commandRestartsPolling_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("address read") << QStringLiteral("pushButtonAddressRead") << bytes("0003010000018427");
        QTest::newRow("address write") << QStringLiteral("pushButtonAddress") << bytes("00060100000549E4");
        QTest::newRow("baud write") << QStringLiteral("pushButtonBaudRate") << bytes("000601010004D9E4");
    }
    void commandRestartsPolling()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, frame);
        QTimer *humiture = WidgetAccess::timerHumiture(w);
        QTimer *response = WidgetAccess::timerResponse(w);

        ui->lineEditAddress->setText(QStringLiteral("5"));
        QCOMPARE(ui->comboBoxBaudRate->currentText(), QStringLiteral("9600"));
        ui->pushButtonRead->click();
        humiture->start(3000);
        w->findChild<QPushButton *>(button)->click();

        QCOMPARE(traffic(), tx(frame));
        QVERIFY(humiture->isActive());
        QCOMPARE(humiture->interval(), 1000);
        QVERIFY2(humiture->remainingTime() > 900 && humiture->remainingTime() <= 1050,
                 qPrintable(QString::number(humiture->remainingTime())));
        QVERIFY(response->isActive());
        QCOMPARE(response->interval(), 500);
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Stop"));
    }

    // The logger workflow holds the polls back with a longer interval; the
    // first poll waits for it and starts the one-second rhythm again. (The
    // second is not awaited: the first poll's timer restart shows it, and a
    // further second of waiting would double the program's run time.)
    void longerPollIntervalIsHonoured()
    {
        MessageBoxCatcher catcher;
        QTimer *humiture = WidgetAccess::timerHumiture(w);
        ui->lineEditAddress->setText(QStringLiteral("1"));
        ui->comboBoxNum->setCurrentIndex(1);
        ui->pushButtonRead->click();

        QElapsedTimer clock;
        QList<qint64> sent;
        QList<int> remainingAfter;
        QObject listening; // goes first, taking the connection with it
        connect(ui->textBrowser, &QTextBrowser::textChanged, &listening, [&] {
            sent << clock.elapsed();
            remainingAfter << humiture->remainingTime();
        });
        clock.start();
        humiture->start(3000);

        QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 1, 4000);
        // A coarse timer may fire 5 % either side; a loaded machine adds a little on top.
        QVERIFY2(sent[0] >= 2850 && sent[0] <= 3200, qPrintable(QString::number(sent[0])));
        QCOMPARE(traffic(), tx(bytes("010300000001840A")));
        QVERIFY(humiture->isActive());
        QCOMPARE(humiture->interval(), 1000);
        QVERIFY2(remainingAfter[0] > 900 && remainingAfter[0] <= 1050,
                 qPrintable(QString::number(remainingAfter[0])));
        QCOMPARE(catcher.count(), 0);
    }

    void ticksWhileNotReading_data()
    {
        QTest::addColumn<QString>("addressText");
        QTest::addColumn<bool>("startedAndStopped");

        QTest::newRow("never started") << QStringLiteral("1") << false;
        QTest::newRow("started and stopped") << QStringLiteral("1") << true;
        // Would be refused with a box if the tick were not idle.
        QTest::newRow("empty address") << QString() << false;
    }
    void ticksWhileNotReading()
    {
        QFETCH(QString, addressText);
        QFETCH(bool, startedAndStopped);
        MessageBoxCatcher catcher;
        QTimer *humiture = WidgetAccess::timerHumiture(w);

        ui->lineEditAddress->setText(addressText);
        if (startedAndStopped) {
            ui->pushButtonRead->click();
            QVERIFY(humiture->isActive());
            ui->pushButtonRead->click();
        }
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Read"));
        QVERIFY(!humiture->isActive());

        QVERIFY(QMetaObject::invokeMethod(w, "ReadHumitureOrder"));
        QCoreApplication::processEvents();
        QCOMPARE(traffic(), QStringList());
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Read"));
        QVERIFY(!humiture->isActive());
        QCOMPARE(catcher.count(), 0);
    }

    void addressWrite_data()
    {
        QTest::addColumn<QString>("addressText");
        QTest::addColumn<QByteArray>("frame");  // empty: nothing may be sent
        QTest::addColumn<QString>("message");   // empty: no box

        const QString range = QStringLiteral("The address is between 1 and 247!");
        QTest::newRow("5") << QStringLiteral("5") << bytes("00060100000549E4") << QString();
        QTest::newRow("1") << QStringLiteral("1") << withCrc(bytes("000601000001")) << QString();
        QTest::newRow("247") << QStringLiteral("247") << withCrc(bytes("0006010000F7")) << QString();
        QTest::newRow("empty") << QString() << QByteArray() << QStringLiteral("The address is empty!");
        QTest::newRow("0") << QStringLiteral("0") << QByteArray() << range;
        QTest::newRow("248") << QStringLiteral("248") << QByteArray() << range;
        QTest::newRow("abc") << QStringLiteral("abc") << QByteArray() << range;
    }
    void addressWrite()
    {
        QFETCH(QString, addressText);
        QFETCH(QByteArray, frame);
        QFETCH(QString, message);
        MessageBoxCatcher catcher;
        QTimer *humiture = WidgetAccess::timerHumiture(w);
        QTimer *response = WidgetAccess::timerResponse(w);

        ui->lineEditAddress->setText(addressText);
        UartData.ReplyReceived = 1;
        WidgetAccess::readItem(w) = 3;
        ui->pushButtonAddress->click();

        if (message.isEmpty()) {
            QCOMPARE(traffic(), tx(frame));
            QCOMPARE(int(WidgetAccess::readItem(w)), 256);
            QVERIFY(response->isActive());
            QCOMPARE(response->interval(), 500);
            QVERIFY(humiture->isActive());
            QCOMPARE(humiture->interval(), 1000);
            QCOMPARE(int(UartData.ReplyReceived), 0);
            QCOMPARE(catcher.count(), 0);
        } else {
            verifyOneErrorBox(catcher, message);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(traffic(), QStringList());
            QCOMPARE(int(WidgetAccess::readItem(w)), 3);
            QVERIFY(!response->isActive());
            QVERIFY(!humiture->isActive());
            QCOMPARE(int(UartData.ReplyReceived), 1);
        }
        QCOMPARE(ui->lineEditAddress->text(), addressText);
        QCOMPARE(ui->pushButtonRead->text(), QStringLiteral("Read"));
    }

    // The probe goes to address 0 whatever the field says.
    void addressRead_data()
    {
        QTest::addColumn<QString>("addressText");

        QTest::newRow("empty") << QString();
        QTest::newRow("xyz") << QStringLiteral("xyz");
        QTest::newRow("12") << QStringLiteral("12");
    }
    void addressRead()
    {
        QFETCH(QString, addressText);
        MessageBoxCatcher catcher;

        ui->lineEditAddress->setText(addressText);
        UartData.ReplyReceived = 1;
        ui->pushButtonAddressRead->click();

        QCOMPARE(traffic(), tx(bytes("0003010000018427")));
        QCOMPARE(int(WidgetAccess::readItem(w)), 256);
        QVERIFY(WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(WidgetAccess::timerResponse(w)->interval(), 500);
        QVERIFY(WidgetAccess::timerHumiture(w)->isActive());
        QCOMPARE(WidgetAccess::timerHumiture(w)->interval(), 1000);
        QCOMPARE(int(UartData.ReplyReceived), 0);
        QCOMPARE(ui->lineEditAddress->text(), addressText);
        QCOMPARE(catcher.count(), 0);
    }

    void baudWrite_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("rate");

        QTest::newRow("1200") << QStringLiteral("1200") << withCrc(bytes("000601010001")) << 1200;
        QTest::newRow("2400") << QStringLiteral("2400") << withCrc(bytes("000601010002")) << 2400;
        QTest::newRow("4800") << QStringLiteral("4800") << withCrc(bytes("000601010003")) << 4800;
        QTest::newRow("9600") << QStringLiteral("9600") << bytes("000601010004D9E4") << 9600;
        QTest::newRow("19200") << QStringLiteral("19200") << withCrc(bytes("000601010005")) << 19200;
        QTest::newRow("115200") << QStringLiteral("115200") << bytes("0006010100065825") << 115200;
    }
    void baudWrite()
    {
        QFETCH(QString, item);
        QFETCH(QByteArray, frame);
        QFETCH(int, rate);
        MessageBoxCatcher catcher;

        ui->comboBoxBaudRate->setCurrentText(item);
        QCOMPARE(ui->comboBoxBaudRate->currentText(), item);
        UartData.BaudRate = 38400;
        UartData.ReplyReceived = 1;
        ui->pushButtonBaudRate->click();

        QCOMPARE(traffic(), tx(frame));
        QCOMPARE(int(WidgetAccess::readItem(w)), 257);
        QCOMPARE(int(UartData.BaudSetPending), 1);
        // Taken over at once; the port follows once the echo has been seen.
        QCOMPARE(UartData.BaudRate, rate);
        QCOMPARE(int(UartData.ReplyReceived), 0);
        QVERIFY(WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(WidgetAccess::timerResponse(w)->interval(), 500);
        QVERIFY(WidgetAccess::timerHumiture(w)->isActive());
        QCOMPARE(WidgetAccess::timerHumiture(w)->interval(), 1000);
        QCOMPARE(catcher.count(), 0);
    }
};

QTEST_MAIN(TestMeasure)
#include "tst_measure.moc"
