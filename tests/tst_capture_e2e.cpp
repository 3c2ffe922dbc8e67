// The main window fed by the chronograph simulator through a real pseudo-terminal.
#include "drivers/qserial_transport.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/list_text.h"
#include "sim_process.h"
#include "test_app.h"

#include <QLabel>
#include <QLocale>
#include <QTest>
#include <QTimer>

class TestCaptureEndToEnd : public QObject {
    Q_OBJECT

    // A test app whose port 1 is the simulator's device, opened through QSerialPort.
    static void useDevice(TestApp& app, const QString& path)
    {
        app.services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
        app.services.portPath = [path](int n) { return n == 1 ? path : QStringLiteral("/nonexistent/tty%1").arg(n); };
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
    }

    void combroThenChrony()
    {
        {
            SimProcess sim({QStringLiteral("--family"), QStringLiteral("combro")});
            QVERIFY(sim.isRunning());
            TestApp::setSetting(QStringLiteral("chronoType"), 2);
            TestApp app;
            useDevice(app, sim.path());
            frmMain& m = app.start();
            QVERIFY(m.MSComm1->PortOpen());
            QVERIFY(sim.command(QStringLiteral("raw 0980\\r\\n")));
            QTRY_COMPARE(m.MSFlexGrid1->Rows(), 2);
            QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("800.34"));
            QVERIFY(sim.command(QStringLiteral("raw 0980.45\\r\\n")));
            QTRY_COMPARE(m.MSFlexGrid1->Rows(), 3);
            QCOMPARE(m.MSFlexGrid1->TextMatrix(2, 4), QStringLiteral("803.20"));
            QVERIFY(sim.command(QStringLiteral("shot 750")));
            QTRY_COMPARE(m.MSFlexGrid1->Rows(), 4);
            QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 0), QStringLiteral("3"));
        }
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony")});
        TestApp::setSetting(QStringLiteral("chronoType"), 1);
        TestApp::setSetting(QStringLiteral("txtCalibration"), QStringLiteral("102.5"));
        TestApp app;
        useDevice(app, sim.path());
        frmMain& m = app.start();
        QVERIFY(sim.command(QStringLiteral("shot 800")));
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 2);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("820.00"));
        QCOMPARE(m.Label5->text(), QStringLiteral("820.00"));
        QVERIFY(sim.command(QStringLiteral("shot 810")));
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 3);
        QCOMPARE(m.MSFlexGrid2->TextMatrix(1, 3), QStringLiteral("825.13")); // (820 + 830.25) / 2
        const QStringList lines = m.Text1->Text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4); // header, two shots, and the empty text after the last CR LF
        QVERIFY(lines[2].startsWith(QStringLiteral("2\t")));
        QVERIFY(lines[2].contains(QStringLiteral("\t830.25\t")));
    }

    void watchdogAndNonShotLines()
    {
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("combro")});
        TestApp::setSetting(QStringLiteral("chronoType"), 2);
        TestApp app;
        useDevice(app, sim.path());
        frmMain& m = app.start();

        QVERIFY(sim.command(QStringLiteral("raw 09")));
        QTRY_COMPARE(m.strReceivedAll, QStringLiteral("09"));
        QTRY_VERIFY_WITH_TIMEOUT(m.strReceivedAll.isEmpty(), 3000); // a second of silence
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);

        // A line that is not a shot, then a valid line within the second: the buffer holds both.
        QVERIFY(sim.command(QStringLiteral("raw RESET\\r\\n0980\\r\\n")));
        QTRY_COMPARE(m.strReceivedAll, QStringLiteral("RESET0980"));
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m.strReceivedAll.isEmpty(), 3000);
        QVERIFY(sim.command(QStringLiteral("raw 0980\\r\\n")));
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 2);
    }
};

QTEST_MAIN(TestCaptureEndToEnd)
#include "tst_capture_e2e.moc"
