// Trials of chronographs that come and go, through real pseudo-terminals behind a link that
// vanishes and comes back (as /dev/ttyUSB0 does when an adapter is pulled): for each serial
// family the cable is pulled in the middle of a string and of a line, stays out a few seconds
// and goes back in; then devices that stay silent, chatter or send garbage. Each trial checks
// that the program runs on, spends no CPU while the device is away, has recorded every complete
// line once (the shot cache is the witness), and captures again within 2 s of the return.
#include "drivers/comm_port.h"
#include "device_windows/frm_chrony_extras.h"
#include "drivers/qserial_transport.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "sim_process.h"
#include "test_app.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QStringList cachedVelocities()
{
    QStringList all;
    for (const QStringList& row : TestApp::cacheRows())
        all.append(row[3]);
    return all;
}

QStringList tableVelocities(frmMain& m)
{
    QStringList all;
    for (int r = 1; r < m.MSFlexGrid1->Rows(); ++r)
        all.append(m.MSFlexGrid1->TextMatrix(r, 4));
    return all;
}

struct Family {
    const char* name;
    int chronoType;
};

} // namespace

class TestUnplugTrials : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString link() const { return m_dir.filePath(QStringLiteral("ttyUSB0")); }

    void useLink(TestApp& app)
    {
        app.services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
        const QString path = link();
        app.services.portPath = [path](int n) { return n == 1 ? path : QStringLiteral("/nonexistent/tty%1").arg(n); };
    }

    // A live shot as the family delivers it: a line for the Chrony and the Combro; for the
    // ProChrono a new status, found by the poll.
    static void shoot(SimProcess& sim, double fps) { QVERIFY(sim.command(QStringLiteral("shot %1").arg(fps))); }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
        TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
    }

    void pullTheCable_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("chronoType");
        QTest::addColumn<QString>("cutLine");
        QTest::newRow("chrony") << QStringLiteral("chrony") << 1 << QStringLiteral("4,Vf8");
        QTest::newRow("combro") << QStringLiteral("combro") << 2 << QStringLiteral("09");
        QTest::newRow("prochrono") << QStringLiteral("prochrono") << 4 << QStringLiteral(":0001");
    }

    void pullTheCable()
    {
        QFETCH(QString, family);
        QFETCH(int, chronoType);
        QFETCH(QString, cutLine);
        SimProcess sim({QStringLiteral("--family"), family, QStringLiteral("--link"), link()});
        QVERIFY(sim.isRunning());
        TestApp::setSetting(QStringLiteral("chronoType"), chronoType);
        TestApp app;
        useLink(app);
        frmMain& m = app.start();
        QVERIFY(m.session().MSComm1->PortOpen());
        const bool polled = chronoType == 4;
        if (polled) { // the first status with a shot is the baseline, not a shot
            shoot(sim, 790);
            QTRY_VERIFY_WITH_TIMEOUT(!m.session().proChrono.firstProChronoReply, 3000);
        }

        // In the middle of a string: three shots recorded, then the cable goes in the middle of a line.
        const QList<double> before{800, 810, 820};
        for (double fps : before) {
            const int rows = m.MSFlexGrid1->Rows();
            shoot(sim, fps);
            QTRY_COMPARE_WITH_TIMEOUT(m.MSFlexGrid1->Rows(), rows + 1, 3000);
        }
        const QStringList recorded = tableVelocities(m);
        QVERIFY(sim.command(QStringLiteral("raw ") + cutLine));
        QTRY_VERIFY(polled || !m.session().strReceivedAll.isEmpty());
        QVERIFY(sim.command(QStringLiteral("unplug")));
        QTRY_VERIFY_WITH_TIMEOUT(m.session().MSComm1->isLost(), 2000);
        QVERIFY(m.lblSelChrono->text().contains(QStringLiteral(": disconnected, waiting for ") + link()));

        // Away for three seconds: nothing spins.
        const double cpu0 = cpuSeconds();
        QElapsedTimer away;
        away.start();
        QTest::qWait(3000);
        const double cpuShare = (cpuSeconds() - cpu0) / (away.nsecsElapsed() / 1e9);
        QVERIFY2(cpuShare < 0.05, qPrintable(QStringLiteral("%1 % of a core while unplugged").arg(cpuShare * 100)));
        QCOMPARE(tableVelocities(m), recorded);
        QCOMPARE(cachedVelocities().size(), 3); // each complete line once, the cut one not at all
        QVERIFY(m.isEnabled());

        // Back in: capture resumes by itself within two seconds.
        QSignalSpy back(m.session().MSComm1, &CommPort::connectionBack);
        QElapsedTimer returned;
        QVERIFY(sim.command(QStringLiteral("plug")));
        returned.start();
        QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 2000);
        if (polled) // the status polled at the return is in: the device is the same, no shot
            QTRY_COMPARE_WITH_TIMEOUT(m.session().strReceivedAll.size(), 15, 2000);
        shoot(sim, 830);
        QTRY_COMPARE_WITH_TIMEOUT(m.MSFlexGrid1->Rows(), 5, 2000);
        const qint64 firstShot = returned.elapsed();
        QCOMPARE(tableVelocities(m).mid(0, 3), recorded);
        QCOMPARE(cachedVelocities().size(), 4);
        QVERIFY(m.lblSelChrono->text().endsWith(QStringLiteral("capture resumed")));
        std::printf("%s: %.1f %% of a core while unplugged; device back to first recorded shot %lld ms\n",
                    qPrintable(family), cpuShare * 100, static_cast<long long>(firstShot));
        QVERIFY2(firstShot < (polled ? 3000 : 2000), qPrintable(QString::number(firstShot)));
        app.exit();
    }

    // A Chrony that never answers the memory window's first command: the window closes anyway and
    // live capture is back at once.
    void aSilentChronyDoesNotTrapTheUser()
    {
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony"), QStringLiteral("--link"), link()});
        TestApp app;
        useLink(app);
        frmMain& m = app.start();
        QVERIFY(sim.command(QStringLiteral("mute on")));
        m.btnDump_Click();
        QVERIFY(m.session().chrony_data);
        QTest::qWait(300);
        m.chronyExtras->close();
        // Back after "X.END", a tenth of a second later, whether or not the device answers.
        QTRY_VERIFY_WITH_TIMEOUT(m.isEnabled(), 1000);
        QVERIFY(!m.session().chrony_data);
        QVERIFY(sim.command(QStringLiteral("mute off")));
        shoot(sim, 800);
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 2);
        QCOMPARE(cachedVelocities(), QStringList{QStringLiteral("800.000")});
    }

    // Talk without CR, without LF, and bytes at the wrong baud rate: the partial line stays
    // bounded all along, and the next proper line is recorded.
    void chatterAndGarbage_data()
    {
        QTest::addColumn<QByteArray>("noise");
        QTest::newRow("no CR") << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E\n").repeated(60);
        QTest::newRow("no LF") << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E\r").repeated(60);
        QByteArray garbage;
        for (int i = 0; i < 2000; ++i)
            garbage += char((i * 97 + 13) % 256 == 13 ? 0xFF : (i * 97 + 13) % 256);
        QTest::newRow("wrong baud") << garbage;
    }

    void chatterAndGarbage()
    {
        QFETCH(QByteArray, noise);
        SimProcess sim({QStringLiteral("--family"), QStringLiteral("chrony"), QStringLiteral("--link"), link()});
        TestApp app;
        useLink(app);
        frmMain& m = app.start();
        qsizetype longest = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] { longest = std::max(longest, m.session().strReceivedAll.size()); });
        watch.start(1);
        QString escaped;
        for (unsigned char c : noise)
            escaped += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        // Chatter for three seconds, a burst every 100 ms (the bound is per second, so three
        // seconds prove it as well as thirty).
        QElapsedTimer chatter;
        chatter.start();
        for (int offset = 0; chatter.elapsed() < 3000; offset = (offset + 160) % int(escaped.size())) {
            QVERIFY(sim.command(QStringLiteral("raw ") + escaped.mid(offset, 160)));
            QTest::qWait(100);
        }
        QVERIFY2(longest <= 256, qPrintable(QString::number(longest)));
        QCOMPARE(m.MSFlexGrid1->Rows(), 1);
        QVERIFY(sim.command(QStringLiteral("raw \\r\\n")));
        shoot(sim, 812.5);
        QTRY_COMPARE(m.MSFlexGrid1->Rows(), 2);
        QCOMPARE(m.MSFlexGrid1->TextMatrix(1, 4), QStringLiteral("812.50"));
        QVERIFY(m.isEnabled());
    }
};

QTEST_MAIN(TestUnplugTrials)
#include "tst_unplug_trials.moc"
