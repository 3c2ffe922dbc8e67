#include "string_history.h"

#include "chart/frm_chart.h"
#include "history/frm_history.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/crash_point.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"
#include "string/shot_string.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <set>

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

bool StringHistory::sharedDatabase() const
{
    const PelletStore* store = m_services.store;
    return store && store->sharedWithOther();
}

ArchiveLedger StringHistory::ledger()
{
    return ArchiveLedger(m_services.store, [](ArchiveLedger::Step step) {
        crashPoint(ArchiveLedger::stepName(step));
        return false;
    });
}

ArchiveLedger::PendingString StringHistory::pendingString()
{
    ArchiveLedger::PendingString s;
    // A shot whose cache row belongs to a string that ended before a crash is not this string's.
    std::vector<int> indices;
    for (int i = 0; i < m_string.size(); ++i)
        if (!m_settled.count(m_string.records()[size_t(i)].cacheRowId))
            indices.push_back(i);
    if (!indices.empty())
        s.csv = m_string.csvBytes(indices);
    s.cacheRows = m_replayedRows;
    if (PelletStore* store = m_services.store) {
        const std::vector<qint64> recorded = store->cacheRowidsAfter(m_seenRowid);
        s.cacheRows.insert(s.cacheRows.end(), recorded.begin(), recorded.end());
    }
    const ShotString::Fields fields = m_string.fields();
    s.folder = m_archive.folder();
    s.when = m_services.clock->now();
    s.gun = fields.trailing.gunMake + u' ' + fields.trailing.gunModel;
    s.projectile = fields.trailing.projectile;
    s.gunType = m_string.units().gunType;
    s.weightUnit = fields.weightWord;
    return s;
}

bool StringHistory::stringEnding(bool quiet)
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

    // Where the string now is, for the message: the database holds it until its file is written.
    QString keptIn;
    ArchiveLedger archive = ledger();
    if (archive.available()) {
        // Strings that failed before go first, so that the archive keeps their order.
        for (auto it = m_unrecorded.begin(); it != m_unrecorded.end();)
            it = archive.archive(*it).recorded ? m_unrecorded.erase(it) : it + 1;
        (void)archive.reconcile();
        const ArchiveLedger::Outcome outcome = archive.archive(string);
        if (outcome.recorded) {
            if (error.isEmpty())
                error = outcome.error;
            keptIn = m_services.store->storeDatabase.databaseName();
        } else if (!string.csv.isEmpty() || !string.cacheRows.empty()) {
            // The database cannot take it (its disk is full): the file is written straight away
            // where it can be, and its rows are claimed once the database takes them.
            if (!string.csv.isEmpty()) {
                const StringArchive::Written written =
                    m_archive.write(string.csv, string.when, string.gun, string.projectile);
                if (written.path.isEmpty()) {
                    if (error.isEmpty())
                        error = outcome.error;
                } else {
                    StringArchive::recordKind(string.folder, QFileInfo(written.path).fileName(), string.gunType,
                                              string.weightUnit);
                    string.csv.clear();
                }
            }
            m_unrecorded.push_back(string);
            markWrittenRows();
        }
    } else if (!string.csv.isEmpty()) {
        // Without a usable database there is no cache to replay either: the file alone is enough.
        error = m_archive.write(string.csv, string.when, string.gun, string.projectile).error;
    }
    if (!error.isEmpty()) {
        const QString where = keptIn.isEmpty()
                                  ? QStringLiteral("It is kept in this window only: save it with \"Save Capture\".")
                                  : QStringLiteral("It is kept in \"%1\" and will be written to \"%2\" when there "
                                                   "is room, at the next Clear or start.")
                                        .arg(QDir::toNativeSeparators(keptIn),
                                             QDir::toNativeSeparators(m_archive.folder()));
        const QString text = QStringLiteral("The string could not be archived: ") + error + QStringLiteral("\n\n") + where;
        if (quiet)
            std::fprintf(stderr, "velmora: %s\n", qPrintable(text));
        else
            m_services.prompt->message(text, Prompt::Icon::Exclamation);
    }
    // The list follows; whatever a file in the folder holds, the string still ends.
    if (m_history && m_history->isVisible()) {
        try {
            m_history->reload();
        } catch (const std::exception&) {
        }
    }
    return m_unrecorded.empty();
}

void StringHistory::markWrittenRows()
{
    // Once every string the database could not take is in a file, a mark in the folder says so
    // for the next start, which claims the rows then: they are not archived a second time.
    qint64 last = 0;
    for (const ArchiveLedger::PendingString& s : m_unrecorded) {
        if (!s.csv.isEmpty())
            return; // its rows are all there is of it
        for (qint64 id : s.cacheRows)
            last = std::max(last, id);
    }
    PelletStore* store = m_services.store;
    const auto row = last > 0 && store ? store->cacheRow(last) : std::nullopt;
    if (row)
        (void)m_archive.writeMark(
            {QFileInfo(store->storeDatabase.databaseName()).absoluteFilePath(), row->rowid, row->text});
}

void StringHistory::emptyArchivedCache()
{
    if (sharedDatabase())
        return;
    ArchiveLedger archive = ledger();
    archive.emptyArchivedRows();
}

void StringHistory::settleEarlierStrings()
{
    // Another run's writer keeps its own temporary file locked: only leftovers go.
    ArchiveLedger::removeLeftoverTemporaries(m_archive.folder());
    if (sharedDatabase())
        return;
    ArchiveLedger archive = ledger();
    archive.retireMark(m_archive.folder());
    // Still failing, they stay in the ledger; the user was told when they ended.
    (void)archive.reconcile();
}

void StringHistory::shotsReplayed()
{
    PelletStore* store = m_services.store;
    if (!store || sharedDatabase())
        return;
    const std::set<qint64> claimed = ledger().claimedRows();
    // Only the rows the replay took are the string's: a cache beyond what the table can hold
    // is not claimed by it.
    m_settled.clear();
    m_replayedRows.clear();
    for (const ShotRecord& r : m_string.records()) {
        if (r.cacheRowId <= 0)
            continue;
        if (claimed.count(r.cacheRowId))
            m_settled.insert(r.cacheRowId);
        else
            m_replayedRows.push_back(r.cacheRowId);
    }
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
