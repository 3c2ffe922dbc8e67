// The Chrony memory exchange over a real pseudo-terminal, with the window closed and the cable
// pulled at each of its steps, while message boxes are open among them: nothing crashes, the
// device is told "X.END" exactly once (on its return, after a pull), and live capture then
// records each shot once.
#include "capture/chrony_memory_exchange.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_chrony_extras.h"
#include "drivers/qserial_transport.h"
#include "drivers/serial_link.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "pty_pair.h"
#include "test_app.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QLocale>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// A Shooting Chrony on the device side of a pseudo-terminal reached through a link, as
// /dev/ttyUSB0 is: it answers the memory commands, and is pulled and plugged back in.
class ChronyDevice : public QObject {
public:
    explicit ChronyDevice(const QString& link) : m_link(link)
    {
        plugIn();
        connect(&m_poll, &QTimer::timeout, this, &ChronyDevice::poll);
        m_poll.start(5);
    }

    void plugIn()
    {
        m_pty = std::make_unique<PtyPair>();
        QFile::link(m_pty->path(), m_link);
        ++plugs;
    }
    // The adapter goes: its node closes and its path vanishes.
    void pull()
    {
        m_pty.reset();
        QFile::remove(m_link);
        m_pending.clear();
    }
    bool plugged() const { return m_pty != nullptr; }
    void send(const QByteArray& bytes)
    {
        if (m_pty)
            m_pty->write(bytes);
    }
    void reply(const QByteArray& bytes)
    {
        ++repliesSent;
        send(bytes);
    }
    int count(const QString& command) const { return int(commands.count(command)); }

    // Replies are sent at once, after lateMs, or not at all.
    bool silent = false;
    int lateMs = 0;
    QByteArray download = "1,Vf800.0\r\n2,Vf810.0\r\n3,Vf820.0\r\n4,Vf830.0\r\n";
    // After this many lines of a download the cable is pulled (none: the whole download).
    int pullAfterLines = -1;
    // "X.CPY" downloads the string too, as "X.GRM" does.
    bool answersCopy = false;
    QStringList commands;
    int plugs = 0;
    int repliesSent = 0;

private:
    void poll()
    {
        if (!m_pty)
            return;
        m_pending += m_pty->read(0);
        static const QList<QByteArray> known{"SYSX",  "X.QRY", "X.INC", "X.DEC",
                                             "X.CPY", "X.GRM", "X.GEE", "X.END"};
        while (!m_pending.isEmpty()) {
            auto it = std::find_if(known.begin(), known.end(), [&](const QByteArray& k) { return m_pending.startsWith(k); });
            if (it == known.end()) {
                if (m_pending.size() < 5)
                    return;
                m_pending.remove(0, 1);
                continue;
            }
            m_pending.remove(0, it->size());
            commands.append(QString::fromLatin1(*it));
            answer(*it);
        }
    }

    void answer(const QByteArray& command)
    {
        QByteArray reply;
        if (command == "SYSX")
            reply = "SYSX\r\n>";
        else if (command == "X.QRY")
            reply = "nf Strings, 3\r\nnf Current, 3\r\n}ok!\r\n>";
        else if (command == "X.GEE")
            reply = "}ok!\r\n>";
        else if (command == "X.GRM" || (command == "X.CPY" && answersCopy))
            return sendDownload();
        if (reply.isEmpty() || silent)
            return;
        if (lateMs > 0)
            QTimer::singleShot(lateMs, this, [this, reply] { this->reply(reply); });
        else
            this->reply(reply);
    }

    void sendDownload()
    {
        if (pullAfterLines < 0) {
            send(download);
            return;
        }
        const QList<QByteArray> lines = download.split('\n');
        for (int i = 0; i < pullAfterLines; ++i)
            send(lines[i] + '\n');
        // Pulled once the program has the lines, as a cable pulled mid-download.
        QTimer::singleShot(100, this, [this] { pull(); });
    }

    QString m_link;
    std::unique_ptr<PtyPair> m_pty;
    QByteArray m_pending;
    QTimer m_poll;
};

enum class Step { Opening, Querying, Ready, Moving, ClearQuestion, Clearing, ClearedMessage, Ending };
enum class Event { Close, Pull };

struct Fixture {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("ttyUSB0"));
    ChronyDevice device{link};
    TestApp app;
    frmMain* m = nullptr;

    Fixture()
    {
        app.services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
        app.services.portPath = [this](int n) { return n == 1 ? link : QStringLiteral("/nonexistent/tty%1").arg(n); };
        // The exchange's waits at a tenth of their length: the same order, a shorter test.
        app.steps.percent = 10;
        m = &app.start();
    }

    int rows() const { return m->MSFlexGrid1->Rows() - 1; }
    frmChronyExtras* window() const { return m->chronyExtras; }
};

} // namespace

class TestChronyExchange : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
    }

    void eachStepClosedOrPulled_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<Event>("event");
        const std::pair<const char*, Step> steps[] = {
            {"opening", Step::Opening},   {"querying", Step::Querying},
            {"ready", Step::Ready},       {"moving the pointer", Step::Moving},
            {"clear question", Step::ClearQuestion}, {"clearing", Step::Clearing},
            {"all cleared message", Step::ClearedMessage}, {"closing steps", Step::Ending}};
        for (const auto& [name, step] : steps) {
            if (step != Step::Ending)
                QTest::addRow("%s, window closed", name) << step << Event::Close;
            QTest::addRow("%s, cable pulled", name) << step << Event::Pull;
        }
    }

    void eachStepClosedOrPulled()
    {
        QFETCH(Step, step);
        QFETCH(Event, event);
        Fixture f;
        ChronyDevice& device = f.device;
        QTRY_VERIFY(f.m->session().MSComm1->PortOpen());
        auto act = [&] {
            if (event == Event::Close)
                f.window()->close();
            else
                device.pull();
        };
        // A box open at the step stays open until the loss has been handled inside it.
        auto actInsideTheBox = [&] {
            f.app.prompt.onAsk = act;
            if (event == Event::Pull)
                f.app.prompt.answerWhen = [&] { return f.m->session().MSComm1->isLost(); };
        };

        device.answersCopy = true;
        if (step == Step::Querying)
            device.silent = true;
        if (step == Step::Opening)
            f.app.steps.percent = 100; // the whole 1500 ms, to act inside it
        f.m->btnDump_Click();
        QVERIFY(f.window());
        if (step == Step::Opening) {
            QTRY_COMPARE(device.count(QStringLiteral("SYSX")), 1);
            act();
        } else {
            QTRY_COMPARE(device.count(QStringLiteral("X.QRY")), 1);
            if (step == Step::Querying) {
                act();
            } else {
                QTRY_COMPARE(device.count(QStringLiteral("X.CPY")), 1);
                f.app.steps.percent = 100;
                if (step == Step::Ready) {
                    act();
                } else if (step == Step::Moving) {
                    f.window()->lstString->setCurrentIndex(0);
                    f.window()->lstString_Click();
                    QTRY_VERIFY(device.count(QStringLiteral("X.DEC")) >= 1);
                    act();
                } else if (step == Step::ClearQuestion) {
                    actInsideTheBox();
                    f.app.prompt.setNextAnswer(Prompt::Answer::Yes);
                    f.window()->btnClear->click();
                    QTRY_VERIFY(f.app.prompt.shown.size() >= 1);
                } else if (step == Step::Clearing || step == Step::ClearedMessage) {
                    device.silent = step == Step::Clearing;
                    if (step == Step::ClearedMessage)
                        f.app.prompt.onAsk = actInsideTheBox; // the next box, after the question
                    f.window()->btnClear->click();
                    QTRY_COMPARE(device.count(QStringLiteral("X.GEE")), 1);
                    if (step == Step::Clearing)
                        act();
                    else
                        QTRY_VERIFY(f.app.prompt.texts().contains(QStringLiteral("All Shots now cleared.")));
                } else if (step == Step::Ending) {
                    f.window()->lstString->setCurrentIndex(0);
                    f.window()->lstString_Click();
                    QTRY_COMPARE(device.count(QStringLiteral("X.CPY")), 2);
                    f.window()->close();
                    QTRY_VERIFY(device.count(QStringLiteral("X.INC")) >= 1);
                    act();
                }
            }
        }

        QTRY_VERIFY(!f.window());
        device.silent = false;
        if (event == Event::Pull) {
            QTRY_VERIFY_WITH_TIMEOUT(f.m->session().MSComm1->isLost(), 3000);
            QVERIFY(f.m->isEnabled());
            device.plugIn();
            QTRY_VERIFY_WITH_TIMEOUT(f.m->lblSelChrono->text().endsWith(QStringLiteral("capture resumed")), 4000);
        }
        // Remote mode ended once, live capture back.
        QTRY_COMPARE(device.count(QStringLiteral("X.END")), 1);
        QTRY_VERIFY(f.m->isEnabled());
        QTRY_VERIFY(!f.m->session().chrony_data);
        // No query or clear went out after the window was gone.
        QCOMPARE(device.commands.mid(device.commands.lastIndexOf(QStringLiteral("X.END")) + 1), QStringList());
        QVERIFY(!f.app.prompt.texts().contains(QStringLiteral("All Shots now cleared.")) ||
                step == Step::ClearedMessage);
        // A download that ended, and a memory cleared since, are not reported as cut.
        if (step == Step::ClearQuestion || step == Step::Clearing || step == Step::ClearedMessage)
            QVERIFY2(!f.app.prompt.texts().join(u'|').contains(QStringLiteral("was cut")),
                     qPrintable(f.app.prompt.texts().join(u'|')));
        const int before = f.rows();
        device.send("5,Vf801.5\r\n");
        QTRY_COMPARE(f.rows(), before + 1);
        QCOMPARE(f.m->MSFlexGrid1->TextMatrix(f.rows(), 4), QStringLiteral("801.50"));
        // A second Chrony Status works from the start.
        f.app.steps.percent = 10;
        f.m->btnDump_Click();
        // (A window closed while "SYSX" was answered never sent its query.)
        QTRY_COMPARE(device.count(QStringLiteral("X.QRY")), step == Step::Opening ? 1 : 2);
        QTRY_VERIFY(f.window() && f.window()->txtStoredStrings->text() == QStringLiteral("3"));
        f.window()->close();
        QTRY_COMPARE(device.count(QStringLiteral("X.END")), 2);
    }

    // A device that answers nothing, or answers after the window has gone: the window still
    // closes at once, and the late answer starts nothing.
    void aSilentOrLateDeviceCannotHoldTheWindow()
    {
        for (int late : {0, 600}) {
            Fixture f;
            QTRY_VERIFY(f.m->session().MSComm1->PortOpen());
            f.device.silent = late == 0;
            f.device.lateMs = late;
            f.m->btnDump_Click();
            QTRY_COMPARE(f.device.count(QStringLiteral("X.QRY")), 1);
            f.window()->close();
            QTRY_VERIFY(!f.window());
            QTRY_COMPARE(f.device.count(QStringLiteral("X.END")), 1);
            QTRY_VERIFY(f.m->isEnabled());
            // A shot after the late answer: once it is recorded, the answer was read before it.
            QTRY_COMPARE(f.device.repliesSent, late == 0 ? 0 : 2);
            f.device.send("1,Vf800.0\r\n");
            QTRY_COMPARE(f.rows(), 1);
            QCOMPARE(f.device.count(QStringLiteral("X.CPY")), 0);
            QVERIFY(!f.m->session().chrony_data);
        }
    }

    // A download cut by a pull says how many shots were recorded; downloading the same string
    // again records only the rest.
    void aCutDownloadIsCountedAndNotRecordedTwice()
    {
        Fixture f;
        QTRY_VERIFY(f.m->session().MSComm1->PortOpen());
        f.m->btnDump_Click();
        QTRY_COMPARE(f.device.count(QStringLiteral("X.CPY")), 1);
        f.device.pullAfterLines = 2;
        f.window()->btnDumpAll_Click();
        QTRY_VERIFY_WITH_TIMEOUT(f.m->session().MSComm1->isLost(), 3000);
        QCOMPARE(f.rows(), 2);
        const QString note = ChronyMemoryExchange::cutDownloadText(3, 2);
        QVERIFY(note.contains(QStringLiteral("2 shots of it were recorded, and the rest are still in the Chrony")));
        QTRY_VERIFY(f.app.prompt.texts().contains(windowClosedByLossText(QStringLiteral("Chrony Status")) +
                                                   QStringLiteral("\r\n\r\n") + note));
        f.device.pullAfterLines = -1;
        f.device.plugIn();
        QTRY_COMPARE_WITH_TIMEOUT(f.device.count(QStringLiteral("X.END")), 1, 4000);
        QTRY_VERIFY(!f.m->session().chrony_data);
        f.m->btnDump_Click();
        QTRY_COMPARE(f.device.count(QStringLiteral("X.CPY")), 2);
        f.window()->btnDumpAll_Click();
        QTRY_COMPARE(f.rows(), 4);
        QStringList speeds;
        for (int r = 1; r <= f.rows(); ++r)
            speeds.append(f.m->MSFlexGrid1->TextMatrix(r, 4));
        QCOMPARE(speeds, QStringList({QStringLiteral("800.00"), QStringLiteral("810.00"), QStringLiteral("820.00"),
                                      QStringLiteral("830.00")}));
        // Once the repeated shots are skipped, a third download is a download like any other.
        f.window()->btnDumpAll_Click();
        QTRY_COMPARE(f.rows(), 8);
        f.window()->close();
        QTRY_COMPARE(f.device.count(QStringLiteral("X.END")), 2);
    }
};

QTEST_MAIN(TestChronyExchange)
#include "tst_chrony_exchange.moc"
