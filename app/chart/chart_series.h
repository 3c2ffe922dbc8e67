#pragma once

#include "main_window/string_statistics.h"
#include "string/shot_record.h"
#include "string/string_units.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// One shot as the chart draws it: its number and time as shown, and its figures in fps,
// ft·lbf and IPSC factor.
struct ChartShot {
    QString number;
    QString time;
    double fps = 0;
    double ftLbf = 0;
    double ipscFactor = 0;

    // A shot of the current string, with its figures as the table shows them.
    static ChartShot fromRecord(const ShotRecord& record);
};

// What the chart shows a string in.
using ChartUnits = StringUnits;

// The series of one string as the chart draws it: velocity and power per shot in the selected
// units, the average velocity with the band of ± one displayed deviation, the average power and
// the gun type's limit. The statistics are the summary row's, kept the same way (shots added in
// order, a full recomputation otherwise), so the lines and the summary agree.
class ChartSeries {
public:
    explicit ChartSeries(const ChartUnits& units = {}) : m_units(units) {}

    const ChartUnits& units() const { return m_units; }
    void setUnits(const ChartUnits& units) { m_units = units; }

    void reset(std::vector<ChartShot> shots);
    void append(const ChartShot& shot);
    void clear() { reset({}); }

    int size() const { return int(m_shots.size()); }
    const ChartShot& shot(int index) const { return m_shots[size_t(index)]; }
    // Shot `index` (0-based) in the selected units.
    double velocity(int index) const;
    double power(int index) const;

    // The summary's figures of the string in the selected units.
    SummaryFigures figures() const;
    // The running sums in fps, for statistics beyond the summary's.
    const StringStatistics& statistics() const { return m_stats; }
    double averageVelocity() const { return figures().avgSpeed; }
    double deviation() const { return figures().deviation; }
    double averagePower() const { return figures().avgPower; }
    // The limit in the selected power unit; none for "Other" or the IPSC factor, which is no energy.
    std::optional<double> powerLimit() const;

    QString speedWord() const;
    QString powerWord() const;
    // What hovering a point shows: the shot's number, time, velocity and power.
    QString describe(int index) const;

private:
    void settle();

    ChartUnits m_units;
    std::vector<ChartShot> m_shots;
    StringStatistics m_stats;
};
