#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <set>
#include <utility>
#include <vector>

class PelletStore;

// Cache row ids as runs: "1-5,9,12-20".
namespace cache_runs {
QString encode(std::vector<qint64> ids);
// The same runs as first and last ids.
std::vector<std::pair<qint64, qint64>> ranges(std::vector<qint64> ids);
// Parts that are not runs are passed over.
std::vector<qint64> decode(const QString& text);
} // namespace cache_runs

// Archives each ended string exactly once through a ledger in the local database, whatever
// instant a crash, a full disk or a read-only folder strikes. The ending of a string is:
//   1. "intent": one transaction records the string's CSV bytes, its base file name and its
//      cache rows; from here the string is claimed: a replay will not archive those rows again;
//   2. "temp": the bytes are in a new temporary file of the folder under a unique name, created
//      exclusively and flushed to the disk;
//   3. "file": the temporary file is linked under the first free name (a link never replaces a
//      file, so two writers can never take the same name) and removed;
//   4. "ledger": the ledger row is marked done with the name.
// At start, reconcile() finishes every row left before step 4: a file with the same bytes under
// one of its names is taken as written, otherwise it is written from the stored bytes. A failed
// write leaves the row pending, to be tried again at the next ending and the next start.
class ArchiveLedger {
public:
    enum class Step { Intent, Temp, File, Ledger };
    static const char* stepName(Step step);
    // Called after each step; returning true stops there, leaving everything as a crash would.
    using StepHook = std::function<bool(Step)>;

    // Without a store (none could be opened) nothing is available and nothing is claimed.
    explicit ArchiveLedger(PelletStore* store, StepHook hook = {});

    // Whether the database can keep a ledger (writable, cache present, not another run's).
    bool available() const;

    // The string that ends: its bytes (empty when no shot of it is left to archive) and the cache
    // rows it used.
    struct PendingString {
        QByteArray csv;
        std::vector<qint64> cacheRows;
        QString folder;
        QDateTime when;
        QString gun;
        QString projectile;
        int gunType = 0;
        QString weightUnit;
    };
    struct Outcome {
        bool recorded = false; // the ledger holds the string (written, or pending a retry)
        QString path;          // the archive file, when written
        QString error;         // why it was not written
        bool stopped = false;  // the hook stopped it
    };
    Outcome archive(const PendingString& string);

    struct Reconciled {
        int written = 0; // files written or found since they were recorded
        int pending = 0; // still not written
        QString error;   // the first failure
        bool stopped = false;
    };
    // Writes the strings that were recorded and not written yet.
    Reconciled reconcile();

    // Every cache row that belongs to a string already ended.
    std::set<qint64> claimedRows();

    // Temporary files a crash left in the folder (at worst second names of archived files) are
    // removed, never written through; those another writer is still using are left. How many.
    static int removeLeftoverTemporaries(const QString& folder);

    // At a normal exit: removes the cache rows of strings whose files are written, then the
    // finished ledger rows that claim no cached row any more. Rows of pending strings stay.
    void emptyArchivedRows();

    // An older run's ".cache-mark" in the folder named the last cache row of ended strings: its
    // rows are claimed in the ledger once, then the mark is removed.
    void retireMark(const QString& folder);

private:
    // Steps 2 and 3 for one row: the name written, or an error.
    bool writeFile(const QString& folder, const QString& base, const QByteArray& bytes, QString& name, QString& error,
                   bool& stopped);
    bool stop(Step step) const { return m_hook && m_hook(step); }

    PelletStore* m_store;
    StepHook m_hook;
};
