#pragma once

#include "string/shot_record.h"
#include "string/string_units.h"

#include "main_window/list_lines.h"
#include "main_window/string_statistics.h"

#include <QObject>
#include <functional>
#include <vector>

// The current string: one record per shot in the order recorded, the running statistics over
// them and the units it is shown in. The shot path appends to it; the shot table, the summary,
// the list text, the chart, the archive and "Save Capture" read from it. No widget is in it.
class ShotString : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    int size() const { return int(m_records.size()); }
    bool empty() const { return m_records.empty(); }
    const ShotRecord& at(int index) const { return m_records.at(size_t(index)); }
    const std::vector<ShotRecord>& records() const { return m_records; }
    // The cache rows of the shots, in order; 0 for a shot that is not in the cache.
    std::vector<qint64> cacheRowIds() const;

    // Over the shown velocity and energy of every shot, in fps and ft·lbf; initial values
    // without shots.
    const StringStatistics& statistics() const { return m_stats; }

    // At most this many shots: the shot number and the count are 16-bit.
    static constexpr int kMaxShots = 32767;

    // Adds one shot at the end (Overflow beyond kMaxShots, nothing added).
    void append(ShotRecord record);
    // Adds many shots at once with one reset, as a replay does.
    void appendAll(std::vector<ShotRecord> records);
    void remove(int index);
    void clear();
    void setCacheRowId(int index, qint64 rowid);

    const StringUnits& units() const { return m_units; }
    void setUnits(const StringUnits& units);

    // What the CSV of the string takes from the current settings and the summary as shown.
    struct Fields {
        list_lines::TrailingFields trailing;
        QString weightWord;
        QStringList summaryHeader;
        QString extraInfo;
        QString separator = QStringLiteral("\t");
    };
    // The owner says where the current fields come from.
    void setFieldsSource(std::function<Fields()> source) { m_fields = std::move(source); }
    Fields fields() const { return m_fields ? m_fields() : Fields{}; }

    // The list text a CSV save builds for these shots (every shot when `indices` is empty):
    // the long header, one data line each, then the summary and the extra text.
    QString csvListText(const std::vector<int>& indices = {}) const;
    // The bytes "Save Capture" writes for the CSV of these shots (every shot when `indices`
    // is empty) with the current fields and units.
    QByteArray csvBytes(const std::vector<int>& indices = {}) const;

signals:
    void appended(int index);
    void removed(int index);
    // The shots were replaced at once: cleared, or many appended.
    void reset();
    void unitsChanged();

private:
    void recount();

    std::vector<ShotRecord> m_records;
    StringStatistics m_stats;
    StringUnits m_units;
    std::function<Fields()> m_fields;
};
