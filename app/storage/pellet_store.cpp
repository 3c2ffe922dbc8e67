#include "pellet_store.h"

#include "services/install_paths.h"
#include "services/regional.h"
#include "storage/instance_lock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QStandardPaths>
#include <QTextStream>
#include <QThread>
#include <QUuid>

namespace {

const QStringList kTables{QStringLiteral("Cache"), QStringLiteral("Projectiles"), QStringLiteral("Guns"),
                          QStringLiteral("Tips")};

// Which cache rows belong to which archived string, and the strings still to be written: a row
// is added with the string's bytes before its file is written and marked done after.
const char* const kLedgerSchema =
    "CREATE TABLE IF NOT EXISTS ArchiveLedger (id INTEGER PRIMARY KEY AUTOINCREMENT, done INTEGER NOT NULL, "
    "folder TEXT, name TEXT, bytes BLOB, cacheRows TEXT, gunType INTEGER, weightUnit TEXT)";

const char* const kSchema[] = {
    "CREATE TABLE Cache (id INTEGER PRIMARY KEY AUTOINCREMENT, shot INTEGER, mytimestamp TEXT, grains TEXT, fps TEXT)",
    "CREATE TABLE Projectiles (id INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, Caliber REAL, Metric REAL)",
    "CREATE TABLE Guns (Make TEXT, Model TEXT, Pistol INTEGER)",
    "CREATE TABLE Tips (Tip TEXT)",
    kLedgerSchema,
};

// Seed rows from the text files kept in data/seed, skipping comments and blank lines. The installed
// copy is read first, so a packager or a club can change the seed; the program carries its own.
QList<QStringList> seedRows(const QString& name)
{
    QList<QStringList> rows;
    QString path = install_paths::findDataFile(QStringLiteral("seed/") + name);
    if (path.isEmpty())
        path = QStringLiteral(":/seed/") + name;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return rows;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        rows.append(line.split(u'\t'));
    }
    return rows;
}

// A stored number text back to a number: the regional form first, then the other separator.
std::optional<double> storedNumber(const QVariant& value)
{
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::LongLong ||
        value.typeId() == QMetaType::Int)
        return value.toDouble();
    QString text = value.toString();
    if (auto n = regional::toNumber(text))
        return n;
    text.replace(u',', u'#').replace(u'.', u',').replace(u'#', u'.');
    return regional::toNumber(text);
}

QString typeCondition(PelletStore::GunType type, const char* keyword)
{
    switch (type) {
    case PelletStore::GunType::Pistol:
        return QStringLiteral(" %1 Pistol = 1 ").arg(QLatin1String(keyword));
    case PelletStore::GunType::Rifle:
        return QStringLiteral(" %1 Pistol = 0 ").arg(QLatin1String(keyword));
    case PelletStore::GunType::Any:
        break;
    }
    return {};
}

} // namespace

PelletStore::PelletStore() : m_connection(QStringLiteral("pellet.store-") + QUuid::createUuid().toString()) {}

PelletStore::~PelletStore()
{
    close();
}

QString PelletStore::defaultPath()
{
    const QString path = pathFor(QDir::currentPath(), QDir::homePath(),
                                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QDir().mkpath(QFileInfo(path).absolutePath()); // the per-user data folder may not exist yet
    return path;
}

QString PelletStore::pathFor(const QString& workingFolder, const QString& homeFolder, const QString& dataFolder)
{
    auto same = [](const QString& a, const QString& b) {
        const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
        return ca.isEmpty() || cb.isEmpty() ? QDir::cleanPath(a) == QDir::cleanPath(b) : ca == cb;
    };
    const bool startedFromMenu = same(workingFolder, homeFolder) && !dataFolder.isEmpty();
    return QDir(startedFromMenu ? dataFolder : workingFolder).filePath(QStringLiteral("pellet.store"));
}

void PelletStore::close()
{
    m_lock.reset();
    storeRecordset = QSqlQuery();
    m_insertCacheRow = QSqlQuery();
    if (storeDatabase.isValid()) {
        storeDatabase.close();
        storeDatabase = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_hasCache = false;
}

bool PelletStore::exec(const QString& sql, const QVariantList& values)
{
    storeRecordset = QSqlQuery(storeDatabase);
    if (!storeRecordset.prepare(sql))
        return false;
    for (const QVariant& v : values)
        storeRecordset.addBindValue(v);
    return storeRecordset.exec();
}

QString PelletStore::openStore(const QString& path)
{
    close();
    const InstanceLock::Result lock = InstanceLock::acquire(path);
    m_lock = lock.lock;
    // Only the run that holds the lock creates a missing file; the others wait until it is there.
    if (!m_lock)
        waitForTables(path);
    QString problem = openFile(path, m_lock != nullptr);
    if (m_lock || !isOpen())
        return problem;
    // Another run owns the cache and the archive: this one reads the lists and leaves both alone.
    m_hasCache = false;
    if (m_toldShared)
        return problem;
    m_toldShared = true;
    const QString shared =
        lock.foreignHolder.isEmpty()
            ? QStringLiteral("Another Velmora is already running on \"%1\". This one keeps no shots against a crash "
                             "and archives no strings; the other one's are left as they are.")
                  .arg(QDir::toNativeSeparators(path))
            : QStringLiteral("\"%1\" is locked by %2, so this Velmora keeps no shots against a crash and archives "
                             "no strings. If no Velmora runs there on this database any more, remove the file \"%3\" "
                             "and start Velmora again.")
                  .arg(QDir::toNativeSeparators(path), lock.foreignHolder,
                       QDir::toNativeSeparators(lock.lockPath));
    return problem.isEmpty() ? shared : problem + QStringLiteral("\n\n") + shared;
}

void PelletStore::waitForTables(const QString& path)
{
    const QString name = m_connection + QStringLiteral("-wait");
    QElapsedTimer waited;
    waited.start();
    bool ready = false;
    while (!ready && waited.elapsed() < kCreationWaitMs) {
        if (QFileInfo(path).size() > 0) { // never opened before it exists: opening would create it
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
            if (db.open()) {
                QSqlQuery q(db);
                ready = q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'")) &&
                        q.next() && q.value(0).toInt() > 0;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        if (!ready)
            QThread::msleep(50);
    }
}

QString PelletStore::openFile(const QString& path, bool mayCreate)
{
    const bool existed = QFileInfo::exists(path);
    if (existed && !QFileInfo(path).isFile())
        return QStringLiteral("The local database \"%1\" is not a file.").arg(path);
    storeDatabase = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    storeDatabase.setDatabaseName(path);
    storeDatabase.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    auto failure = [&](const QString& reason) {
        const QString message =
            QStringLiteral("The local database \"%1\" cannot be used: %2\n\nVelmora runs on without it: shots are not "
                           "kept against a crash, and the projectile, gun and tip lists stay empty.")
                .arg(QDir::toNativeSeparators(path), reason);
        close();
        return message;
    };
    if (!existed && !mayCreate)
        return failure(QStringLiteral("another Velmora is starting on it and has not created it yet."));
    if (!storeDatabase.open())
        return failure(storeDatabase.lastError().text());
    // Every write reaches the disk before the statement returns; with the write-ahead log
    // that costs one flush a statement instead of three.
    exec(QStringLiteral("PRAGMA synchronous = FULL"));
    if (!exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return failure(storeRecordset.lastError().databaseText().isEmpty() ? storeRecordset.lastError().text()
                                                                           : storeRecordset.lastError().databaseText());
    QStringList present;
    while (storeRecordset.next())
        present.append(storeRecordset.value(0).toString());

    if (!existed) {
        exec(QStringLiteral("PRAGMA journal_mode = WAL"));
        const QString error = createTablesAndSeed();
        if (!error.isEmpty()) {
            close();
            QFile::remove(path); // only the file we were creating
            return failure(error);
        }
        m_hasCache = true;
        return {};
    }

    const QFileInfo file(path);
    if (!file.isWritable() || !QFileInfo(file.absolutePath()).isWritable()) {
        m_hasCache = false;
        return QStringLiteral("The local database \"%1\" is read-only: shots are not kept against a crash. The "
                              "projectile, gun and tip lists can still be read.")
            .arg(QDir::toNativeSeparators(path));
    }

    QStringList missing;
    for (const QString& table : kTables)
        if (!present.contains(table, Qt::CaseInsensitive))
            missing.append(table);
    if (missing.size() == kTables.size())
        return failure(QStringLiteral("it is not a Velmora database (it has none of the tables Cache, "
                                      "Projectiles, Guns and Tips)."));
    exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    m_hasCache = !missing.contains(QStringLiteral("Cache"));
    if (m_hasCache && !exec(QStringLiteral("SELECT count(*) FROM Cache")))
        return failure(storeRecordset.lastError().databaseText());
    if (m_hasCache) {
        const QString error = upgradeCache();
        if (!error.isEmpty())
            return failure(error);
    }
    if (!missing.isEmpty()) {
        return QStringLiteral("The local database \"%1\" lacks the table(s) %2. What uses them will not work; "
                              "the file has been left as it is.")
            .arg(QDir::toNativeSeparators(path), missing.join(QStringLiteral(", ")));
    }
    return {};
}

QString PelletStore::rollBack()
{
    const QString error = storeRecordset.lastError().text();
    storeDatabase.rollback();
    return error;
}

QString PelletStore::createTablesAndSeed()
{
    if (!storeDatabase.transaction())
        return storeDatabase.lastError().text();
    auto fail = [this] { return rollBack(); };
    for (const char* statement : kSchema)
        if (!exec(QString::fromLatin1(statement)))
            return fail();
    for (const QStringList& r : seedRows(QStringLiteral("projectiles.tsv")))
        if (r.size() >= 3 && !exec(QStringLiteral("INSERT INTO Projectiles (Name, Caliber, Metric) VALUES (?, ?, ?)"),
                                   {r[0], r[1].toDouble(), r[2].toDouble()}))
            return fail();
    for (const QStringList& r : seedRows(QStringLiteral("guns.tsv")))
        if (r.size() >= 3 &&
            !exec(QStringLiteral("INSERT INTO Guns (Make, Model, Pistol) VALUES (?, ?, ?)"), {r[0], r[1], r[2].toInt()}))
            return fail();
    for (const QStringList& r : seedRows(QStringLiteral("tips.txt")))
        if (!exec(QStringLiteral("INSERT INTO Tips (Tip) VALUES (?)"), {r.join(u'\t')}))
            return fail();
    if (!storeDatabase.commit())
        return storeDatabase.lastError().text();
    return {};
}

QString PelletStore::insertCacheRow(const CacheRow& row, qint64* rowid)
{
    if (rowid)
        *rowid = 0;
    if (!isOpen() || !m_hasCache)
        return {}; // the user was told at start-up that the cache is unavailable
    // A look-up left half read would hold its read open through every shot after it.
    storeRecordset.finish();
    QSqlQuery& insert = m_insertCacheRow;
    if (insert.lastQuery().isEmpty()) {
        insert = QSqlQuery(storeDatabase);
        if (!insert.prepare(QStringLiteral("insert into Cache (shot,mytimestamp,grains,fps) values (?,?,?,?)"))) {
            const QSqlError error = insert.lastError();
            insert = QSqlQuery();
            return error.databaseText().isEmpty() ? error.text() : error.databaseText();
        }
    }
    insert.bindValue(0, int(row.shot));
    insert.bindValue(1, QString::number(row.timestamp));
    insert.bindValue(2, row.grains);
    insert.bindValue(3, row.fps);
    const bool inserted = insert.exec();
    const qint64 id = inserted ? insert.lastInsertId().toLongLong() : 0;
    const QSqlError error = insert.lastError();
    insert.finish(); // kept prepared, but no longer a statement in progress that holds the table
    if (inserted) {
        if (rowid)
            *rowid = id;
        return {};
    }
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

std::vector<PelletStore::CachedShot> PelletStore::cachedShots()
{
    std::vector<CachedShot> shots;
    if (!isOpen() || !m_hasCache || !exec(QStringLiteral("SELECT shot, mytimestamp, fps, grains, rowid FROM Cache ORDER BY rowid")))
        return shots;
    while (storeRecordset.next()) {
        const auto shot = storedNumber(storeRecordset.value(0));
        const auto stamp = storedNumber(storeRecordset.value(1));
        const auto fps = storedNumber(storeRecordset.value(2));
        // A row the program could not have written is passed over, not allowed to stop the others.
        if (!shot || !stamp || !fps || *shot < -32768 || *shot > 32767 || std::abs(*stamp) > 4e9 ||
            !std::isfinite(*fps))
            continue;
        shots.push_back({qint16(*shot), qint64(*stamp), *fps, storeRecordset.value(3).toString(),
                         storeRecordset.value(4).toLongLong()});
    }
    return shots;
}

QString PelletStore::removeArchivedRows(const ArchivedRuns& archived)
{
    if (!isOpen() || !m_hasCache)
        return QStringLiteral("the local database is not available");
    if (!storeDatabase.transaction())
        return storeDatabase.lastError().text();
    // Rows the statement leaves (a shot number below 1) stay claimed, so they are never archived twice.
    for (const auto& [entry, runs] : archived)
        for (const auto& [first, last] : runs)
            if (!exec(QStringLiteral("DELETE FROM Cache WHERE shot > 0 AND id BETWEEN ? AND ?"), {first, last}))
                return rollBack();
    for (const auto& [entry, runs] : archived) {
        bool claims = false;
        for (const auto& [first, last] : runs) {
            if (!exec(QStringLiteral("SELECT 1 FROM Cache WHERE id BETWEEN ? AND ? LIMIT 1"), {first, last}))
                return rollBack();
            claims = claims || storeRecordset.next();
        }
        if (!claims && !exec(QStringLiteral("DELETE FROM ArchiveLedger WHERE id = ? AND done = 1"), {entry}))
            return rollBack();
    }
    storeRecordset.finish();
    if (!storeDatabase.commit())
        return rollBack();
    return {};
}

QString PelletStore::upgradeCache()
{
    if (!exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'Cache'")) ||
        !storeRecordset.next())
        return storeRecordset.lastError().text();
    const bool keyed = storeRecordset.value(0).toString().contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    if (!storeDatabase.transaction())
        return storeDatabase.lastError().text();
    // A cache row's id names it in the ledger: ids are never given twice, even after the cache
    // was emptied. Older files get the key with the rows and ids they hold.
    if (!keyed && (!exec(QStringLiteral("CREATE TABLE CacheKeyed (id INTEGER PRIMARY KEY AUTOINCREMENT, shot "
                                        "INTEGER, mytimestamp TEXT, grains TEXT, fps TEXT)")) ||
                   !exec(QStringLiteral("INSERT INTO CacheKeyed (id, shot, mytimestamp, grains, fps) SELECT rowid, "
                                        "shot, mytimestamp, grains, fps FROM Cache ORDER BY rowid")) ||
                   !exec(QStringLiteral("DROP TABLE Cache")) ||
                   !exec(QStringLiteral("ALTER TABLE CacheKeyed RENAME TO Cache"))))
        return rollBack();
    if (!exec(QString::fromLatin1(kLedgerSchema)))
        return rollBack();
    if (!storeDatabase.commit())
        return rollBack();
    return {};
}

qint64 PelletStore::lastCacheRowid()
{
    if (!isOpen() || !m_hasCache || !exec(QStringLiteral("SELECT max(rowid) FROM Cache")) || !storeRecordset.next())
        return 0;
    return storeRecordset.value(0).toLongLong();
}

std::vector<qint64> PelletStore::cacheRowidsAfter(qint64 rowid)
{
    std::vector<qint64> ids;
    if (isOpen() && m_hasCache && exec(QStringLiteral("SELECT rowid FROM Cache WHERE rowid > ? ORDER BY rowid"), {rowid}))
        while (storeRecordset.next())
            ids.push_back(storeRecordset.value(0).toLongLong());
    return ids;
}

PelletStore::LedgerResult PelletStore::addArchiveEntry(const ArchiveEntry& entry)
{
    if (!isOpen() || !m_hasCache)
        return {0, QStringLiteral("the local database is not available")};
    if (!exec(QStringLiteral("INSERT INTO ArchiveLedger (done, folder, name, bytes, cacheRows, gunType, weightUnit) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?)"),
              {int(entry.done), entry.folder, entry.name, entry.bytes, entry.cacheRows, entry.gunType,
               entry.weightUnit}))
        return {0, storeRecordset.lastError().text()};
    return {storeRecordset.lastInsertId().toLongLong(), {}};
}

QString PelletStore::settleArchiveEntry(qint64 id, const QString& name)
{
    if (!isOpen() || !m_hasCache)
        return QStringLiteral("the local database is not available");
    // The file holds the bytes from now on.
    if (!exec(QStringLiteral("UPDATE ArchiveLedger SET done = 1, name = ?, bytes = NULL WHERE id = ?"), {name, id}))
        return storeRecordset.lastError().text();
    return {};
}

std::vector<PelletStore::ArchiveEntry> PelletStore::archiveEntries(bool pendingOnly)
{
    std::vector<ArchiveEntry> entries;
    const QString sql = QStringLiteral("SELECT id, done, folder, name, bytes, cacheRows, gunType, weightUnit FROM "
                                       "ArchiveLedger ") +
                        (pendingOnly ? QStringLiteral("WHERE done = 0 ") : QString()) + QStringLiteral("ORDER BY id");
    if (!isOpen() || !m_hasCache || !exec(sql))
        return entries;
    while (storeRecordset.next()) {
        ArchiveEntry e;
        e.id = storeRecordset.value(0).toLongLong();
        e.done = storeRecordset.value(1).toInt() != 0;
        e.folder = storeRecordset.value(2).toString();
        e.name = storeRecordset.value(3).toString();
        e.bytes = storeRecordset.value(4).toByteArray();
        e.cacheRows = storeRecordset.value(5).toString();
        e.gunType = storeRecordset.value(6).toInt();
        e.weightUnit = storeRecordset.value(7).toString();
        entries.push_back(std::move(e));
    }
    return entries;
}

std::optional<PelletStore::StoredRow> PelletStore::storedRow(const QString& where, const QVariantList& values)
{
    if (!isOpen() || !m_hasCache ||
        !exec(QStringLiteral("SELECT rowid, shot, mytimestamp, fps FROM Cache ") + where, values) ||
        !storeRecordset.next())
        return std::nullopt;
    const QStringList fields{storeRecordset.value(1).toString(), storeRecordset.value(2).toString(),
                             storeRecordset.value(3).toString()};
    return StoredRow{storeRecordset.value(0).toLongLong(), fields.join(u'\t')};
}

std::optional<PelletStore::StoredRow> PelletStore::lastCacheRow()
{
    return storedRow(QStringLiteral("ORDER BY rowid DESC LIMIT 1"), {});
}

std::optional<PelletStore::StoredRow> PelletStore::cacheRow(qint64 rowid)
{
    return storedRow(QStringLiteral("WHERE rowid = ?"), {rowid});
}

QList<double> PelletStore::distinctCalibres()
{
    QList<double> calibres;
    if (isOpen() && exec(QStringLiteral("SELECT distinct Caliber FROM Projectiles")))
        while (storeRecordset.next())
            calibres.append(storeRecordset.value(0).toDouble());
    return calibres;
}

QList<PelletStore::Projectile> PelletStore::projectilesOfCalibre(const QString& calibreText)
{
    QList<Projectile> result;
    QString text = calibreText;
    text.replace(u',', u'.');
    bool ok = false;
    const double calibre = text.trimmed().toDouble(&ok);
    if (!ok || !isOpen() ||
        !exec(QStringLiteral("SELECT id, Name, Caliber, Metric FROM Projectiles where Caliber = ? order by Name"),
              {calibre}))
        return result;
    while (storeRecordset.next())
        result.append({storeRecordset.value(0).toLongLong(), storeRecordset.value(1).toString(),
                       storeRecordset.value(2).toDouble(), storeRecordset.value(3).toDouble()});
    return result;
}

std::optional<PelletStore::Projectile> PelletStore::projectileById(qint64 id)
{
    if (!isOpen() || !exec(QStringLiteral("SELECT id, Name, Caliber, Metric FROM Projectiles WHERE id = ?"), {id}) ||
        !storeRecordset.next())
        return std::nullopt;
    return Projectile{storeRecordset.value(0).toLongLong(), storeRecordset.value(1).toString(),
                      storeRecordset.value(2).toDouble(), storeRecordset.value(3).toDouble()};
}

QStringList PelletStore::gunMakes(GunType type, bool ordered)
{
    QStringList makes;
    const QString sql = QStringLiteral("SELECT distinct Make FROM GUNS") + typeCondition(type, "WHERE") +
                        (ordered ? QStringLiteral(" order by Make") : QString());
    if (isOpen() && exec(sql))
        while (storeRecordset.next())
            makes.append(storeRecordset.value(0).toString());
    return makes;
}

QStringList PelletStore::gunModels(const QString& make, GunType type)
{
    QStringList models;
    const QString sql =
        QStringLiteral("SELECT Model FROM GUNS where Make = ?") + typeCondition(type, "AND") + QStringLiteral(" order by Model");
    if (isOpen() && exec(sql, {make}))
        while (storeRecordset.next())
            models.append(storeRecordset.value(0).toString());
    return models;
}

QStringList PelletStore::tips()
{
    QStringList result;
    if (isOpen() && exec(QStringLiteral("SELECT Tip FROM Tips")))
        while (storeRecordset.next())
            result.append(storeRecordset.value(0).toString());
    return result;
}

QString PelletStore::replaceTables(const QList<Projectile>& projectiles, const QList<Gun>& guns)
{
    if (!isOpen())
        return QStringLiteral("The local database is not open.");
    if (!storeDatabase.transaction())
        return storeDatabase.lastError().text();
    auto fail = [this] { return rollBack(); };
    if (!exec(QStringLiteral("delete from Projectiles")))
        return fail();
    for (const Projectile& p : projectiles)
        if (!exec(QStringLiteral("insert into Projectiles (Name,Caliber,Metric) values (?,?,?)"),
                  {p.name, p.caliber, p.metric}))
            return fail();
    if (!exec(QStringLiteral("delete from Guns")))
        return fail();
    for (const Gun& g : guns)
        if (!exec(QStringLiteral("insert into Guns (Make,Model,Pistol) values (?,?,?)"), {g.make, g.model, g.pistol}))
            return fail();
    if (!storeDatabase.commit())
        return fail();
    return {};
}

PelletStore::GunType PelletStore::gunTypeFor(int optTypeIndex)
{
    if (optTypeIndex == 6)
        return GunType::Pistol;
    if (optTypeIndex == 12)
        return GunType::Rifle;
    return GunType::Any;
}

QString PelletStore::calibreText(double caliber)
{
    return caliber == 0.177 ? regional::format3(caliber) : regional::format2(caliber);
}
