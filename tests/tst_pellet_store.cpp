#include "storage/pellet_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Runs statements on the file through a connection of its own, as another program would.
void sideExec(const QString& path, const QStringList& statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("side"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (const QString& sql : statements) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(sql), qPrintable(sql));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("side"));
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestPelletStore : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("pellet.store")); }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        QFile::remove(path());
    }

    void aMissingFileIsCreatedWithSeed()
    {
        PelletStore store;
        QCOMPARE(store.openStore(path()), QString());
        QVERIFY(QFile::exists(path()));
        const QList<double> calibres = store.distinctCalibres();
        for (double c : {0.177, 0.20, 0.22, 0.25, 0.30})
            QVERIFY2(calibres.contains(c), qPrintable(QString::number(c)));
        int projectiles = 0;
        for (double c : calibres)
            projectiles += int(store.projectilesOfCalibre(QString::number(c)).size());
        QVERIFY(projectiles >= 40);
        QVERIFY(store.gunMakes(PelletStore::GunType::Any, true).size() >= 10);
        int guns = 0;
        for (const QString& make : store.gunMakes(PelletStore::GunType::Any, true))
            guns += int(store.gunModels(make, PelletStore::GunType::Any).size());
        QVERIFY(guns >= 30);
        QVERIFY(store.tips().size() >= 25);
        QVERIFY(store.cachedShots().empty());
    }

    void calibreDisplayAndQueryQuirk()
    {
        QCOMPARE(PelletStore::calibreText(0.177), QStringLiteral("0.177"));
        QCOMPARE(PelletStore::calibreText(0.22), QStringLiteral("0.22"));
        QCOMPARE(PelletStore::calibreText(4.5), QStringLiteral("4.50"));
        QCOMPARE(PelletStore::calibreText(0.2175), QStringLiteral("0.22"));
        PelletStore store;
        QVERIFY(store.openStore(path()).isEmpty());
        QVERIFY(store.replaceTables({{0, "Odd", 0.2175, 1.0}, {0, "Even", 0.22, 1.0}}, {}).isEmpty());
        // The list shows 0.22 for both, and picking it compares with the displayed value.
        const QList<PelletStore::Projectile> picked = store.projectilesOfCalibre(QStringLiteral("0.22"));
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked[0].name, QStringLiteral("Even"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(PelletStore::calibreText(0.22), QStringLiteral("0,22"));
        QCOMPARE(store.projectilesOfCalibre(QStringLiteral("0,22")).size(), 1); // the comma becomes a point
        const auto byId = store.projectileById(picked[0].id);
        QVERIFY(byId);
        QCOMPARE(byId->metric, 1.0);
        QVERIFY(!store.projectileById(999999));
    }

    void quotesRoundTripAndGunTypesFilter()
    {
        PelletStore store;
        QVERIFY(store.openStore(path()).isEmpty());
        const QList<PelletStore::Gun> guns{{"O'Neil", "Rifle \"One\"", 0}, {"O'Neil", "Pocket", 1},
                                           {"Acme", "Zed", 0}, {"Acme", "Alpha", 0}};
        QVERIFY(store.replaceTables({{0, "Bob's \"best\"", 0.177, 0.5}}, guns).isEmpty());
        QCOMPARE(store.gunMakes(PelletStore::GunType::Any, true), QStringList({"Acme", "O'Neil"}));
        QCOMPARE(store.gunMakes(PelletStore::GunType::Pistol, true), QStringList({"O'Neil"}));
        QCOMPARE(store.gunModels(QStringLiteral("O'Neil"), PelletStore::GunType::Any),
                 QStringList({"Pocket", "Rifle \"One\""}));
        QCOMPARE(store.gunModels(QStringLiteral("O'Neil"), PelletStore::GunType::Rifle), QStringList({"Rifle \"One\""}));
        QCOMPARE(store.gunModels(QStringLiteral("Acme"), PelletStore::GunType::Rifle), QStringList({"Alpha", "Zed"}));
        QCOMPARE(store.projectilesOfCalibre(QStringLiteral("0.177"))[0].name, QStringLiteral("Bob's \"best\""));
        QCOMPARE(PelletStore::gunTypeFor(6), PelletStore::GunType::Pistol);
        QCOMPARE(PelletStore::gunTypeFor(12), PelletStore::GunType::Rifle);
        QCOMPARE(PelletStore::gunTypeFor(9999), PelletStore::GunType::Any);
    }

    void aFailedReplacementLeavesTheOldTables()
    {
        PelletStore store;
        QVERIFY(store.openStore(path()).isEmpty());
        const qsizetype before = store.tips().size();
        const QStringList makes = store.gunMakes(PelletStore::GunType::Any, true);
        sideExec(path(), {"CREATE TRIGGER refuse BEFORE INSERT ON Guns WHEN NEW.Make = 'Bad' "
                          "BEGIN SELECT RAISE(ABORT, 'refused'); END"});
        const QString error = store.replaceTables({{0, "New", 0.177, 0.5}}, {{"Good", "A", 0}, {"Bad", "B", 0}});
        QVERIFY(error.contains(QStringLiteral("refused")));
        QCOMPARE(store.gunMakes(PelletStore::GunType::Any, true), makes);
        QVERIFY(store.projectilesOfCalibre(QStringLiteral("0.177")).size() > 1);
        QCOMPARE(store.tips().size(), before);
    }

    void cacheRowsAreOnDiskAtOnceAndInOrder()
    {
        PelletStore store;
        QVERIFY(store.openStore(path()).isEmpty());
        QVERIFY(store.insertCacheRow({3, 1796520600, "8.442", "812.500"}).isEmpty());
        QVERIFY(store.insertCacheRow({1, 1796520601, "8.442", "799.000"}).isEmpty());
        QVERIFY(store.insertCacheRow({1, 1796520602, "8.442", "801.250"}).isEmpty()); // numbers repeat after a clear
        // Another connection sees the rows while this one is still open (committed, not buffered).
        PelletStore other;
        QVERIFY(other.openStore(path()).isEmpty());
        const std::vector<PelletStore::CachedShot> shots = other.cachedShots();
        QCOMPARE(int(shots.size()), 3);
        QCOMPARE(shots[0].shot, qint16(3));
        QCOMPARE(shots[2].timestamp, qint64(1796520602));
        QCOMPARE(shots[2].fps, 801.25);
        QCOMPARE(store.removeArchivedRows({{1, {{1, 1000}}}}), QString());
        QVERIFY(other.cachedShots().empty());
    }

    void aCommaLocaleCacheReadsBack()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        PelletStore store;
        QVERIFY(store.openStore(path()).isEmpty());
        QVERIFY(store.insertCacheRow({1, 100, "8,442", "812,500"}).isEmpty());
        QCOMPARE(store.cachedShots()[0].fps, 812.5);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCOMPARE(store.cachedShots()[0].fps, 812.5); // written in another locale, still read
    }

    void unreadableCacheRowsArePassedOver()
    {
        PelletStore store;
        QVERIFY(store.openStore(path()).isEmpty());
        sideExec(path(), {"INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (1, '100', '8', '800.000')",
                          "INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES ('x', '100', '8', '800.000')",
                          "INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (2, 'never', '8', '800.000')",
                          "INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (99999, '100', '8', '800.000')",
                          "INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (3, '100', '8', NULL)",
                          "INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (4, '100', '8', '1e999')",
                          "INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (5, '101', '8', '810.000')"});
        const std::vector<PelletStore::CachedShot> shots = store.cachedShots();
        QCOMPARE(int(shots.size()), 2);
        QCOMPARE(shots[1].shot, qint16(5));
    }

    void badFilesAreReportedAndKept_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("garbage") << QByteArray("this is not a database at all, just some text\n").repeated(200)
                                 << QStringLiteral("cannot be used");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("not a Velmora database");
    }

    void badFilesAreReportedAndKept()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        PelletStore store;
        const QString message = store.openStore(path());
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("Velmora runs on without it")));
        QCOMPARE(contents(path()), bytes); // the user's file is untouched
        QVERIFY(store.cachedShots().empty());
        QVERIFY(store.insertCacheRow({1, 1, "1", "800.000"}).isEmpty()); // no message on every shot
        QVERIFY(store.tips().isEmpty());
        QCOMPARE(contents(path()), bytes);
    }

    void aMissingTableIsNamed()
    {
        {
            PelletStore store;
            QVERIFY(store.openStore(path()).isEmpty());
        }
        sideExec(path(), {"DROP TABLE Tips"});
        PelletStore store;
        const QString message = store.openStore(path());
        QVERIFY2(message.contains(QStringLiteral("lacks the table(s) Tips")), qPrintable(message));
        QVERIFY(store.hasCache());
        QVERIFY(store.insertCacheRow({1, 1, "1", "800.000"}).isEmpty());
        QCOMPARE(int(store.cachedShots().size()), 1);
        QVERIFY(store.tips().isEmpty());
    }

    void aReadOnlyFileRefusesWritesWithAMessage()
    {
        {
            PelletStore store;
            QVERIFY(store.openStore(path()).isEmpty());
        }
        QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        if (QFileInfo(path()).isWritable())
            QSKIP("running as root: file permissions do not stop writes");
        PelletStore store;
        QVERIFY(store.openStore(path()).contains(QStringLiteral("is read-only")));
        QVERIFY(store.insertCacheRow({1, 1, "1", "800.000"}).isEmpty()); // told once, not on every shot
        QVERIFY(!store.tips().isEmpty());
    }

    // A lock written on another computer (a shared home folder) cannot be judged from here: one
    // message names the lock file and how to remove it, and the cache is left alone.
    void aForeignLockIsNamedWithItsRemedy()
    {
        {
            PelletStore first;
            QCOMPARE(first.openStore(path()), QString());
        }
        const QString lock = QFileInfo(path()).absoluteFilePath() + QStringLiteral(".lock");
        {
            QFile f(lock);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("4242\nVelmora\nanother-host.example\n");
        }
        PelletStore store;
        const QString message = store.openStore(path());
        QVERIFY2(message.contains(QStringLiteral("another-host.example")), qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("remove the file \"%1\"").arg(QDir::toNativeSeparators(lock))));
        QVERIFY(!store.hasCache());
        QVERIFY(!store.tips().isEmpty()); // the lists can still be read
        QVERIFY(QFile::remove(lock));
    }

    void aDirectoryIsNotADatabase()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("pellet.store")));
        PelletStore store;
        QVERIFY(!store.openStore(path()).isEmpty());
        QDir(m_dir.path()).rmdir(QStringLiteral("pellet.store"));
    }

    void theFileLiesInTheWorkingFolderUnlessThatIsHome()
    {
        const QString home = m_dir.filePath(QStringLiteral("home")), range = home + QStringLiteral("/range");
        const QString data = home + QStringLiteral("/.local/share/Velmora/Velmora");
        QVERIFY(QDir().mkpath(range));
        QVERIFY(QFile::link(home, m_dir.filePath(QStringLiteral("link-to-home"))));
        // Started from a shell: the working folder, whatever it is.
        QCOMPARE(PelletStore::pathFor(range, home, data), range + QStringLiteral("/pellet.store"));
        QCOMPARE(PelletStore::pathFor(m_dir.path(), home, data), path());
        // Started from the menu, in the home folder, however that folder is written.
        for (const QString& working : {home, home + u'/', range + QStringLiteral("/.."),
                                       m_dir.filePath(QStringLiteral("link-to-home"))})
            QCOMPARE(PelletStore::pathFor(working, home, data), data + QStringLiteral("/pellet.store"));
        // No per-user data folder known: the working folder after all.
        QCOMPARE(PelletStore::pathFor(home, home, QString()), home + QStringLiteral("/pellet.store"));
    }

    void theDefaultPathMakesThePerUserFolder()
    {
        const QString before = QDir::currentPath();
        QCOMPARE(PelletStore::defaultPath(), QDir(before).filePath(QStringLiteral("pellet.store")));
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(data).removeRecursively();
        QVERIFY(QDir::setCurrent(QDir::homePath()));
        const QString fromHome = PelletStore::defaultPath();
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(fromHome, data + QStringLiteral("/pellet.store"));
        QVERIFY(QFileInfo(data).isDir());
        PelletStore store;
        QCOMPARE(store.openStore(fromHome), QString());
        QVERIFY(!store.tips().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPelletStore)
#include "tst_pellet_store.moc"
