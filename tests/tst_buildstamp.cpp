#include "app/buildstamp.h"

#include <QLocale>
#include <QtTest>

class TestBuildStamp : public QObject
{
    Q_OBJECT
private slots:
    void date_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("one-digit day") << "Sep  7 2022" << QDate(2022, 9, 7);
        QTest::newRow("two-digit day") << "Sep 17 2022" << QDate(2022, 9, 17);
        QTest::newRow("January") << "Jan  1 2026" << QDate(2026, 1, 1);
        QTest::newRow("December") << "Dec 31 2025" << QDate(2025, 12, 31);
        QTest::newRow("leap day") << "Feb 29 2024" << QDate(2024, 2, 29);
    }
    void date()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        QCOMPARE(parseBuildDate(text), expected);
    }

    // The month names are English whatever the machine speaks.
    void dateUnderGermanLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QDate parsed = parseBuildDate(QStringLiteral("Dec  3 2024"));
        QLocale::setDefault(saved);
        QCOMPARE(parsed, QDate(2024, 12, 3));
    }

    void time_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("expected");
        QTest::addColumn<QString>("hhmm");
        QTest::newRow("morning") << "09:05:03" << QTime(9, 5, 3) << "0905";
        QTest::newRow("evening") << "17:57:20" << QTime(17, 57, 20) << "1757";
        QTest::newRow("midnight") << "00:00:00" << QTime(0, 0, 0) << "0000";
    }
    void time()
    {
        QFETCH(QString, text);
        QFETCH(QTime, expected);
        QFETCH(QString, hhmm);
        const QTime parsed = parseBuildTime(text);
        QCOMPARE(parsed, expected);
        QCOMPARE(parsed.toString(QStringLiteral("hhmm")), hhmm);
    }

    void stampIsTheCompilersOwn()
    {
        QVERIFY(BuildDate.isValid());
        QVERIFY(BuildTime.isValid());
        QVERIFY(BuildDate >= QDate(2026, 1, 1));
        QVERIFY(BuildDate <= QDate::currentDate());
    }
};

QTEST_GUILESS_MAIN(TestBuildStamp)
#include "tst_buildstamp.moc"
