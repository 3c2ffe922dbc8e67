// The real program where two events cross: a long day's cache, a crash after a cleared string, a
// leftover temporary file, two programs ending together on one History folder, a full disk at
// exit and while capturing, shots during the recovery question, a SIGTERM, two first starts at
// once. Every shot ends in exactly one archive.
#include "history/archive_ledger.h"
#include "history/history_reader.h"
#include "history/string_archive.h"
#include "sim_process.h"
#include "storage/pellet_store.h"
#include "test_app.h"
#include "velmora_run.h"
#include "x_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

using namespace velmora_run;

namespace {

const QString kMain = QStringLiteral("Velmora v1.6");

// Cache rows numbered 1.. in `strings` strings of `each` shots, the first `claimed` of them
// claimed by a finished ending, as a long day leaves the database.
void fillCache(int strings, int each, int claimedStrings)
{
    PelletStore store;
    QCOMPARE(store.openStore(PelletStore::defaultPath()), QString());
    QSqlDatabase db = store.storeDatabase;
    QVERIFY(db.transaction());
    QSqlQuery q(db);
    QVERIFY(q.prepare(QStringLiteral("INSERT INTO Cache (shot, mytimestamp, grains, fps) VALUES (?, ?, '8.44', ?)")));
    for (int s = 0; s < strings; ++s)
        for (int i = 1; i <= each; ++i) {
            q.addBindValue(i);
            q.addBindValue(QString::number(1800000000 + s * each + i));
            q.addBindValue(QStringLiteral("%1.000").arg(700 + i % 200));
            QVERIFY(q.exec());
        }
    QVERIFY(db.commit());
    q = QSqlQuery();
    if (claimedStrings > 0) {
        PelletStore::ArchiveEntry done;
        done.done = true;
        done.folder = StringArchive::defaultFolder();
        done.cacheRows = QStringLiteral("1-%1").arg(claimedStrings * each);
        QVERIFY(store.addArchiveEntry(done).id > 0);
    }
}

// Starts the program answering whatever message comes before its window ("USB FAILED!" where
// Devlink cannot load, the recovery's count); `during` runs while the first message is open.
bool startAnswering(QProcess& velmora, XSession& x, const QProcessEnvironment& env, int* told = nullptr,
                    const std::function<void()>& during = {}, const QString& folder = QDir::currentPath())
{
    velmora.setProcessEnvironment(env);
    velmora.setWorkingDirectory(folder);
    velmora.start(SimProcess::binary(QStringLiteral("velmora")), {});
    if (!velmora.waitForStarted(5000))
        return false;
    const qint64 pid = velmora.processId();
    int messages = 0;
    QElapsedTimer waited;
    waited.start();
    while (x.xdotoolSearch(kMain, pid).isEmpty() && waited.elapsed() < 60000) {
        if (!x.xdotoolSearch(QStringLiteral("USB FAILED!"), pid).isEmpty()) {
            x.answer(QStringLiteral("USB FAILED!"));
        } else if (!x.xdotoolSearch(QStringLiteral("Velmora"), pid).isEmpty()) {
            if (messages++ == 0 && during)
                during();
            x.answer(QStringLiteral("Velmora"));
        } else {
            QTest::qWait(50);
        }
        if (velmora.state() != QProcess::Running) {
            qWarning("velmora ended while starting (%d, status %d): %s", velmora.exitCode(), int(velmora.exitStatus()),
                     velmora.readAllStandardError().constData());
            return false;
        }
    }
    if (told)
        *told = messages;
    return !x.xdotoolSearch(kMain, pid).isEmpty();
}

// Waits for the program to end, answering its messages meanwhile; how many it showed.
int finishAnswering(QProcess& velmora, XSession& x)
{
    int messages = 0;
    QElapsedTimer waited;
    waited.start();
    while (!velmora.waitForFinished(100) && waited.elapsed() < 30000)
        if (!x.xdotoolSearch(QStringLiteral("Velmora"), velmora.processId()).isEmpty() &&
            x.answer(QStringLiteral("Velmora"), 500))
            ++messages;
    return messages;
}

int totalShots(const QList<QList<double>>& strings)
{
    int n = 0;
    for (const auto& s : strings)
        n += int(s.size());
    return n;
}

bool sendShots(SimProcess& sim, const QList<double>& shots, int cachedBefore)
{
    for (int i = 0; i < shots.size(); ++i)
        if (!sim.command(QStringLiteral("shot %1").arg(shots[i])) || !waitForCacheRows(cachedBefore + i + 1))
            return false;
    return true;
}

} // namespace

class TestEndingCrossings : public QObject {
    Q_OBJECT
    std::unique_ptr<XSession> m_x;
    std::unique_ptr<SimProcess> m_sim;

private slots:
    void initTestCase()
    {
        if (!XSession::available())
            QSKIP("Xvfb and xdotool are needed to run the program in a window");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }

    void init()
    {
        m_x = std::make_unique<XSession>();
        QVERIFY(m_x->isRunning());
        m_sim = std::make_unique<SimProcess>(QStringList{QStringLiteral("--family"), QStringLiteral("chrony")});
        QVERIFY(m_sim->isRunning());
        prepare(*m_sim);
    }

    void cleanup()
    {
        m_sim.reset();
        m_x.reset();
    }

    // 30 000 shots archived in ten strings and 3 000 more, then a crash: the next start brings the
    // 3 000 back, and the exit archives them once.
    void aLongDaysInterruptedStringComesBack()
    {
        fillCache(11, 3000, 10);
        QProcess velmora;
        int told = 0;
        QVERIFY(startAnswering(velmora, *m_x, m_x->environment(), &told));
        QCOMPARE(told, 1); // the recovery's count
        QVERIFY(exit(velmora, *m_x));
        QVERIFY(velmora.waitForFinished(30000));
        QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
        const QList<QList<double>> strings = archivedVelocities();
        QCOMPARE(strings.size(), 1);
        QCOMPARE(strings[0].size(), 3000);
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // Two open strings (a Clear whose ending the database could not record, then a crash): the
    // last comes back, the earlier one is archived on its own; not a row is lost or archived twice.
    void earlierOpenStringsAreArchivedOnTheirOwn()
    {
        fillCache(2, 20000, 0);
        QProcess velmora;
        QVERIFY(startAnswering(velmora, *m_x, m_x->environment()));
        QCOMPARE(archives().size(), 1); // the earlier rows, at start
        QVERIFY(exit(velmora, *m_x));
        QVERIFY(velmora.waitForFinished(60000));
        const QList<QList<double>> strings = archivedVelocities();
        QCOMPARE(strings.size(), 2);
        QCOMPARE(totalShots(strings), 40000);
        QCOMPARE(strings[0].size(), 20000);
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // A crash left a temporary file that is a second name of an archived string: the next start
    // removes it, and a later ending never writes through it.
    void aLeftoverTemporaryIsRemovedNotWrittenThrough()
    {
        const QString folder = StringArchive::defaultFolder();
        QVERIFY(QDir().mkpath(folder));
        const QString earlier = QDir(folder).filePath(QStringLiteral("2026-01-01 10-00-00 earlier.csv"));
        const QByteArray thirty = QByteArray("Shot,Velocity\r\n").repeated(30);
        {
            QFile f(earlier);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(thirty) == thirty.size());
        }
        for (int id = 1; id <= 3; ++id)
            QCOMPARE(::link(QFile::encodeName(earlier).constData(),
                            QFile::encodeName(QDir(folder).filePath(QStringLiteral(".velmora-archive-%1.tmp").arg(id)))
                                .constData()),
                     0);
        QProcess velmora;
        QVERIFY(startAnswering(velmora, *m_x, m_x->environment()));
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(sendShots(*m_sim, {801.5, 802.5, 803.5}, 0));
        QVERIFY(exit(velmora, *m_x));
        QVERIFY(velmora.waitForFinished(10000));
        QCOMPARE(readAll(earlier), thirty);
        QCOMPARE(archives().size(), 2);
    }

    // Two programs on two databases share one History folder and end together on a slow disk:
    // each string is archived once, and neither overwrites the other.
    void twoProgramsEndingTogetherOnOneFolder()
    {
        SimProcess sim2({QStringLiteral("--family"), QStringLiteral("chrony")});
        QVERIFY(sim2.isRunning());
        // The second has its own working folder (its own database) and its own settings.
        QTemporaryDir second;
        const QString config = second.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(config + QStringLiteral("/Velmora")));
        QVERIFY(QFile::copy(QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                                      QStringLiteral("Velmora"))
                                .fileName(),
                            config + QStringLiteral("/Velmora/Velmora.conf")));
        QSettings(config + QStringLiteral("/Velmora/Velmora.conf"), QSettings::IniFormat)
            .setValue(QStringLiteral("Ports/1"), sim2.path());

        QProcessEnvironment env = withDiskShim(m_x->environment());
        env.insert(QStringLiteral("VELMORA_SHIM_SLOW_SYNC_MS"), QStringLiteral("400"));
        QProcess a;
        QVERIFY(startAnswering(a, *m_x, env));
        QProcessEnvironment env2 = env;
        env2.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        QProcess b;
        QVERIFY(startAnswering(b, *m_x, env2, nullptr, {}, second.path()));
        QVERIFY(sendShots(*m_sim, {801.0, 802.0, 803.0}, 0));
        for (double v : {901.0, 902.0})
            QVERIFY(sim2.command(QStringLiteral("shot %1").arg(v)));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(second.filePath(QStringLiteral("pellet.store"))).size() > 0, 5000);
        // Both exit questions are open, then answered at once.
        QVERIFY(m_x->press(kMain, {QStringLiteral("alt+m"), QStringLiteral("e")}, a.processId()));
        QVERIFY(m_x->press(kMain, {QStringLiteral("alt+m"), QStringLiteral("e")}, b.processId()));
        QTRY_VERIFY_WITH_TIMEOUT(!m_x->xdotoolSearch(QStringLiteral("Velmora"), b.processId()).isEmpty(), 5000);
        QVERIFY(m_x->answer(QStringLiteral("Velmora"))); // one after the other, 150 ms apart
        finishAnswering(a, *m_x);
        finishAnswering(b, *m_x);
        QCOMPARE(archivedVelocities(), (QList<QList<double>>{{801.0, 802.0, 803.0}, {901.0, 902.0}}));
    }

    // The disk of the database or of the History folder is full when the program ends: the
    // string is kept and, once there is room again, archived once.
    void aFullDiskAtExit_data()
    {
        QTest::addColumn<bool>("database");
        QTest::newRow("history folder") << false;
        QTest::newRow("database") << true;
    }
    void aFullDiskAtExit()
    {
        QFETCH(bool, database);
        QVERIFY(QDir().mkpath(StringArchive::defaultFolder()));
        QTemporaryDir flags;
        const QString full = flags.filePath(QStringLiteral("full"));
        QProcessEnvironment env = withDiskShim(m_x->environment());
        env.insert(QStringLiteral("VELMORA_SHIM_FULL_UNDER"),
                   database ? QDir::current().canonicalPath() : QDir(StringArchive::defaultFolder()).canonicalPath());
        env.insert(QStringLiteral("VELMORA_SHIM_FULL_WHILE"), full);
        QProcess velmora;
        QVERIFY(startAnswering(velmora, *m_x, env));
        const QList<double> sent{801.5, 802.5, 803.5};
        QVERIFY(sendShots(*m_sim, sent, 0));
        QFile(full).open(QIODevice::WriteOnly);
        QVERIFY(exit(velmora, *m_x));
        finishAnswering(velmora, *m_x);
        QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
        QVERIFY(QFile::remove(full)); // room again

        QProcess next;
        int told = 0;
        QVERIFY(startAnswering(next, *m_x, m_x->environment(), &told));
        QCOMPARE(told, 0); // nothing to recover: the string is archived
        QVERIFY(exit(next, *m_x));
        QVERIFY(next.waitForFinished(10000));
        QCOMPARE(archivedVelocities(), (QList<QList<double>>{sent}));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // The database's disk fills while capturing: no message box a shot; the shots are kept, written
    // to the cache in order once there is room, and archived once.
    void aFullDiskWhileCapturing()
    {
        QTemporaryDir flags;
        const QString full = flags.filePath(QStringLiteral("full"));
        QProcessEnvironment env = withDiskShim(m_x->environment());
        env.insert(QStringLiteral("VELMORA_SHIM_FULL_UNDER"), QDir::current().canonicalPath());
        env.insert(QStringLiteral("VELMORA_SHIM_FULL_WHILE"), full);
        QProcess velmora;
        QVERIFY(startAnswering(velmora, *m_x, env));
        QVERIFY(sendShots(*m_sim, {801.5, 802.5}, 0));
        QFile(full).open(QIODevice::WriteOnly);
        for (double v : {803.5, 804.5, 805.5})
            QVERIFY(m_sim->command(QStringLiteral("shot %1").arg(v)));
        QVERIFY(QFile::remove(full));
        QVERIFY(m_sim->command(QStringLiteral("shot 806.5")));
        QVERIFY2(waitForCacheRows(6), "the shots of the full disk were not kept");
        QVERIFY(m_x->xdotoolSearch(QStringLiteral("Velmora"), velmora.processId()).isEmpty()); // no message box
        const QList<QStringList> rows = TestApp::cacheRows();
        for (int i = 0; i < 6; ++i)
            QCOMPARE(rows[i][0], QString::number(i + 1));
        QVERIFY(exit(velmora, *m_x));
        QVERIFY(velmora.waitForFinished(10000));
        QCOMPARE(archivedVelocities(), (QList<QList<double>>{{801.5, 802.5, 803.5, 804.5, 805.5, 806.5}}));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // Shots that arrive while the recovery's message is open are recorded after the recovered
    // ones, numbered on from them.
    void shotsDuringTheRecoveryMessageFollowIt()
    {
        QProcess crashed;
        QVERIFY(startAnswering(crashed, *m_x, m_x->environment()));
        QVERIFY(sendShots(*m_sim, {801.5, 802.5, 803.5}, 0));
        ::kill(pid_t(crashed.processId()), SIGKILL);
        QVERIFY(crashed.waitForFinished(5000));

        QProcess velmora;
        int told = 0;
        QVERIFY(startAnswering(velmora, *m_x, m_x->environment(), &told, [&] {
            QVERIFY(m_sim->command(QStringLiteral("shot 810.5")));
            QVERIFY(m_sim->command(QStringLiteral("shot 811.5")));
        }));
        QCOMPARE(told, 1);
        QVERIFY(waitForCacheRows(5));
        const QList<QStringList> rows = TestApp::cacheRows();
        QCOMPARE(rows[3][0], QStringLiteral("4"));
        QCOMPARE(rows[4][0], QStringLiteral("5"));
        QCOMPARE(rows[4][3], QStringLiteral("811.500"));
        QVERIFY(exit(velmora, *m_x));
        QVERIFY(velmora.waitForFinished(10000));
        QCOMPARE(archivedVelocities(), (QList<QList<double>>{{801.5, 802.5, 803.5, 810.5, 811.5}}));
    }

    // SIGTERM (a logout, a shutdown, `kill`) ends the program as Exit does, without its question,
    // also when it lands in the middle of the ending; the next start finds no crash.
    void sigtermEndsAsExitDoes_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("while capturing") << QString();
        for (const char* step : {"intent", "temp", "file", "ledger", "emptied"})
            QTest::newRow(step) << QString::fromLatin1(step);
    }
    void sigtermEndsAsExitDoes()
    {
        QFETCH(QString, step);
        QProcessEnvironment env = m_x->environment();
        if (!step.isEmpty())
            env.insert(QStringLiteral("VELMORA_SIGNAL_AT"), step);
        QProcess velmora;
        QVERIFY(startAnswering(velmora, *m_x, env));
        const QList<double> sent{801.5, 802.5, 803.5};
        QVERIFY(sendShots(*m_sim, sent, 0));
        if (step.isEmpty())
            ::kill(pid_t(velmora.processId()), SIGTERM);
        else
            QVERIFY(exit(velmora, *m_x)); // the signal comes from inside the ending
        QVERIFY(velmora.waitForFinished(10000));
        // Ended by its own steps, not by the signal (nor by a second one, which ends with 143).
        QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
        QVERIFY(velmora.exitCode() != 128 + SIGTERM);
        QVERIFY(TestApp::cacheRows().isEmpty());
        QCOMPARE(archivedVelocities(), (QList<QList<double>>{sent}));
        QProcess next;
        int told = 0;
        QVERIFY(startAnswering(next, *m_x, m_x->environment(), &told));
        QCOMPARE(told, 0);
        ::kill(pid_t(next.processId()), SIGTERM);
        QVERIFY(next.waitForFinished(10000));
        QCOMPARE(next.exitStatus(), QProcess::NormalExit);
    }

    // A second signal does not wait for a slow ending: the program ends at once, and whatever the
    // ending had not done is done at the next start.
    void aSecondSignalEndsAtOnce()
    {
        QTemporaryDir flags;
        const QString slow = flags.filePath(QStringLiteral("slow"));
        const QString syncs = flags.filePath(QStringLiteral("syncs"));
        QProcessEnvironment env = withDiskShim(m_x->environment());
        env.insert(QStringLiteral("VELMORA_SHIM_SLOW_SYNC_MS"), QStringLiteral("3000"));
        env.insert(QStringLiteral("VELMORA_SHIM_SLOW_WHILE"), slow);
        env.insert(QStringLiteral("VELMORA_SHIM_COUNT"), syncs);
        QProcess velmora;
        QVERIFY(startAnswering(velmora, *m_x, env));
        const QList<double> sent{801.5, 802.5};
        QVERIFY(sendShots(*m_sim, sent, 0));
        auto syncCount = [&] {
            QFile f(syncs);
            return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
        };
        const qsizetype before = syncCount();
        QVERIFY(QFile(slow).open(QIODevice::WriteOnly));
        ::kill(pid_t(velmora.processId()), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(syncCount() > before, 5000); // the ending waits in its first sync
        ::kill(pid_t(velmora.processId()), SIGTERM);
        QVERIFY(velmora.waitForFinished(2500)); // well before that sync is over
        QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
        QCOMPARE(velmora.exitCode(), 128 + SIGTERM);
        QProcess next;
        QVERIFY(startAnswering(next, *m_x, m_x->environment()));
        QVERIFY(exit(next, *m_x));
        QVERIFY(next.waitForFinished(10000));
        QCOMPARE(archivedVelocities(), (QList<QList<double>>{sent}));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // Two programs started together on a first run: the database is created once, by the one that
    // holds the lock, and neither removes it; the first keeps the cache.
    void twoFirstStartsAtOnce()
    {
        const QProcessEnvironment env = m_x->environment();
        for (int round = 0; round < 3; ++round) {
            prepare(*m_sim);
            TestApp::setSetting(QStringLiteral("chronoType"), 3); // no serial port to share
            QProcess a, b;
            for (QProcess* p : {&a, &b}) {
                p->setProcessEnvironment(env);
                p->setWorkingDirectory(QDir::currentPath());
            }
            a.start(SimProcess::binary(QStringLiteral("velmora")), {});
            b.start(SimProcess::binary(QStringLiteral("velmora")), {});
            QVERIFY(a.waitForStarted(5000) && b.waitForStarted(5000));
            QElapsedTimer waited;
            waited.start();
            // The one that lost the lock says so once; either may say "USB FAILED!" first.
            auto shown = [&](QProcess& p) { return !m_x->xdotoolSearch(kMain, p.processId()).isEmpty(); };
            while (!(shown(a) && shown(b)) && waited.elapsed() < 60000) {
                bool answered = false;
                for (QProcess* p : {&a, &b})
                    for (const QString& title : {QStringLiteral("USB FAILED!"), QStringLiteral("Velmora")})
                        if (!answered && !m_x->xdotoolSearch(title, p->processId()).isEmpty())
                            answered = m_x->answer(title, 500);
                if (!answered)
                    QTest::qWait(100);
            }
            QVERIFY2(shown(a) && shown(b),
                     qPrintable(QStringLiteral("round %1: %2 %3").arg(round).arg(a.state()).arg(b.state())));
            QVERIFY(QFileInfo::exists(PelletStore::defaultPath()));
            {
                PelletStore reader;
                (void)reader.openStore(PelletStore::defaultPath());
                QVERIFY(!reader.tips().isEmpty()); // created whole, with its seed
            }
            for (QProcess* p : {&a, &b}) {
                QVERIFY(exit(*p, *m_x));
                QVERIFY(p->waitForFinished(10000));
                QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            }
            QVERIFY(QFileInfo::exists(PelletStore::defaultPath()));
        }
    }
};

QTEST_MAIN(TestEndingCrossings)
#include "tst_ending_crossings.moc"
