#include "drivers/comm_port.h"
#include "drivers/port_map.h"
#include "drivers/qserial_transport.h"
#include "pty_pair.h"
#include "services/app_error.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"), QStringLiteral("Velmora"));
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

    void aVanishingDeviceDoesNotHang()
    {
        PtyPair pty;
        CommPort port(std::make_unique<QSerialTransport>(), [&](int) { return pty.path(); });
        port.setRThreshold(1);
        port.setPortOpen(true);
        pty.hangUp();
        QTest::qWait(100);
        QCOMPARE(port.Input(), QString());
        try {
            port.setOutput(QStringLiteral("x"));
        } catch (const AppError& e) {
            QCOMPARE(e.number(), int(AppError::PortNotOpen)); // closed once the loss was seen
        }
    }
};

QTEST_GUILESS_MAIN(TestCommPort)
#include "tst_comm_port.moc"
