// The ledger that archives each ended string exactly once, on a real database file: a stop at
// every step of the ending (as a crash leaves things) followed by the next start's reconcile
// gives one file with the string's bytes; a failed write stays pending with its bytes until it
// can be written; names are never taken twice; cache row ids are never given twice.
#include "history/archive_ledger.h"
#include "history/string_archive.h"
#include "storage/pellet_store.h"
#include "storage/recovery.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <sys/file.h>
#include <unistd.h>

Q_DECLARE_METATYPE(ArchiveLedger::Step)

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList csvFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
}

} // namespace

class TestArchiveLedger : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    PelletStore m_store;
    QString dbPath() const { return m_dir.filePath(QStringLiteral("pellet.store")); }
    QString folder() const { return m_dir.filePath(QStringLiteral("History")); }

    std::vector<qint64> cacheShots(int n)
    {
        const qint64 before = m_store.lastCacheRowid();
        for (int i = 1; i <= n; ++i)
            if (!m_store.insertCacheRow({qint16(i), 1800000000 + i, QStringLiteral("8.44"), QStringLiteral("800.000")})
                     .isEmpty())
                return {};
        return m_store.cacheRowidsAfter(before);
    }

    ArchiveLedger::PendingString string(const QByteArray& csv, std::vector<qint64> rows)
    {
        ArchiveLedger::PendingString s;
        s.csv = csv;
        s.cacheRows = std::move(rows);
        s.folder = folder();
        s.when = QDateTime(QDate(2026, 12, 6), QTime(1, 30));
        s.gun = QStringLiteral("Air Arms S400");
        s.projectile = QStringLiteral("JSB Exact");
        s.gunType = 12;
        s.weightUnit = QStringLiteral("Grammes");
        return s;
    }

private slots:
    void init()
    {
        m_store.close();
        QFile::remove(dbPath());
        QDir(folder()).removeRecursively();
        QCOMPARE(m_store.openStore(dbPath()), QString());
    }

    void runsOfRowIds()
    {
        QCOMPARE(cache_runs::encode({}), QString());
        QCOMPARE(cache_runs::encode({9, 1, 2, 3, 3, 5, 4, 12, 13}), QStringLiteral("1-5,9,12-13"));
        QCOMPARE(cache_runs::decode(QStringLiteral("1-3,9,12-13")), (std::vector<qint64>{1, 2, 3, 9, 12, 13}));
        // Damaged parts are passed over, and never stand for an endless run.
        QCOMPARE(cache_runs::decode(QStringLiteral("x,5-2,1-2-3,7,,3-99999999999,0-5")),
                 (std::vector<qint64>{7}));
    }

    void everyStepOfTheEndingEndsInOneFile_data()
    {
        QTest::addColumn<ArchiveLedger::Step>("step");
        QTest::newRow("intent") << ArchiveLedger::Step::Intent;
        QTest::newRow("temp") << ArchiveLedger::Step::Temp;
        QTest::newRow("file") << ArchiveLedger::Step::File;
        QTest::newRow("ledger") << ArchiveLedger::Step::Ledger;
    }
    void everyStepOfTheEndingEndsInOneFile()
    {
        QFETCH(ArchiveLedger::Step, step);
        const std::vector<qint64> rows = cacheShots(3);
        QCOMPARE(rows.size(), size_t(3));
        const QByteArray csv = "Shot,Date/Time\r\n1,x\r\n\r\n";
        {
            ArchiveLedger crashing(&m_store, [&](ArchiveLedger::Step s) { return s == step; });
            const ArchiveLedger::Outcome out = crashing.archive(string(csv, rows));
            QVERIFY(out.stopped);
            QVERIFY(out.recorded);
        }
        // From the intent on, the rows are claimed: a replay does not make them a new string.
        ArchiveLedger next(&m_store);
        QCOMPARE(next.claimedRows(), (std::set<qint64>(rows.begin(), rows.end())));
        // The next start removes what a crash left of a temporary file (here, still a second name
        // of nothing else), then writes the string.
        QCOMPARE(ArchiveLedger::removeLeftoverTemporaries(folder()), step == ArchiveLedger::Step::Temp ? 1 : 0);
        const ArchiveLedger::Reconciled r = next.reconcile();
        QCOMPARE(r.written, step == ArchiveLedger::Step::Ledger ? 0 : 1);
        QCOMPARE(r.pending, 0);
        QCOMPARE(csvFiles(folder()), QStringList{QStringLiteral("2026-12-06 01-30-00 Air Arms S400 - JSB Exact.csv")});
        QCOMPARE(readAll(QDir(folder()).filePath(csvFiles(folder())[0])), csv);
        // No temporary file is left; the string carries its gun type and weight unit.
        QCOMPARE(entries(folder()), (QStringList{QStringLiteral(".strings-index"), csvFiles(folder())[0]}));
        const auto kinds = StringArchive::readKinds(folder());
        QCOMPARE(kinds.at(csvFiles(folder())[0]).gunType, 12);
        QCOMPARE(kinds.at(csvFiles(folder())[0]).weightUnit, QStringLiteral("Grammes"));
        QVERIFY(m_store.archiveEntries(true).empty());
        // Another start changes nothing.
        QCOMPARE(ArchiveLedger(&m_store).reconcile().written, 0);
        QCOMPARE(csvFiles(folder()).size(), 1);
    }

    void aStopWhileReconcilingIsFinishedByTheNextStart()
    {
        const std::vector<qint64> rows = cacheShots(2);
        ArchiveLedger(&m_store, [](ArchiveLedger::Step s) { return s == ArchiveLedger::Step::Intent; })
            .archive(string("a\r\n", rows));
        for (ArchiveLedger::Step step : {ArchiveLedger::Step::Temp, ArchiveLedger::Step::File}) {
            const ArchiveLedger::Reconciled r =
                ArchiveLedger(&m_store, [&](ArchiveLedger::Step s) { return s == step; }).reconcile();
            QVERIFY(r.stopped);
        }
        QCOMPARE(ArchiveLedger(&m_store).reconcile().written, 1);
        QCOMPARE(csvFiles(folder()).size(), 1);
        QCOMPARE(readAll(QDir(folder()).filePath(csvFiles(folder())[0])), QByteArray("a\r\n"));
    }

    void aFailedWriteStaysPendingWithItsBytes()
    {
        // A file where the folder should be: nothing can be written there.
        QVERIFY(QFile(folder()).open(QIODevice::WriteOnly));
        const std::vector<qint64> rows = cacheShots(2);
        ArchiveLedger ledger(&m_store);
        const ArchiveLedger::Outcome out = ledger.archive(string("first\r\n", rows));
        QVERIFY(out.recorded);
        QVERIFY(out.path.isEmpty());
        QVERIFY(out.error.contains(QStringLiteral("cannot be created")));
        QCOMPARE(ledger.reconcile().pending, 1);
        const std::vector<PelletStore::ArchiveEntry> pending = m_store.archiveEntries(true);
        QCOMPARE(pending.size(), size_t(1));
        QCOMPARE(pending[0].bytes, QByteArray("first\r\n"));
        // The rows stay claimed, so a replay does not archive them a second time.
        QCOMPARE(ledger.claimedRows().size(), size_t(2));
        // Once the folder can take it, the string is written as it was, and only once.
        QVERIFY(QFile::remove(folder()));
        const ArchiveLedger::Reconciled r = ledger.reconcile();
        QCOMPARE(r.written, 1);
        QCOMPARE(csvFiles(folder()).size(), 1);
        QCOMPARE(readAll(QDir(folder()).filePath(csvFiles(folder())[0])), QByteArray("first\r\n"));
        QCOMPARE(ledger.reconcile().written, 0);
    }

    void namesAreNeverTakenTwice()
    {
        QVERIFY(QDir().mkpath(folder()));
        const QString taken = QDir(folder()).filePath(QStringLiteral("2026-12-06 01-30-00 Air Arms S400 - JSB Exact.csv"));
        {
            QFile f(taken);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("someone else's");
        }
        ArchiveLedger ledger(&m_store);
        const QString a = ledger.archive(string("a\r\n", cacheShots(1))).path;
        const QString b = ledger.archive(string("b\r\n", cacheShots(1))).path;
        QCOMPARE(QFileInfo(a).fileName(), QStringLiteral("2026-12-06 01-30-00 Air Arms S400 - JSB Exact (2).csv"));
        QCOMPARE(QFileInfo(b).fileName(), QStringLiteral("2026-12-06 01-30-00 Air Arms S400 - JSB Exact (3).csv"));
        QCOMPARE(readAll(taken), QByteArray("someone else's"));
        QCOMPARE(readAll(a), QByteArray("a\r\n"));
        QCOMPARE(readAll(b), QByteArray("b\r\n"));
    }

    void aStringWithoutShotsLeftOnlyClaimsItsRows()
    {
        const std::vector<qint64> rows = cacheShots(2);
        ArchiveLedger ledger(&m_store);
        const ArchiveLedger::Outcome out = ledger.archive(string({}, rows));
        QVERIFY(out.recorded && out.path.isEmpty() && out.error.isEmpty());
        QCOMPARE(ledger.claimedRows().size(), size_t(2));
        QVERIFY(csvFiles(folder()).isEmpty());
        QVERIFY(!ledger.archive(string({}, {})).recorded); // nothing at all: nothing recorded
    }

    void cacheRowIdsAreNeverReused()
    {
        const std::vector<qint64> first = cacheShots(3);
        ArchiveLedger(&m_store).archive(string("x\r\n", first));
        ArchiveLedger(&m_store).emptyArchivedRows();
        QVERIFY(m_store.archiveEntries(false).empty()); // settled rows go with the cache
        const std::vector<qint64> second = cacheShots(1);
        QCOMPARE(second, std::vector<qint64>{first.back() + 1});
        QVERIFY(ArchiveLedger(&m_store).claimedRows().empty());
    }

    // A crash between the link and the removal left a temporary name of an archived string, as
    // another database's ledger (whose row ids also start at 1) would once have named its own.
    // A later ending never writes through it, and the next start removes the name alone.
    void aLeftoverTemporaryIsNeverWrittenThrough()
    {
        const QByteArray thirty = QByteArray("Shot,Velocity\r\n").repeated(30);
        const std::vector<qint64> rows = cacheShots(3);
        const ArchiveLedger::Outcome earlier = ArchiveLedger(&m_store).archive(string(thirty, rows));
        QVERIFY(!earlier.path.isEmpty());
        for (int id = 1; id <= 2; ++id)
            QCOMPARE(::link(QFile::encodeName(earlier.path).constData(),
                            QFile::encodeName(QDir(folder()).filePath(QStringLiteral(".velmora-archive-%1.tmp").arg(id)))
                                .constData()),
                     0);
        PelletStore other;
        QCOMPARE(other.openStore(m_dir.filePath(QStringLiteral("other.store"))), QString());
        QVERIFY(other.insertCacheRow({1, 1800000000, QStringLiteral("8.44"), QStringLiteral("800.000")}).isEmpty());
        const ArchiveLedger::Outcome later = ArchiveLedger(&other).archive(string("three\r\n", other.cacheRowidsAfter(0)));
        QVERIFY(!later.path.isEmpty());
        QCOMPARE(readAll(earlier.path), thirty);
        QCOMPARE(readAll(later.path), QByteArray("three\r\n"));
        QCOMPARE(ArchiveLedger::removeLeftoverTemporaries(folder()), 2);
        QCOMPARE(readAll(earlier.path), thirty);
        QCOMPARE(csvFiles(folder()).size(), 2);
    }

    // A temporary file that another writer holds is its work in progress: left alone.
    void aTemporaryInUseIsLeftAlone()
    {
        QVERIFY(QDir().mkpath(folder()));
        const QString temp = QDir(folder()).filePath(QStringLiteral(".velmora-archive-Ab12Cd.tmp"));
        QFile held(temp);
        QVERIFY(held.open(QIODevice::WriteOnly));
        QCOMPARE(::flock(held.handle(), LOCK_EX), 0);
        QCOMPARE(ArchiveLedger::removeLeftoverTemporaries(folder()), 0);
        QVERIFY(QFileInfo::exists(temp));
        held.close();
        QCOMPARE(ArchiveLedger::removeLeftoverTemporaries(folder()), 1);
        QVERIFY(!QFileInfo::exists(temp));
    }

    // The exit removes the rows of written strings only: a string still pending and rows no ending
    // claimed stay for the next start, with the ledger rows that claim them.
    void emptyingKeepsWhatIsNotArchived()
    {
        const std::vector<qint64> written = cacheShots(3);
        QVERIFY(!ArchiveLedger(&m_store).archive(string("written\r\n", written)).path.isEmpty());
        QVERIFY(QFile(folder() + QStringLiteral("-blocked")).open(QIODevice::WriteOnly));
        ArchiveLedger::PendingString blocked = string("pending\r\n", cacheShots(2));
        blocked.folder = folder() + QStringLiteral("-blocked"); // a file: cannot be written now
        QVERIFY(ArchiveLedger(&m_store).archive(blocked).path.isEmpty());
        const std::vector<qint64> open = cacheShots(2);
        ArchiveLedger(&m_store).emptyArchivedRows();
        std::vector<qint64> left = blocked.cacheRows;
        left.insert(left.end(), open.begin(), open.end());
        QCOMPARE(m_store.cacheRowidsAfter(0), left);
        QCOMPARE(m_store.archiveEntries(false).size(), size_t(1)); // the pending one
        QCOMPARE(m_store.archiveEntries(true).size(), size_t(1));
    }

    // Only rows no ending claims come back; what one string cannot hold becomes strings of their
    // own.
    void openRowsSplitIntoStrings()
    {
        auto rows = [](int count, int firstShot, qint64 firstRow) {
            std::vector<PelletStore::CachedShot> r;
            for (int i = 0; i < count; ++i)
                r.push_back({qint16(std::min(firstShot + i, 32767)), 0, 800.0, QStringLiteral("8.44"), firstRow + i});
            return r;
        };
        std::vector<PelletStore::CachedShot> cache = rows(30000, 1, 1);
        const auto tail = rows(3000, 1, 30001);
        cache.insert(cache.end(), tail.begin(), tail.end());
        std::set<qint64> claimed;
        for (qint64 id = 1; id <= 30000; ++id)
            claimed.insert(id);
        recovery::Split split = recovery::splitRows(cache, claimed);
        QVERIFY(split.earlier.empty());
        QCOMPARE(split.current.size(), size_t(3000));
        QCOMPARE(split.current.front().rowid, qint64(30001));

        split = recovery::splitRows(cache, {}); // numbering starts again at 1: another string
        QCOMPARE(split.current.size(), size_t(3000));
        QCOMPARE(split.earlier.size(), size_t(1));
        QCOMPARE(split.earlier[0].size(), size_t(30000));

        // One number again and again (the last shot deleted and shot anew): more rows than a string
        // holds, split by count.
        std::vector<PelletStore::CachedShot> again = rows(40000, 1, 1);
        for (auto& r : again)
            r.shot = 5;
        split = recovery::splitRows(again, {});
        QCOMPARE(split.earlier.size(), size_t(1));
        QCOMPARE(split.earlier[0].size(), size_t(32767));
        QCOMPARE(split.current.size(), size_t(40000 - 32767));
        QCOMPARE(split.current.back().rowid, qint64(40000));
        // A row numbered 32767 ends its string: no number would follow it.
        split = recovery::splitRows(rows(32767, 1, 1), {});
        QVERIFY(split.earlier.empty());
        QCOMPARE(split.current.size(), size_t(32767));
        QVERIFY(recovery::splitRows(rows(5, 1, 1), {1, 2, 3, 4, 5}).current.empty());
    }

    // The index of gun types is read as a stream: beyond any size, a line too long passed over,
    // and an archive adds to it instead of wiping it.
    void aLargeIndexIsReadAndKept()
    {
        QVERIFY(QDir().mkpath(folder()));
        const QString kept = QStringLiteral("2026-01-01 10-00-00 kept.csv");
        QVERIFY(QFile(QDir(folder()).filePath(kept)).open(QIODevice::WriteOnly));
        {
            QFile index(QDir(folder()).filePath(QStringLiteral(".strings-index")));
            QVERIFY(index.open(QIODevice::WriteOnly));
            const QByteArray filler = QByteArray("gone-") + QByteArray(60, 'x') + ".csv\t6\tGrains\n";
            for (int i = 0; i < 17 * 1024 * 1024 / filler.size() + 1; ++i)
                index.write(filler);
            index.write(QByteArray(10000, 'y') + "\t6\tGrains\n");
            index.write((kept + QStringLiteral("\t12\tGrammes\n")).toUtf8());
        }
        QCOMPARE(StringArchive::readKinds(folder()).at(kept).gunType, 12);
        QVERIFY(!ArchiveLedger(&m_store).archive(string("new\r\n", cacheShots(1))).path.isEmpty());
        const auto kinds = StringArchive::readKinds(folder());
        QCOMPARE(kinds.at(kept).weightUnit, QStringLiteral("Grammes"));
        QCOMPARE(kinds.size(), size_t(2)); // entries of files no longer there are dropped
    }

    void anOlderFileGetsTheKeyAndItsMarkIsRetired()
    {
        m_store.close();
        QFile::remove(dbPath());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
            db.setDatabaseName(dbPath());
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const char* sql : {"CREATE TABLE Cache (shot INTEGER, mytimestamp TEXT, grains TEXT, fps TEXT)",
                                    "CREATE TABLE Projectiles (id INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, "
                                    "Caliber REAL, Metric REAL)",
                                    "CREATE TABLE Guns (Make TEXT, Model TEXT, Pistol INTEGER)",
                                    "CREATE TABLE Tips (Tip TEXT)",
                                    "INSERT INTO Cache VALUES (1, '100', '8', '800.000')",
                                    "INSERT INTO Cache VALUES (2, '101', '8', '801.000')",
                                    "INSERT INTO Cache VALUES (1, '102', '8', '802.000')"})
                QVERIFY2(q.exec(QString::fromLatin1(sql)), sql);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("old"));
        QCOMPARE(m_store.openStore(dbPath()), QString());
        const std::vector<PelletStore::CachedShot> shots = m_store.cachedShots();
        QCOMPARE(shots.size(), size_t(3));
        QCOMPARE(shots[2].rowid, qint64(3));
        QCOMPARE(shots[2].fps, 802.0);

        // The old mark said the first two rows belonged to an ended string.
        StringArchive archive(folder());
        QVERIFY(archive.writeMark({QFileInfo(dbPath()).absoluteFilePath(), 2, m_store.cacheRow(2)->text}));
        ArchiveLedger ledger(&m_store);
        ledger.retireMark(folder());
        QCOMPARE(ledger.claimedRows(), (std::set<qint64>{1, 2}));
        QVERIFY(!archive.readMark());
        // A mark of another database is left to that database's run.
        QVERIFY(archive.writeMark({QStringLiteral("/elsewhere/pellet.store"), 3, QStringLiteral("x")}));
        ledger.retireMark(folder());
        QVERIFY(archive.readMark());
        QCOMPARE(ledger.claimedRows().size(), size_t(2));
        // Rows added after the key keep growing from the old ids.
        ArchiveLedger(&m_store).emptyArchivedRows();
        QCOMPARE(cacheShots(1), std::vector<qint64>{4});
    }
};

QTEST_MAIN(TestArchiveLedger)
#include "tst_archive_ledger.moc"
