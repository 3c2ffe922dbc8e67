#include "services/app_error.h"
#include "services/regional.h"
#include "services/timestamps.h"

#include <QLocale>
#include <QTest>
#include <ctime>

class TestRegional : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void formatsWithPointAndComma()
    {
        QCOMPARE(regional::format2(17.0648), QStringLiteral("17.06"));
        QCOMPARE(regional::format1(9.6), QStringLiteral("9.6"));
        QCOMPARE(regional::format3(8.44178), QStringLiteral("8.442"));
        QCOMPARE(regional::format2(0), QStringLiteral("0.00"));
        QCOMPARE(regional::format2(-0.001), QStringLiteral("0.00")); // never "-0.00"
        QCOMPARE(regional::format2(1234567.891), QStringLiteral("1234567.89"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(regional::format2(243.84), QStringLiteral("243,84"));
        QCOMPARE(regional::numberText(8.442), QStringLiteral("8,442"));
        QCOMPARE(regional::numberText(100), QStringLiteral("100"));
    }

    void regionalTextToNumber()
    {
        QCOMPARE(regional::toNumber(QStringLiteral(" 850.2 ")).value(), 850.2);
        QCOMPARE(regional::toNumber(QStringLiteral("-3")).value(), -3.0);
        QCOMPARE(regional::toNumber(QStringLiteral("8.")).value(), 8.0);
        QCOMPARE(regional::toNumber(QStringLiteral(".5")).value(), 0.5);
        QCOMPARE(regional::toNumber(QStringLiteral("1e3")).value(), 1000.0);
        for (const char* bad : {"", " ", "abc", "8.4.4", "12a", "1e", ".", "+", "1,5", "nan", "inf", "1e999"})
            QVERIFY2(!regional::toNumber(QString::fromLatin1(bad)), bad);
        QVERIFY_THROWS_EXCEPTION(AppError, regional::toNumberOrFail(QStringLiteral("x")));

        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(regional::toNumber(QStringLiteral("101,5")).value(), 101.5);
        QVERIFY(!regional::toNumber(QStringLiteral("101.5"))); // a point is not the separator here
    }

    void leadingNumberReadsWithAPoint()
    {
        QCOMPARE(regional::leadingNumber(QStringLiteral("0980")), 980.0);
        QCOMPARE(regional::leadingNumber(QStringLiteral("0980.45")), 980.45);
        QCOMPARE(regional::leadingNumber(QStringLiteral("6,01")), 6.0); // a comma ends the number
        QCOMPARE(regional::leadingNumber(QStringLiteral(" 1 2x")), 12.0);
        QCOMPARE(regional::leadingNumber(QStringLiteral("abc")), 0.0);
        QCOMPARE(regional::leadingNumber(QStringLiteral("-2.5e1q")), -25.0);
        QCOMPARE(regional::leadingNumber(QStringLiteral("12e")), 12.0);
        QCOMPARE(regional::leadingNumber(QString()), 0.0);
        QCOMPARE(regional::leadingNumber(QStringLiteral("1e999")), 0.0);
    }

    void sixteenBitArithmetic()
    {
        QCOMPARE(regional::addInt16(32766, 1), qint16(32767));
        QVERIFY_THROWS_EXCEPTION(AppError, regional::addInt16(32767, 1));
        QVERIFY_THROWS_EXCEPTION(AppError, regional::toInt16(-32769));
        try {
            regional::addInt16(32767, 1);
        } catch (const AppError& e) {
            QCOMPARE(e.number(), int(AppError::Overflow));
        }
    }

    void eurozoneFollowsTheDecimalSeparator()
    {
        QVERIFY(regional::isCommaSeparator(QStringLiteral(",")));
        QVERIFY(!regional::isCommaSeparator(QStringLiteral(".")));
        QVERIFY(!regional::isCommaSeparator(QStringLiteral(",,")));
        QVERIFY(!regional::checkDecimalSeparator(false));
        QVERIFY(regional::checkDecimalSeparator(true)); // never cleared
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
        QVERIFY(regional::checkDecimalSeparator(false));
    }

    void shotDateTimeUsesDayFirst()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(1, 30, 5));
        QCOMPARE(regional::shotDateTime(when, true), QStringLiteral("06/12/2026 01:30:05"));
        QCOMPARE(regional::shotDateTime(when, false), QStringLiteral("06/12/26 01:30:05"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(regional::shotDateTime(when, true), QStringLiteral("06.12.2026 01:30:05"));
        // Every field keeps its leading zeros, and a year past four digits is written whole.
        const QDateTime early(QDate(5, 1, 9), QTime(0, 0, 0));
        QCOMPARE(regional::shotDateTime(early, true), QStringLiteral("09.01.0005 00:00:00"));
        QCOMPARE(regional::shotDateTime(early, false), QStringLiteral("09.01.05 00:00:00"));
        const QDateTime late(QDate(12345, 10, 31), QTime(23, 59, 59));
        QCOMPARE(regional::shotDateTime(late, true), QStringLiteral("31.10.12345 23:59:59"));
        QCOMPARE(regional::shotDateTime(late, false), QStringLiteral("31.10.45 23:59:59"));
    }

    void timeStampsUseTheStandardBias()
    {
        const QDateTime epoch(QDate(1970, 1, 1), QTime(0, 0));
        QCOMPARE(timestamps::dateToUnix(epoch, -60), -3600);
        QCOMPARE(timestamps::unixToDate(-3600, -60).toString(Qt::ISODate), QStringLiteral("1970-01-01T00:00:00"));
        QCOMPARE(timestamps::dateToUnix(QDateTime(QDate(2026, 12, 6), QTime(1, 30)), 0), 1796520600);
        // Summer time changes nothing: 12:00 local is stored as 12:00 with bias 0 and reads back as 12:00.
        const QDateTime noon(QDate(2026, 7, 1), QTime(12, 0));
        const qint32 stamp = timestamps::dateToUnix(noon, 0);
        QCOMPARE(stamp, qint32(QDateTime(noon.date(), noon.time(), Qt::UTC).toSecsSinceEpoch()));
        QCOMPARE(timestamps::unixToDate(stamp, 0).time(), QTime(12, 0));
        // Round trip in the machine's own zone, every season.
        for (int month : {1, 4, 7, 10}) {
            const QDateTime local(QDate(2026, month, 15), QTime(9, 41, 7));
            QCOMPARE(timestamps::unixToDate(timestamps::dateToUnix(local)).time(), local.time());
        }
        QVERIFY_THROWS_EXCEPTION(AppError, timestamps::dateToUnix(QDateTime(QDate(2038, 2, 1), QTime(0, 0)), 0));
    }

    // The zone's own standard offset, read from the system: one hour east of UTC is a bias of -60
    // in July too, when the clocks are an hour further on.
    void theBiasIsTheZonesStandardOffset()
    {
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QCOMPARE(timestamps::standardBiasMinutes(), -60);
        const QDateTime noon(QDate(2026, 7, 1), QTime(12, 0));
        QCOMPARE(timestamps::dateToUnix(noon),
                 qint32(QDateTime(noon.date(), QTime(11, 0), Qt::UTC).toSecsSinceEpoch()));
        QCOMPARE(timestamps::unixToDate(timestamps::dateToUnix(noon)).time(), QTime(12, 0));
        qputenv("TZ", "America/New_York");
        tzset();
        QCOMPARE(timestamps::standardBiasMinutes(), 300);
        if (saved.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", saved);
        tzset();
    }
};

QTEST_GUILESS_MAIN(TestRegional)
#include "tst_regional.moc"
