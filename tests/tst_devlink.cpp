// Devlink's control, property page and about box, on the simulated CED M2.
#include "devcore_api.h"
#include "devport.h"
#include "drivers/library_control_host.h"
#include "frm_about.h"
#include "match_criteria.h"
#include "message.h"
#include "services/app_error.h"
#include "sim_ced.h"
#include "test_app.h"

#include <QAccessible>
#include <QCheckBox>
#include <QTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <climits>
#include <devlink_host.h>
#include <functional>

extern "C" int DllRegisterServer();
extern "C" int DllUnregisterServer();
extern "C" int DllGetClassObject(const char*, const DevlinkClassFactory**);
extern "C" int DllCanUnloadNow();

namespace {

class TestSite : public DevlinkSite {
public:
    bool userMode() const override { return runMode; }
    void propertyChanged(const QString& name) override { changes.append(name); }
    void message(const QString& text, const QString& title) override { messages.append(title + u':' + text); }
    bool runMode = true;
    QStringList changes;
    QStringList messages;
};

const DevcoreApi& devcore()
{
    return *DevcoreApi::get();
}

const QString kVidMessage = QStringLiteral("Error:Invalid Number! Number must be between 0 and 65335.");

} // namespace

class TestDevlink : public QObject {
    Q_OBJECT
    SimulatedCed* m_sim = nullptr;
    QStringList m_libraryMessages;

private slots:
    void initTestCase()
    {
        QVERIFY2(DevcoreApi::get(), "libdevcore.so (simulated) must be on the library search path");
        m_sim = new SimulatedCed;
        QVERIFY(m_sim->loaded());
        devlink::setMessageHandler(
            [this](const QString& text, const QString& title) { m_libraryMessages.append(title + u':' + text); });
    }
    void cleanupTestCase() { delete m_sim; }
    void init()
    {
        m_sim->reset();
        m_libraryMessages.clear();
    }

    void rangeChecksAndTheirMessages()
    {
        TestSite site;
        DevPort port(nullptr, &site);
        port.setMatchVID(65535);
        QCOMPARE(port.MatchVID(), 65535);
        port.setMatchVID(65536);
        port.setMatchVID(-1);
        QCOMPARE(port.MatchVID(), 65535);
        QCOMPARE(site.messages, QStringList({kVidMessage, kVidMessage}));
        QCOMPARE(site.changes, QStringList({"MatchVID"})); // refusals tell the container nothing
        port.setMatchPID(70000);
        port.setMatchVersion(-5);
        QCOMPARE(site.messages.size(), 4);
        port.setMatchMethod(63);
        QCOMPARE(port.MatchMethod(), 63);
        port.setMatchMethod(64);
        port.setMatchMethod(-1);
        QCOMPARE(port.MatchMethod(), 63);
        QCOMPARE(site.messages.last(), QStringLiteral("Error:Invalid Number! Number must be between 0 and 63."));
        port.setReportID(128);
        QCOMPARE(port.ReportID(), 128);
        port.setReportID(129);
        QCOMPARE(port.ReportID(), 128);
        QCOMPARE(site.messages.last(), QStringLiteral("Error:Invalid Number! Number must be between 0 and 128"));
        port.setTimeOut(-7); // not checked
        QCOMPARE(port.TimeOut(), -7);
        port.Uninit();
    }

    void designTimeUsesOnlyTheCache()
    {
        TestSite site;
        site.runMode = false;
        DevPort port(nullptr, &site);
        port.setMatchVID(1027);
        QCOMPARE(port.MatchVID(), 1027);
        QCOMPARE(devcore().GetMatchVid(port.handle()), 0); // Devcore never heard of it
        QCOMPARE(site.changes, QStringList({"MatchVID"}));
        port.setMatchProduct(QStringLiteral("CED"));
        QCOMPARE(port.MatchProduct(), QStringLiteral("CED"));
        QVERIFY(!port.Connected());
        QVERIFY(port.ReadFrom(8).isEmpty());
        QVERIFY(port.GetFeature(4).isEmpty());
        QVERIFY(!port.SetFeature(QByteArray("\x01", 1), 1));
        site.runMode = true;
        port.setMatchVID(1028);
        QCOMPARE(devcore().GetMatchVid(port.handle()), 1028);
        port.Uninit();
    }

    void runModeTextsAndBuffers()
    {
        DevPort port;
        port.setMatchManufacturer(QStringLiteral("X"));
        const QString text = port.MatchManufacturer();
        QCOMPARE(text.size(), 255);
        QVERIFY(text.startsWith(QStringLiteral("X") + QChar(0)));
        QCOMPARE(port.Browse().size(), 255);
        QCOMPARE(port.ReadFrom(8).size(), 9);
        QVERIFY(port.GetFeature(4).isEmpty()); // not connected: Devcore reports failure
        QCOMPARE(port.Product().size(), 255);
        QCOMPARE(port.VID(), 0); // nothing connected
        port.Uninit();
    }

    // Sizes and arrays a report cannot have fail as the member's failure, before Devcore is
    // called, and reach a host calling by name; the control works on.
    void impossibleBuffersFail()
    {
        DevPort port;
        const auto fails = [](int number, const std::function<void()>& member) {
            try {
                member();
            } catch (const DevlinkError& e) {
                return e.number() == number;
            }
            return false;
        };
        int size = -1;
        QVERIFY(fails(DevlinkError::SubscriptOutOfRange, [&] { port.ReadFrom(&size); }));
        QCOMPARE(size, -1);
        size = INT_MAX;
        QVERIFY(fails(DevlinkError::Overflow, [&] { port.ReadFrom(&size); }));
        QCOMPARE(size, INT_MAX);
        QVERIFY(fails(DevlinkError::SubscriptOutOfRange, [&] { port.GetFeature(-5); }));
        QVERIFY(fails(DevlinkError::Overflow, [&] { port.GetFeature(INT_MAX); }));
        const int written = m_sim->requests();
        QVERIFY(fails(DevlinkError::SubscriptOutOfRange, [&] { port.WriteTo(QByteArray(), 6); }));
        QVERIFY(fails(DevlinkError::SubscriptOutOfRange, [&] { port.SetFeature(QByteArray(), 1); }));
        QCOMPARE(m_sim->requests(), written);
        QVERIFY(fails(DevlinkError::SubscriptOutOfRange, [&] {
            QByteArray bytes;
            QMetaObject::invokeMethod(&port, "ReadFrom", Qt::DirectConnection, Q_RETURN_ARG(QByteArray, bytes),
                                      Q_ARG(int, -1));
        }));
        QCOMPARE(port.ReadFrom(8).size(), 9);
        port.Uninit();

        TestSite site;
        site.runMode = false; // at design time nothing is read or written: no failure
        DevPort design(nullptr, &site);
        QVERIFY(design.ReadFrom(-1).isEmpty());
        design.WriteTo(QByteArray(), 1);
        QVERIFY(!design.SetFeature(QByteArray(), 1));
        design.Uninit();
    }

    // The CED M2's product ID 58586: whole in MatchPID, as the program sets it; an overflow of
    // the 16-bit PID of the connected device, as a failure a host sees.
    void idsAbove32767()
    {
        m_sim->scenario("string 801.5\n");
        TestSite site;
        DevPort port(nullptr, &site);
        QObject* control = &port;
        QVERIFY(control->setProperty("MatchPID", 58586));
        QCOMPARE(control->property("MatchPID"), QVariant(58586));
        QCOMPARE(devcore().GetMatchPid(port.handle()), 58586);
        QVERIFY(control->setProperty("MatchVID", 65535));
        QCOMPARE(control->property("MatchVID"), QVariant(65535));
        QCOMPARE(port.WriteProperties().value(QStringLiteral("MatchPID")), QVariant(58586));
        MatchCriteria page;
        page.setSelectedControls({control});
        QCOMPARE(page.txtMatchPID->text(), QStringLiteral("58586"));
        page.ApplyChanges();
        QCOMPARE(port.MatchPID(), 58586);

        QCOMPARE(port.ConnectToPath(QStringLiteral("/sim/ced-m2")), 0);
        QCOMPARE(port.VID(), 1027);
        try {
            control->property("PID");
            QFAIL("the PID of the CED M2 does not fit 16 signed bits");
        } catch (const DevlinkError& e) {
            QCOMPARE(e.number(), int(DevlinkError::Overflow));
        }
        QVERIFY(port.Connected()); // nothing else changes
        port.Disconnect();
        port.Uninit();
    }

    void defaultsAreNotPersisted()
    {
        TestSite site;
        site.runMode = false;
        DevPort port(nullptr, &site);
        QVERIFY(port.WriteProperties().isEmpty());
        port.setMatchVID(1027);
        port.setMatchMethod(19);
        port.setMatchProduct(QStringLiteral("CED Chronograph"));
        const QVariantMap bag = port.WriteProperties();
        QCOMPARE(bag.keys(), QStringList({"MatchMethod", "MatchProduct", "MatchVID"}));
        DevPort loaded(nullptr, &site);
        loaded.ReadProperties(bag);
        QCOMPARE(loaded.MatchVID(), 1027);
        QCOMPARE(loaded.MatchPID(), 0);
        QCOMPARE(loaded.MatchSerial(), QString());
        loaded.ReadProperties({});
        QCOMPARE(loaded.MatchMethod(), 0);
        loaded.Uninit();
    }

    void theNewestControlReceivesTheNotifications()
    {
        auto* first = new DevPort;
        first->ReadProperties({}); // registers Devcore's notifications for its handle
        QSignalSpy firstFailures(first, &DevPort::ConnectFailure);
        first->ConnectToPath(QStringLiteral("/nowhere"));
        QCOMPARE(firstFailures.size(), 1);
        auto* second = new DevPort;
        QSignalSpy secondFailures(second, &DevPort::ConnectFailure);
        first->ConnectToPath(QStringLiteral("/nowhere"));
        QCOMPARE(firstFailures.size(), 1);
        QCOMPARE(secondFailures.size(), 1); // the second took the current-control reference over
        second->Uninit();
        first->ConnectToPath(QStringLiteral("/nowhere")); // no current control: dropped
        QCOMPARE(secondFailures.size(), 1);
        delete first;
        delete second;
    }

    void aControlNeverUninitedIsNeverTerminated()
    {
        const int before = DevPort::liveControls();
        auto* port = new DevPort;
        const int32_t handle = port->handle();
        port->setTimeOut(250);
        delete port; // still the current control
        QCOMPARE(DevPort::liveControls(), before + 1);
        QCOMPARE(devcore().GetTimeOut(handle), 250); // Devcore's slot is still in use
        QCOMPARE(DllCanUnloadNow(), 1);
        DevPort other;
        other.Uninit(); // clears the reference: the first control terminates at last
        QCOMPARE(devcore().GetTimeOut(handle), 0);
    }

    void registrationAndTheClassObject()
    {
        QCOMPARE(DllRegisterServer(), 0);
        QSettings registry(LibraryControlHost::registryFile(), QSettings::IniFormat);
        QVERIFY(registry.value(QStringLiteral("Devlink.DevPort/library"))
                    .toString()
                    .endsWith(QStringLiteral("libdevlink.so")));
        QVERIFY(!LibraryControlHost::registeredLibrary(QStringLiteral("Devlink.DevPort")).isEmpty());
        const DevlinkClassFactory* factory = nullptr;
        QCOMPARE(DllGetClassObject("Devlink.Other", &factory), -1);
        QCOMPARE(DllGetClassObject("Devlink.DevPort", &factory), 0);
        QObject* control = factory->createInstance(nullptr, nullptr);
        QVERIFY(qobject_cast<DevPort*>(control));
        QCOMPARE(DllCanUnloadNow(), 1);
        QMetaObject::invokeMethod(control, "Uninit");
        delete control;
        QCOMPARE(DllCanUnloadNow(), 0);
        // The property page, registered beside the control.
        QCOMPARE(registry.value(QStringLiteral("Devlink.MatchCriteria/library")).toString(),
                 registry.value(QStringLiteral("Devlink.DevPort/library")).toString());
        QCOMPARE(DllGetClassObject("Devlink.MatchCriteria", &factory), 0);
        QWidget form;
        QObject* page = factory->createInstance(&form, nullptr);
        QVERIFY(qobject_cast<MatchCriteria*>(page));
        QCOMPARE(page->parent(), &form);
        QCOMPARE(DllCanUnloadNow(), 1);
        delete page;
        QCOMPARE(DllCanUnloadNow(), 0);
        QCOMPARE(DllUnregisterServer(), 0);
        QVERIFY(LibraryControlHost::registeredLibrary(QStringLiteral("Devlink.DevPort")).isEmpty());
    }

    void propertyPage()
    {
        DevPort port;
        port.setMatchMethod(19);
        port.setMatchVID(1027);
        MatchCriteria page;
        page.setSelectedControls({&port});
        QVERIFY(page.PIDChk->isChecked() && page.VIDChk->isChecked() && page.ProductChk->isChecked());
        QVERIFY(!page.VersionChk->isChecked() && !page.ManufacturerChk->isChecked() && !page.SerialChk->isChecked());
        QCOMPARE(page.txtMatchVID->text(), QStringLiteral("1027"));
        QVERIFY(!page.changed());
        for (QCheckBox* box : {page.PIDChk, page.ProductChk})
            box->setChecked(false);
        page.SerialChk->setChecked(true);
        page.ApplyChanges();
        QCOMPARE(port.MatchMethod(), 34);

        QTest::keyClicks(page.txtMatchVID, QStringLiteral("6")); // "10276"
        QVERIFY(m_libraryMessages.isEmpty());
        page.txtMatchVID->setText(QStringLiteral("65336"));
        QCOMPARE(m_libraryMessages, QStringList({kVidMessage}));
        QCOMPARE(page.txtMatchVID->text(), QStringLiteral("0"));
        page.txtMatchVID->setText(QStringLiteral("65335"));
        QCOMPARE(m_libraryMessages.size(), 1);
        page.txtMatchPID->clear();
        QCOMPARE(m_libraryMessages.size(), 2);
        QCOMPARE(page.txtMatchPID->text(), QStringLiteral("0"));

        port.setMatchMethod(0); // any device: the simulated one
        page.BrowseBtn_Click(); // fills from the simulated device
        QCOMPARE(page.txtMatchManufacturer->text(), QStringLiteral("Competitive Edge Dynamics"));
        QCOMPARE(page.txtMatchProduct->text(), QStringLiteral("CED Chronograph"));
        QCOMPARE(page.txtMatchVID->text(), QStringLiteral("1027"));
        QCOMPARE(page.txtMatchPID->text(), QStringLiteral("58586"));
        QVERIFY(page.SerialChk->isChecked() && page.VersionChk->isChecked());
        QVERIFY(page.changed());
        port.Uninit();
    }

    // What the page's check lets through is what Apply writes; what it refuses becomes "0", which
    // is a change Apply writes too.
    void propertyPageNumbers()
    {
        DevPort port;
        MatchCriteria page;
        page.setSelectedControls({&port});
        page.txtMatchVID->setText(QStringLiteral("1027.0"));
        page.txtMatchPID->setText(QStringLiteral("5.8586e4"));
        page.txtMatchVersion->setText(QStringLiteral(" 2.5 ")); // not whole: let through, half to even
        QVERIFY(m_libraryMessages.isEmpty());
        page.ApplyChanges();
        QCOMPARE(port.MatchVID(), 1027);
        QCOMPARE(port.MatchPID(), 58586);
        QCOMPARE(port.MatchVersion(), 2);

        page.setSelectedControls({&port});
        QVERIFY(!page.changed());
        page.txtMatchVID->setText(QStringLiteral("1e20"));
        QCOMPARE(page.txtMatchVID->text(), QStringLiteral("0"));
        QVERIFY(page.changed());
        for (const char* text : {"-1e300", "inf", "nan", "0x10"}) {
            page.txtMatchVID->setText(QString::fromLatin1(text));
            QCOMPARE(page.txtMatchVID->text(), QStringLiteral("0"));
        }
        QCOMPARE(m_libraryMessages.size(), 5);
        page.txtMatchPID->setText(QStringLiteral("3000000000.5")); // the control's own check refuses it
        page.ApplyChanges();
        QCOMPARE(port.MatchVID(), 0);
        QCOMPARE(port.MatchPID(), 58586);
        QCOMPARE(m_libraryMessages.size(), 6);
        QCOMPARE(m_libraryMessages.last(), kVidMessage);
        port.Uninit();
    }

    void aboutBox()
    {
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Devlink"));
        QCOMPARE(about.lblTitle->text(), QStringLiteral("Devlink"));
        QCOMPARE(about.lblVersion->text(), QStringLiteral("Version 1.1.0"));
        QCOMPARE(about.cmdSysInfo->text(), QStringLiteral("&System Info..."));
        // No system-information program on an empty search path: the message, under the library's title.
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toLocal8Bit());
        about.cmdSysInfo_Click();
        qputenv("PATH", path);
        QCOMPARE(m_libraryMessages, QStringList({"Devlink:System Information Is Unavailable At This Time"}));
        // Shown modally, it ends with Escape as with OK: the modal loop returns.
        QTimer::singleShot(0, &about, [&about] { QTest::keyClick(&about, Qt::Key_Escape); });
        about.exec();
        QVERIFY(!about.isVisible());
        // The page, shown as a window of its own, closes with Escape; its fields are named by their labels.
        MatchCriteria page;
        page.show();
        QCOMPARE(QAccessible::queryAccessibleInterface(page.txtMatchPID)->text(QAccessible::Name),
                 QStringLiteral("MatchPID:"));
        QTest::keyClick(&page, Qt::Key_Escape);
        QVERIFY(!page.isVisible());
    }

    // velmora's host -> libdevlink -> the simulated Devcore.
    void throughAllThreeLayers()
    {
        m_sim->scenario("string 801.5 802.5\n");
        ScriptedPrompt prompt;
        LibraryControlHost host(&prompt);
        QObject container;
        QObject* DevPort1 =
            host.createControl(QStringLiteral("Devlink.DevPort"), QStringLiteral("DevPort1"), &container);
        QCOMPARE(DevPort1->objectName(), QStringLiteral("DevPort1"));
        DevPort1->setProperty("MatchManufacturer", QStringLiteral("Competitive Edge Dynamics"));
        DevPort1->setProperty("MatchMethod", 19);
        DevPort1->setProperty("MatchPID", 58586);
        DevPort1->setProperty("MatchProduct", QStringLiteral("CED Chronograph"));
        DevPort1->setProperty("MatchVID", 1027);
        DevPort1->setProperty("TimeOut", 200);
        DevPort1->setProperty("MatchVID", 70000);
        QCOMPARE(prompt.shown.last().text, QStringLiteral("Invalid Number! Number must be between 0 and 65335."));
        QCOMPARE(prompt.shown.last().title, QStringLiteral("Error"));
        QMetaObject::invokeMethod(DevPort1, "ReadProperties", Q_ARG(QVariantMap, QVariantMap()));
        // ReadProperties with an empty bag reset the criteria: set them again, as the program does.
        DevPort1->setProperty("MatchMethod", 19);
        DevPort1->setProperty("MatchPID", 58586);
        DevPort1->setProperty("MatchProduct", QStringLiteral("CED Chronograph"));
        DevPort1->setProperty("MatchVID", 1027);
        QString path;
        QMetaObject::invokeMethod(DevPort1, "Browse", Q_RETURN_ARG(QString, path));
        path = path.left(path.indexOf(QChar(0)));
        QCOMPARE(path, QStringLiteral("/sim/ced-m2"));
        int result = -1;
        QMetaObject::invokeMethod(DevPort1, "ConnectToPath", Q_RETURN_ARG(int, result), Q_ARG(QString, path));
        QCOMPARE(result, 0);
        QVERIFY(DevPort1->property("Connected").toBool());
        QVERIFY(DevPort1->property("MatchProduct").toString().startsWith(QStringLiteral("CED")));
        QMetaObject::invokeMethod(DevPort1, "WriteTo", Q_ARG(QByteArray, QByteArray("\x02\x00\x01\x00\x00\x00\x00", 7)),
                                  Q_ARG(int, 6));
        QByteArray reply;
        QMetaObject::invokeMethod(DevPort1, "ReadFrom", Q_RETURN_ARG(QByteArray, reply), Q_ARG(int, 8));
        QCOMPARE(reply.size(), 9);
        QCOMPARE(int(reply[0]), 2);
        QCOMPARE(int(reply[4]), 2); // two shots in string 1
        QSignalSpy gone(DevPort1, SIGNAL(Disconnected(int)));
        DevPort1->setProperty("TimeOut", 20);
        m_sim->setPresent(false);
        QMetaObject::invokeMethod(DevPort1, "ReadFrom", Q_RETURN_ARG(QByteArray, reply), Q_ARG(int, 8));
        QCOMPARE(gone.size(), 1);
        QVERIFY(!DevPort1->property("Connected").toBool());
        QMetaObject::invokeMethod(DevPort1, "Uninit");
    }
};

QTEST_MAIN(TestDevlink)
#include "tst_devlink.moc"
