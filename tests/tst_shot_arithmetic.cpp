#include "main_window/list_lines.h"
#include "main_window/power_limit.h"
#include "main_window/string_statistics.h"
#include "services/app_error.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "shot/shot_lines.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

using namespace ballistics;

class TestShotArithmetic : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }

    void figuresOfAShot()
    {
        const ShotFigures f = figures(800, 12);
        QCOMPARE(regional::format2(f.ftLbf), QStringLiteral("17.06"));
        QCOMPARE(regional::format2(f.joules), QStringLiteral("23.13"));
        QCOMPARE(regional::format1(f.ipscFactor), QStringLiteral("9.6"));
        QCOMPARE(regional::format2(f.mps), QStringLiteral("243.84"));
        const ShotFigures heavy = figures(1000, 124);
        QCOMPARE(regional::format2(heavy.ftLbf), QStringLiteral("275.41"));
        QCOMPARE(regional::format1(heavy.ipscFactor), QStringLiteral("124.0"));
        QVERIFY_THROWS_EXCEPTION(AppError, figures(1e200, 1e200)); // overflow stops the path
    }

    void weightInGrainsRoundsGrammes()
    {
        QCOMPARE(weightInGrains(QStringLiteral("0.547"), true), 8.442);
        QCOMPARE(weightInGrains(QStringLiteral("8.442"), false), 8.442);
        QVERIFY_THROWS_EXCEPTION(AppError, weightInGrains(QStringLiteral("heavy"), false));
        QVERIFY_THROWS_EXCEPTION(AppError, weightInGrains(QString(), true));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(weightInGrains(QStringLiteral("0,547"), true), 8.442);
    }

    void listLineAndTableRow()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(1, 30, 0));
        const QString mm = shot_lines::makeModel(QStringLiteral("Weihrauch"), QStringLiteral("HW100"),
                                                 QStringLiteral("Air Arms Field"));
        QCOMPARE(mm, QStringLiteral("Weihrauch HW100 Air Arms Field"));
        const QString line = shot_lines::listLine(3, when, mm, 8.442, figures(800, 8.442), QStringLiteral("\t"));
        QCOMPARE(line, QStringLiteral("3\t06/12/26 01:30:00\tWeihrauch HW100 Air Arms Field\t8.442\t800.00\t243.84\t"
                                      "12.00\t16.27\t6.8\r\n"));
        QCOMPARE(line.count(u'\t'), 8); // nine fields
        const QString row = shot_lines::tableRow(QStringLiteral("3"), regional::shotDateTime(when, true), mm,
                                                 QStringLiteral("0.547"), figures(800, 8.442), QStringLiteral("\t"));
        QCOMPARE(row, QStringLiteral("3\t06/12/2026 01:30:00\tWeihrauch HW100 Air Arms Field\t0.547\t800.00\t243.84\t"
                                     "12.00\t16.27\t6.8"));
    }

    void listHeadersAndDataLines()
    {
        const QString tab = QStringLiteral("\t");
        QCOMPARE(list_lines::shortHeader(QStringLiteral("Grains"), tab),
                 QStringLiteral("Shot\tDate/Time       \tMake/Model                 \tGrains\tfps\tm/s\tFt.Lbf\t"
                                "Joules\tIPSC-F\r\n"));
        QCOMPARE(list_lines::longHeader(QStringLiteral("Grammes"), tab),
                 QStringLiteral("Shot\tDate/Time\tMake/Model\tGrammes\tfps\tm/s\tFt.Lbf\tJoules\tIPSC-F\tPellet "
                                "Name\tCaliber\tGun Make\tGun Model\r\n"));
        const QStringList cells{"7", "d", "mm", "8.4", "800.00", "243.84", "12.00", "16.27", "6.8"};
        QCOMPARE(list_lines::dataLine(cells, 2, {"JSB", ".22", "BSA", "R10"}, tab),
                 QStringLiteral("2\td\tmm\t8.4\t800.00\t243.84\t12.00\t16.27\t6.8\tJSB\t.22\tBSA\tR10\r\n"));
    }

    void twoShotsStatistics()
    {
        StringStatistics s;
        s.add(800, 12);
        s.add(810, 13);
        s.shotsInTable = 2;
        s.settle(2);
        const QStringList cells = summaryCells(s, true, {});
        QCOMPARE(cells, QStringList({"2", "800.00", "810.00", "805.00", "10.00", "6.72", "12.00", "13.00", "12.50"}));
    }

    void oneShotAndNoShot()
    {
        StringStatistics s;
        s.add(812.3, 14);
        s.shotsInTable = 1;
        s.settle(1);
        QCOMPARE(summaryCells(s, true, {}).mid(4, 2), QStringList({"0.00", "0.00"}));
        StringStatistics empty;
        QCOMPARE(summaryCells(empty, false, {}),
                 QStringList({"0", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00"}));
    }

    void identicalShotsHaveNoNegativeVariance()
    {
        StringStatistics s;
        for (int i = 0; i < 3; ++i)
            s.add(800.1, 1);
        s.shotsInTable = 3;
        s.settle(3);
        // Rounding leaves the sum-of-squares formula a hair below zero for these three shots.
        QVERIFY(s.sumSqFps - 3 * s.avgFps * s.avgFps < 0);
        QCOMPARE(s.stdDevFps, 0.0);
        QCOMPARE(summaryCells(s, true, SummaryUnits{})[5], QStringLiteral("0.00"));
    }

    void unitsOfTheSummary()
    {
        StringStatistics s;
        s.add(1000, 275.41);
        s.shotsInTable = 1;
        s.settle(1);
        SummaryUnits ipsc{true, 3, 124};
        QCOMPARE(summaryCells(s, true, ipsc).mid(6), QStringList({"124.00", "124.00", "124.00"}));
        SummaryUnits metric{false, 2, 0};
        const QStringList m = summaryCells(s, true, metric);
        QCOMPARE(m[1], QStringLiteral("304.80"));
        QCOMPARE(m[6], regional::format2(275.41 * kJoulesPerFtLbf));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(summaryCells(s, true, metric)[1], QStringLiteral("304,80"));
    }

    // The running statistics after each shot equal those computed afresh over the whole string
    // by the textbook two-pass formulas, to the cent the summary shows.
    void incrementalEqualsFullRecomputation()
    {
        QRandomGenerator random(42);
        StringStatistics running;
        std::vector<double> velocities, energies;
        for (int n = 1; n <= 500; ++n) {
            const double v = 600 + random.bounded(400.0);
            const double e = v * v * 8.44 / kEnergyDivisor;
            velocities.push_back(v);
            energies.push_back(e);
            running.add(v, e);
            running.shotsInTable = qint16(n);
            running.settle(n);

            const double mean = std::accumulate(velocities.begin(), velocities.end(), 0.0) / n;
            double squares = 0;
            for (double x : velocities)
                squares += (x - mean) * (x - mean);
            const double deviation = n > 1 ? 0.95 * std::sqrt(squares / (n - 1)) : 0;
            const auto [minV, maxV] = std::minmax_element(velocities.begin(), velocities.end());
            const auto [minE, maxE] = std::minmax_element(energies.begin(), energies.end());
            const double meanE = std::accumulate(energies.begin(), energies.end(), 0.0) / n;
            for (double unit : {1.0, kMetresPerFoot}) {
                const QStringList expected{QString::number(n),
                                           regional::format2(*minV * unit),
                                           regional::format2(*maxV * unit),
                                           regional::format2(mean * unit),
                                           regional::format2((*maxV - *minV) * unit),
                                           regional::format2(deviation * unit),
                                           regional::format2(*minE),
                                           regional::format2(*maxE),
                                           regional::format2(meanE)};
                QCOMPARE(summaryCells(running, true, SummaryUnits{unit == 1.0, 1, 8.44}), expected);
            }
        }
    }

    void powerLimitEdges()
    {
        QVERIFY(powerAboveLimit(QStringLiteral("6.01"), true, false, true));
        QVERIFY(!powerAboveLimit(QStringLiteral("6.00"), true, false, true));
        QVERIFY(powerAboveLimit(QStringLiteral("8.14"), true, false, false));
        QVERIFY(!powerAboveLimit(QStringLiteral("8.13"), true, false, false));
        QVERIFY(!powerAboveLimit(QStringLiteral("12.00"), false, true, true));
        QVERIFY(powerAboveLimit(QStringLiteral("12.01"), false, true, true));
        QVERIFY(!powerAboveLimit(QStringLiteral("9998.99"), false, false, true));
        QVERIFY(!powerAboveLimit(QStringLiteral("6,50"), true, false, true)); // a decimal comma ends the number
    }
};

QTEST_GUILESS_MAIN(TestShotArithmetic)
#include "tst_shot_arithmetic.moc"
