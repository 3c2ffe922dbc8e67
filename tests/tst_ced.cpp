// The CED M2 driver and string dump, through velmora's DevPort1, libdevlink and the simulated
// CED M2 build of libdevcore.
#include "capture/capture_session.h"
#include "ced_app.h"
#include "drivers/ced_driver.h"
#include "device_windows/frm_ced_status.h"
#include "device_windows/frm_options.h"
#include "drivers/library_control_host.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "sim_ced.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestCed : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void velocityBytes()
    {
        QCOMPARE(cedVelocity(QByteArray("\x03\x00\x01\x00\x2C\x03\x07\x00", 8)), 812.7);
        QCOMPARE(cedVelocity(QByteArray("\x03\x00\x01\x00\x2C\x03\x05\x00", 8)), 812.5);
        QCOMPARE(frmCEDStatus::listingLine(2, 7, 812.3), QStringLiteral("String:2 Shot:7 = 812.30 fps\r\n"));
    }

    void pollingRecordsEachNewShotOnce()
    {
        CedApp ced("string 800.0\n");
        frmMain& m = ced.m();
        SimulatedCed sim;
        QVERIFY(!m.session().disableHID);
        QVERIFY(m.hid().Connected());
        QCOMPARE(m.btnDump->text(), QStringLiteral("CED Status"));
        cedPoll(m); // the shot present at connection is not recorded
        QCOMPARE(ced.rows(), 0);
        QVERIFY(!m.session().ced.cedSkipNext);
        sim.addShot(812.7);
        cedPoll(m);
        QCOMPARE(ced.rows(), 1);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("812.70"));
        cedPoll(m);
        QCOMPARE(ced.rows(), 1);
        // Several shots between polls: only the last is read.
        sim.addShot(790.1);
        sim.addShot(791.2);
        sim.addShot(792.3);
        cedPoll(m);
        QCOMPARE(ced.rows(), 2);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("792.30"));
        // A new string: its first shot counts.
        sim.newString();
        sim.addShot(805.5);
        cedPoll(m);
        QCOMPARE(ced.rows(), 3);
        QCOMPARE(m.session().ced.cedCurrentString, 2);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(3, 4), QStringLiteral("805.50"));
        // A reply echoing another command first is skipped.
        sim.echoFirst(3, true);
        sim.echoFirst(1, true);
        sim.addShot(806.6);
        cedPoll(m);
        QCOMPARE(ced.rows(), 4);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(4, 4), QStringLiteral("806.60"));
        QVERIFY(ced.app.sleeper.slept.contains(10));
        // The calibration is not applied to CED readings.
        m.options().txtCalibration->setText(QStringLiteral("150"));
        sim.addShot(700);
        cedPoll(m);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(5, 4), QStringLiteral("700.00"));
    }

    void aStringWithNumberZeroIsNeverRead()
    {
        CedApp ced("");
        cedPoll(ced.m());
        cedPoll(ced.m());
        QCOMPARE(ced.rows(), 0);
        QCOMPARE(ced.m().session().ced.cedCurrentString, 0);
        // With nothing on the device at connection, the first real shot is recorded.
        SimulatedCed sim;
        sim.addShot(801.1);
        cedPoll(ced.m());
        QCOMPARE(ced.rows(), 1);
    }

    void dumpingAnotherStringMissesNoLaterShot()
    {
        CedApp ced("string 801 802 803\nstring 701\n");
        frmMain& m = ced.m();
        SimulatedCed sim;
        cedPoll(m); // string 2 shot 1 was there at connection
        QCOMPARE(ced.rows(), 0);
        m.btnDump_Click();
        m.cedStatus->lstString->setCurrentIndex(0);
        m.cedStatus->lstString_Click();
        m.cedStatus->btnDump1_Click();
        QTRY_COMPARE(ced.rows(), 3);
        QTRY_VERIFY(m.cedStatus->isEnabled());
        m.cedStatus->close();
        QTRY_VERIFY(m.session().cedDump().idle());
        m.session().timerCED->stop();
        cedPoll(m);
        QCOMPARE(ced.rows(), 3);
        sim.addShot(702.2); // string 2's second shot
        cedPoll(m);
        QCOMPARE(ced.rows(), 4);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(4, 4), QStringLiteral("702.20"));
    }

    void dumpingStrings()
    {
        CedApp ced("string 801 802 803 804 805 806 807 808 809 810.5\nstring 701 702 703 704.4\n");
        frmMain& m = ced.m();
        SimulatedCed sim;
        m.btnDump_Click();
        frmCEDStatus* dump = m.cedStatus;
        QVERIFY(dump);
        QVERIFY(!m.isEnabled());
        QVERIFY(dump->isEnabled());
        QCOMPARE(dump->lstString->count(), 2);
        dump->lstString->setCurrentIndex(0);
        dump->lstString_Click();
        QCOMPARE(dump->btnDump1->text(), QStringLiteral("Dump String 1"));
        dump->btnDump1_Click();
        QVERIFY(!dump->isEnabled());
        QTRY_VERIFY(dump->isEnabled());
        QStringList lines = dump->Text1->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 10);
        QCOMPARE(lines[9], QStringLiteral("String:1 Shot:10 = 810.50 fps"));
        QCOMPARE(ced.rows(), 10);
        dump->lstString->setCurrentIndex(1);
        dump->lstString_Click();
        dump->btnDump1_Click();
        QTRY_VERIFY(dump->isEnabled());
        lines = dump->Text1->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 14);
        QCOMPARE(lines[13], QStringLiteral("String:2 Shot:4 = 704.40 fps"));
        QCOMPARE(ced.rows(), 14);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 0), QStringLiteral("14"));
        QCOMPARE(m.Label5->text(), QStringLiteral("704.40"));
        QVERIFY(m.btnSave->isEnabledTo(&m));
        // No to the dump-all question changes nothing.
        ced.app.prompt.setNextAnswer(Prompt::Answer::No);
        dump->btnDumpAll_Click();
        QCOMPARE(ced.rows(), 14);
        QVERIFY(dump->isEnabled());
        dump->btnDumpAll_Click();
        QTRY_VERIFY(dump->isEnabled());
        QCOMPARE(ced.rows(), 28);
        // After the dump, the next poll records nothing twice; a new shot is recorded once.
        dump->close();
        QTRY_VERIFY(m.isEnabled());
        QVERIFY(m.session().timerCED->isActive());
        m.session().timerCED->stop();
        cedPoll(m);
        QCOMPARE(ced.rows(), 28);
        sim.addShot(799.9);
        cedPoll(m);
        QCOMPARE(ced.rows(), 29);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(29, 4), QStringLiteral("799.90"));
    }

    // A device that misses the first status and count exchanges after connecting may still hold
    // a shot: that shot stays skipped until the device has said what it holds.
    void aMissedFirstExchangeKeepsTheSkip()
    {
        CedApp ced("string 800.0\n");
        frmMain& m = ced.m();
        SimulatedCed sim;
        m.session().DevPort1->setProperty("TimeOut", 5); // an unanswered read gives up quickly
        QVERIFY(m.session().ced.cedSkipNext);
        sim.mute(2);
        cedPoll(m);
        QVERIFY(m.session().ced.cedSkipNext);
        cedPoll(m);
        QCOMPARE(ced.rows(), 0); // the shot on the device at connection
        sim.addShot(805);
        cedPoll(m);
        QCOMPARE(ced.rows(), 1);
    }

    // Closing the dump window takes the device's state as the poll's baseline. When the device
    // misses that exchange, the shot it shows is skipped instead of being recorded a second time.
    void aMissedResynchronisationKeepsTheSkip()
    {
        CedApp ced("string 801 802\n");
        frmMain& m = ced.m();
        SimulatedCed sim;
        m.session().DevPort1->setProperty("TimeOut", 5);
        cedPoll(m);
        m.btnDump_Click();
        m.cedStatus->lstString->setCurrentIndex(0);
        m.cedStatus->lstString_Click();
        m.cedStatus->btnDump1_Click();
        QTRY_COMPARE(ced.rows(), 2);
        QTRY_VERIFY(m.cedStatus->isEnabled());
        sim.mute(2);
        m.cedStatus->close();
        QTRY_VERIFY(m.session().timerCED->isActive());
        m.session().timerCED->stop();
        cedPoll(m);
        cedPoll(m);
        QCOMPARE(ced.rows(), 2); // 802 is not recorded again
        sim.addShot(803);
        cedPoll(m);
        QCOMPARE(ced.rows(), 3);
    }

    void theDumpRefusesWithoutAConnection()
    {
        CedApp ced("absent\n");
        frmMain& m = ced.m();
        QVERIFY(!m.hid().Connected());
        QCOMPARE(m.btnDump->text(), QStringLiteral("No Status"));
        frmCEDStatus dump(m);
        QVERIFY(!dump.Form_Load());
        QCOMPARE(ced.app.prompt.shown.last().text, QStringLiteral("Cannot connect to CED. :("));
        QCOMPARE(ced.app.prompt.shown.last().title, QStringLiteral("Error"));
    }

    void anUnpluggedDeviceIsALostConnection()
    {
        CedApp ced("string 800\n", true);
        frmMain& m = ced.m();
        SimulatedCed sim;
        m.session().DevPort1->setProperty("TimeOut", 100);
        cedPoll(m);
        sim.setPresent(false);
        m.session().timerCED->start();
        QElapsedTimer timer;
        timer.start();
        cedPoll(m);
        QVERIFY(timer.elapsed() >= 3000);
        QCOMPARE(ced.app.prompt.shown.last().text,
                 QStringLiteral("Lost connection to CED! Please make sure it is plugged in and then re-configure "
                                "Velmora."));
        QVERIFY(!m.session().timerCED->isActive());
        QVERIFY(!m.hid().Connected());
        QVERIFY(m.session().timerErrorCount >= 3);
        QCOMPARE(ced.rows(), 0);
    }

    // A device unplugged while the dump window is open: closing it finds the connection lost,
    // and the poll stays stopped.
    void aConnectionLostAtTheDumpsCloseStopsThePoll()
    {
        CedApp ced("string 800\n", true);
        frmMain& m = ced.m();
        SimulatedCed sim;
        m.session().DevPort1->setProperty("TimeOut", 100);
        m.btnDump_Click();
        QVERIFY(m.cedStatus);
        sim.setPresent(false);
        m.cedStatus->close();
        QTRY_VERIFY_WITH_TIMEOUT(m.isEnabled(), 15000);
        QVERIFY(ced.app.prompt.texts().contains(QStringLiteral(
            "Lost connection to CED! Please make sure it is plugged in and then re-configure Velmora.")));
        QVERIFY(!m.hid().Connected());
        QVERIFY(!m.session().timerCED->isActive());
    }
};

QTEST_MAIN(TestCed)
#include "tst_ced.moc"
