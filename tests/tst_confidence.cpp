// The statistics that say how sure a string is, checked against printed table values and
// closed forms of the distributions (not against the library that computes them); and a load
// development's ladder: charges read from labels, the line through the averages, the flat spots.
#include "stats/load_ladder.h"
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
    void chargesFromLabels_data();
    void chargesFromLabels();
    void lineThroughPoints();
    void ladderByCharge();
    void flatSpotsAndWords();
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

void TestConfidence::chargesFromLabels_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<double>("value"); // 0: not a charge
    QTest::addColumn<bool>("grams");
    QTest::newRow("grains") << "37.5 gr" << 37.5 << false;
    QTest::newRow("no space") << "38gr" << 38.0 << false;
    QTest::newRow("grams") << "2.43 g" << 2.43 << true;
    QTest::newRow("decimal comma") << "2,43 g" << 2.43 << true;
    QTest::newRow("word, any case") << " 41 Grains " << 41.0 << false;
    QTest::newRow("gn with a dot") << "24.2gn." << 24.2 << false;
    QTest::newRow("grammes") << "1.6 grammes" << 1.6 << true;
    QTest::newRow("powder after it") << "31.0 gr H4350" << 0.0 << false;
    QTest::newRow("no unit") << "37.5" << 0.0 << false;
    QTest::newRow("words") << "tune 2" << 0.0 << false;
    QTest::newRow("zero") << "0 gr" << 0.0 << false;
    QTest::newRow("empty") << "" << 0.0 << false;
    QTest::newRow("length, not weight") << "37.5 mm" << 0.0 << false;
}

void TestConfidence::chargesFromLabels()
{
    QFETCH(QString, label);
    QFETCH(double, value);
    QFETCH(bool, grams);
    const auto charge = load_ladder::parseCharge(label);
    QCOMPARE(charge.has_value(), value > 0);
    if (!charge)
        return;
    QCOMPARE(charge->value, value);
    QCOMPARE(charge->unit, grams ? load_ladder::ChargeUnit::Grams : load_ladder::ChargeUnit::Grains);
}

void TestConfidence::lineThroughPoints()
{
    // y = 2, 4, 5, 4, 5 at x = 1 … 5: slope 0.6, intercept 2.2; the residuals' squares sum to 2.4,
    // so the slope's standard error is sqrt(2.4 / 3 / 10) and t(0.95, 3) = 2.353.
    const auto line = load_ladder::fitLine({1, 2, 3, 4, 5}, {2, 4, 5, 4, 5});
    QVERIFY(line);
    QVERIFY(near(line->slope, 0.6, 1e-12));
    QVERIFY(near(line->intercept, 2.2, 1e-12));
    QVERIFY(line->slopeRange);
    QVERIFY(near(line->slopeRange->high - 0.6, 2.353 * std::sqrt(0.08), 0.001));
    QVERIFY(near(0.6 - line->slopeRange->low, 2.353 * std::sqrt(0.08), 0.001));
    // Two points: the line through them, no interval; one x only: no line.
    const auto two = load_ladder::fitLine({37, 38}, {2700, 2724});
    QVERIFY(two && near(two->slope, 24, 1e-9) && !two->slopeRange);
    QVERIFY(!load_ladder::fitLine({37, 37, 37}, {2700, 2710, 2705}));
    QVERIFY(!load_ladder::fitLine({37}, {2700}));

    QCOMPARE(load_ladder::slopeText(24.3, QStringLiteral("fps"), load_ladder::ChargeUnit::Grains),
             QStringLiteral("about 24 fps per grain"));
    QCOMPARE(load_ladder::slopeText(243.4, QStringLiteral("fps"), load_ladder::ChargeUnit::Grams),
             QStringLiteral("about 240 fps per gram"));
    QCOMPARE(load_ladder::slopeText(7.349, QStringLiteral("m/s"), load_ladder::ChargeUnit::Grains),
             QStringLiteral("about 7.3 m/s per grain"));
    QCOMPARE(load_ladder::slopeText(-0.0456, QStringLiteral("fps"), load_ladder::ChargeUnit::Grains),
             QStringLiteral("about −0.046 fps per grain"));
    QCOMPARE(load_ladder::slopeText(0, QStringLiteral("fps"), load_ladder::ChargeUnit::Grains),
             QStringLiteral("about 0 fps per grain"));
}

void TestConfidence::ladderByCharge()
{
    using load_ladder::Labelled;
    // Labels in any order, grams among grains, and one charge shot twice.
    const std::vector<Labelled> strings{{QStringLiteral("2.5 g"), {2750, 2760}},
                                        {QStringLiteral("37.5 gr"), {2700, 2710}},
                                        {QStringLiteral("37.50gr"), {2720}}};
    const auto ladder = load_ladder::byCharge(strings);
    QVERIFY(ladder);
    QCOMPARE(ladder->unit, load_ladder::ChargeUnit::Grains);
    QCOMPARE(ladder->steps.size(), size_t(2));
    QCOMPARE(ladder->steps[0].charge, 37.5);
    QCOMPARE(ladder->steps[0].label, QStringLiteral("37.5 gr"));
    QCOMPARE(ladder->steps[0].strings, (std::vector<size_t>{1, 2}));
    QCOMPARE(ladder->steps[0].estimate.shots, 3);
    QVERIFY(near(ladder->steps[0].estimate.mean, 2710, 1e-9));
    QVERIFY(near(ladder->steps[1].charge, 2.5 * 15.4323584, 1e-6));
    QCOMPARE(ladder->steps[1].strings, (std::vector<size_t>{0}));
    QCOMPARE(ladder->neighbours.size(), size_t(1));

    const auto grams = load_ladder::byCharge({{QStringLiteral("2.43 g"), {800}}, {QStringLiteral("2.5g"), {810}}});
    QVERIFY(grams);
    QCOMPARE(grams->unit, load_ladder::ChargeUnit::Grams);
    QVERIFY(near(grams->fit->slope, 10 / 0.07, 1e-6));
    QVERIFY(!grams->neighbours[0].comparison); // one shot a step: nothing to compare

    // Not a load development: a label that is no charge, a single charge, a single string.
    QVERIFY(!load_ladder::byCharge({{QStringLiteral("37.5 gr"), {2700}}, {QStringLiteral("tune 2"), {2710}}}));
    QVERIFY(!load_ladder::byCharge({{QStringLiteral("37.5 gr"), {2700}}, {QStringLiteral("37.5gr"), {2710}}}));
    QVERIFY(!load_ladder::byCharge({{QStringLiteral("37.5 gr"), {2700}}}));
    QVERIFY(!load_ladder::byCharge({}));
}

void TestConfidence::flatSpotsAndWords()
{
    // Five shots a step with a deviation of 3 fps; 37.5, 38.0 and 38.5 gr within 1 fps of each
    // other. Welch's t between those is 1 / sqrt(2 × 9 / 5) = 0.527 on 8 degrees: p = 0.61.
    const std::vector<double> base{10, 12, 9, 14, 11};
    std::vector<load_ladder::Labelled> strings;
    const double charges[] = {39.0, 37.0, 37.5, 38.0, 38.5};
    const double means[] = {2730, 2700, 2712, 2713, 2714};
    for (size_t i = 0; i < 5; ++i)
        strings.push_back({QString::number(charges[i], 'f', 1) + QStringLiteral(" gr"), shaped(base, means[i], 3)});
    const auto ladder = load_ladder::byCharge(strings);
    QVERIFY(ladder);
    QCOMPARE(ladder->steps.front().label, QStringLiteral("37.0 gr"));
    QCOMPARE(ladder->steps.back().label, QStringLiteral("39.0 gr"));
    QVERIFY(!ladder->neighbours[0].flat());
    QVERIFY(ladder->neighbours[1].flat());
    QVERIFY(near(ladder->neighbours[1].comparison->meanP, 0.612, 0.002));
    QVERIFY(ladder->neighbours[2].flat());
    QVERIFY(!ladder->neighbours[3].flat());
    QCOMPARE(ladder->flatSpots(), (std::vector<std::pair<size_t, size_t>>{{1, 3}}));
    // Through the averages, each step once: Sxy = 31.0 and Sxx = 2.5 about (38.0, 2713.8).
    QVERIFY(near(ladder->fit->slope, 12.4, 1e-9));
    const QStringList words = load_ladder::describe(*ladder, QStringLiteral("fps"));
    QCOMPARE(words.size(), 2);
    QVERIFY2(words[0].startsWith(QStringLiteral("Line through the averages (least squares, each step counted once): "
                                                "about 12 fps per grain (")),
             qPrintable(words[0]));
    QCOMPARE(words[1], QStringLiteral("Flat spot from 37.5 gr to 38.5 gr: no step's average there differs from its "
                                      "neighbour's beyond chance."));

    // One flat pair is told with its difference and chance; steps that differ say so.
    const auto pair = load_ladder::byCharge({{QStringLiteral("24.0 gr"), shaped(base, 800, 3)},
                                             {QStringLiteral("24.2 gr"), shaped(base, 801, 3)},
                                             {QStringLiteral("24.4 gr"), shaped(base, 830, 3)}});
    QCOMPARE(load_ladder::describe(*pair, QStringLiteral("fps")).at(1),
             QStringLiteral("Flat spot from 24.0 gr to 24.2 gr: their averages differ by 1.0 fps, which would arise "
                            "by chance more than 1 time in 2."));
    const auto steep = load_ladder::byCharge(
        {{QStringLiteral("24.0 gr"), shaped(base, 800, 3)}, {QStringLiteral("24.5 gr"), shaped(base, 830, 3)}});
    QCOMPARE(load_ladder::describe(*steep, QStringLiteral("fps")),
             (QStringList{QStringLiteral("Line through the averages (least squares, each step counted once): about "
                                         "60 fps per grain."),
                          QStringLiteral("Each step's average differs from its neighbour's beyond chance: no flat "
                                         "spot.")}));
    // A ladder of one shot a charge cannot say where it is flat.
    const auto single = load_ladder::byCharge({{QStringLiteral("24.0 gr"), {800}}, {QStringLiteral("24.5 gr"), {830}}});
    QVERIFY(load_ladder::describe(*single, QStringLiteral("fps"))
                .last()
                .startsWith(QStringLiteral("No two neighbouring steps can be compared")));
}

QTEST_GUILESS_MAIN(TestConfidence)
#include "tst_confidence.moc"
