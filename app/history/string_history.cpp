#include "string_history.h"

#include "chart/frm_chart.h"
#include "data_options/frm_pellet.h"
#include "history/frm_history.h"
#include "main_window/capture_files.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/clock.h"
#include "services/crash_point.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"

#include <QLineEdit>
#include <set>

StringHistory::StringHistory(frmMain& main)
    : m_main(main), m_archive(StringArchive::defaultFolder())
{
}

StringHistory::~StringHistory() = default;

bool StringHistory::archivingOn()
{
    const auto value = regional::toNumber(settings::read(settings::kArchiveStrings));
    return !value || *value != 0;
}

bool StringHistory::sharedDatabase() const
{
    const PelletStore* store = m_main.services().store;
    return store && store->sharedWithOther();
}

ArchiveLedger StringHistory::ledger()
{
    static PelletStore none;
    PelletStore* store = m_main.services().store;
    return ArchiveLedger(store ? *store : none, [](ArchiveLedger::Step step) {
        crashPoint(ArchiveLedger::stepName(step));
        return false;
    });
}

ArchiveLedger::PendingString StringHistory::pendingString()
{
    ArchiveLedger::PendingString s;
    const std::vector<QStringList>& table = m_main.MSFlexGrid1->DataRows();
    const std::vector<QStringList> unsettled = m_settled.empty() ? std::vector<QStringList>{} : m_settled.pending(table);
    const std::vector<QStringList>& rows = m_settled.empty() ? table : unsettled;
    if (!rows.empty())
        s.csv = capture_files::fileBytes(capture_files::toCsv(capture_files::csvListText(m_main.csvString(rows))));
    s.cacheRows = m_replayedRows;
    if (PelletStore* store = m_main.services().store) {
        const std::vector<qint64> recorded = store->cacheRowidsAfter(m_seenRowid);
        s.cacheRows.insert(s.cacheRows.end(), recorded.begin(), recorded.end());
    }
    const frmPellet& p = m_main.pellet();
    s.folder = m_archive.folder();
    s.when = m_main.services().clock->now();
    s.gun = p.txtMake->text() + u' ' + p.txtModel->text();
    s.projectile = p.txtPelletMake->text();
    s.gunType = p.optType->selectedIndex();
    s.weightUnit = p.selWeight->isSelected(0) ? QStringLiteral("Grammes") : QStringLiteral("Grains");
    return s;
}

bool StringHistory::stringEnding()
{
    const bool on = archivingOn();
    if (sharedDatabase()) {
        m_settled.clear(); // the other run keeps the cache and the archive; this one was told
        return true;
    }
    QString error;
    ArchiveLedger::PendingString string;
    try {
        string = pendingString();
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    }
    if (!on)
        string.csv.clear(); // its rows are still claimed: a crash must not archive them later
    for (qint64 id : string.cacheRows)
        m_seenRowid = std::max(m_seenRowid, id);
    m_replayedRows.clear();
    m_settled.clear();

    ArchiveLedger archive = ledger();
    if (archive.available()) {
        // Strings that failed before go first, so that the archive keeps their order.
        for (auto it = m_unrecorded.begin(); it != m_unrecorded.end();)
            it = archive.archive(*it).recorded ? m_unrecorded.erase(it) : it + 1;
        (void)archive.reconcile();
        const ArchiveLedger::Outcome outcome = archive.archive(string);
        if (!outcome.recorded && (!string.csv.isEmpty() || !string.cacheRows.empty()))
            m_unrecorded.push_back(string);
        if (error.isEmpty())
            error = outcome.error;
    } else if (!string.csv.isEmpty()) {
        // Without a usable database there is no cache to replay either: the file alone is enough.
        error = m_archive.write(string.csv, string.when, string.gun, string.projectile).error;
    }
    if (!error.isEmpty())
        m_main.services().prompt->message(QStringLiteral("The string could not be archived: ") + error +
                                              QStringLiteral("\n\nIt is kept, and archived at the next Clear or start."),
                                          Prompt::Icon::Exclamation);
    // The list follows; whatever a file in the folder holds, the string still ends.
    if (m_history && m_history->isVisible()) {
        try {
            m_history->reload();
        } catch (const std::exception&) {
        }
    }
    return m_unrecorded.empty();
}

void StringHistory::settleEarlierStrings()
{
    if (sharedDatabase())
        return;
    ArchiveLedger archive = ledger();
    archive.retireMark(m_archive.folder());
    // Still failing, they stay in the ledger; the user was told when they ended.
    (void)archive.reconcile();
}

void StringHistory::shotsReplayed()
{
    PelletStore* store = m_main.services().store;
    if (!store || sharedDatabase())
        return;
    const std::set<qint64> claimed = ledger().claimedRows();
    const std::vector<PelletStore::CachedShot> cached = store->cachedShots();
    const std::vector<QStringList>& table = m_main.MSFlexGrid1->DataRows();
    // The table holds the replayed shots in the order of the cache; rows a replay could not
    // take are not the string's.
    const size_t replayed = std::min(cached.size(), table.size());
    std::vector<QStringList> settled;
    m_replayedRows.clear();
    for (size_t i = 0; i < replayed; ++i) {
        if (claimed.count(cached[i].rowid))
            settled.push_back(table[i]);
        else
            m_replayedRows.push_back(cached[i].rowid);
    }
    m_settled.set(std::move(settled));
    m_seenRowid = store->lastCacheRowid();
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
        m_chart = new frmChart(m_main);
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
        m_history = new frmHistory(m_main, *this);
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
