// The real program captures shots from the simulator, is killed with SIGKILL in the middle of a
// string, and the next start replays every shot it had recorded; the string, finished after the
// restart, is archived once at the normal exit, as "Save Capture" writes it. The program is also
// killed at each step of a string's ending, and a second one is started beside the first.
#include "history/history_reader.h"
#include "history/string_archive.h"
#include "main_window/flex_grid.h"
#include "shot/record_shot.h"
#include "main_window/frm_main.h"
#include "services/regional.h"
#include "services/timestamps.h"
#include "sim_process.h"
#include "test_app.h"
#include "velmora_run.h"
#include "x_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using velmora_run::archives;
using velmora_run::prepare;
using velmora_run::readAll;
using velmora_run::waitForCacheRows;

namespace {
bool startVelmora(QProcess& velmora, XSession& x, const QProcessEnvironment& env)
{
    return velmora_run::start(velmora, x, env);
}

bool exitVelmora(QProcess& velmora, XSession& x)
{
    return velmora_run::exit(velmora, x);
}
} // namespace

class TestCrashRecovery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!XSession::available())
            QSKIP("Xvfb and xdotool are needed to run the program in a window");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }

    void killedMidStringThenReplayed()
    {
        XSession x;
        QVERIFY(x.isRunning());
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony")});
        QVERIFY(sim.isRunning());
        TestApp::clearSettings();
        TestApp::setSetting(QStringLiteral("chronoType"), 1);
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                        QStringLiteral("Velmora"));
            s.setValue(QStringLiteral("Ports/1"), sim.path());
        }
        QFile::remove(PelletStore::defaultPath());
        velmora_run::clearArchive();

        QProcess velmora;
        velmora.setProcessEnvironment(x.environment());
        velmora.setWorkingDirectory(QDir::currentPath());
        velmora.start(SimProcess::binary(QStringLiteral("velmora")), {});
        QVERIFY(velmora.waitForStarted(5000));
        // Where Devlink or its transport cannot be loaded, start-up says so first.
        x.answer(QStringLiteral("USB FAILED!"), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(x.hasWindow(QStringLiteral("Velmora v1.6")), 10000);

        // Each of these is known to be recorded: its cache row was seen.
        const QList<double> confirmed{801.2, 799.8, 805.0, 798.4, 802.6, 800.1, 803.3, 797.9};
        for (int i = 0; i < confirmed.size(); ++i) {
            QVERIFY(sim.command(QStringLiteral("shot %1").arg(confirmed[i])));
            QVERIFY2(waitForCacheRows(i + 1), "a shot was not cached");
        }
        // Then a burst, and the kill lands somewhere inside it.
        const QList<double> burst{810.5, 811.5, 812.5, 813.5, 814.5, 815.5};
        QString lines;
        for (double v : burst)
            lines += QStringLiteral("0,Vf%1\\r\\n").arg(v);
        QVERIFY(sim.command(QStringLiteral("raw ") + lines + QStringLiteral("99,Vf8")));
        QTest::qWait(3);
        ::kill(pid_t(velmora.processId()), SIGKILL);
        QVERIFY(velmora.waitForFinished(5000));

        const QList<QStringList> cached = TestApp::cacheRows();
        const QList<double> sent = confirmed + burst;
        qInfo("%d of the %d shots sent were cached when the kill landed", int(cached.size()), int(sent.size()));
        QVERIFY(cached.size() >= confirmed.size());
        QVERIFY(cached.size() <= sent.size());
        for (int i = 0; i < cached.size(); ++i) {
            QCOMPARE(cached[i][0], QString::number(i + 1));
            QCOMPARE(cached[i][3], regional::format3(sent[i]));
        }

        // The next start, in this process on the same files: every cached shot comes back.
        TestApp app(true);
        frmMain& m = app.start();
        QCOMPARE(app.prompt.texts().last(), QStringLiteral("It Looks like you crashed. %1 shots have been recovered.")
                                                .arg(cached.size()));
        QCOMPARE(m.MSFlexGrid1->Rows(), cached.size() + 1);
        for (int i = 0; i < cached.size(); ++i) {
            QCOMPARE(m.MSFlexGrid1->TextMatrix(i + 1, 0), cached[i][0]);
            QCOMPARE(m.MSFlexGrid1->TextMatrix(i + 1, 1),
                     regional::shotDateTime(timestamps::unixToDate(cached[i][1].toLongLong()), true));
            QCOMPARE(m.MSFlexGrid1->TextMatrix(i + 1, 4), regional::format2(sent[i]));
        }
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 0), QString::number(cached.size()));
        const QDir history(StringArchive::defaultFolder());
        QVERIFY(history.entryList({QStringLiteral("*.csv")}, QDir::Files).isEmpty()); // the killed run archived nothing

        // The string goes on after the restart, then the program leaves normally.
        RecordShot(m, 806.5);
        RecordShot(m, 807.5);
        QTemporaryDir saved;
        app.files.next = FileChooser::Choice{saved.filePath(QStringLiteral("string.csv")), 1};
        m.btnSave_Click();
        app.exit();
        QVERIFY(TestApp::cacheRows().isEmpty()); // a normal exit empties the cache
        const QStringList archives = history.entryList({QStringLiteral("*.csv")}, QDir::Files);
        QCOMPARE(archives.size(), 1);
        QFile archive(history.filePath(archives.first()));
        QFile expected(saved.filePath(QStringLiteral("string.csv")));
        QVERIFY(archive.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
        QCOMPARE(archive.readAll(), expected.readAll());
    }

    // The program is killed at each step of the ending of a string at its normal exit; after the
    // next start and a normal exit there is one archive of the string, as "Save Capture" writes it.
    void killedAtEachStepOfTheEnding_data()
    {
        QTest::addColumn<QString>("step");
        for (const char* step : {"intent", "temp", "file", "ledger", "emptied"})
            QTest::newRow(step) << QString::fromLatin1(step);
    }
    void killedAtEachStepOfTheEnding()
    {
        QFETCH(QString, step);
        XSession x;
        QVERIFY(x.isRunning());
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony")});
        QVERIFY(sim.isRunning());
        prepare(sim);
        QProcessEnvironment env = x.environment();
        env.insert(QStringLiteral("VELMORA_CRASH_AT"), step);
        QProcess velmora;
        QVERIFY(startVelmora(velmora, x, env));
        const QList<double> sent{801.2, 799.8, 805.0};
        for (int i = 0; i < sent.size(); ++i) {
            QVERIFY(sim.command(QStringLiteral("shot %1").arg(sent[i])));
            QVERIFY2(waitForCacheRows(i + 1), "a shot was not cached");
        }
        QVERIFY(exitVelmora(velmora, x));
        QVERIFY(velmora.waitForFinished(10000));
        QCOMPARE(velmora.exitStatus(), QProcess::CrashExit); // killed at the step, not a normal end
        QCOMPARE(TestApp::cacheRows().size(), step == QLatin1String("emptied") ? 0 : 3);

        // The ending was recorded before the kill: the next start finishes it from the ledger and
        // brings nothing back, so no string is shown twice or mixed into the next one.
        TestApp app(true);
        frmMain& m = app.start();
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QVERIFY(!app.prompt.texts().join(u'\n').contains(QStringLiteral("crashed")));
        app.exit();
        QVERIFY(TestApp::cacheRows().isEmpty());
        const QStringList files = archives();
        QCOMPARE(files.size(), 1);
        const QString archive = QDir(StringArchive::defaultFolder()).filePath(files.first());
        const ArchivedString read = readArchivedString(archive);
        QCOMPARE(read.problem, QString());
        QCOMPARE(int(read.shots.size()), sent.size());
        for (int i = 0; i < sent.size(); ++i)
            QCOMPARE(read.shots[size_t(i)].fps, sent[i]);
        // Nothing half-done is left in the folder.
        QCOMPARE(QDir(StringArchive::defaultFolder()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // 5 shots, Clear (archived), 3 shots, a crash: the next start brings back the 3 alone,
    // numbered and counted as they were; both strings are archived once.
    void aCrashAfterAClearBringsBackOnlyTheOpenString()
    {
        TestApp::clearSettings();
        velmora_run::clearArchive();
        {
            TestApp app;
            frmMain& m = app.start();
            for (double v : {801.0, 802.0, 803.0, 804.0, 805.0})
                RecordShot(m, v);
            m.btnReset_Click();
            for (double v : {901.0, 902.0, 903.0})
                RecordShot(m, v);
            app.abandon();
        }
        TestApp app(true);
        frmMain& m = app.start();
        QCOMPARE(app.prompt.texts().last(), QStringLiteral("It Looks like you crashed. 3 shots have been recovered."));
        QCOMPARE(m.MSFlexGrid1->Rows(), 4);
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(m.MSFlexGrid1->TextMatrix(i, 0), QString::number(i));
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 0), QStringLiteral("3"));
        RecordShot(m, 904.0);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(4, 0), QStringLiteral("4"));
        app.exit();
        QCOMPARE(velmora_run::archivedVelocities(),
                 (QList<QList<double>>{{801.0, 802.0, 803.0, 804.0, 805.0}, {901.0, 902.0, 903.0, 904.0}}));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // Shots that arrive while Clear says the string could not be archived wait, and then start the
    // new string: numbered from 1, archived with it, never claimed by the string that ended.
    void shotsDuringClearsMessageStartTheNextString()
    {
        TestApp::clearSettings();
        const QString folder = StringArchive::defaultFolder();
        velmora_run::clearArchive();
        QVERIFY(QDir().mkpath(QFileInfo(folder).absolutePath()));
        {
            QFile blocker(folder); // the folder cannot be made: a file has its name
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        TestApp app;
        frmMain& m = app.start();
        for (const char* line : {"1,Vf801.0\r\n", "2,Vf802.0\r\n", "3,Vf803.0\r\n"})
            app.serial->feed(line);
        QTRY_COMPARE(TestApp::cacheRows().size(), 3);
        app.prompt.setNextAnswer(Prompt::Answer::Yes); // the clearing question
        bool told = false;
        app.prompt.onAsk = [&] {
            // Only the question ran so far; the message comes next.
            app.prompt.onAsk = [&] {
                told = app.prompt.shown.last().text.startsWith(QStringLiteral("The string could not be archived"));
                app.serial->feed("1,Vf901.0\r\n");
                app.serial->feed("2,Vf902.0\r\n");
                QCoreApplication::processEvents();
            };
        };
        m.btnReset_Click();
        QVERIFY(told);
        QVERIFY(app.prompt.shown.last().text.contains(QStringLiteral("when there is room")));
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 0), QStringLiteral("2"));
        const QList<QStringList> rows = TestApp::cacheRows();
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[3][0], QStringLiteral("1"));
        QCOMPARE(rows[4][3], QStringLiteral("902.000"));
        QVERIFY(QFile::remove(folder)); // room again
        app.exit();
        QCOMPARE(velmora_run::archivedVelocities(), (QList<QList<double>>{{801.0, 802.0, 803.0}, {901.0, 902.0}}));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // A signal that lands while the clearing question is open ends the program there; the Yes
    // that follows must not archive the string a second time.
    void aSignalDuringTheClearingQuestionArchivesOnce()
    {
        TestApp::clearSettings();
        velmora_run::clearArchive();
        TestApp app;
        frmMain& m = app.start();
        for (double v : {801.0, 802.0})
            RecordShot(m, v);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        app.prompt.onAsk = [&] { m.endWithoutQuestions(); };
        m.btnReset_Click();
        QCOMPARE(velmora_run::archivedVelocities(), (QList<QList<double>>{{801.0, 802.0}}));
        QVERIFY(TestApp::cacheRows().isEmpty());
    }

    // A second Velmora on the same database says so once and leaves the first one's cache and
    // archive alone, even when it ends normally; the first then archives its string once.
    void aSecondInstanceLeavesTheFirstOnesCacheAlone()
    {
        XSession x;
        QVERIFY(x.isRunning());
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony")});
        QVERIFY(sim.isRunning());
        prepare(sim);
        QProcess first;
        QVERIFY(startVelmora(first, x, x.environment()));
        QVERIFY(sim.command(QStringLiteral("shot 801.5")));
        QVERIFY(waitForCacheRows(1));
        QVERIFY(sim.command(QStringLiteral("shot 802.5")));
        QVERIFY(waitForCacheRows(2));

        // The second is set to the CED M2, which says nothing without a device, so that the
        // serial port the first one holds adds no message of its own.
        TestApp::setSetting(QStringLiteral("chronoType"), 3);
        QProcess second;
        second.setProcessEnvironment(x.environment());
        second.setWorkingDirectory(QDir::currentPath());
        second.start(SimProcess::binary(QStringLiteral("velmora")), {});
        QVERIFY(second.waitForStarted(5000));
        // One message about the database, then its window; a second message would stand in the
        // way of the window. "USB FAILED!" may come first or not at all (where Devlink loads), and
        // a slow start (a sanitizer build) must not be mistaken for a missing message.
        const qint64 pid = second.processId();
        int told = 0;
        QElapsedTimer waited;
        waited.start();
        while (x.xdotoolSearch(QStringLiteral("Velmora v1.6"), pid).isEmpty() && waited.elapsed() < 30000) {
            if (!x.xdotoolSearch(QStringLiteral("USB FAILED!"), pid).isEmpty())
                QVERIFY(x.answer(QStringLiteral("USB FAILED!")));
            else if (!x.xdotoolSearch(QStringLiteral("Velmora"), pid).isEmpty())
                told += x.answer(QStringLiteral("Velmora")) ? 1 : 0;
            else
                QTest::qWait(100);
        }
        QCOMPARE(told, 1);
        QVERIFY(!x.xdotoolSearch(QStringLiteral("Velmora v1.6"), pid).isEmpty());
        QVERIFY(x.xdotoolSearch(QStringLiteral("Velmora"), second.processId()).isEmpty());
        QCOMPARE(TestApp::cacheRows().size(), 2);
        QVERIFY(exitVelmora(second, x));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(TestApp::cacheRows().size(), 2); // not emptied by the second
        QVERIFY(archives().isEmpty());            // nor archived by it

        QVERIFY(first.state() == QProcess::Running);
        QVERIFY(exitVelmora(first, x));
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(TestApp::cacheRows().isEmpty());
        QCOMPARE(archives().size(), 1);
        const ArchivedString read =
            readArchivedString(QDir(StringArchive::defaultFolder()).filePath(archives().first()));
        QCOMPARE(int(read.shots.size()), 2);
        QCOMPARE(read.shots[1].fps, 802.5);
    }
};

QTEST_MAIN(TestCrashRecovery)
#include "tst_crash_recovery.moc"
