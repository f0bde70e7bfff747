// The pure functions, byte for byte: checksums, frames, log lines, the build
// stamp and the logger's tables, beyond the frames the end-to-end table sees.
// Expected bytes are published check values or worked out by hand.
#include "app/buildstamp.h"
#include "protocol/logframe.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"
#include "ui/widget.h"

#include <QtTest>

class TestProtocol : public QObject
{
    Q_OBJECT
private slots:
    void table_data();
    void table()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }
};

static QString hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ')); }

void TestProtocol::table_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QString &actual, const char *expected) {
        QTest::newRow(name) << actual << QString::fromUtf8(expected);
    };
    row("crc of 123456789", QString::number(rtu::crc16(QByteArray("123456789")), 16), "4b37");
    row("crc of nothing", QString::number(rtu::crc16(QByteArray()), 16), "ffff");
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

    row("build date, one-digit day", parseBuildDate(QStringLiteral("Sep  7 2022")).toString(Qt::ISODate), "2022-09-07");
    row("build date, two-digit day", parseBuildDate(QStringLiteral("Dec 17 2025")).toString(Qt::ISODate), "2025-12-17");
    row("build time", parseBuildTime(QStringLiteral("09:05:03")).toString(QStringLiteral("hhmm ss")), "0905 03");
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
