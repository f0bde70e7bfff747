// The register protocol's pure functions: checksum, request frames, reply
// lengths, log lines and baud-rate codes. Every expected byte comes from a
// published check value or a captured frame, never from the code under test.
#include "protocol/logframe.h"
#include "protocol/rtu.h"
#include "ui/widget.h"

#include <QDateTime>
#include <QtTest>

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    // Both checksum entry points over the same inputs: rtu::crc16 gives the
    // register (low byte sent first), Widget::CalcCRC16 the two wire bytes
    // read as one big-endian word.
    void crc_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<quint16>("registerValue");
        QTest::addColumn<QByteArray>("wire");

        QTest::newRow("check value 123456789")
            << QByteArray("123456789") << quint16(0x4B37) << QByteArray::fromHex("374B");
        QTest::newRow("empty input keeps the initial value")
            << QByteArray() << quint16(0xFFFF) << QByteArray::fromHex("FFFF");
        // Captured frames: the checksum of all but the last two bytes is those two bytes.
        auto frame = [](const char *name, const char *hex) {
            const QByteArray bytes = QByteArray::fromHex(hex);
            const QByteArray tail = bytes.right(2);
            const quint16 reg = static_cast<quint16>(static_cast<quint8>(tail[0])
                                                     | static_cast<quint8>(tail[1]) << 8);
            QTest::newRow(name) << bytes.left(bytes.size() - 2) << reg << tail;
        };
        frame("temperature poll", "010300000001840A");
        frame("five-register reply", "01030A00FA01F4006E00C800004226");
        frame("negative temperature reply", "010302FF9CF9DD");
        frame("exception reply", "018302C0F1");
        frame("address read reply", "0003020007C446");
    }
    void crc()
    {
        QFETCH(QByteArray, input);
        QFETCH(quint16, registerValue);
        QFETCH(QByteArray, wire);

        QCOMPARE(rtu::crc16(input), registerValue);
        QCOMPARE(rtu::crc16(input.constData(), input.size()), registerValue);
        const quint16 wireWord = static_cast<quint16>(static_cast<quint8>(wire[0]) << 8
                                                      | static_cast<quint8>(wire[1]));
        QCOMPARE(Widget::CalcCRC16(reinterpret_cast<const quint8 *>(input.constData()),
                                   static_cast<quint16>(input.size())),
                 wireWord);
    }

    void buildRequest_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("address probe") << 0 << 3 << 0x0100 << 1 << QByteArray::fromHex("0003010000018427");
        QTest::newRow("address write 5") << 0 << 6 << 0x0100 << 5 << QByteArray::fromHex("00060100000549E4");
        QTest::newRow("baud code 4") << 0 << 6 << 0x0101 << 4 << QByteArray::fromHex("000601010004D9E4");
        QTest::newRow("baud code 6") << 0 << 6 << 0x0101 << 6 << QByteArray::fromHex("0006010100065825");
        QTest::newRow("temperature poll") << 1 << 3 << 0x0000 << 1 << QByteArray::fromHex("010300000001840A");
        QTest::newRow("ALL poll") << 1 << 3 << 0x0000 << 5 << QByteArray::fromHex("01030000000585C9");
        QTest::newRow("status poll") << 1 << 3 << 0x0004 << 1 << QByteArray::fromHex("010300040001C5CB");
    }
    void buildRequest()
    {
        QFETCH(int, address);
        QFETCH(int, function);
        QFETCH(int, reg);
        QFETCH(int, value);
        QFETCH(QByteArray, expected);

        const QByteArray frame = rtu::buildRequest(static_cast<quint8>(address),
                                                   static_cast<quint8>(function),
                                                   static_cast<quint16>(reg),
                                                   static_cast<quint16>(value));
        QCOMPARE(frame.toHex(), expected.toHex());
        QCOMPARE(frame.size(), rtu::RequestSize);
    }

    void replyLength_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<int>("length");

        QTest::newRow("fc 3, 2 data bytes") << QByteArray::fromHex("010302") << 7;
        QTest::newRow("fc 3, 10 data bytes") << QByteArray::fromHex("01030A") << 15;
        // The byte count is unsigned: 0xFF announces 255 bytes, not -1.
        QTest::newRow("fc 3, 255 data bytes") << QByteArray::fromHex("0103FF") << 260;
        QTest::newRow("fc 6") << QByteArray::fromHex("0006") << 8;
        QTest::newRow("fc 6, whole echo") << QByteArray::fromHex("000601010004D9E4") << 8;
        QTest::newRow("exception 0x83") << QByteArray::fromHex("018302C0F1") << 5;
        QTest::newRow("unknown code 0x22") << QByteArray::fromHex("01220A") << 5;
        QTest::newRow("one byte") << QByteArray::fromHex("01") << 5;
        QTest::newRow("empty") << QByteArray() << 5;
        QTest::newRow("fc 3, byte count not yet arrived") << QByteArray::fromHex("0103") << 5;
    }
    void replyLength()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(int, length);

        QCOMPARE(rtu::replyLength(buffer), length);
        QCOMPARE(rtu::replyDataLength(buffer), length - 5);
    }

    void trafficLogLine_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<bool>("isRx");
        QTest::addColumn<QString>("expected");

        const QDateTime early(QDate(2024, 1, 2), QTime(3, 4, 5));
        QTest::newRow("probe sent") << early << QStringLiteral("0003010000018427") << false
                                    << QStringLiteral("<font color=red>2024-01-02 03:04:05->TX  0003010000018427</font>");
        QTest::newRow("probe received") << early << QStringLiteral("0003010000018427") << true
                                        << QStringLiteral("<font color=green>2024-01-02 03:04:05->RX  0003010000018427</font>");
        // 24-hour clock, four-digit year.
        const QDateTime late(QDate(1999, 12, 31), QTime(23, 59, 58));
        QTest::newRow("evening reply") << late << QStringLiteral("018302c0f1") << true
                                       << QStringLiteral("<font color=green>1999-12-31 23:59:58->RX  018302c0f1</font>");
    }
    void trafficLogLine()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, hex);
        QFETCH(bool, isRx);
        QFETCH(QString, expected);

        QCOMPARE(::trafficLogLine(when, hex, isRx), expected);
    }

    // A sent and a received line for the same frame differ in the colour and
    // the direction marker only.
    void txAndRxDifferOnlyInTagAndMarker()
    {
        const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 5));
        const QString hex = QStringLiteral("01030000000585c9");
        QString tx = ::trafficLogLine(when, hex, false);
        const QString rx = ::trafficLogLine(when, hex, true);
        QVERIFY(tx != rx);
        tx.replace(QStringLiteral("color=red>"), QStringLiteral("color=green>"));
        tx.replace(QStringLiteral("->TX  "), QStringLiteral("->RX  "));
        QCOMPARE(tx, rx);
    }

    void baudCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("rate");

        QTest::newRow("1") << 1 << 1200;
        QTest::newRow("2") << 2 << 2400;
        QTest::newRow("3") << 3 << 4800;
        QTest::newRow("4") << 4 << 9600;
        QTest::newRow("5") << 5 << 19200;
        QTest::newRow("6") << 6 << 115200;
    }
    void baudCodes()
    {
        QFETCH(int, code);
        QFETCH(int, rate);

        QCOMPARE(rtu::baudRateForCode(code), rate);
        QCOMPARE(rtu::codeForBaudRate(rate), code);
    }

    void unknownBaudCodes_data()
    {
        QTest::addColumn<bool>("isCode");
        QTest::addColumn<int>("value");

        QTest::newRow("code 0") << true << 0;
        QTest::newRow("code 7") << true << 7;
        QTest::newRow("code -1") << true << -1;
        QTest::newRow("rate 38400") << false << 38400;
        QTest::newRow("rate 57600") << false << 57600;
        QTest::newRow("rate 0") << false << 0;
    }
    void unknownBaudCodes()
    {
        QFETCH(bool, isCode);
        QFETCH(int, value);

        if (isCode)
            QCOMPARE(rtu::baudRateForCode(value), 0);
        else
            QCOMPARE(rtu::codeForBaudRate(value), 0);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
