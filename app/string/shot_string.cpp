#include "shot_string.h"

#include "main_window/capture_files.h"
#include "services/app_error.h"
#include "services/regional.h"

std::vector<qint64> ShotString::cacheRowIds() const
{
    std::vector<qint64> ids;
    ids.reserve(m_records.size());
    for (const ShotRecord& r : m_records)
        ids.push_back(r.cacheRowId);
    return ids;
}

void ShotString::append(ShotRecord record)
{
    if (size() >= kMaxShots)
        AppError::raise(AppError::Overflow);
    m_stats.add(record.shown.fps, record.shown.ftLbf);
    m_records.push_back(std::move(record));
    m_stats.shotsInTable = qint16(size());
    m_stats.settle(size());
    emit appended(size() - 1);
}

void ShotString::appendAll(std::vector<ShotRecord> records)
{
    if (records.empty())
        return;
    if (m_records.size() + records.size() > size_t(kMaxShots))
        AppError::raise(AppError::Overflow);
    m_records.reserve(m_records.size() + records.size());
    for (ShotRecord& r : records) {
        m_stats.add(r.shown.fps, r.shown.ftLbf);
        m_records.push_back(std::move(r));
    }
    m_stats.shotsInTable = qint16(size());
    m_stats.settle(size());
    emit reset();
}

void ShotString::remove(int index)
{
    if (index < 0 || index >= size())
        return;
    m_records.erase(m_records.begin() + index);
    recount();
    emit removed(index);
}

void ShotString::clear()
{
    m_records.clear();
    m_stats.reset();
    emit reset();
}

void ShotString::setCacheRowId(int index, qint64 rowid)
{
    if (index >= 0 && index < size())
        m_records[size_t(index)].cacheRowId = rowid;
}

void ShotString::recount()
{
    // Minima and maxima cannot be taken back one shot at a time.
    m_stats.reset();
    for (const ShotRecord& r : m_records)
        m_stats.add(r.shown.fps, r.shown.ftLbf);
    m_stats.shotsInTable = qint16(size());
    m_stats.settle(size());
}

void ShotString::setUnits(const StringUnits& units)
{
    if (units == m_units)
        return;
    m_units = units;
    emit unitsChanged();
}

QString ShotString::csvListText(const std::vector<int>& indices) const
{
    const Fields f = fields();
    QString text = list_lines::longHeader(f.weightWord, f.separator);
    const size_t n = indices.empty() ? m_records.size() : indices.size();
    text.reserve(text.size() + qsizetype(n) * 160);
    StringStatistics stats;
    for (size_t k = 0; k < n; ++k) {
        const ShotRecord& r = indices.empty() ? m_records[k] : at(indices[k]);
        stats.add(r.shown.fps, r.shown.ftLbf);
        list_lines::appendDataLine(text, r.cells, int(k) + 1, f.trailing, f.separator);
    }
    stats.shotsInTable = regional::toInt16(double(n));
    stats.settle(stats.shotsInTable);
    return text + capture_files::csvSummary(f.summaryHeader, summaryCells(stats, n > 0, m_units.summary), f.extraInfo,
                                            f.separator);
}

QByteArray ShotString::csvBytes(const std::vector<int>& indices) const
{
    return capture_files::fileBytes(capture_files::toCsv(csvListText(indices)));
}
