// The Shooting Chrony and ProChrono memory windows: exact command sequences on a memory line,
// and whole exchanges with the simulator through a pseudo-terminal.
#include "drivers/comm_port.h"
#include "device_windows/frm_chrony_extras.h"
#include "device_windows/frm_options.h"
#include "device_windows/frm_prochrono_extras.h"
#include "device_windows/memory_windows.h"
#include "drivers/prochrono_link.h"
#include "drivers/qserial_transport.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "sim_process.h"
#include "test_app.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

namespace {
void useSimulator(TestApp& app, const QString& path)
{
    app.services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
    app.services.portPath = [path](int n) { return n == 1 ? path : QStringLiteral("/nonexistent/tty%1").arg(n); };
}

QString sent(TestApp& app)
{
    const QString all = QString::fromLatin1(app.serial->written);
    app.serial->written.clear();
    return all;
}

// What the line holds once the exchange's timed steps have run.
#define QTRY_SENT(app, expected)                                                                                   \
    do {                                                                                                           \
        QTRY_COMPARE(QString::fromLatin1((app).serial->written), QString(expected));                              \
        (app).serial->written.clear();                                                                             \
    } while (false)

const QString kQueryReply = QStringLiteral("nf Strings, 3\r\nnf Current, 3\r\n}ok!\r\n>");
} // namespace

class TestMemoryFunctions : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void chronyCommandSequence()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        frmChronyExtras* chrony = m.chronyExtras;
        QVERIFY(chrony);
        QVERIFY(!m.isEnabled());
        QVERIFY(chrony->isEnabled()); // usable over the disabled main window
        QVERIFY(m.session().chrony_data);
        QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
        QCOMPARE(app.steps.waited, QList<int>({1500}));
        // Shot lines while in command mode are not recorded.
        app.serial->feed("1,Vf800\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        app.serial->feed("SYSX\r\n>");
        app.serial->feed(kQueryReply.toLatin1());
        QCOMPARE(chrony->txtStoredStrings->text(), QStringLiteral("3"));
        QCOMPARE(chrony->lstString->count(), 3);
        QCOMPARE(chrony->lstString->currentText(), QStringLiteral("3"));
        QCOMPARE(sent(app), QStringLiteral("X.CPY")); // already on string 3
        QVERIFY(!m.session().chrony_data);
        QVERIFY(chrony->btnClear->isEnabled());
        // Pick string 1: two steps down, then the download request.
        chrony->lstString->setCurrentIndex(0);
        app.steps.waited.clear();
        chrony->lstString_Click();
        QVERIFY(!chrony->lstString->isEnabled()); // no second pick while the pointer moves
        QTRY_SENT(app, QStringLiteral("X.DECX.DECX.CPY"));
        QCOMPARE(app.steps.waited, QList<int>({150, 150})); // after each pointer move
        QVERIFY(chrony->lstString->isEnabled());
        QCOMPARE(chrony->btnDumpAll->text(), QStringLiteral("Dump String 1"));
        chrony->btnDumpAll_Click();
        QCOMPARE(sent(app), QStringLiteral("X.GRM"));
        // The downloaded shots take the live path, with the calibration.
        m.options().txtCalibration->setText(QStringLiteral("102.5"));
        app.serial->feed("1,Vf800.0\r\n2,Vf810.0\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("820.00"));
        // Closing puts the pointer back on string 3 and ends the exchange.
        app.steps.waited.clear();
        chrony->close();
        QVERIFY(!m.isEnabled()); // until the closing steps are done
        QTRY_SENT(app, QStringLiteral("X.INCX.INCX.END"));
        QCOMPARE(app.steps.waited, QList<int>({150, 150, 100}));
        QTRY_VERIFY(m.isEnabled());
        QVERIFY(m.session().Timer1->isActive());
    }

    void currentBeforeStringsSelectsNothing()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
        app.serial->feed("nf Current, 2\r\nnf Strings, 3\r\n}ok!\r\n>");
        QCOMPARE(m.chronyExtras->lstString->count(), 3);
        QCOMPARE(m.chronyExtras->lstString->currentIndex(), -1);
        QCOMPARE(sent(app), QString());
    }

    void clearThenQueryAgain()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
        frmChronyExtras* chrony = m.chronyExtras;
        app.serial->feed(kQueryReply.toLatin1());
        sent(app);
        app.prompt.setNextAnswer(Prompt::Answer::No);
        chrony->btnClear_Click();
        QCOMPARE(sent(app), QString());
        chrony->btnClear_Click();
        QVERIFY(app.prompt.shown.last().text.startsWith(
            QStringLiteral("This option will clear ALL shots and strings from your Chrony's memory.\r\n"
                           "                  It will NOT dump the shots before it clears. \r\n\r\n"
                           "            Are you sure you want to clear the Chrony's memory?")));
        QCOMPARE(sent(app), QStringLiteral("X.GEE"));
        QVERIFY(m.session().chrony_data);
        QVERIFY(!chrony->lstString->isEnabled());
        app.serial->feed("}ok!\r\n>");
        QTRY_COMPARE(app.prompt.shown.last().text, QStringLiteral("All Shots now cleared."));
        QTRY_SENT(app, QStringLiteral("X.QRY"));
        app.serial->feed("nf Strings, 0\r\nnf Current, 1\r\n}ok!\r\n>");
        QCOMPARE(chrony->txtStoredStrings->text(), QStringLiteral("1"));
        QCOMPARE(chrony->lstString->count(), 4); // the old entries stay, "1" is added
        QVERIFY(!chrony->lstString->isEnabled());
    }

    void chronyDownloadFromTheSimulator()
    {
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony"), QStringLiteral("--strings"),
                        QStringLiteral("800,810,820;790.5,795.5;805"), QStringLiteral("--current"),
                        QStringLiteral("2")});
        QVERIFY(sim.isRunning());
        TestApp app;
        useSimulator(app, sim.path());
        frmMain& m = app.start();
        QCOMPARE(m.btnDump->text(), QStringLiteral("Chrony Status"));
        m.btnDump_Click();
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 3);
        QVERIFY2(m.chronyExtras, qPrintable(app.prompt.texts().join(QStringLiteral(" | ")) + m.lblSelChrono->text()));
        QCOMPARE(m.chronyExtras->txtStoredStrings->text(), QStringLiteral("3"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("790.50"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("795.50"));
        m.chronyExtras->lstString->setCurrentIndex(0);
        m.chronyExtras->lstString_Click();
        QTRY_VERIFY2(m.MSFlexGrid1->Rows() == 6,
                     qPrintable(QStringLiteral("rows %1 buffer '%2' memory mode %3 port %4 output '%5'")
                                    .arg(m.MSFlexGrid1->Rows())
                                    .arg(m.session().strReceivedAll)
                                    .arg(m.session().chrony_data)
                                    .arg(m.session().MSComm1->PortOpen())
                                    .arg(m.chronyExtras->outputText())));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(5, 4), QStringLiteral("820.00"));
        m.chronyExtras->close();
        QTRY_VERIFY(m.isEnabled());
    }

    void proChronoLiveFromTheSimulator()
    {
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("prochrono")});
        QVERIFY(sim.isRunning());
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        useSimulator(app, sim.path());
        frmMain& m = app.start();
        QVERIFY(!app.serial); // the real transport is in use
        QVERIFY(m.session().TimerProChrono->isActive());
        m.session().TimerProChrono->stop(); // polled by hand below, a second at a time would be slow
        // One poll, waited for until its whole reply is in (or it recorded a shot, which empties the buffer).
        auto poll = [&] {
            const int rows = m.MSFlexGrid1->Rows();
            TimerProChrono_Timer(m.session());
            QTRY_VERIFY_WITH_TIMEOUT(m.session().strReceivedAll.size() == 15 || m.MSFlexGrid1->Rows() != rows, 3000);
        };
        QVERIFY(sim.command(QStringLiteral("shot 800")));
        poll(); // the first reply is a baseline
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QVERIFY(!m.session().proChrono.firstProChronoReply);
        QVERIFY(sim.command(QStringLiteral("shot 812")));
        poll();
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 2);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("812.00"));
        poll(); // the identical reply
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        QVERIFY(sim.command(QStringLiteral("newstring")));
        QVERIFY(sim.command(QStringLiteral("shot 790")));
        poll(); // another string: a new baseline
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        QVERIFY(sim.command(QStringLiteral("shot 805")));
        poll();
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("805.00"));
    }

    void proChronoDumpsFromTheSimulator()
    {
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("prochrono"), QStringLiteral("--strings"),
                        QStringLiteral("701,702,703,704,705,706,707;"
                                       "801,802,803,804,805,806,807,808,809,810;"
                                       "901,902,903,904,905,906,907,908,909,910,911")});
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        useSimulator(app, sim.path());
        frmMain& m = app.start();
        m.session().TimerProChrono->stop();
        m.btnDump_Click();
        frmProChronoExtras* pc = m.proChronoExtras;
        QVERIFY(pc);
        QVERIFY(pc->isEnabled());
        QVERIFY(m.session().prochrono_data);
        QCOMPARE(m.session().MSComm1->InputLen(), 15);
        QTRY_COMPARE(pc->txtPCShots->text(), QStringLiteral("7"));
        QCOMPARE(pc->txtPCString->text(), QStringLiteral("1"));
        const int expected[] = {7, 10, 11};
        int rows = 1;
        for (int s = 0; s < 3; ++s) {
            if (s > 0) {
                pc->btnChangeString_Click();
                QTRY_COMPARE(pc->txtPCString->text(), QString::number(s + 1));
                QCOMPARE(pc->txtPCShots->text(), QString::number(expected[s]));
            }
            pc->btnDumpString_Click();
            rows += expected[s];
            QTRY_COMPARE(m.MSFlexGrid1->Rows(), rows);
        }
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("701.00"));
        QCOMPARE(m.MSFlexGrid1->TextMatrix(28, 4), QStringLiteral("911.00"));
        pc->close();
        QTRY_COMPARE(m.session().MSComm1->InputLen(), 1); // once the wait after the last block has run out
        QVERIFY(!m.session().prochrono_data);
        QVERIFY(m.session().TimerProChrono->isActive());
    }

    void proChronoFramesOnTheLine()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        frmMain& m = app.start();
        m.session().TimerProChrono->stop();
        // What went on the line once the exchange has taken the given waits.
        auto sentAfter = [&](const QList<int>& waits) {
            if (!QTest::qWaitFor([&] { return app.steps.waited == waits; }, 5000))
                qWarning() << "waits so far:" << app.steps.waited;
            app.steps.waited.clear();
            return sent(app);
        };
        m.btnDump_Click();
        frmProChronoExtras* pc = m.proChronoExtras;
        QCOMPARE(sentAfter({200, 600}), QStringLiteral(":000000037D")); // around the status query
        app.serial->feed(":0003070000DC02FF"); // string 3, 7 shots (the last 14 characters count)
        QCOMPARE(pc->txtPCString->text(), QStringLiteral("3"));
        QCOMPARE(pc->txtPCShots->text(), QStringLiteral("7"));
        pc->btnDumpString_Click();
        QCOMPARE(sentAfter({300, 300}), QStringLiteral(":000301017B:0003060176")); // after each block request
        pc->btnChangeString_Click();
        QCOMPARE(sentAfter({1000, 200, 600}), QStringLiteral(":000000057B:000000037D"));
        app.prompt.setNextAnswer(Prompt::Answer::No);
        pc->btnDeleteString_Click();
        QCOMPARE(app.prompt.shown.last().text,
                 QStringLiteral("This option will clear string 3 from your ProChrono's memory.\r\n               It "
                                "will NOT dump the shots before it clears. \r\n\r\n            Are you sure you want "
                                "to clear this string?"));
        QTRY_COMPARE(QString::fromLatin1(app.serial->written), QStringLiteral(":000000037D"));
        QVERIFY(app.steps.waited.isEmpty()); // no wait after the query
        QCOMPARE(sent(app), QStringLiteral(":000000037D"));
        pc->btnDeleteString_Click();
        QCOMPARE(sentAfter({1000}), QStringLiteral(":0000000779"));
        QTRY_COMPARE(QString::fromLatin1(app.serial->written), QStringLiteral(":000000037D"));
        sent(app);
        // A block whose third slot is empty records two shots (read whole, as during a dump).
        setInputLength(*m.session().MSComm1, 31);
        m.session().proChrono.expectedReply = 1;
        app.serial->feed(":00030B0A2C031E0300002C030000AA");
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        // Garbage in remote mode never crashes and records only what decodes.
        QRandomGenerator random(5);
        for (int i = 0; i < 3000; ++i) {
            QByteArray junk(int(random.bounded(40)), '\0');
            for (char& c : junk)
                c = char(random.bounded(256));
            m.session().proChrono.expectedReply = int(random.bounded(6));
            app.serial->feed(junk);
        }
        for (int r = 1; r < m.MSFlexGrid1->Rows(); ++r)
            QVERIFY(m.MSFlexGrid1->TextMatrix(r, 4).toDouble() > 0);
    }

    // A port that fails while a memory window opens gives the family's message, and the window
    // still closes with its closing steps.
    void communicationErrorsAreReported()
    {
        const QString chronyError = QStringLiteral("There has been an error communicating with the Chrony.  Please "
                                                   "check your COM port settings and try again.");
        const QString proChronoError = QStringLiteral("There has been an error communicating with the ProChrono.  "
                                                      "Please check your COM port settings and try again.");
        for (int family : {1, 4}) {
            TestApp::setSetting(QStringLiteral("chronoType"), family);
            TestApp app;
            frmMain& m = app.start();
            m.session().TimerProChrono->stop();
            m.btnDump_Click();
            QVERIFY(m.chronyExtras || m.proChronoExtras);
            m.chronyExtras ? m.chronyExtras->close() : m.proChronoExtras->close();
            QTRY_VERIFY(m.isEnabled());
            // The adapter is unplugged: the port closes and cannot be opened again.
            app.serial->existing.clear();
            m.session().MSComm1->setPortOpen(false);
            m.setEnabled(false);
            family == 1 ? openChronyExtras(m) : openProChronoExtras(m);
            // Told from the event loop once the failed step has returned.
            QTRY_VERIFY(!app.prompt.shown.isEmpty() &&
                        app.prompt.shown.last().text == (family == 1 ? chronyError : proChronoError));
            QDialog* window = family == 1 ? static_cast<QDialog*>(m.chronyExtras) : m.proChronoExtras;
            QVERIFY(window);
            QTest::keyClick(window, Qt::Key_Escape);
            QTRY_VERIFY(m.isEnabled());
            QVERIFY(!window->isVisible());
        }
    }

    // Escape and the window's own Close end a memory window the same way: the device is put back
    // into live mode and a stray Enter in a box never starts a dump.
    void escapeClosesAndEnterDoesNothing()
    {
        {
            TestApp app;
            frmMain& m = app.start();
            m.btnDump_Click();
            QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
            app.serial->feed(kQueryReply.toLatin1());
            frmChronyExtras* chrony = m.chronyExtras;
            QCOMPARE(sent(app), QStringLiteral("X.CPY"));
            QTest::keyClick(chrony->txtStoredStrings, Qt::Key_Return);
            QCOMPARE(sent(app), QString());
            QTest::keyClick(chrony->txtStoredStrings, Qt::Key_Escape);
            QTRY_SENT(app, QStringLiteral("X.END"));
            QTRY_VERIFY(m.isEnabled());
            QVERIFY(m.session().Timer1->isActive());
        }
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        frmProChronoExtras* pc = m.proChronoExtras;
        QTRY_COMPARE(QString::fromLatin1(app.serial->written), QStringLiteral(":000000037D"));
        sent(app);
        app.serial->feed(":0003070000DC02FF");
        QTRY_COMPARE(app.steps.waited, QList<int>({200, 600}));
        for (QLineEdit* box : {pc->txtPCString, pc->txtPCShots})
            QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(sent(app), QString()); // no block request, no status query
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QTest::keyClick(pc->txtPCShots, Qt::Key_Escape);
        QTRY_VERIFY(!m.session().prochrono_data); // once the wait after the query has run out
        QCOMPARE(m.session().MSComm1->InputLen(), 1);
        QVERIFY(m.session().TimerProChrono->isActive() && m.session().Timer1->isActive());
        QVERIFY(m.isEnabled());
    }
};

QTEST_MAIN(TestMemoryFunctions)
#include "tst_memory_functions.moc"
