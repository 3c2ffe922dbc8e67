#include "test_app.h"

#include "main_window/frm_main.h"

#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>

TestApp::TestApp(bool keepDatabase)
{
    if (!keepDatabase)
        QFile::remove(PelletStore::defaultPath());
    services.prompt = &prompt;
    services.sleeper = &sleeper;
    services.steps = &steps;
    services.clock = &clock;
    services.sound = &sound;
    services.screenSaver = &screenSaver;
    services.urlOpener = &urlOpener;
    services.store = &store;
    services.controls = nullptr;
    services.files = &files;
    services.http = &http;
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

void TestApp::abandon()
{
    m_main.reset();
    store.close();
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

QList<QStringList> TestApp::cacheRows()
{
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test-reader"));
        db.setDatabaseName(PelletStore::defaultPath());
        if (db.open()) {
            QSqlQuery q(QStringLiteral("SELECT shot, mytimestamp, grains, fps FROM Cache ORDER BY rowid"), db);
            while (q.next())
                rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test-reader"));
    return rows;
}
