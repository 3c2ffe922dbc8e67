#include "drivers/comm_port.h"
#include "device_windows/frm_options.h"
#include "fake_hid_control.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "storage/settings_store.h"
#include "test_app.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestOptionsDialog : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void openingScansAndSaveReconnects()
    {
        TestApp app;
        app.existingPorts = {QStringLiteral("/dev/test1"), QStringLiteral("/dev/test3")};
        frmMain& m = app.start();
        frmOptions& o = m.options();
        m.session().TimerProChrono->start();
        m.lblChrono_Click();
        QVERIFY(!m.session().TimerProChrono->isActive());
        QVERIFY(!m.session().Timer1->isActive());
        QVERIFY(!m.session().MSComm1->PortOpen());
        QVERIFY(!m.isEnabled());
        QVERIFY(o.isVisible());
        QCOMPARE(o.lstComm->count(), 2);
        QCOMPARE(o.lstComm->currentText(), QStringLiteral("1")); // the listed port stays chosen
        QCOMPARE(o.lblDevice->text(), QStringLiteral("/dev/test1"));
        o.lstComm->setCurrentIndex(1);
        QCOMPARE(o.lblDevice->text(), QStringLiteral("/dev/test3"));
        o.chronoType->select(2);
        QCOMPARE(settings::read(settings::kChronoType), QStringLiteral("2"));
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Combro"));
        o.btnComm_Click();
        QVERIFY(m.session().MSComm1->PortOpen());
        QCOMPARE(app.serial->openedPath, QStringLiteral("/dev/test3"));
        QCOMPARE(app.serial->openedSettings.baud, 9600);
        QCOMPARE(settings::read(settings::kTxtComm), QStringLiteral("3"));
        QCOMPARE(m.btnDump->text(), QStringLiteral("No Status"));
        QVERIFY(m.session().Timer1->isActive());
        QVERIFY(!o.isVisible());
        QVERIFY(m.isEnabled());
    }

    void aPortThatNoLongerOpensIsNotPreselected()
    {
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(m.options().lstComm->currentText(), QStringLiteral("1"));
        app.serial->existing = {QStringLiteral("/dev/test2")};
        m.lblChrono_Click();
        QCOMPARE(m.options().lstComm->count(), 1);
        QCOMPARE(m.options().lstComm->currentIndex(), -1);
    }

    // Save's failures: no port listed, a port taken by another program meanwhile (8005), and one
    // that refuses to open (8012); each is an "Unhandled Error:" and the dialog stays open.
    void saveFailuresAreUnhandledErrors()
    {
        TestApp app;
        frmMain& m = app.start();
        app.serial->existing.clear();
        m.lblChrono_Click();
        QCOMPARE(m.options().lstComm->count(), 0);
        m.options().btnComm_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Unhandled Error:13"));
        QCOMPARE(app.prompt.shown.last().title, QStringLiteral("Velmora"));
        QVERIFY(app.prompt.shown.last().icon == Prompt::Icon::Critical);
        QVERIFY(m.options().isVisible()); // the dialog stays open

        app.serial->existing = {QStringLiteral("/dev/test1")};
        m.options().close();
        m.lblChrono_Click();
        m.options().lstComm->setCurrentIndex(0);
        QCOMPARE(m.options().lstComm->currentText(), QStringLiteral("1"));
        for (auto [set, number] : {std::pair{&MemoryTransport::busy, 8005}, std::pair{&MemoryTransport::failing, 8012}}) {
            (app.serial->*set) = {QStringLiteral("/dev/test1")};
            m.options().btnComm_Click();
            QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Unhandled Error:%1").arg(number));
            QVERIFY(app.prompt.shown.last().icon == Prompt::Icon::Critical);
            QVERIFY(m.options().isVisible());
            QVERIFY(!m.session().MSComm1->PortOpen());
            (app.serial->*set).clear();
        }
    }

    // Escape is Cancel and the window's own close is the same: the main window is usable again,
    // the options are only hidden, and the watchdog and the connection are as they were.
    void escapeIsCancelAndCloseIsUnload()
    {
        TestApp app;
        frmMain& m = app.start();
        m.lblChrono_Click();
        QVERIFY(!m.isEnabled());
        QTest::keyClick(m.options().txtCalibration, Qt::Key_Return); // Enter saves nothing
        QVERIFY(m.options().isVisible());
        QTest::keyClick(m.options().txtCalibration, Qt::Key_Escape);
        QVERIFY(!m.options().isVisible());
        QVERIFY(m.isEnabled());
        QVERIFY(m.session().Timer1->isActive());
        QVERIFY(m.session().MSComm1->PortOpen());
        m.lblChrono_Click();
        m.options().close();
        QVERIFY(!m.options().isVisible());
        QVERIFY(m.isEnabled());
        QVERIFY(m.session().Timer1->isActive());
        QVERIFY(m.session().MSComm1->PortOpen());
    }

    // Opening the options closes the port to look at every other; Cancel (or closing the window)
    // must put capture back as it was, or every later shot is lost without a word.
    void cancelLeavesTheConnectionAsItWas()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        frmMain& m = app.start();
        QVERIFY(m.session().TimerProChrono->isActive());
        QVERIFY(m.session().MSComm1->PortOpen());
        for (bool byCancel : {true, false}) {
            m.mnuSettings->trigger();
            QVERIFY(!m.session().TimerProChrono->isActive());
            QVERIFY(!m.session().MSComm1->PortOpen());
            if (byCancel)
                m.options().btnCancelOpt_Click();
            else
                m.options().close();
            QVERIFY(m.session().MSComm1->PortOpen());
            QCOMPARE(app.serial->openedPath, QStringLiteral("/dev/test1"));
            QCOMPARE(app.serial->openedSettings.baud, 1200); // the ProChrono's line, as before
            QVERIFY(m.session().TimerProChrono->isActive());
            QVERIFY(!m.session().timerCED->isActive());
            QVERIFY(m.session().Timer1->isActive());
            QVERIFY(m.isEnabled());
        }
    }

    // A Chrony shot after Cancel is recorded, as one before the options were opened is.
    void aShotAfterCancelIsRecorded()
    {
        TestApp app;
        frmMain& m = app.start();
        app.serial->feed("1,Vf800.0\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        m.lblChrono_Click();
        m.options().btnCancelOpt_Click();
        app.serial->feed("2,Vf810.0\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("810.00"));
    }

    // Cancelled while the device is away, the wait goes on and the row says so; a device that went
    // away while the options were open is waited for from the Cancel on.
    void cancelKeepsWaitingForAnUnpluggedDevice()
    {
        TestApp app;
        frmMain& m = app.start();
        app.serial->unplug();
        QTRY_VERIFY(m.session().MSComm1->isLost());
        m.lblChrono_Click();
        m.options().chronoType->select(1); // writes the label anew, as any click on the family does
        m.options().btnCancelOpt_Click();
        QVERIFY(m.session().MSComm1->isLost());
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: disconnected, waiting for /dev/test1"));
        app.serial->plugBack();
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 3000);
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: connected again on /dev/test1, capture resumed"));

        m.lblChrono_Click();
        app.serial->existing.remove(QStringLiteral("/dev/test1"));
        m.options().btnCancelOpt_Click();
        QVERIFY(m.session().MSComm1->isLost());
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: disconnected, waiting for /dev/test1"));
        app.serial->existing.insert(QStringLiteral("/dev/test1"));
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 3000);
        app.serial->feed("1,Vf800.0\r\n");
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
    }

    // Saved, the new connection stands: a later Cancel goes back to it, not to the one before.
    void aSavedConnectionIsWhatCancelReturnsTo()
    {
        TestApp app;
        app.existingPorts = {QStringLiteral("/dev/test1"), QStringLiteral("/dev/test3")};
        frmMain& m = app.start();
        m.lblChrono_Click();
        m.options().lstComm->setCurrentIndex(1);
        m.options().btnComm_Click();
        QCOMPARE(app.serial->openedPath, QStringLiteral("/dev/test3"));
        m.lblChrono_Click();
        m.options().lstComm->setCurrentIndex(0);
        m.options().btnCancelOpt_Click();
        QVERIFY(m.session().MSComm1->PortOpen());
        QCOMPARE(app.serial->openedPath, QStringLiteral("/dev/test3"));
    }

    void statusButtonFollowsTheFamily()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp::setSetting(QStringLiteral("txtComm"), 9); // no such port
        TestApp app;
        frmMain& m = app.start();
        QCOMPARE(m.btnDump->text(), QStringLiteral("ProC Status")); // whether or not the port opened
        QVERIFY(m.btnDump->isEnabled());
        QVERIFY(!m.session().TimerProChrono->isActive());
        m.lblChrono_Click();
        m.options().lstComm->setCurrentIndex(0);
        m.options().btnComm_Click();
        QCOMPARE(m.btnDump->text(), QStringLiteral("ProC Status"));
        QCOMPARE(app.serial->openedSettings.baud, 1200);
        QVERIFY(m.session().TimerProChrono->isActive());
        m.lblChrono_Click();
        m.options().chronoType->select(1);
        m.options().btnComm_Click();
        QCOMPARE(m.btnDump->text(), QStringLiteral("Chrony Status"));
        QVERIFY(!m.session().TimerProChrono->isActive());
    }

    void cedIsDisabledWithoutHidSupport()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 3);
        TestApp app;
        frmMain& m = app.start();
        frmOptions& o = m.options();
        QVERIFY(m.session().disableHID);
        QVERIFY(!o.chronoType->operator[](3)->isEnabled());
        QVERIFY(o.chronoType->isSelected(3));
        QVERIFY(!o.lstComm->isEnabledTo(&o));
        QVERIFY(!m.session().timerCED->isActive()); // no HID: no poll
        m.lblChrono_Click();
        o.btnComm_Click();
        QCOMPARE(m.btnDump->text(), QStringLiteral("No Status"));
        QVERIFY(!m.btnDump->isEnabled());
        QVERIFY(m.session().Timer1->isActive());
        QVERIFY(!o.isVisible());
        o.chronoType->select(1);
        QVERIFY(o.lstComm->isEnabledTo(&o));
    }

    void cedSaveConnectsThroughTheHidControl()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 3);
        TestApp app;
        FakeControlHost host;
        app.services.controls = &host;
        frmMain& m = app.start();
        QVERIFY(!m.session().disableHID);
        FakeHidControl& hid = *host.created;
        QCOMPARE(host.createdProgId, QStringLiteral("Devlink.DevPort"));
        QCOMPARE(hid.objectName(), QStringLiteral("DevPort1"));
        QCOMPARE(hid.matchMethod, 19);
        QCOMPARE(hid.matchVid, 1027);
        QCOMPARE(hid.matchPid, 58586);
        QCOMPARE(hid.matchManufacturer, QStringLiteral("Competitive Edge Dynamics"));
        QCOMPARE(hid.timeOut, 200);
        QVERIFY(m.session().timerCED->isActive());
        QCOMPARE(m.btnDump->text(), QStringLiteral("CED Status"));
        QVERIFY(m.session().ced.cedSkipNext);
        QVERIFY(!m.session().MSComm1->PortOpen());

        // A device that is not a CED: disconnected, and the dialog stays open.
        hid.Disconnect();
        hid.productOfDevice = QStringLiteral("Gamepad");
        m.lblChrono_Click();
        m.options().btnComm_Click();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Device selected is not a CED Chronograph."));
        QVERIFY(!hid.connected());
        QVERIFY(m.options().isVisible());

        // No device chosen: no message, the dialog stays open.
        const qsizetype messages = app.prompt.shown.size();
        hid.browsePath.clear();
        m.options().btnComm_Click();
        QCOMPARE(app.prompt.shown.size(), messages);
        QVERIFY(m.options().isVisible());
        QVERIFY(!m.session().timerCED->isActive());

        hid.browsePath = QStringLiteral("/dev/hidraw3");
        hid.productOfDevice = QStringLiteral("CED Chronograph");
        m.options().btnComm_Click();
        QVERIFY(m.session().timerCED->isActive());
        QVERIFY(!m.session().Timer1->isActive());
        QCOMPARE(m.btnDump->text(), QStringLiteral("CED Status"));
        QVERIFY(!m.options().isVisible());
        app.exit();
    }

    void theShutDownReleasesTheHidControl()
    {
        TestApp app;
        FakeControlHost host;
        app.services.controls = &host;
        app.start();
        host.created->ConnectToPath(QStringLiteral("/dev/hidraw1"));
        QPointer<QObject> control(host.created);
        app.exit();
        QCOMPARE(host.calls.mid(host.calls.size() - 2), QStringList({"Disconnect", "Uninit"}));
        QVERIFY(!control); // removed from the window
    }

    void calibrationIsRefusedAndRestored()
    {
        TestApp app;
        frmMain& m = app.start();
        frmOptions& o = m.options();
        o.txtCalibration->setText(QStringLiteral("101.5"));
        o.txtCalibration_GotFocus();
        o.txtCalibration->setText(QStringLiteral("lots"));
        o.txtCalibration_LostFocus();
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Please only enter numbers in calibration value."));
        QCOMPARE(o.txtCalibration->text(), QStringLiteral("101.5"));
        o.txtCalibration->setText(QStringLiteral("99.5"));
        o.txtCalibration_LostFocus();
        QCOMPARE(settings::read(settings::kTxtCalibration), QStringLiteral("99.5"));
        // Another application taking the focus is not leaving the box; Tab to the next control is.
        o.txtCalibration->setText(QStringLiteral("lots"));
        const qsizetype messages = app.prompt.shown.size();
        for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
            QFocusEvent away(QEvent::FocusOut, reason);
            QCoreApplication::sendEvent(o.txtCalibration, &away);
        }
        QCOMPARE(app.prompt.shown.size(), messages);
        QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(o.txtCalibration, &tab);
        QCOMPARE(app.prompt.shown.last().text, QStringLiteral("Please only enter numbers in calibration value."));
    }

    void aCommaCalibrationIsAcceptedInACommaLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TestApp app;
        frmMain& m = app.start();
        m.options().txtCalibration->setText(QStringLiteral("101,5"));
        m.options().txtCalibration_LostFocus();
        QCOMPARE(settings::read(settings::kTxtCalibration), QStringLiteral("101,5"));
        QCOMPARE(app.prompt.texts().filter(QStringLiteral("calibration")).size(), 0);
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "tst_options_dialog.moc"
