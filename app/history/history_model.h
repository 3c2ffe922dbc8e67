#pragma once

#include "chart/chart_series.h"
#include "history/history_reader.h"

#include <QAbstractTableModel>
#include <vector>

// The archived strings as a table: date and time, gun, projectile, shots, average velocity,
// spread, deviation and average power in the units the main window shows (recomputed from the
// shots with the summary's arithmetic), where an imported string came from, the user's label,
// and what could not be read. The sort role gives
// numbers and times, so that the columns sort as values.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        When, Gun, Projectile, Shots, Average, Spread, Deviation, AveragePower, Source, Label, Problem, ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    void setStrings(std::vector<ArchivedString> strings, const ChartUnits& units);
    void setUnits(const ChartUnits& units);
    const ArchivedString& string(int row) const { return m_strings[size_t(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void compute();

    std::vector<ArchivedString> m_strings;
    std::vector<SummaryFigures> m_figures;
    ChartUnits m_units;
};
