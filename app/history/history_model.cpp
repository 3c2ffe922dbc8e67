#include "history_model.h"

#include "services/regional.h"

void HistoryModel::setStrings(std::vector<ArchivedString> strings, const ChartUnits& units)
{
    beginResetModel();
    m_strings = std::move(strings);
    m_units = units;
    compute();
    endResetModel();
}

void HistoryModel::setUnits(const ChartUnits& units)
{
    if (units.summary.feetPerSecond == m_units.summary.feetPerSecond &&
        units.summary.powerIndex == m_units.summary.powerIndex)
        return;
    m_units = units;
    compute();
    emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
    emit headerDataChanged(Qt::Horizontal, Average, AveragePower);
}

void HistoryModel::compute()
{
    m_figures.clear();
    m_figures.reserve(m_strings.size());
    for (const ArchivedString& s : m_strings) {
        ChartUnits own = m_units;
        own.summary.grains = s.grains;
        ChartSeries series(own);
        // Inside a model reset nothing may throw: a string whose figures cannot be had shows none.
        try {
            series.reset(s.shots);
            m_figures.push_back(series.figures());
        } catch (const std::exception&) {
            m_figures.push_back({});
        }
    }
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_strings.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ArchivedString& s = m_strings[size_t(index.row())];
    const SummaryFigures& f = m_figures[size_t(index.row())];
    const bool any = !s.shots.empty();
    auto number = [&](double value) -> QVariant {
        if (!any)
            return role == SortRole ? QVariant(-1.0) : QVariant(QString());
        return role == SortRole ? QVariant(value) : QVariant(regional::format2(value));
    };
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(index.column() >= Shots && index.column() <= AveragePower
                                                     ? Qt::AlignRight | Qt::AlignVCenter
                                                     : Qt::AlignLeft | Qt::AlignVCenter));
    if (role == Qt::ToolTipRole)
        return s.path;
    if (role != Qt::DisplayRole && role != SortRole)
        return {};
    switch (index.column()) {
    case When:
        return role == SortRole ? QVariant(s.when) : QVariant(regional::shotDateTime(s.when, true));
    case Gun:
        return s.gun;
    case Projectile:
        return s.projectile;
    case Shots:
        return role == SortRole ? QVariant(qlonglong(s.shots.size())) : QVariant(QString::number(s.shots.size()));
    case Average:
        return number(f.avgSpeed);
    case Spread:
        return number(f.spread);
    case Deviation:
        return number(f.deviation);
    case AveragePower:
        return number(f.avgPower);
    case Source:
        return s.source;
    case Label:
        return s.label;
    case Problem:
        return s.problem;
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const ChartSeries words(m_units);
    switch (section) {
    case When:
        return QStringLiteral("Date/Time");
    case Gun:
        return QStringLiteral("Gun");
    case Projectile:
        return QStringLiteral("Projectile");
    case Shots:
        return QStringLiteral("Shots");
    case Average:
        return QStringLiteral("Av ") + words.speedWord();
    case Spread:
        return QStringLiteral("Spread");
    case Deviation:
        return QStringLiteral("Std. Dev");
    case AveragePower:
        return QStringLiteral("Av ") + words.powerWord();
    case Source:
        return QStringLiteral("Source");
    case Label:
        return QStringLiteral("Label");
    case Problem:
        return QStringLiteral("Problem");
    default:
        return {};
    }
}
