#include "archive_ledger.h"

#include "history/string_archive.h"
#include "storage/pellet_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace cache_runs {

std::vector<std::pair<qint64, qint64>> ranges(std::vector<qint64> ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::vector<std::pair<qint64, qint64>> runs;
    for (size_t i = 0; i < ids.size();) {
        size_t j = i;
        while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1)
            ++j;
        runs.emplace_back(ids[i], ids[j]);
        i = j + 1;
    }
    return runs;
}

QString encode(std::vector<qint64> ids)
{
    QStringList runs;
    for (const auto& [first, last] : ranges(std::move(ids)))
        runs.append(first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last));
    return runs.join(u',');
}

std::vector<qint64> decode(const QString& text)
{
    std::vector<qint64> ids;
    for (const QString& run : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList ends = run.split(u'-');
        bool okFirst = false, okLast = true;
        const qint64 first = ends.value(0).toLongLong(&okFirst);
        const qint64 last = ends.size() == 2 ? ends[1].toLongLong(&okLast) : first;
        // A damaged run is not allowed to stand for millions of rows.
        if (!okFirst || !okLast || ends.size() > 2 || first <= 0 || last < first || last - first > 10'000'000)
            continue;
        for (qint64 id = first; id <= last; ++id)
            ids.push_back(id);
    }
    return ids;
}

} // namespace cache_runs

namespace {

bool sameBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.size() == bytes.size() && file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

QString candidate(const QDir& dir, const QString& base, int n)
{
    return dir.filePath(n == 1 ? base + QStringLiteral(".csv") : base + QStringLiteral(" (%1).csv").arg(n));
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The folder's entries reach the disk with the files.
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

constexpr int kMaxNames = 1000;

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

const char* ArchiveLedger::stepName(Step step)
{
    switch (step) {
    case Step::Intent:
        return "intent";
    case Step::Temp:
        return "temp";
    case Step::File:
        return "file";
    case Step::Ledger:
        return "ledger";
    }
    return "";
}

ArchiveLedger::ArchiveLedger(PelletStore* store, StepHook hook) : m_store(store), m_hook(std::move(hook)) {}

bool ArchiveLedger::available() const
{
    return m_store && m_store->isOpen() && m_store->hasCache();
}

bool ArchiveLedger::writeFile(const QString& folder, const QString& base, const QByteArray& bytes, QString& name,
                              QString& error, bool& stopped)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        error = QStringLiteral("the folder \"%1\" cannot be created").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    // Written before a crash that came ahead of the ledger's mark: the same bytes under one of
    // the string's names.
    for (int n = 1; n <= kMaxNames; ++n) {
        const QString path = candidate(dir, base, n);
        if (!QFileInfo::exists(path))
            break;
        if (sameBytes(path, bytes)) {
            name = QFileInfo(path).fileName();
            return true;
        }
    }
    // A name no other writer has, created here and held under a lock until it is removed, so that
    // a clean-up at another start never takes it away while it is written.
    QByteArray temp = QFile::encodeName(dir.filePath(QStringLiteral(".velmora-archive-XXXXXX.tmp")));
    const int fd = ::mkostemps(temp.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        error = systemError(errno);
        return false;
    }
    const auto dropTemp = [&] {
        ::unlink(temp.constData());
        ::close(fd);
    };
    (void)::flock(fd, LOCK_EX);
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) {
        error = systemError(errno);
        dropTemp();
        return false;
    }
    if (stop(Step::Temp)) {
        stopped = true;
        ::close(fd);
        return false;
    }
    bool linked = false;
    for (int n = 1; n <= kMaxNames && !linked; ++n) {
        const QString path = candidate(dir, base, n);
        if (::link(temp.constData(), QFile::encodeName(path).constData()) == 0) {
            linked = true;
            name = QFileInfo(path).fileName();
        } else if (errno != EEXIST) {
            error = systemError(errno);
            break;
        }
    }
    dropTemp();
    if (!linked) {
        if (error.isEmpty())
            error = QStringLiteral("no free name for \"%1.csv\"").arg(base);
        return false;
    }
    syncFolder(folder);
    if (stop(Step::File)) {
        stopped = true;
        return false;
    }
    return true;
}

ArchiveLedger::Outcome ArchiveLedger::archive(const PendingString& s)
{
    Outcome out;
    const bool withFile = !s.csv.isEmpty();
    if (!withFile && s.cacheRows.empty())
        return out;
    if (!available()) {
        out.error = QStringLiteral("the local database is not available");
        return out;
    }
    PelletStore::ArchiveEntry entry;
    entry.done = !withFile; // rows whose shots were all deleted: only claimed
    entry.folder = s.folder;
    entry.name = withFile ? StringArchive::fileName(s.when, s.gun, s.projectile).chopped(4) : QString();
    entry.bytes = s.csv;
    entry.cacheRows = cache_runs::encode(s.cacheRows);
    entry.gunType = s.gunType;
    entry.weightUnit = s.weightUnit;
    const PelletStore::LedgerResult added = m_store->addArchiveEntry(entry);
    if (added.id == 0) {
        out.error = added.error;
        return out;
    }
    out.recorded = true;
    if (!withFile)
        return out;
    if (stop(Step::Intent)) {
        out.stopped = true;
        return out;
    }
    QString name;
    if (!writeFile(s.folder, entry.name, s.csv, name, out.error, out.stopped))
        return out;
    StringArchive::recordKind(s.folder, name, s.gunType, s.weightUnit);
    out.path = QDir(s.folder).filePath(name);
    // Should this fail, the next reconcile finds the file by its bytes and marks it then.
    (void)m_store->settleArchiveEntry(added.id, name);
    out.stopped = stop(Step::Ledger);
    return out;
}

ArchiveLedger::Reconciled ArchiveLedger::reconcile()
{
    Reconciled r;
    if (!available())
        return r;
    for (const PelletStore::ArchiveEntry& e : m_store->archiveEntries(true)) {
        QString name, error;
        bool stopped = false;
        if (e.bytes.isEmpty()) {
            (void)m_store->settleArchiveEntry(e.id, e.name);
            continue;
        }
        if (!writeFile(e.folder, e.name, e.bytes, name, error, stopped)) {
            if (stopped) {
                r.stopped = true;
                return r;
            }
            ++r.pending;
            if (r.error.isEmpty())
                r.error = error;
            continue;
        }
        StringArchive::recordKind(e.folder, name, e.gunType, e.weightUnit);
        const QString settled = m_store->settleArchiveEntry(e.id, name);
        if (!settled.isEmpty()) {
            ++r.pending;
            if (r.error.isEmpty())
                r.error = settled;
            continue;
        }
        ++r.written;
        if (stop(Step::Ledger)) {
            r.stopped = true;
            return r;
        }
    }
    return r;
}

std::set<qint64> ArchiveLedger::claimedRows()
{
    std::set<qint64> rows;
    if (!available())
        return rows;
    for (const PelletStore::ArchiveEntry& e : m_store->archiveEntries(false))
        for (qint64 id : cache_runs::decode(e.cacheRows))
            rows.insert(id);
    return rows;
}

int ArchiveLedger::removeLeftoverTemporaries(const QString& folder)
{
    int removed = 0;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral(".velmora-archive-*.tmp")}, QDir::Files | QDir::Hidden | QDir::System)) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A writer at work holds its lock; one that is gone left only a second name of a file.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

void ArchiveLedger::emptyArchivedRows()
{
    if (!available())
        return;
    PelletStore::ArchivedRuns archived;
    for (const PelletStore::ArchiveEntry& e : m_store->archiveEntries(false))
        if (e.done)
            archived.emplace_back(e.id, cache_runs::ranges(cache_runs::decode(e.cacheRows)));
    // A failure leaves the rows for the next exit.
    (void)m_store->removeArchivedRows(archived);
}

void ArchiveLedger::retireMark(const QString& folder)
{
    StringArchive archive(folder);
    const auto mark = archive.readMark();
    if (!mark) {
        archive.removeMark();
        return;
    }
    if (!available())
        return; // kept for a run that can read it into the ledger
    const QString here = QFileInfo(m_store->storeDatabase.databaseName()).absoluteFilePath();
    if (mark->database != here)
        return; // another database's: its own run retires it
    const auto row = m_store->cacheRow(mark->rowid);
    if (row && row->text == mark->row) {
        std::vector<qint64> ids;
        for (qint64 id : m_store->cacheRowidsAfter(0))
            if (id <= mark->rowid)
                ids.push_back(id);
        PelletStore::ArchiveEntry entry;
        entry.done = true;
        entry.folder = folder;
        entry.cacheRows = cache_runs::encode(std::move(ids));
        if (m_store->addArchiveEntry(entry).id == 0)
            return; // tried again at the next start
    }
    archive.removeMark();
}
