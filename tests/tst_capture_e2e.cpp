// The main window fed by the chronograph simulator through a real pseudo-terminal.
#include "drivers/qserial_transport.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/list_text.h"
#include "pty_pair.h"
#include "services/regional.h"
#include "sim_process.h"
#include "test_app.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <thread>

class TestCaptureEndToEnd : public QObject {
    Q_OBJECT

    // A test app whose port 1 is the simulator's device, opened through QSerialPort.
    static void useDevice(TestApp& app, const QString& path)
    {
        app.services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
        app.services.portPath = [path](int n) { return n == 1 ? path : QStringLiteral("/nonexistent/tty%1").arg(n); };
    }

    // Processes events until `done` holds or `ms` pass; no sleep longer than a millisecond.
    template <typename F> static bool within(int ms, F done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > ms)
                return false;
            QTest::qWait(1);
        }
        return true;
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
            QVERIFY(m.session().MSComm1->PortOpen());
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
        QTRY_COMPARE(m.session().strReceivedAll, QStringLiteral("09"));
        QTRY_VERIFY_WITH_TIMEOUT(m.session().strReceivedAll.isEmpty(), 3000); // a second of silence
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);

        // A line that is not a shot ends at its CR: the valid line after it is decoded alone.
        QVERIFY(sim.command(QStringLiteral("raw RESET\\r\\n0980\\r\\n")));
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 2);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("800.34"));
        QVERIFY(m.session().strReceivedAll.isEmpty());

        // Talk without a CR never grows the partial line past the longest line a device sends.
        QVERIFY(sim.command(QStringLiteral("raw ") + QString(300, u'7')));
        QVERIFY(sim.command(QStringLiteral("raw 0980\\r\\n")));
        QTRY_COMPARE(m.session().strReceivedAll.size() + m.MSFlexGrid1->Rows(), 2);
        QVERIFY(m.session().strReceivedAll.size() <= 256);
    }

    // Talk that never pauses cannot keep the watchdog from dropping the partial line: after a
    // second it goes, and the line after the next CR is decoded on its own.
    void chatterIsDroppedAfterASecond()
    {
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("combro")});
        TestApp::setSetting(QStringLiteral("chronoType"), 2);
        TestApp app;
        useDevice(app, sim.path());
        frmMain& m = app.start();
        QString longest;
        for (int i = 0; i < 15; ++i) {
            QVERIFY(sim.command(QStringLiteral("raw 1")));
            QTRY_VERIFY(m.session().strReceivedAll.endsWith(u'1'));
            if (m.session().strReceivedAll.size() > longest.size())
                longest = m.session().strReceivedAll;
            QTest::qWait(100); // the program's event loop runs between the characters
        }
        QVERIFY2(longest.size() <= 11, qPrintable(longest));
        QVERIFY(m.session().strReceivedAll.size() < 15);
    }

    // USB serial adapters hand lines over in chunks of any size; a shot must never wait for the
    // next chunk (or the watchdog) to be recorded.
    void everyLineIsRecordedWhateverTheChunks()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TestApp app;
        useDevice(app, pty.path());
        frmMain& m = app.start();
        QVERIFY(m.session().MSComm1->PortOpen());
        // Durability is tested elsewhere; here the disk's flushes would only slow the count down.
        app.store.storeDatabase.exec(QStringLiteral("PRAGMA synchronous = OFF"));
        int line = 0;
        for (const auto& [chunk, lines] :
             {std::pair{8, 300}, std::pair{64, 500}, std::pair{4096, 1000}, std::pair{0, 1000}}) {
            QByteArray stream;
            QStringList expected;
            for (int i = 0; i < lines; ++i, ++line) {
                const double v = 600 + line * 0.1;
                stream += QByteArray::number(i + 1) + ",Vf" + QByteArray::number(v, 'f', 1) + "\r\n";
                expected.append(regional::format2(v));
            }
            app.prompt.setNextAnswer(Prompt::Answer::Yes);
            m.btnReset_Click();
            const int size = chunk > 0 ? chunk : int(stream.size());
            for (int offset = 0; offset < stream.size(); offset += size) {
                const QByteArray piece = stream.mid(offset, size);
                const int complete = int(stream.left(offset + piece.size()).count('\r'));
                // From another thread: a pseudo-terminal holds only a few kilobytes until read.
                std::thread writer([&] { pty.write(piece); });
                // No further input until every line whose CR was written is in the table; the
                // allowance per line is for recording it, not for waiting.
                const bool recorded =
                    within(100 + 3 * int(piece.count('\r')), [&] { return m.MSFlexGrid1->Rows() - 1 >= complete; });
                writer.join();
                QVERIFY2(recorded, qPrintable(QStringLiteral("chunks of %1: %2 of %3 lines recorded")
                                                  .arg(size)
                                                  .arg(m.MSFlexGrid1->Rows() - 1)
                                                  .arg(complete)));
            }
            QStringList recorded;
            for (int r = 1; r < m.MSFlexGrid1->Rows(); ++r)
                recorded.append(m.MSFlexGrid1->TextMatrix(r, 4));
            QCOMPARE(recorded, expected); // each once, in order
        }
    }
};

QTEST_MAIN(TestCaptureEndToEnd)
#include "tst_capture_e2e.moc"
