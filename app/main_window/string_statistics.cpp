#include "string_statistics.h"

#include "services/regional.h"
#include "shot/ballistics.h"

#include <cmath>

void StringStatistics::add(double fps, double ftLbf)
{
    sumFps += fps;
    sumSqFps += fps * fps;
    if (fps > maxFps)
        maxFps = fps;
    if (fps < minFps)
        minFps = fps;
    sumFtLbf += ftLbf;
    if (ftLbf > maxFtLbf)
        maxFtLbf = ftLbf;
    if (ftLbf < minFtLbf)
        minFtLbf = ftLbf;
}

void StringStatistics::settle(int n)
{
    if (n <= 0)
        return;
    avgFps = sumFps / n;
    avgFtLbf = sumFtLbf / n;
    if (n > 1) {
        // Rounding can leave a tiny negative variance for identical shots.
        const double variance = std::max(0.0, (sumSqFps - n * avgFps * avgFps) / (n - 1));
        stdDevFps = 0.95 * std::sqrt(variance);
    } else {
        stdDevFps = 0;
    }
}

SummaryFigures summaryFigures(const StringStatistics& s, bool anyShots, const SummaryUnits& units)
{
    SummaryFigures f;
    if (!anyShots)
        return f;
    f.minSpeed = s.minFps;
    f.maxSpeed = s.maxFps;
    f.avgSpeed = s.avgFps;
    f.deviation = s.stdDevFps;
    f.minPower = s.minFtLbf;
    f.maxPower = s.maxFtLbf;
    f.avgPower = s.avgFtLbf;
    if (units.powerIndex == 2) {
        f.minPower *= ballistics::kJoulesPerFtLbf;
        f.maxPower *= ballistics::kJoulesPerFtLbf;
        f.avgPower *= ballistics::kJoulesPerFtLbf;
    } else if (units.powerIndex == 3) {
        // One decimal, as the factor is shown, before the two-decimal cell.
        auto factor = [&](double fps) {
            return regional::toNumberOrFail(regional::format1(units.grains * fps / 1000.0));
        };
        f.minPower = factor(s.minFps);
        f.maxPower = factor(s.maxFps);
        f.avgPower = factor(s.avgFps);
    }
    if (!units.feetPerSecond) {
        f.minSpeed *= ballistics::kMetresPerFoot;
        f.maxSpeed *= ballistics::kMetresPerFoot;
        f.avgSpeed *= ballistics::kMetresPerFoot;
        f.deviation *= ballistics::kMetresPerFoot;
    }
    f.spread = f.maxSpeed - f.minSpeed;
    return f;
}

QStringList summaryCells(const StringStatistics& s, bool anyShots, const SummaryUnits& units)
{
    const SummaryFigures f = summaryFigures(s, anyShots, units);
    return {QString::number(s.shotsInTable), regional::format2(f.minSpeed), regional::format2(f.maxSpeed),
            regional::format2(f.avgSpeed),   regional::format2(f.spread),   regional::format2(f.deviation),
            regional::format2(f.minPower),   regional::format2(f.maxPower), regional::format2(f.avgPower)};
}
