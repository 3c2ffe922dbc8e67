// The statistics that say how sure a string is, checked against printed table values and
// closed forms of the distributions (not against the library that computes them).
#include "stats/string_confidence.h"

#include <QTest>
#include <cmath>
#include <numeric>

namespace {

// Values scaled and shifted to the given mean and sample deviation (÷ n − 1).
std::vector<double> shaped(std::vector<double> v, double mean, double deviation)
{
    const double n = double(v.size());
    const double m = std::accumulate(v.begin(), v.end(), 0.0) / n;
    double ss = 0;
    for (double x : v)
        ss += (x - m) * (x - m);
    const double s = std::sqrt(ss / (n - 1));
    for (double& x : v)
        x = mean + (x - m) * deviation / s;
    return v;
}

bool near(double a, double b, double tolerance)
{
    return std::abs(a - b) <= tolerance;
}

const std::vector<double> kNineteen{2790, 2801, 2776, 2808, 2795, 2788, 2799, 2784, 2792, 2797,
                                    2786, 2803, 2791, 2794, 2782, 2800, 2789, 2796, 2793};

} // namespace

class TestConfidence : public QObject {
    Q_OBJECT
private slots:
    void intervalsMatchPrintedTables();
    void fewShots();
    void welchAgainstClosedForm();
    void fTestAgainstClosedForm();
    void shotsToKnowTheDeviation();
    void inWords();
};

void TestConfidence::intervalsMatchPrintedTables()
{
    // 19 shots: t(0.95, 18) = 1.734, chi-square(18) at 0.05 and 0.95 = 9.390 and 28.869.
    const auto v = shaped(kNineteen, 2792.0, 8.7);
    const confidence::Estimate e = confidence::estimate(v);
    QCOMPARE(e.shots, 19);
    QVERIFY(near(e.mean, 2792.0, 1e-9));
    QVERIFY(near(e.deviation, 8.7, 1e-9));
    QVERIFY(near(e.meanRange->high - e.mean, 1.734 * 8.7 / std::sqrt(19.0), 0.005));
    QVERIFY(near(e.mean - e.meanRange->low, 1.734 * 8.7 / std::sqrt(19.0), 0.005));
    QVERIFY(near(e.deviationRange->low, 8.7 * std::sqrt(18 / 28.869), 0.001));
    QVERIFY(near(e.deviationRange->high, 8.7 * std::sqrt(18 / 9.390), 0.002));
    // Five shots: t(0.95, 4) = 2.132; chi-square(4) = 0.711 and 9.488.
    const auto five = shaped({10, 12, 9, 14, 11}, 300, 2);
    const confidence::Estimate f = confidence::estimate(five);
    QVERIFY(near(f.meanRange->high - 300, 2.132 * 2 / std::sqrt(5.0), 0.001));
    QVERIFY(near(f.deviationRange->low, 2 * std::sqrt(4 / 9.488), 0.001));
    QVERIFY(near(f.deviationRange->high, 2 * std::sqrt(4 / 0.711), 0.005));
    // A 95 % level is wider: t(0.975, 4) = 2.776.
    QVERIFY(near(confidence::estimate(five, 0.95).meanRange->high - 300, 2.776 * 2 / std::sqrt(5.0), 0.001));
    // The device convention: 10, 12, 14, 17 divide to 2.586 by n.
    QVERIFY(near(confidence::deviationByN({10, 12, 14, 17}), std::sqrt(26.75 / 4), 1e-12));
}

void TestConfidence::fewShots()
{
    QCOMPARE(confidence::estimate({}).shots, 0);
    const confidence::Estimate one = confidence::estimate({850});
    QCOMPARE(one.mean, 850.0);
    QVERIFY(!one.meanRange && !one.deviationRange);
    QCOMPARE(confidence::deviationText(one, QStringLiteral("fps")), QStringLiteral("SD needs two shots or more"));
    QVERIFY(!confidence::compare({850}, {800, 810}));
    QVERIFY(!confidence::compare({850, 850}, {800, 810})); // no spread: no ratio of deviations
    const confidence::Estimate same = confidence::estimate({850, 850, 850});
    QCOMPARE(same.deviation, 0.0);
    QCOMPARE(same.meanRange->low, 850.0);
}

void TestConfidence::welchAgainstClosedForm()
{
    // Two shots each with equal deviations: Welch's degrees are 2, where the two-sided chance
    // of |t| or more is 1 − |t| / sqrt(2 + t²).
    const std::vector<double> a{0, 2};
    for (double d : {0.5, 1.0, 3.0, 10.0}) {
        const auto c = confidence::compare(a, {d, d + 2});
        QVERIFY(c);
        QVERIFY(near(c->welchDegrees, 2, 1e-12));
        QVERIFY(near(c->meanDifference, -d, 1e-12));
        const double t = d / std::sqrt(2.0);
        QVERIFY2(near(c->meanP, 1 - t / std::sqrt(2 + t * t), 1e-9), qPrintable(QString::number(c->meanP)));
    }
    // Unequal deviations and sizes: degrees by Welch-Satterthwaite, by hand: 3.3 and 10.8.
    const auto c = confidence::compare({1, 2, 3, 4, 5}, {2, 8, 14});
    const double a1 = 2.5 / 5, b1 = 36.0 / 3;
    QVERIFY(near(c->welchDegrees, (a1 + b1) * (a1 + b1) / (a1 * a1 / 4 + b1 * b1 / 2), 1e-9));
    QVERIFY(c->meanP > 0.1); // 3 against 8 with so wide a second string: nothing shown
}

void TestConfidence::fTestAgainstClosedForm()
{
    // Three shots each: F(2, 2) has the distribution x / (1 + x).
    for (double scale : {1.0, 2.0, 5.0, 0.25}) {
        const auto c = confidence::compare({0, 1, 2}, {0, scale, 2 * scale});
        const double x = 1 / (scale * scale);
        const double below = x / (1 + x);
        QVERIFY(near(c->deviationRatio, 1 / scale, 1e-12));
        QVERIFY(near(c->deviationP, 2 * std::min(below, 1 - below), 1e-9));
    }
}

void TestConfidence::shotsToKnowTheDeviation()
{
    // Found with a separately written chi-square: 51 shots bring the 90 % interval of the
    // deviation within 0.861 and 1.199 of it; 50 do not.
    QCOMPARE(confidence::shotsToKnowDeviation(0.20, 0.90), 51);
    QVERIFY(confidence::shotsToKnowDeviation(0.10, 0.90) > 150);
    QCOMPARE(confidence::shotsNeededText(19),
             QStringLiteral("51 shots would pin the deviation to ± 20 % (at 90 %); this string has 19."));
}

void TestConfidence::inWords()
{
    const confidence::Estimate e = confidence::estimate(shaped(kNineteen, 2792.0, 8.7));
    QCOMPARE(confidence::deviationText(e, QStringLiteral("fps")),
             QStringLiteral("SD 8.7 fps (6.9 to 12.0 at 90 %, 19 shots)"));
    QCOMPARE(confidence::averageText(e, QStringLiteral("fps")),
             QStringLiteral("Average 2792.0 fps (2788.5 to 2795.5 at 90 %)"));
    QCOMPARE(confidence::chanceText(0.0004), QStringLiteral("less than 1 time in 1000"));
    QCOMPARE(confidence::chanceText(0.004), QStringLiteral("less than 1 time in 100"));
    QCOMPARE(confidence::chanceText(0.05), QStringLiteral("about 1 time in 20"));
    QCOMPARE(confidence::chanceText(0.7), QStringLiteral("more than 1 time in 2"));

    // t = 12.3 / sqrt(2 × 13² / 19) = 2.92 on 36 degrees: a chance of 0.006.
    const auto first = shaped(kNineteen, 2804.3, 13);
    const auto second = shaped(kNineteen, 2792.0, 13);
    const auto c = confidence::compare(first, second);
    const QString words = confidence::comparisonText(*c, confidence::estimate(first), confidence::estimate(second),
                                                     QStringLiteral("fps"));
    QVERIFY2(words.startsWith(QStringLiteral("The averages differ by 12.3 fps; a difference this large would arise "
                                             "by chance less than 1 time in 100.")),
             qPrintable(words));
    QVERIFY2(words.contains(QStringLiteral("The deviations are 13.0 and 13.0 fps; a ratio this large would arise by "
                                           "chance more than 1 time in 2, so it may well be chance.")),
             qPrintable(words));
}

QTEST_GUILESS_MAIN(TestConfidence)
#include "tst_confidence.moc"
