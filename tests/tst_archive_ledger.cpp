// The ledger that archives each ended string exactly once, on a real database file: a stop at
// every step of the ending (as a crash leaves things) followed by the next start's reconcile
// gives one file with the string's bytes; a failed write stays pending with its bytes until it
// can be written; names are never taken twice; cache row ids are never given twice.
#include "history/archive_ledger.h"
#include "history/string_archive.h"
#include "storage/pellet_store.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

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
