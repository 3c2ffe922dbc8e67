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

QStringList summaryCells(const StringStatistics& s, bool anyShots, const SummaryUnits& units)
{
    double minSpeed = 0, maxSpeed = 0, avgSpeed = 0, deviation = 0;
    double minPower = 0, maxPower = 0, avgPower = 0;
    if (anyShots) {
        minSpeed = s.minFps;
        maxSpeed = s.maxFps;
        avgSpeed = s.avgFps;
        deviation = s.stdDevFps;
        minPower = s.minFtLbf;
        maxPower = s.maxFtLbf;
        avgPower = s.avgFtLbf;
        if (units.powerIndex == 2) {
            minPower *= ballistics::kJoulesPerFtLbf;
            maxPower *= ballistics::kJoulesPerFtLbf;
            avgPower *= ballistics::kJoulesPerFtLbf;
        } else if (units.powerIndex == 3) {
            // One decimal, as the factor is shown, before the two-decimal cell.
            auto factor = [&](double fps) {
                return regional::toNumberOrFail(regional::format1(units.grains * fps / 1000.0));
            };
            minPower = factor(s.minFps);
            maxPower = factor(s.maxFps);
            avgPower = factor(s.avgFps);
        }
        if (!units.feetPerSecond) {
            minSpeed *= ballistics::kMetresPerFoot;
            maxSpeed *= ballistics::kMetresPerFoot;
            avgSpeed *= ballistics::kMetresPerFoot;
            deviation *= ballistics::kMetresPerFoot;
        }
    }
    return {QString::number(s.shotsInTable),     regional::format2(minSpeed),
            regional::format2(maxSpeed),         regional::format2(avgSpeed),
            regional::format2(maxSpeed - minSpeed), regional::format2(deviation),
            regional::format2(minPower),         regional::format2(maxPower),
            regional::format2(avgPower)};
}
