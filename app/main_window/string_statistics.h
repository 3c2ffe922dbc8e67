#pragma once

#include <QString>
#include <QStringList>

// Running statistics of the shot string, always in fps and ft·lbf.
struct StringStatistics {
    double sumFps = 0;
    double sumFtLbf = 0;
    double avgFps = 0;
    double avgFtLbf = 0;
    double minFps = 9999;
    double maxFps = 0;
    double minFtLbf = 9999;
    double maxFtLbf = 0;
    double stdDevFps = 0;
    double sumSqFps = 0;
    qint16 shotsInTable = 0;

    void reset() { *this = StringStatistics{}; }

    // Adds one shot's velocity and energy to the sums and extremes (strict comparisons).
    void add(double fps, double ftLbf);
    // Averages over n shots and the displayed deviation: 0.95 × the sample standard deviation.
    void settle(int n);
};

// What the summary row shows: the selected units and the weight for the IPSC factor.
struct SummaryUnits {
    bool feetPerSecond = true;
    int powerIndex = 1; // 1 ft·lbf, 2 joules, 3 IPSC factor
    double grains = 0;  // read only for the IPSC factor
    bool operator==(const SummaryUnits&) const = default;
};

// The summary's values in the selected units: speeds and deviation in fps or m/s, powers in
// ft·lbf, joules or the IPSC factor (one decimal, as the factor is shown). All 0 without shots.
struct SummaryFigures {
    double minSpeed = 0, maxSpeed = 0, avgSpeed = 0, spread = 0, deviation = 0;
    double minPower = 0, maxPower = 0, avgPower = 0;
};
SummaryFigures summaryFigures(const StringStatistics& stats, bool anyShots, const SummaryUnits& units);

// The nine summary cells: count, then min, max, average, spread and deviation of the speed and
// min, max, average of the power, formatted "0.00". With no shots every value shows 0.
QStringList summaryCells(const StringStatistics& stats, bool anyShots, const SummaryUnits& units);

// Column widths of the summary table, in twips.
inline constexpr int kSummaryWidths[9] = {585, 800, 800, 830, 830, 830, 830, 860, 830};
