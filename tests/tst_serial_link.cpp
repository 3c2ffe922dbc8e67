// The main window when its serial chronograph goes away and comes back, and the memory windows
// closed at every moment of their exchanges.
#include "capture/chrony_memory_exchange.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_chrony_extras.h"
#include "device_windows/frm_options.h"
#include "device_windows/frm_prochrono_extras.h"
#include "drivers/prochrono_link.h"
#include "drivers/prochrono_protocol.h"
#include "drivers/serial_link.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "test_app.h"

#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
QString sent(TestApp& app)
{
    const QString all = QString::fromLatin1(app.serial->written);
    app.serial->written.clear();
    return all;
}

QStringList velocities(frmMain& m)
{
    QStringList all;
    for (int r = 1; r < m.MSFlexGrid1->Rows(); ++r)
        all.append(m.MSFlexGrid1->TextMatrix(r, 4));
    return all;
}

// What the line holds once the exchange's timed steps have run.
#define QTRY_SENT(app, expected)                                                                                   \
    do {                                                                                                           \
        QTRY_COMPARE(QString::fromLatin1((app).serial->written), QString(expected));                              \
        (app).serial->written.clear();                                                                             \
    } while (false)

const QByteArray kQueryReply = "nf Strings, 3\r\nnf Current, 3\r\n}ok!\r\n>";
const QString kChronyError = QStringLiteral(
    "There has been an error communicating with the Chrony.  Please check your COM port settings and try again.");
} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    // Every complete line before the loss is recorded once; the cut-off line is dropped and never
    // joined to the returning device's first line; the row says what is going on.
    void capturePausesAndResumesWithTheDevice()
    {
        TestApp app;
        frmMain& m = app.start();
        QSignalSpy back(m.session().MSComm1, &CommPort::connectionBack);
        const qsizetype messages = app.prompt.shown.size();
        app.serial->feed("1,Vf800.0\r\n2,Vf810.0\r\n3,Vf8");
        app.serial->unplug();
        QTRY_VERIFY(m.session().MSComm1->isLost());
        QCOMPARE(velocities(m), QStringList({QStringLiteral("800.00"), QStringLiteral("810.00")}));
        QVERIFY(m.session().strReceivedAll.isEmpty());
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: disconnected, waiting for /dev/test1"));
        QCOMPARE(app.prompt.shown.size(), messages); // no window was open: nothing to tell in a box
        app.serial->plugBack();
        QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 2000);
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: connected again on /dev/test1, capture resumed"));
        QCOMPARE(app.serial->openedSettings.baud, 4800);
        app.serial->feed("20.0\r\n4,Vf830.0\r\n");
        QCOMPARE(velocities(m),
                 QStringList({QStringLiteral("800.00"), QStringLiteral("810.00"), QStringLiteral("830.00")}));
    }

    // A USB adapter that comes back under another name is found by what it is, and the row names
    // where; a node that is there but refuses to open says why instead of waiting in silence.
    void theDeviceIsFoundAgainOrTheRowSaysWhyNot()
    {
        TestApp app;
        frmMain& m = app.start();
        app.serial->unplug();
        QTRY_VERIFY(m.session().MSComm1->isLost());
        app.serial->existing.insert(QStringLiteral("/dev/test1"));
        app.serial->failing.insert(QStringLiteral("/dev/test1"));
        QTRY_COMPARE_WITH_TIMEOUT(m.lblSelChrono->text(),
                                  QStringLiteral("Chrony: /dev/test1 is there but cannot be opened (permission denied; "
                                                 "add your user to the dialout group and log in again), waiting"),
                                  3000);
        app.serial->failing.clear();
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 3000);
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: connected again on /dev/test1, capture resumed"));

        app.serial->unplug();
        QTRY_VERIFY(m.session().MSComm1->isLost());
        app.serial->movedTo.insert(QStringLiteral("/dev/test1"), QStringLiteral("/dev/test9"));
        app.serial->existing.insert(QStringLiteral("/dev/test9"));
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 3000);
        QCOMPARE(app.serial->openedPath, QStringLiteral("/dev/test9"));
        QCOMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: connected again on /dev/test9, capture resumed"));
        app.serial->feed("1,Vf800.0\r\n");
        QCOMPARE(velocities(m), QStringList({QStringLiteral("800.00")}));
    }

    // A memory window open at the loss closes with its closing steps and says why; the exchange's
    // flag is cleared so live capture works when the device is back.
    void aMemoryWindowClosesWhenTheDeviceGoes()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QVERIFY(m.session().chrony_data);
        QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
        app.serial->unplug();
        QTRY_VERIFY(m.session().MSComm1->isLost());
        QVERIFY(!m.chronyExtras || !m.chronyExtras->isVisible());
        QVERIFY(m.isEnabled());
        QCOMPARE(app.prompt.texts().last(), windowClosedByLossText(QStringLiteral("Chrony Status")));
        // The device may still be in remote mode: what it sends is no shot until it was told "X.END".
        QVERIFY(m.session().chrony_data);
        app.serial->plugBack();
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 2000);
        QTRY_SENT(app, QStringLiteral("X.END"));
        QTRY_COMPARE(m.lblSelChrono->text(), QStringLiteral("Chrony: connected again on /dev/test1, capture resumed"));
        QVERIFY(!m.session().chrony_data);
        app.serial->feed("1,Vf800.0\r\n");
        QCOMPARE(velocities(m), QStringList({QStringLiteral("800.00")}));
    }

    // The ProChrono poll stops while the device is away, and its first reply after the return is
    // a baseline, not a shot.
    void proChronoPollStopsAndStartsAgain()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        frmMain& m = app.start();
        QVERIFY(m.session().TimerProChrono->isActive());
        m.btnDump_Click();
        QVERIFY(m.session().prochrono_data);
        app.serial->unplug();
        QTRY_VERIFY(m.session().MSComm1->isLost());
        QVERIFY(!m.session().TimerProChrono->isActive());
        QVERIFY(!m.session().prochrono_data);
        QCOMPARE(m.session().MSComm1->InputLen(), 1); // live reads, also when the port opens again
        QCOMPARE(app.prompt.texts().last(), windowClosedByLossText(QStringLiteral("ProChrono Remote Functions")));
        sent(app);
        app.serial->plugBack();
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->PortOpen(), 2000);
        QVERIFY(m.session().TimerProChrono->isActive());
        QCOMPARE(sent(app), prochrono::kStatusQuery); // polled at once
        app.serial->feed(":0001050020032C");
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        m.session().strReceivedAll.clear();
        app.serial->feed(":0001060020032C");
        QCOMPARE(m.MSFlexGrid1->Rows(), 2);
        // Two shots fired where no poll saw them: the last is recorded, the row says two were missed.
        m.session().strReceivedAll.clear();
        app.serial->feed(":0001090020032C");
        QCOMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.lblSelChrono->text(), missedShotsText(2));
    }

    // Closed before the device answered the query: capture comes back, and the late answer does
    // not put the device back into memory mode.
    void chronyClosedBeforeTheAnswer()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
        m.chronyExtras->close();
        QTRY_SENT(app, QStringLiteral("X.END"));
        QTRY_VERIFY(!m.session().chrony_data);
        app.serial->feed(kQueryReply);
        QCOMPARE(sent(app), QString()); // no X.CPY after X.END
        app.serial->feed("1,Vf800.0\r\n");
        QCOMPARE(velocities(m), QStringList({QStringLiteral("800.00")}));
    }

    // A send that fails half way through the pointer moves: the window says so, its dump button
    // works again, and closing moves the pointer back from where it really is.
    void aFailedSendLeavesAWindowThatClosesCorrectly()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
        frmChronyExtras* chrony = m.chronyExtras;
        app.serial->feed(kQueryReply);
        sent(app);
        // The line fails after the first of two moves down (string 3 to string 1).
        chrony->lstString->setCurrentIndex(0);
        chrony->lstString_Click();
        QCOMPARE(sent(app), QStringLiteral("X.DEC"));
        app.serial->failWrites = true;
        QTRY_COMPARE(app.prompt.texts().last(), kChronyError);
        QVERIFY(chrony->btnDumpAll->isEnabled());
        QCOMPARE(chrony->exchange().lastString(), QStringLiteral("2"));
        app.serial->failWrites = false;
        chrony->close();
        QTRY_SENT(app, QStringLiteral("X.INCX.END")); // one step back up, not two
    }

    // Closed while the clear question is open: nothing is sent after the closing steps.
    void chronyClosedDuringTheClearQuestion()
    {
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QTRY_SENT(app, QStringLiteral("SYSXX.QRY"));
        frmChronyExtras* chrony = m.chronyExtras;
        app.serial->feed(kQueryReply);
        sent(app);
        app.prompt.onAsk = [&] { chrony->close(); };
        chrony->btnClear_Click();
        QTRY_SENT(app, QStringLiteral("X.END"));
        QTRY_VERIFY(!m.session().chrony_data);
    }

    void proChronoClosedDuringTheDeleteQuestion()
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 4);
        TestApp app;
        frmMain& m = app.start();
        m.btnDump_Click();
        QPointer<frmProChronoExtras> pro = m.proChronoExtras;
        QTRY_COMPARE(QString::fromLatin1(app.serial->written), prochrono::kStatusQuery);
        sent(app);
        app.prompt.setNextAnswer(Prompt::Answer::No);
        app.prompt.onAsk = [&] { pro->close(); };
        pro->btnDeleteString_Click();
        QTRY_COMPARE(m.session().MSComm1->InputLen(), 1);
        QCOMPARE(sent(app), QString());
        QVERIFY(!m.session().prochrono_data);
    }
};

QTEST_MAIN(TestSerialLink)
#include "tst_serial_link.moc"
