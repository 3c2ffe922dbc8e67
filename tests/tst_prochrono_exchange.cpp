// The ProChrono's remote functions over a real pseudo-terminal (the simulator behind a link that
// vanishes when it is unplugged), with timed steps and a question box that spins its own event
// loop: the window closed and the cable pulled at every step, a silent device, and replies that
// come late or in pieces.
#include "capture/capture_session.h"
#include "capture/prochrono_remote.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_prochrono_extras.h"
#include "drivers/prochrono_link.h"
#include "drivers/qserial_transport.h"
#include "drivers/serial_link.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "services/clock.h"
#include "sim_process.h"
#include "test_app.h"

#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// The waits of the exchange, shortened, with something done from the event loop while the
// n-th of them runs (a window closed, a cable pulled).
class InterveningSteps : public StepTimer {
public:
    void after(int milliseconds, QObject* context, std::function<void()> step) override
    {
        waited.append(milliseconds);
        if (at == waited.size() && during)
            QTimer::singleShot(0, std::exchange(during, nullptr));
        QTimer::singleShot(milliseconds * percent / 100, context, std::move(step));
    }
    QList<int> waited;
    int percent = 25;
    qsizetype at = 0;
    std::function<void()> during;
};

// String 2, current at the start, holds 11 shots: a dump reads it in three blocks.
const QStringList kSimArguments{QStringLiteral("--family"),
                                QStringLiteral("prochrono"),
                                QStringLiteral("--strings"),
                                QStringLiteral("701,702,703;"
                                               "901,902,903,904,905,906,907,908,909,910,911;"
                                               "801,802"),
                                QStringLiteral("--current"),
                                QStringLiteral("2")};

QStringList velocities(frmMain& m)
{
    QStringList all;
    for (int r = 1; r < m.MSFlexGrid1->Rows(); ++r)
        all.append(m.MSFlexGrid1->TextMatrix(r, 4));
    return all;
}

QStringList string2(int from, int to)
{
    QStringList all;
    for (int v = from; v <= to; ++v)
        all.append(QStringLiteral("%1.00").arg(900 + v));
    return all;
}

} // namespace

class TestProChronoExchange : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString link() const { return m_dir.filePath(QStringLiteral("ttyUSB0")); }

    // The app on the simulator's link, the ProChrono chosen, the steps under the test's control.
    frmMain& start(TestApp& app, InterveningSteps& steps)
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        app.services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
        const QString path = link();
        app.services.portPath = [path](int n) { return n == 1 ? path : QStringLiteral("/nonexistent/tty%1").arg(n); };
        app.services.steps = &steps;
        frmMain& m = app.start();
        m.session().TimerProChrono->stop(); // polled by hand
        return m;
    }

    static ProChronoRemoteExchange& exchange(frmMain& m) { return m.session().proChronoRemote(); }

    // Live capture works: a poll's reply is taken, a new shot is recorded once.
    static void liveCaptureWorks(frmMain& m, SimProcess& sim)
    {
        QVERIFY(!m.session().prochrono_data);
        QCOMPARE(m.session().MSComm1->InputLen(), 1);
        QVERIFY(m.isEnabled());
        QVERIFY(m.session().TimerProChrono->isActive());
        m.session().TimerProChrono->stop();
        // Polled until the reply showing the shot has been taken (a reply to an earlier poll may
        // still be on its way).
        auto pollUntilTaken = [&](const QString& velocityBytes) {
            for (int i = 0; i < 20 && !m.session().lastShotRecorded.mid(8, 4).startsWith(velocityBytes); ++i) {
                TimerProChrono_Timer(m.session());
                (void)QTest::qWaitFor([&] { return m.session().lastShotRecorded.mid(8, 4) == velocityBytes; }, 250);
            }
            QCOMPARE(m.session().lastShotRecorded.mid(8, 4), velocityBytes);
        };
        // The first may be a new baseline (another string than the last live one).
        QVERIFY(sim.command(QStringLiteral("shot 777")));
        pollUntilTaken(QStringLiteral("0903"));
        const int rows = m.MSFlexGrid1->Rows();
        QVERIFY(sim.command(QStringLiteral("shot 788")));
        pollUntilTaken(QStringLiteral("1403"));
        QCOMPARE(m.MSFlexGrid1->Rows(), rows + 1);
        QCOMPARE(velocities(m).last(), QStringLiteral("788.00"));
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    // Opening, Dump String, Change String and Delete String, one after the other as a user does,
    // with the window closed (its Close, Escape) or the cable pulled while the n-th wait runs, or
    // while Delete's question is open (n = 0). Whatever the moment: nothing runs on a freed
    // window, the shots of the blocks answered are recorded once, a cut dump says so, and live
    // capture goes on (after the device's return, after a pull).
    void endedAtEveryStep_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<QString>("how");
        // Waits: 1 200 and 2 600 around the opening query; 3, 4, 5 after the dump's blocks;
        // 6 1000, 7 200, 8 600 of Change String; 9 1000 after Delete String's clear.
        for (const char* how : {"close", "pull"})
            for (int at = 0; at <= 9; ++at)
                QTest::addRow("%s at %d", how, at) << at << QString::fromLatin1(how);
        for (int at : {0, 2, 4})
            QTest::addRow("escape at %d", at) << at << QStringLiteral("escape");
    }

    void endedAtEveryStep()
    {
        QFETCH(int, at);
        QFETCH(QString, how);
        SimProcess sim(kSimArguments + QStringList{QStringLiteral("--link"), link()});
        QVERIFY(sim.isRunning());
        TestApp app;
        InterveningSteps steps;
        frmMain& m = start(app, steps);
        const qsizetype messagesBefore = app.prompt.shown.size();

        QPointer<frmProChronoExtras> window;
        bool ended = false;
        auto intervene = [&] {
            ended = true;
            if (how == QLatin1String("pull")) {
                QVERIFY(sim.command(QStringLiteral("unplug")));
            } else if (how == QLatin1String("escape")) {
                if (window)
                    QTest::keyClick(window, Qt::Key_Escape);
            } else if (window) {
                window->close();
            }
        };
        if (at > 0) {
            steps.at = at;
            steps.during = intervene;
        } else {
            app.prompt.onAsk = intervene;
            // With the box still up until the window is gone (a pull is noticed from the event loop).
            app.prompt.answerWhen = [&] { return !window || window->closingStepsRan(); };
        }
        // Each button once the exchange is done with the one before, while the window is there.
        auto settled = [&] { return !exchange(m).isBusy() || ended; };
        m.btnDump_Click();
        window = m.proChronoExtras;
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 5000);
        if (!ended) {
            QTRY_COMPARE(window->txtPCShots->text(), QStringLiteral("11"));
            window->btnDumpString_Click();
            QTRY_VERIFY_WITH_TIMEOUT(settled(), 5000);
        }
        if (!ended) {
            QTRY_COMPARE(m.MSFlexGrid1->Rows(), 12);
            window->btnChangeString_Click();
            QTRY_VERIFY_WITH_TIMEOUT(settled(), 5000);
        }
        if (!ended) {
            QTRY_COMPARE(window->txtPCString->text(), QStringLiteral("3"));
            window->btnDeleteString_Click();
            QTRY_VERIFY_WITH_TIMEOUT(settled(), 5000);
        }
        QVERIFY(ended);
        QTRY_VERIFY_WITH_TIMEOUT(!window, 5000); // closed and deleted
        QTRY_VERIFY_WITH_TIMEOUT(!exchange(m).isActive(), 5000);

        // The blocks asked for before the end are recorded once, whole (a close lets the reply to
        // the last block in; a pull cuts it).
        const int blocksAsked = at >= 3 && at <= 5 ? at - 2 : (at > 5 || at == 0 ? 3 : 0);
        const int recorded = how == QLatin1String("pull") && at >= 3 && at <= 5 ? std::min(11, 5 * (blocksAsked - 1))
                                                                                : std::min(11, 5 * blocksAsked);
        if (how == QLatin1String("pull") && at >= 3 && at <= 5) {
            // Replies that were on their way when the cable went may or may not have come in.
            QTRY_VERIFY(!app.prompt.shown.isEmpty());
        }
        const QStringList rows = velocities(m);
        if (how == QLatin1String("pull") && at >= 3 && at <= 5)
            QVERIFY(rows.size() >= recorded && rows.size() <= std::min(11, recorded + 5));
        else
            QCOMPARE(rows.size(), recorded);
        QCOMPARE(rows, string2(1, int(rows.size())));

        // A dump cut short says how many shots were recorded and where the rest are.
        const bool cut = at >= 3 && at <= 5 && rows.size() < 11;
        const QString cutText =
            ProChronoRemoteExchange::cutDumpText(2, int(rows.size()), 11, how == QLatin1String("pull"));
        if (cut)
            QTRY_VERIFY(app.prompt.texts().contains(cutText));
        else
            QVERIFY(!app.prompt.texts().contains(cutText));
        QCOMPARE(exchange(m).cutDump().recorded, cut ? int(rows.size()) : 0);

        if (how == QLatin1String("pull")) {
            QTRY_VERIFY(m.session().MSComm1->isLost());
            QTRY_VERIFY(
                app.prompt.texts().contains(windowClosedByLossText(QStringLiteral("ProChrono Remote Functions"))));
            QVERIFY(m.isEnabled());
            QVERIFY(!m.session().prochrono_data);
            QVERIFY(sim.command(QStringLiteral("plug")));
            QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 3000);
        } else {
            // Delete's question, and the cut dump's message.
            QCOMPARE(app.prompt.shown.size() - messagesBefore, qsizetype((at == 0 || at == 9 ? 1 : 0) + (cut ? 1 : 0)));
        }
        liveCaptureWorks(m, sim);
    }

    // A dump cut by a pull, dumped again once the device is back: the shots recorded before the
    // pull are not recorded twice.
    void aSecondDumpSkipsWhatTheCutOneRecorded()
    {
        SimProcess sim(kSimArguments + QStringList{QStringLiteral("--link"), link()});
        TestApp app;
        InterveningSteps steps;
        frmMain& m = start(app, steps);
        m.btnDump_Click();
        QPointer<frmProChronoExtras> window = m.proChronoExtras;
        QTRY_COMPARE(window->txtPCShots->text(), QStringLiteral("11"));
        QTRY_VERIFY(!exchange(m).isBusy());
        // Pulled once the second block's reply is in, while the wait after it runs.
        steps.percent = 100;
        steps.at = steps.waited.size() + 2;
        steps.during = [&] {
            QTRY_COMPARE(m.MSFlexGrid1->Rows(), 11);
            QVERIFY(sim.command(QStringLiteral("unplug")));
        };
        window->btnDumpString_Click();
        QTRY_VERIFY(m.session().MSComm1->isLost());
        QTRY_VERIFY(!window);
        QCOMPARE(velocities(m), string2(1, 10));
        QTRY_VERIFY(app.prompt.texts().contains(ProChronoRemoteExchange::cutDumpText(2, 10, 11, true)));
        QVERIFY(sim.command(QStringLiteral("plug")));
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 3000);
        m.session().TimerProChrono->stop();

        m.btnDump_Click();
        window = m.proChronoExtras;
        QTRY_COMPARE(window->txtPCShots->text(), QStringLiteral("11"));
        QTRY_VERIFY(!exchange(m).isBusy());
        window->btnDumpString_Click();
        QTRY_VERIFY(!exchange(m).isBusy());
        QCOMPARE(velocities(m), string2(1, 11));
        QCOMPARE(exchange(m).cutDump().recorded, 0);
        // A third dump is a plain one again: the whole string.
        window->btnDumpString_Click();
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 23);
        window->close();
        QTRY_VERIFY(!m.session().prochrono_data);
    }

    // A device that never answers: the steps run out, nothing is recorded or shown, the window
    // closes and live mode is back; a device that answers after the waits is still read, whole,
    // also when its reply comes in pieces.
    void silentAndLateDevices()
    {
        SimProcess sim(kSimArguments + QStringList{QStringLiteral("--link"), link()});
        TestApp app;
        InterveningSteps steps;
        frmMain& m = start(app, steps);
        QVERIFY(sim.command(QStringLiteral("mute on")));
        m.btnDump_Click();
        QPointer<frmProChronoExtras> window = m.proChronoExtras;
        QTRY_VERIFY(!exchange(m).isBusy());
        QCOMPARE(window->txtPCShots->text(), QStringLiteral("0"));
        for (auto click : {&frmProChronoExtras::btnDumpString_Click, &frmProChronoExtras::btnChangeString_Click,
                           &frmProChronoExtras::btnDeleteString_Click})
            (window->*click)();
        QTRY_VERIFY(!exchange(m).isBusy());
        QCOMPARE(steps.waited, QList<int>({200, 600, 1000, 200, 600, 1000})); // no blocks for 0 shots
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);

        // Late, and in pieces: the status query's answer after its wait.
        QVERIFY(sim.command(QStringLiteral("raw :00020B00")));
        QVERIFY(sim.command(QStringLiteral("raw 8F0331")));
        QTRY_COMPARE(window->txtPCShots->text(), QStringLiteral("11"));
        QCOMPARE(window->txtPCString->text(), QStringLiteral("2"));
        // A dump the device answers only after its last wait, each block in two pieces.
        window->btnDumpString_Click();
        QTRY_VERIFY(!exchange(m).isBusy());
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QVERIFY(sim.command(QStringLiteral("raw :0002010A85038603")));
        QVERIFY(sim.command(QStringLiteral("raw 87038803890300")));
        QVERIFY(sim.command(QStringLiteral("raw :0002060A8A038B0300000000000000")));
        QTRY_COMPARE(velocities(m), string2(1, 7));
        window->close();
        QTRY_VERIFY(!m.session().prochrono_data);
        QCOMPARE(m.session().MSComm1->InputLen(), 1);
        QVERIFY(sim.command(QStringLiteral("mute off")));
        liveCaptureWorks(m, sim);
    }

    // Buttons pressed while a sequence runs wait for it, in the order pressed; the frames go out
    // as they would one after the other.
    void requestsWaitForTheRunningSequence()
    {
        SimProcess sim(kSimArguments + QStringList{QStringLiteral("--link"), link()});
        TestApp app;
        InterveningSteps steps;
        frmMain& m = start(app, steps);
        m.btnDump_Click();
        QPointer<frmProChronoExtras> window = m.proChronoExtras;
        window->btnChangeString_Click(); // pressed before the opening's query was answered
        window->btnDumpString_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!exchange(m).isBusy() && m.MSFlexGrid1->Rows() == 3, 5000);
        QCOMPARE(window->txtPCString->text(), QStringLiteral("3"));
        QCOMPARE(velocities(m), QStringList({QStringLiteral("801.00"), QStringLiteral("802.00")}));
        QCOMPARE(steps.waited, QList<int>({200, 600, 1000, 200, 600, 300}));
        window->close();
        QTRY_VERIFY(!m.session().prochrono_data);
    }

    // The window closed while a wait runs, and the port closed before the wait is over (as the
    // program's end does): the closing steps leave the port closed, set for live reads.
    void aPortClosedDuringTheLastWaitStaysClosed()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        app.steps.percent = 100;
        frmMain& m = app.start();
        m.btnDump_Click();
        QCOMPARE(app.steps.waited, QList<int>({200}));
        m.proChronoExtras->close();
        QVERIFY(exchange(m).isBusy());
        m.session().MSComm1->setPortOpen(false);
        QTRY_VERIFY(!exchange(m).isActive());
        QVERIFY(!m.session().MSComm1->PortOpen());
        QCOMPARE(m.session().MSComm1->InputLen(), 1);
        QVERIFY(!m.session().prochrono_data);
        QCOMPARE(app.serial->written, QByteArray()); // the query after the wait was never sent
    }
};

QTEST_MAIN(TestProChronoExchange)
#include "tst_prochrono_exchange.moc"
