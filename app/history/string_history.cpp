#include "string_history.h"

#include "chart/frm_chart.h"
#include "history/frm_history.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"
#include "string/shot_string.h"

#include <QFileInfo>

namespace {

// The table's rows as the string's cells, for the settled rows to be recognised.
std::vector<QStringList> tableRows(const ShotString& string)
{
    std::vector<QStringList> rows;
    rows.reserve(size_t(string.size()));
    for (const ShotRecord& r : string.records())
        rows.push_back(r.cells);
    return rows;
}

} // namespace

StringHistory::StringHistory(ShotString& string, const AppServices& services, QWidget* owner)
    : m_string(string), m_services(services), m_owner(owner), m_archive(StringArchive::defaultFolder())
{
}

StringHistory::~StringHistory() = default;

bool StringHistory::archivingOn()
{
    const auto value = regional::toNumber(settings::read(settings::kArchiveStrings));
    return !value || *value != 0;
}

std::optional<StringArchive::CacheMark> StringHistory::cacheMark() const
{
    PelletStore* store = m_services.store;
    if (!store || !store->isOpen())
        return std::nullopt;
    StringArchive::CacheMark mark;
    mark.database = QFileInfo(store->storeDatabase.databaseName()).absoluteFilePath();
    if (const auto last = store->lastCacheRow()) {
        mark.rowid = last->rowid;
        mark.row = last->text;
    }
    return mark;
}

void StringHistory::stringEnding()
{
    bool archived = true;
    if (archivingOn()) {
        // The settled rows are at the head of the table: the pending ones are the rest.
        const size_t pending = m_settled.empty() ? size_t(m_string.size()) : m_settled.pending(tableRows(m_string)).size();
        std::vector<int> rows;
        for (int i = m_string.size() - int(pending); i < m_string.size(); ++i)
            rows.push_back(i);
        if (!rows.empty()) {
            QString error;
            try {
                const QByteArray bytes = m_string.csvBytes(rows);
                const ShotString::Fields fields = m_string.fields();
                error = m_archive
                            .write(bytes, m_services.clock->now(),
                                   fields.trailing.gunMake + u' ' + fields.trailing.gunModel, fields.trailing.projectile)
                            .error;
            } catch (const std::exception& e) {
                error = QString::fromLocal8Bit(e.what());
            }
            if (!error.isEmpty()) {
                archived = false;
                m_services.prompt->message(QStringLiteral("The string could not be archived: ") + error,
                                                  Prompt::Icon::Exclamation);
            }
        }
    }
    m_settled.clear();
    if (m_history && m_history->isVisible())
        m_history->reload();
    // A string that could not be archived stays unmarked: a crash brings it back to be archived.
    if (archived) {
        if (const auto mark = cacheMark())
            (void)m_archive.writeMark(*mark);
    }
}

void StringHistory::shotsReplayed()
{
    PelletStore* store = m_services.store;
    const auto mark = m_archive.readMark();
    const auto here = cacheMark();
    if (!store || !mark || !here || mark->database != here->database || mark->rowid <= 0)
        return;
    const auto row = store->cacheRow(mark->rowid);
    if (!row || row->text != mark->row)
        return; // the mark is of another run's cache
    // The table holds the replayed shots in the order of the cache.
    qsizetype settled = 0;
    for (const PelletStore::CachedShot& shot : store->cachedShots())
        if (shot.rowid <= mark->rowid)
            ++settled;
    const std::vector<QStringList> table = tableRows(m_string);
    settled = std::min(settled, qsizetype(table.size()));
    m_settled.set(std::vector<QStringList>(table.begin(), table.begin() + settled));
}

frmChart* StringHistory::chartWindow() const
{
    return m_chart;
}

frmHistory* StringHistory::historyWindow() const
{
    return m_history;
}

frmChart& StringHistory::openChart()
{
    if (!m_chart)
        m_chart = new frmChart(m_string, m_services, m_owner);
    m_chart->setEnabled(true); // usable whatever window holds the main window
    m_chart->show();
    m_chart->raise();
    m_chart->activateWindow();
    return *m_chart;
}

frmChart& StringHistory::showChart()
{
    frmChart& chart = openChart();
    chart.showCurrentString();
    return chart;
}

frmHistory& StringHistory::showHistory()
{
    if (!m_history)
        m_history = new frmHistory(m_string, m_services, *this, m_owner);
    m_history->setEnabled(true);
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
    return *m_history;
}

void StringHistory::showArchivedInChart(const std::vector<ArchivedString>& strings)
{
    openChart().showArchived(strings);
}
