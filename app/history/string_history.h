#pragma once

#include "history/archive_ledger.h"
#include "history/history_reader.h"
#include "history/string_archive.h"

#include <QObject>
#include <QPointer>
#include <set>
#include <vector>

class QWidget;
class ShotString;
class frmChart;
class frmHistory;
struct AppServices;

// The string history beside the main window: archives the string when it ends (cleared, or
// the program leaving normally) through the ledger of the local database, knows which replayed
// shots belong to strings that had already ended, and opens the chart and history windows.
class StringHistory : public QObject {
    Q_OBJECT
public:
    // The string it archives and shows; `owner` is the window the chart and history stand beside.
    StringHistory(ShotString& string, const AppServices& services, QWidget* owner);
    ~StringHistory() override;

    StringArchive& archive() { return m_archive; }
    // The "ArchiveStrings" setting.
    static bool archivingOn();

    // The string ends: the user cleared it, or the program is leaving. Archives the shots of the
    // table that were not archived yet (when archiving is on) and claims its cache rows in the
    // ledger. A failure is shown once (written to the error output when `quiet`); it never stops
    // the clearing or the exit. False when the string could not even be recorded in the ledger.
    bool stringEnding(bool quiet = false);
    // At a normal exit: the cache rows of strings whose files are written are removed; rows of
    // strings not yet written stay for the next start.
    void emptyArchivedCache();
    // At start-up, before the cache is replayed: strings recorded and not yet written are written.
    void settleEarlierStrings();
    // After the shot cache was replayed at start-up: the replayed shots of strings that had ended
    // before the crash are not archived again.
    void shotsReplayed();

    // The windows, opened or brought to the front.
    frmChart& showChart();
    frmHistory& showHistory();
    void showArchivedInChart(const std::vector<ArchivedString>& strings);
    // The open windows, or null.
    frmChart* chartWindow() const;
    frmHistory* historyWindow() const;

private:
    // The string that ends now: its CSV as "Save Capture" writes it (empty when none of its shots
    // is left to archive) and the cache rows it used.
    ArchiveLedger::PendingString pendingString();
    ArchiveLedger ledger();
    void markWrittenRows();
    bool sharedDatabase() const;
    frmChart& openChart();

    ShotString& m_string;
    const AppServices& m_services;
    QWidget* m_owner;
    StringArchive m_archive;
    // Cache rows of replayed shots whose strings had already ended.
    std::set<qint64> m_settled;
    // Cache rows of the current string known from the replay, and the last row id seen: rows
    // above it were recorded since.
    std::vector<qint64> m_replayedRows;
    qint64 m_seenRowid = 0;
    // Strings the ledger could not record (the database failing): tried again at each ending.
    std::vector<ArchiveLedger::PendingString> m_unrecorded;
    QPointer<frmChart> m_chart;
    QPointer<frmHistory> m_history;
};
