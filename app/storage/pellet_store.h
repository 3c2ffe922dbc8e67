#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

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
    [[nodiscard]] QString openStore(const QString& path);
    bool isOpen() const { return storeDatabase.isOpen(); }
    bool hasCache() const { return m_hasCache; }
    void close();

    // Appends one row, on disk when it returns; gives the database's error text, or empty.
    // Without a usable cache (the user was told when it was opened) it does nothing. The new
    // row's rowid goes to `rowid` when given (0 when nothing was written).
    QString insertCacheRow(const CacheRow& row, qint64* rowid = nullptr);
    // Every cached row in the order of recording; rows that cannot be read are passed over.
    std::vector<CachedShot> cachedShots();
    // Empties the cache at a normal exit; a failure is ignored.
    void emptyCache();
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

    // The one connection and the one result set every statement goes through.
    QSqlDatabase storeDatabase;
    QSqlQuery storeRecordset;

private:
    bool exec(const QString& sql, const QVariantList& values = {});
    std::optional<StoredRow> storedRow(const QString& where, const QVariantList& values);
    QString createTablesAndSeed();
    // Undoes the open transaction; the failed statement's error.
    QString rollBack();
    QString m_connection;
    bool m_hasCache = false;
};
