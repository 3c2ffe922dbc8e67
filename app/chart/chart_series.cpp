#include "chart_series.h"

#include "main_window/shot_columns.h"
#include "services/regional.h"
#include "shot/ballistics.h"

#include <algorithm>
#include <limits>

ChartShot ChartShot::fromRecord(const ShotRecord& record)
{
    ChartShot shot;
    shot.number = record.cells.value(shot_columns::kNumber);
    shot.time = record.cells.value(shot_columns::kDateTime);
    shot.fps = record.shown.fps;
    shot.ftLbf = record.shown.ftLbf;
    shot.ipscFactor = record.shown.ipscFactor;
    return shot;
}

void ChartSeries::reset(std::vector<ChartShot> shots)
{
    m_shots = std::move(shots);
    m_stats.reset();
    for (const ChartShot& shot : m_shots)
        m_stats.add(shot.fps, shot.ftLbf);
    settle();
}

void ChartSeries::settle()
{
    // An archived string may be longer than the shot table's 16-bit count: the averages take
    // every shot, and only the count field stops at its largest value.
    m_stats.shotsInTable = qint16(std::min<size_t>(m_shots.size(), 32767));
    m_stats.settle(int(std::min<size_t>(m_shots.size(), size_t(std::numeric_limits<int>::max()))));
}

void ChartSeries::append(const ChartShot& shot)
{
    m_shots.push_back(shot);
    m_stats.add(shot.fps, shot.ftLbf);
    settle();
}

double ChartSeries::velocity(int index) const
{
    const double fps = shot(index).fps;
    return m_units.summary.feetPerSecond ? fps : fps * ballistics::kMetresPerFoot;
}

double ChartSeries::power(int index) const
{
    const ChartShot& s = shot(index);
    switch (m_units.summary.powerIndex) {
    case 2:
        return s.ftLbf * ballistics::kJoulesPerFtLbf;
    case 3:
        return s.ipscFactor;
    default:
        return s.ftLbf;
    }
}

SummaryFigures ChartSeries::figures() const
{
    return summaryFigures(m_stats, !m_shots.empty(), m_units.summary);
}

std::optional<double> ChartSeries::powerLimit() const
{
    if (m_units.gunType != 6 && m_units.gunType != 12)
        return std::nullopt;
    switch (m_units.summary.powerIndex) {
    case 1:
        return double(m_units.gunType);
    case 2:
        return m_units.gunType * ballistics::kJoulesPerFtLbf;
    default:
        return std::nullopt;
    }
}

QString ChartSeries::speedWord() const
{
    return m_units.summary.feetPerSecond ? QStringLiteral("fps") : QStringLiteral("m/s");
}

QString ChartSeries::powerWord() const
{
    switch (m_units.summary.powerIndex) {
    case 2:
        return QStringLiteral("Joules");
    case 3:
        return QStringLiteral("IPSC-F");
    default:
        return QStringLiteral("Ft.Lbf");
    }
}

QString ChartSeries::describe(int index) const
{
    const ChartShot& s = shot(index);
    const QString powerText =
        m_units.summary.powerIndex == 3 ? regional::format1(power(index)) : regional::format2(power(index));
    return QStringLiteral("Shot %1\n%2\n%3 %4\n%5 %6")
        .arg(s.number, s.time, regional::format2(velocity(index)), speedWord(), powerText, powerWord());
}
