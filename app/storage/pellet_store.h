#pragma once

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class QLockFile;

// The local database "pellet.store" (SQLite): the shot cache and the projectile, gun and tip
// tables. One connection for the run; every statement binds its values. A missing file is
// created with its tables and a seed; a file that is not a database or lacks a table is
// never overwritten.
class PelletStore {
public:
    // One cache row as written: the number, the time stamp, and the weight and velocity as texts.
    struct CacheRow {
        qint16 shot = 0;
        qint32 timestamp = 0;
        QString grains; // regional number text
        QString fps;    // "0.000"
    };
    // One cache row as read back for a replay, in the order of recording.
    struct CachedShot {
        qint16 shot = 0;
        qint64 timestamp = 0;
        double fps = 0;
        QString grains; // as written
        qint64 rowid = 0; // the row's place in the table, growing with each insert
    };
    // A cache row as stored, to recognise it again.
    struct StoredRow {
        qint64 rowid = 0;
        QString text; // shot, time stamp and velocity as stored, TAB-separated
    };
    // One string of the archive ledger: while not done, the bytes its file must hold.
    struct ArchiveEntry {
        qint64 id = 0;
        bool done = false;
        QString folder;    // the history folder it belongs in
        QString name;      // its file name there (the base name until the file exists)
        QByteArray bytes;  // the CSV, until the file holds it
        QString cacheRows; // the cache rows of the string, as runs "1-5,9"
        int gunType = 0;
        QString weightUnit;
    };
    struct LedgerResult {
        qint64 id = 0;
        QString error;
    };
    struct Projectile {
        qint64 id = 0;
        QString name;
        double caliber = 0;
        double metric = 0; // grammes
    };
    struct Gun {
        QString make;
        QString model;
        int pistol = 0;
    };
    // The gun type filter of the make and model look-ups.
    enum class GunType { Pistol, Rifle, Any };

    PelletStore();
    ~PelletStore();
    PelletStore(const PelletStore&) = delete;
    PelletStore& operator=(const PelletStore&) = delete;

    // Opens the file (creating it when missing). Returns an empty text when the database is
    // fully usable, or a message for the user saying what is wrong and what will not work.
    // While another process runs on the same file, the cache and the ledger are left to it.
    [[nodiscard]] QString openStore(const QString& path);
    bool isOpen() const { return storeDatabase.isOpen(); }
    bool hasCache() const { return m_hasCache; }
    // Open, while another running Velmora owns this file's cache and archive.
    bool sharedWithOther() const { return isOpen() && !m_lock; }
    void close();

    // Appends one row, on disk when it returns; gives the database's error text, or empty.
    // Without a usable cache (the user was told when it was opened) it does nothing. The new
    // row's rowid goes to `rowid` when given (0 when nothing was written).
    QString insertCacheRow(const CacheRow& row, qint64* rowid = nullptr);
    // Every cached row in the order of recording; rows that cannot be read are passed over.
    std::vector<CachedShot> cachedShots();
    // The cache rows of written strings, by ledger row: each with the runs of ids (first, last) it
    // claims.
    using ArchivedRuns = std::vector<std::pair<qint64, std::vector<std::pair<qint64, qint64>>>>;
    // In one transaction, removes those cache rows (rows numbered below 1 stay) and then the ledger
    // rows that no longer claim a cached row. The database's error, or empty.
    QString removeArchivedRows(const ArchivedRuns& archived);
    // The highest cache row id (0 for none), and the ids above one, in order.
    qint64 lastCacheRowid();
    std::vector<qint64> cacheRowidsAfter(qint64 rowid);

    // The archive ledger, committed when each call returns.
    [[nodiscard]] LedgerResult addArchiveEntry(const ArchiveEntry& entry);
    [[nodiscard]] QString settleArchiveEntry(qint64 id, const QString& name);
    std::vector<ArchiveEntry> archiveEntries(bool pendingOnly);
    // The last cache row, and the row with a given rowid; none when there is no such row.
    std::optional<StoredRow> lastCacheRow();
    std::optional<StoredRow> cacheRow(qint64 rowid);

    QList<double> distinctCalibres();
    // The calibre as listed: a comma becomes a point before it is compared.
    QList<Projectile> projectilesOfCalibre(const QString& calibreText);
    std::optional<Projectile> projectileById(qint64 id);
    QStringList gunMakes(GunType type, bool ordered);
    QStringList gunModels(const QString& make, GunType type);
    QStringList tips();
    // Replaces both tables inside one transaction: all or nothing. Returns an error text or empty.
    [[nodiscard]] QString replaceTables(const QList<Projectile>& projectiles, const QList<Gun>& guns);

    static GunType gunTypeFor(int optTypeIndex);
    // 0.177 with three decimals, every other calibre with two, regional separator.
    static QString calibreText(double caliber);
    // "pellet.store" in the current folder; see pathFor.
    static QString defaultPath();
    // The working folder's "pellet.store", except when the working folder is the home folder, as
    // for a program started from the desktop's menu: the per-user data folder then holds it
    // instead of the home folder itself.
    static QString pathFor(const QString& workingFolder, const QString& homeFolder, const QString& dataFolder);

    // The one connection, and the result set every statement but the shot's insert goes through.
    QSqlDatabase storeDatabase;
    QSqlQuery storeRecordset;

private:
    QString openFile(const QString& path, bool mayCreate);
    // While another run holds the lock: until the file has its tables, or a few seconds.
    void waitForTables(const QString& path);
    static constexpr int kCreationWaitMs = 5000;
    QString upgradeCache();
    bool exec(const QString& sql, const QVariantList& values = {});
    std::optional<StoredRow> storedRow(const QString& where, const QVariantList& values);
    QString createTablesAndSeed();
    // Undoes the open transaction; the failed statement's error.
    QString rollBack();
    QString m_connection;
    // The insert of every shot, prepared once: parsing it again was a tenth of a shot's cost.
    QSqlQuery m_insertCacheRow;
    bool m_hasCache = false;
    std::shared_ptr<QLockFile> m_lock;
    bool m_toldShared = false;
};
