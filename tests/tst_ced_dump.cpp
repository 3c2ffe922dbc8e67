// The CED string dump at each of its steps: the window closed, the device pulled, silent or
// answering late, through the real Devlink over the simulated CED M2, with a prompt double that
// runs an event loop while a box is up as a real message box does.
#include "capture/ced_dump.h"
#include "ced_app.h"
#include "drivers/ced_driver.h"
#include "device_windows/frm_ced_status.h"

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {
const QString kLost =
    QStringLiteral("Lost connection to CED! Please make sure it is plugged in and then re-configure Velmora.");
// String 1 of four shots, string 2 of three.
const char* const kScenario = "string 801 802 803 804\nstring 701 702 703\n";
const QStringList kString1{QStringLiteral("801.00"), QStringLiteral("802.00"), QStringLiteral("803.00"),
                           QStringLiteral("804.00")};
const QStringList kString2{QStringLiteral("701.00"), QStringLiteral("702.00"), QStringLiteral("703.00")};

// One visit of the dump window over the simulated device. The fake clock moves as the real
// one would while a read waits on the bus: the control's 200 ms time-out and the 10 ms pause.
struct DumpVisit {
    DumpVisit() : ced(kScenario)
    {
        m().session().DevPort1->setProperty("TimeOut", 5); // the simulated bus waits this long for nothing
        ced.app.sleeper.onSleep = [this] { ced.app.clock.set(ced.app.clock.now().addMSecs(nextSleepMs)); };
        cedPoll(m()); // the shot on the device at connection is not recorded
    }
    frmMain& m() { return ced.m(); }
    QStringList velocities()
    {
        QStringList v;
        for (int r = 1; r <= ced.rows(); ++r)
            v.append(m().MSFlexGrid1->TextMatrix(r, 4));
        return v;
    }
    // Opens the window; `listed` runs after each listing line with the number of lines so far.
    frmCEDStatus* open()
    {
        m().btnDump_Click();
        window = m().cedStatus;
        if (window) {
            QObject::connect(window->Text1, &QPlainTextEdit::textChanged, window, [this] {
                const int lines =
                    window->Text1->toPlainText().isEmpty() ? 0 : int(window->Text1->toPlainText().count(u'\n')) + 1;
                if (lines != listedLines) {
                    listedLines = lines;
                    if (listed)
                        listed(lines);
                }
            });
        }
        return window;
    }
    void dump(bool all)
    {
        if (all) {
            window->btnDumpAll_Click();
            return;
        }
        window->lstString->setCurrentIndex(0);
        window->lstString_Click();
        window->btnDump1_Click();
    }
    // The device back and connected again, as the options' Save does it.
    void reconnect()
    {
        SimulatedCed sim;
        sim.setPresent(true);
        sim.mute(0);
        sim.echoFirst(3, false);
        sim.delay(0);
        nextSleepMs = 210;
        m().hid().ConnectToPath(m().hid().Browse());
    }
    CedApp ced;
    QPointer<frmCEDStatus> window;
    int listedLines = 0;
    int nextSleepMs = 210;
    std::function<void(int)> listed;
};
} // namespace

class TestCedDump : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    // The cases at each step. `at` is the number of shots listed when it happens: the next
    // exchange (the count, the status or a shot's read) meets it.
    void eachStep_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("at");
        for (const char* what : {"close", "close later", "gone", "silent", "late", "close in the lost box"}) {
            for (int at : {0, 1, 3})
                QTest::addRow("%s, string 1, after %d", what, at) << QString::fromLatin1(what) << false << at;
            for (int at : {0, 2, 4, 5})
                QTest::addRow("%s, all, after %d", what, at) << QString::fromLatin1(what) << true << at;
        }
    }
    void eachStep()
    {
        QFETCH(QString, what);
        QFETCH(bool, all);
        QFETCH(int, at);
        DumpVisit visit;
        frmMain& m = visit.m();
        SimulatedCed sim;
        QVERIFY(visit.open());
        const bool lost = what != QLatin1String("close") && what != QLatin1String("close later");
        auto strike = [&] {
            if (what == QLatin1String("close"))
                visit.window->close();
            else if (what == QLatin1String("close later"))
                QTimer::singleShot(0, visit.window, [&visit] { visit.window->close(); });
            else if (what == QLatin1String("gone") || what == QLatin1String("close in the lost box"))
                sim.setPresent(false);
            else if (what == QLatin1String("silent"))
                sim.mute(1000);
            else if (what == QLatin1String("late")) {
                sim.echoFirst(3, true);
                sim.echoFirst(2, true);
                sim.echoFirst(1, true);
                visit.nextSleepMs = 3000; // the right reply comes, 3 s late
            }
            if (what == QLatin1String("close in the lost box")) {
                auto closer = [&visit] { visit.window->close(); };
                if (all && at == 0) // the next box is "Continue?": the one after it
                    visit.ced.app.prompt.onAsk = [&visit, closer] { visit.ced.app.prompt.onAsk = closer; };
                else
                    visit.ced.app.prompt.onAsk = closer;
            }
        };
        visit.listed = [&](int lines) {
            if (lines == at)
                strike();
        };
        if (at == 0 && lost)
            strike();
        const int before = int(visit.ced.app.prompt.shown.size());
        visit.dump(all);
        if (at == 0 && !lost)
            strike();
        QTRY_VERIFY_WITH_TIMEOUT(visit.window ? visit.window->isEnabled() : m.isEnabled(), 20000);
        QTRY_VERIFY(!visit.window || visit.window->isEnabled());

        // A late reply still counts: the shot it carries is recorded.
        const bool readsShot = all ? at > 0 && at != 4 : at > 0;
        int recorded = what == QLatin1String("late") && readsShot ? at + 1 : at;
        // A close from the event loop stops the dump after the shot under way, whichever it is.
        if (what == QLatin1String("close later") && visit.ced.rows() == at + 1)
            recorded = at + 1;
        const QStringList expected = (kString1 + kString2).mid(0, recorded);
        QCOMPARE(visit.velocities(), expected);
        QStringList told = visit.ced.app.prompt.texts().mid(before);
        if (all) {
            QVERIFY(told.first().endsWith(QStringLiteral("\r\n\r\nContinue?")));
            told.removeFirst();
        }
        if (!lost) {
            QVERIFY2(told.isEmpty(), qPrintable(told.join(u'|')));
            QTRY_VERIFY(!visit.window);
            QTRY_VERIFY(m.isEnabled());
            QVERIFY(m.session().timerCED->isActive());
            QVERIFY(m.hid().Connected());
            // The poll goes on from the device's present state: nothing twice, a new shot once.
            m.session().timerCED->stop();
            cedPoll(m);
            QCOMPARE(visit.ced.rows(), recorded);
            sim.addShot(799.9);
            cedPoll(m);
            QCOMPARE(visit.ced.rows(), recorded + 1);
            return;
        }
        // The loss is told once, with what was recorded and what is still in the device.
        QCOMPARE(told.count(kLost), 1);
        // A dump that was begun and not complete says where it stopped.
        const int string = all && recorded >= 4 ? 2 : 1;
        const int ofString = string == 2 ? recorded - 4 : recorded;
        const bool cut = !(all && at == 0) && !(!all && recorded == 4);
        if (cut) {
            QCOMPARE(told.size(), 2);
            QCOMPARE(told.last(), CedDumpExchange::cutNotice(string, ofString, all));
        } else {
            QCOMPARE(told.size(), 1);
        }
        QVERIFY(!m.hid().Connected());
        QVERIFY(!m.session().timerCED->isActive());
        if (what == QLatin1String("close in the lost box")) {
            QTRY_VERIFY(!visit.window);
            QTRY_VERIFY(m.isEnabled());
            QVERIFY(!m.session().timerCED->isActive());
            return;
        }
        QVERIFY(visit.window);
        QVERIFY(!m.isEnabled());
        QCOMPARE(visit.listedLines, recorded);
        if (!cut)
            return; // a complete string dumped again is recorded again, as the user asked

        // Connected again, the same dump records the rest, and nothing twice.
        visit.window->close();
        QTRY_VERIFY(m.isEnabled());
        visit.reconnect();
        QVERIFY(m.hid().Connected());
        QVERIFY(visit.open());
        visit.listed = nullptr;
        visit.dump(all);
        QTRY_VERIFY_WITH_TIMEOUT(visit.window->isEnabled(), 10000);
        QCOMPARE(visit.velocities(), all ? kString1 + kString2 : kString1);
        visit.window->close();
        QTRY_VERIFY(m.isEnabled());
        QVERIFY(m.session().timerCED->isActive());
    }

    // A device answering late, but within the exchange's seconds, is waited for.
    void aSlowDeviceIsWaitedFor()
    {
        DumpVisit visit;
        SimulatedCed sim;
        sim.delay(15);
        QVERIFY(visit.open());
        visit.dump(true);
        QTRY_VERIFY_WITH_TIMEOUT(visit.window->isEnabled(), 10000);
        QCOMPARE(visit.velocities(), kString1 + kString2);
        QVERIFY(visit.ced.app.prompt.texts().size() == 1); // the question only
        QVERIFY(visit.ced.app.sleeper.slept.contains(10));
    }

    // The window closed while "Continue?" is up: nothing is dumped, whatever the answer, and the
    // poll takes the device over again.
    void closedWhileAskedToContinue()
    {
        DumpVisit visit;
        frmMain& m = visit.m();
        QVERIFY(visit.open());
        visit.ced.app.prompt.onAsk = [&visit] { visit.window->close(); };
        visit.window->btnDumpAll_Click();
        QTRY_VERIFY(!visit.window);
        QTRY_VERIFY(m.isEnabled());
        QCOMPARE(visit.ced.rows(), 0);
        QCOMPARE(visit.ced.app.prompt.texts().size(), 1);
        QVERIFY(m.session().timerCED->isActive());
    }

    // A device silent when the window opens: the window opens with no string, and the loss is
    // told afterwards, from a step of the exchange, not from inside the window's opening.
    void aLossAtOpeningIsToldAfterIt()
    {
        DumpVisit visit;
        frmMain& m = visit.m();
        SimulatedCed sim;
        sim.mute(1000);
        QVERIFY(visit.open());
        QCOMPARE(visit.window->lstString->count(), 0);
        QVERIFY(visit.ced.app.prompt.shown.isEmpty());
        QTRY_COMPARE(visit.ced.app.prompt.texts(), QStringList{kLost});
        QVERIFY(!m.hid().Connected());
        QVERIFY(visit.window->isEnabled());
        visit.window->close();
        QTRY_VERIFY(m.isEnabled());
        QVERIFY(!m.session().timerCED->isActive());
    }

    // Escape on the idle window closes it; the poll takes the device over again once the
    // closing exchange is done, and the main window takes input then.
    void escapeClosesTheIdleWindow()
    {
        DumpVisit visit;
        frmMain& m = visit.m();
        QVERIFY(visit.open());
        QTest::keyClick(visit.window, Qt::Key_Escape);
        QTRY_VERIFY(!visit.window);
        QTRY_VERIFY(m.isEnabled());
        QVERIFY(m.session().timerCED->isActive());
        QVERIFY(visit.ced.app.prompt.texts().isEmpty());
    }

    // Between shots the event loop runs: the dump's shots are its own steps.
    void shotsAreStepsOfTheEventLoop()
    {
        DumpVisit visit;
        QVERIFY(visit.open());
        int queued = 0;
        visit.listed = [&](int) { QTimer::singleShot(0, visit.window, [&queued] { ++queued; }); };
        visit.dump(false);
        QCOMPARE(visit.ced.rows(), 0); // the click returned at once
        QVERIFY(!visit.window->isEnabled());
        QTRY_VERIFY(visit.window->isEnabled());
        QCOMPARE(visit.velocities(), kString1);
        QVERIFY(queued >= 3); // events ran while the dump went on
        QCOMPARE(visit.m().Label5->text(), QStringLiteral("804.00"));
    }

    void theCutNotice()
    {
        QCOMPARE(CedDumpExchange::cutNotice(2, 1, false),
                 QStringLiteral("The connection to the CED was lost during the dump of string 2: 1 shot of it "
                                "recorded. The rest are still in the CED: once it is connected again, dumping "
                                "string 2 records only those."));
        QVERIFY(CedDumpExchange::cutNotice(3, 7, true).contains(QStringLiteral("string 3: 7 shots")));
        QVERIFY(CedDumpExchange::cutNotice(3, 7, true).contains(QStringLiteral("Dump All goes on from there")));
    }
};

QTEST_MAIN(TestCedDump)
#include "tst_ced_dump.moc"
