#include "drivers/line_decoders.h"
#include "services/app_error.h"

#include <QLocale>
#include <QTest>

class TestDecoders : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }

    void chronyVelocityField()
    {
        DecodedLine d = decodeChronyLine(QStringLiteral("1,Vf850.2"), false);
        QVERIFY(d.countShot);
        QCOMPARE(d.fps, 850.2);
        d = decodeChronyLine(QStringLiteral("Vf800,Vf 812.5 ,x"), false);
        QCOMPARE(d.fps, 812.5); // the last marked field counts
        d = decodeChronyLine(QStringLiteral("2,Vm250"), false);
        QVERIFY(d.countShot);
        QCOMPARE(d.fps, 250 / 30.48);
        d = decodeChronyLine(QStringLiteral("Strings,3"), false);
        QVERIFY(!d.countShot);
        QCOMPARE(d.fps, 0.0);
        QVERIFY(!decodeChronyLine(QString(), false).countShot);
    }

    void chronyInACommaLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(decodeChronyLine(QStringLiteral("1,Vf850.2"), true).fps, 850.2);
        // Without the eurozone flag the point is not the regional separator: not a number.
        QVERIFY_THROWS_EXCEPTION(AppError, decodeChronyLine(QStringLiteral("1,Vf850.2"), false));
    }

    void chronyBadNumbersFail()
    {
        QVERIFY_THROWS_EXCEPTION(AppError, decodeChronyLine(QStringLiteral("1,Vfabc"), false));
        QVERIFY_THROWS_EXCEPTION(AppError, decodeChronyLine(QStringLiteral("Vf"), false));
        // Every "Vm" field is converted, so a bad earlier one fails; only the last "Vf" is.
        QVERIFY_THROWS_EXCEPTION(AppError, decodeChronyLine(QStringLiteral("Vmx,Vm250"), false));
        QCOMPARE(decodeChronyLine(QStringLiteral("Vfx,Vf800"), false).fps, 800.0);
    }

    void combroCountLengths()
    {
        DecodedLine d = decodeCombroLine(QStringLiteral("0980"));
        QVERIFY(d.countShot);
        QCOMPARE(QString::number(d.fps, 'f', 2), QStringLiteral("800.34"));
        d = decodeCombroLine(QStringLiteral("0980.45"));
        QCOMPARE(QString::number(d.fps, 'f', 2), QStringLiteral("803.20"));
        d = decodeCombroLine(QStringLiteral("0980.4"));
        QCOMPARE(QString::number(d.fps, 'f', 2), QStringLiteral("797.63"));
        QVERIFY(!decodeCombroLine(QStringLiteral("09804")).countShot);
        QVERIFY(!decodeCombroLine(QString()).countShot);
        QVERIFY_THROWS_EXCEPTION(AppError, decodeCombroLine(QStringLiteral("0000")));
        QVERIFY_THROWS_EXCEPTION(AppError, decodeCombroLine(QStringLiteral("abcd")));
        // A leading number that stops early still reads: "12ab" is a count of 12.
        QCOMPARE(decodeCombroLine(QStringLiteral("12ab")).fps, 59.7662 / 304.8 * 4000000.0 / 12);
    }

    void splitEveryLeavesAnEmptyLast()
    {
        QCOMPARE(SplitEvery(QStringLiteral("2C03FF"), 2, QStringLiteral("|")), QStringList({"2C", "03", "FF", ""}));
        QCOMPARE(SplitEvery(QStringLiteral("ABC"), 2, QStringLiteral(",")), QStringList({"AB", "C", ""}));
        QCOMPARE(SplitEvery(QString(), 2, QStringLiteral(",")), QStringList({""}));
    }
};

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
