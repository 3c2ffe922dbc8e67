// The real program captures shots from the simulator, is killed with SIGKILL in the middle of a
// string, and the next start replays every shot it had recorded; the string, finished after the
// restart, is archived once at the normal exit, as "Save Capture" writes it.
#include "history/string_archive.h"
#include "main_window/flex_grid.h"
#include "shot/record_shot.h"
#include "main_window/frm_main.h"
#include "services/regional.h"
#include "services/timestamps.h"
#include "sim_process.h"
#include "test_app.h"
#include "x_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {
bool waitForCacheRows(int count, int timeoutMs = 8000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (TestApp::cacheRows().size() >= count)
            return true;
        QTest::qWait(20);
    }
    return false;
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
        QDir(StringArchive::defaultFolder()).removeRecursively();

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
};

QTEST_MAIN(TestCrashRecovery)
#include "tst_crash_recovery.moc"
