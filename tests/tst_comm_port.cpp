#include "drivers/comm_port.h"
#include "drivers/port_map.h"
#include "drivers/qserial_transport.h"
#include "pty_pair.h"
#include "services/app_error.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <ctime>

namespace {
int openError(CommPort& port)
{
    try {
        port.setPortOpen(true);
    } catch (const AppError& e) {
        return e.number();
    }
    return 0;
}
} // namespace

class TestCommPort : public QObject {
    Q_OBJECT
private slots:
    void portNumbersMapToDevicePaths()
    {
        QCOMPARE(defaultDevicePath(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(defaultDevicePath(32), QStringLiteral("/dev/ttyS31"));
        QCOMPARE(defaultDevicePath(33), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(defaultDevicePath(65), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(defaultDevicePath(100), QStringLiteral("/dev/rfcomm3"));
        QCOMPARE(defaultDevicePath(101), QString());
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                    QStringLiteral("Velmora"));
        s.setValue(QStringLiteral("Ports/7"), QStringLiteral("/dev/pts/42"));
        s.sync();
        QCOMPARE(devicePathForPort(7), QStringLiteral("/dev/pts/42"));
        QCOMPARE(devicePathForPort(8), QStringLiteral("/dev/ttyS7"));
    }

    // One receive event per character, each read bounded by InputLen, on a real pseudo-terminal.
    void deliversOneCharacterPerEvent()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return pty.path(); });
        port.setSettings(QStringLiteral("4800,n,8,1"));
        port.setRThreshold(1);
        port.setInputLen(1);
        port.setPortOpen(true);
        QVERIFY(port.PortOpen());
        QStringList fragments;
        connect(&port, &CommPort::OnComm, this, [&] {
            QCOMPARE(port.CommEvent(), CommPort::kEvReceive);
            fragments.append(port.Input());
        });
        pty.write("1,Vf850.2\r\n");
        QTRY_COMPARE(fragments.size(), 11);
        QCOMPARE(fragments.join(QString()), QStringLiteral("1,Vf850.2\r\n"));
        for (const QString& f : fragments)
            QCOMPARE(f.size(), 1);
    }

    // Characters that arrive while the UI thread sleeps in a handler wait and are delivered after.
    void keepsCharactersWhileTheHandlerSleeps()
    {
        PtyPair pty;
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return pty.path(); });
        port.setRThreshold(1);
        port.setInputLen(15);
        port.setPortOpen(true);
        QString received;
        int events = 0;
        bool nested = false;
        connect(&port, &CommPort::OnComm, this, [&] {
            QVERIFY(!nested); // never raised inside a running handler
            nested = true;
            ++events;
            received += port.Input();
            if (events == 1) {
                pty.write("BCDEFGHIJKLMNOPQRS");
                QThread::msleep(200);
            }
            nested = false;
        });
        pty.write("A");
        QTRY_COMPARE(received, QStringLiteral("ABCDEFGHIJKLMNOPQRS"));
        QCOMPARE(events, 3); // "A", then fifteen, then the last three
    }

    void outputSendsTextAsItStands()
    {
        PtyPair pty;
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return pty.path(); });
        port.setSettings(QStringLiteral("1200,n,8,1"));
        port.setPortOpen(true);
        port.setOutput(QStringLiteral(":000000037D"));
        QCOMPARE(pty.read(), QByteArray(":000000037D"));
        pty.write("xyz");
        QTRY_COMPARE(port.InBufferCount(), 3);
        port.setInBufferCount(0);
        QCOMPARE(port.InBufferCount(), 0);
    }

    // A reply already waiting while a handler sends its next command is delivered after that
    // handler returns, not from inside the write.
    void noReceiveEventInsideASendingHandler()
    {
        PtyPair pty;
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return pty.path(); });
        port.setRThreshold(1);
        port.setInputLen(0);
        port.setPortOpen(true);
        bool sending = false;
        bool raisedWhileSending = false;
        QString received;
        connect(&port, &CommPort::OnComm, this, [&] {
            raisedWhileSending = raisedWhileSending || sending;
            received += port.Input();
        });
        pty.write("Strings,3}ok!>");
        QThread::msleep(50); // the reply waits in the line; no event loop has run
        sending = true;
        port.setOutput(QStringLiteral("X.CPY"));
        sending = false;
        QVERIFY(!raisedWhileSending);
        QTRY_COMPARE(received, QStringLiteral("Strings,3}ok!>"));
        QCOMPARE(pty.read(), QByteArray("X.CPY"));
    }

    void openFailuresHaveTheirNumbers()
    {
        QTemporaryDir dir;
        const QString plainFile = dir.filePath(QStringLiteral("not-a-tty"));
        QFile f(plainFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QString path = dir.filePath(QStringLiteral("missing"));
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return path; });
        QCOMPARE(openError(port), int(AppError::PortInvalid));
        QVERIFY(!port.PortOpen());
        path = plainFile; // exists, but is no serial device
        QCOMPARE(openError(port), int(AppError::PortNotOpen));
        QVERIFY(!port.PortOpen());
        QVERIFY_THROWS_EXCEPTION(AppError, port.setSettings(QStringLiteral("fast")));
        QVERIFY_THROWS_EXCEPTION(AppError, port.setCommPort(0));
    }

    void portCannotChangeWhileOpen()
    {
        PtyPair pty;
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return pty.path(); });
        port.setPortOpen(true);
        QVERIFY_THROWS_EXCEPTION(AppError, port.setCommPort(2));
        QCOMPARE(openError(port), int(AppError::PortAlreadyOpen));
        port.setPortOpen(false);
        port.setCommPort(2);
        QCOMPARE(port.commPort(), 2);
    }

    // A hang-up closes the port at once (no armed notifier left to spin), keeps what was read
    // before, and a send afterwards fails with the control's number.
    // A read of our own (a handler draining the port) can take the bytes a pending read
    // notification was raised for; the notification then reads nothing, which Qt reports as a
    // read error. The device is still there: no loss, and what it sends next arrives.
    void aReadThatFindsNothingIsNotALoss()
    {
        PtyPair pty;
        QSerialTransport transport;
        LineSettings settings;
        QVERIFY(LineSettings::parse(QStringLiteral("9600,n,8,1"), settings));
        QCOMPARE(transport.open(pty.path(), settings), SerialTransport::OpenResult::Ok);
        QSignalSpy lost(&transport, &SerialTransport::lost);
        QByteArray taken;
        for (int i = 0; i < 40 && lost.isEmpty(); ++i) {
            pty.write("x");
            QThread::msleep(5);
            QTimer::singleShot(0, &transport, [&] { taken += transport.takeAvailable(); });
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
        }
        QTest::qWait(50);
        QCOMPARE(lost.size(), 0);
        QVERIFY(transport.isOpen());
        pty.write("y");
        QTRY_VERIFY((taken += transport.takeAvailable()).endsWith('y'));
    }

    void aHangUpClosesThePortAtOnce()
    {
        PtyPair pty;
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return pty.path(); });
        port.setRThreshold(1);
        port.setInputLen(1);
        port.setPortOpen(true);
        QString received;
        connect(&port, &CommPort::OnComm, this, [&] { received += port.Input(); });
        QSignalSpy lost(&port, &CommPort::connectionLost);
        pty.write("1,Vf800.0\r\n2,Vf8");
        QTRY_COMPARE(received, QStringLiteral("1,Vf800.0\r\n2,Vf8"));
        pty.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 1500);
        QVERIFY(!port.PortOpen());
        QVERIFY(port.isLost());
        QVERIFY_THROWS_EXCEPTION(AppError, port.setOutput(QStringLiteral("x")));
        // Nothing runs while the device is away: a second of events costs next to no CPU.
        const std::clock_t before = std::clock();
        QTest::qWait(500);
        const double cpu = double(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpu < 0.05, qPrintable(QStringLiteral("%1 s of CPU in 0.5 s").arg(cpu)));
        QCOMPARE(lost.size(), 1);
    }

    // The device behind a link goes away and comes back (as /dev/ttyUSB0 does when an adapter
    // is pulled and plugged in again): the same settings, and the new device's first line is
    // never joined to the old device's cut-off one.
    void aDeviceThatComesBackIsReopened()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
        auto first = std::make_unique<PtyPair>();
        QVERIFY(QFile::link(first->path(), link));
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return link; });
        port.setSettings(QStringLiteral("1200,n,8,1"));
        port.setRThreshold(1);
        port.setInputLen(1);
        port.setPortOpen(true);
        QCOMPARE(port.linkPath(), link);
        QString received;
        connect(&port, &CommPort::OnComm, this, [&] { received += port.Input(); });
        QSignalSpy lost(&port, &CommPort::connectionLost);
        QSignalSpy back(&port, &CommPort::connectionBack);
        first->write("AB");
        QTRY_COMPARE(received, QStringLiteral("AB"));
        first.reset();
        QFile::remove(link);
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 1500);
        QTest::qWait(1200); // a look at the path finds nothing
        QCOMPARE(back.size(), 0);
        PtyPair second;
        QVERIFY(QFile::link(second.path(), link));
        QElapsedTimer returned;
        returned.start();
        QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 2000);
        QVERIFY(returned.elapsed() <= CommPort::kWatchIntervalMs + 500);
        QVERIFY(port.PortOpen());
        QCOMPARE(port.Settings(), QStringLiteral("1200,n,8,1"));
        received.clear();
        second.write("CD");
        QTRY_COMPARE(received, QStringLiteral("CD"));
        port.setOutput(QStringLiteral("x"));
        QCOMPARE(second.read(), QByteArray("x"));
    }

    // An adapter that comes back as ttyUSB1 instead of ttyUSB0 is found through the udev link
    // that names it by identity, and the port is open on the new node.
    void anAdapterBackUnderAnotherNameIsFoundByItsLink()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("by-id")));
        const QString usb0 = dir.filePath(QStringLiteral("ttyUSB0"));
        const QString usb1 = dir.filePath(QStringLiteral("ttyUSB1"));
        const QString byId = dir.filePath(QStringLiteral("by-id/usb-FTDI_FT232R_USB_UART_A10KZ3QX-if00-port0"));
        auto first = std::make_unique<PtyPair>();
        QVERIFY(QFile::link(first->path(), usb0));
        QVERIFY(QFile::link(usb0, byId));
        auto transport = std::make_unique<QSerialTransport>();
        transport->setByIdFolder(dir.filePath(QStringLiteral("by-id")));
        CommPort port(std::move(transport), [&](int) { return usb0; });
        port.setRThreshold(1);
        port.setPortOpen(true);
        QString received;
        connect(&port, &CommPort::OnComm, this, [&] { received += port.Input(); });
        QSignalSpy lost(&port, &CommPort::connectionLost);
        QSignalSpy back(&port, &CommPort::connectionBack);
        first.reset();
        QFile::remove(usb0);
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 2500);
        PtyPair second;
        QVERIFY(QFile::link(second.path(), usb1));
        QVERIFY(QFile::remove(byId));
        QVERIFY(QFile::link(usb1, byId));
        QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 2500);
        QCOMPARE(port.linkPath(), usb1);
        second.write("EF");
        QTRY_COMPARE(received, QStringLiteral("EF"));
    }

    // A link removed while its device still answers is a device gone too; a port closed or
    // moved to another number by the program is not waited for any more.
    void aVanishedNodeIsALossAndAClosedPortIsNotWatched()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyACM0"));
        PtyPair pty;
        QVERIFY(QFile::link(pty.path(), link));
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return link; });
        port.setPortOpen(true);
        QSignalSpy lost(&port, &CommPort::connectionLost);
        QSignalSpy back(&port, &CommPort::connectionBack);
        QFile::remove(link);
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 2500);
        port.setCommPort(2);
        QVERIFY(!port.isLost());
        QVERIFY(QFile::link(pty.path(), link));
        QTest::qWait(1500);
        QCOMPARE(back.size(), 0);
        QVERIFY(!port.PortOpen());
    }
};

QTEST_GUILESS_MAIN(TestCommPort)
#include "tst_comm_port.moc"
