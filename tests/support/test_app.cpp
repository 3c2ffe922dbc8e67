#include "test_app.h"

#include "main_window/frm_main.h"

#include <QSettings>

TestApp::TestApp()
{
    services.prompt = &prompt;
    services.sleeper = &sleeper;
    services.clock = &clock;
    services.sound = &sound;
    services.screenSaver = &screenSaver;
    services.urlOpener = &urlOpener;
    services.shotStore = &store;
    services.controls = nullptr;
    services.makeSerialTransport = [this] {
        auto transport = std::make_unique<MemoryTransport>();
        transport->existing = existingPorts;
        serial = transport.get();
        return transport;
    };
    services.portPath = [](int n) { return QStringLiteral("/dev/test%1").arg(n); };
}

TestApp::~TestApp()
{
    if (m_main) {
        exit();
    }
}

frmMain& TestApp::start()
{
    m_main = std::make_unique<frmMain>(services);
    m_main->Form_Load();
    return *m_main;
}

void TestApp::exit()
{
    if (!m_main)
        return;
    prompt.setNextAnswer(Prompt::Answer::Yes);
    m_main->close();
    m_main.reset();
}

void TestApp::clearSettings()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    s.clear();
    s.sync();
}

void TestApp::setSetting(const QString& key, const QVariant& value)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    s.setValue(QStringLiteral("Settings/") + key, value);
    s.sync();
}
