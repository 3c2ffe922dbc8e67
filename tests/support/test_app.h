#pragma once

#include "fakes.h"
#include "services/app_services.h"
#include "services/http_client.h"
#include "storage/pellet_store.h"

#include <QString>
#include <memory>

class frmMain;

// Everything a window test needs: doubles for every service, a memory serial line whose
// port 1 is "/dev/test1", the real local database in the working directory, and a main
// window built on them.
class TestApp {
public:
    // A fresh "pellet.store" unless keepDatabase is set.
    explicit TestApp(bool keepDatabase = false);
    ~TestApp();

    // Builds the main window and runs its start-up.
    frmMain& start();
    frmMain& main() { return *m_main; }
    // Closes the main window answering Yes to the exit question.
    void exit();
    // Drops the main window without its shut-down, leaving the files as a crash would.
    void abandon();

    ScriptedPrompt prompt;
    FakeClock clock;
    CountingSleeper sleeper;
    CountingSteps steps;
    SilentSound sound;
    SilentScreenSaver screenSaver;
    RecordingUrlOpener urlOpener;
    ScriptedFileChooser files;
    HttpClient http;
    PelletStore store;
    MemoryTransport* serial = nullptr; // owned by the main window's serial control
    QSet<QString> existingPorts{QStringLiteral("/dev/test1")};
    AppServices services;

    // Empties the private settings file of the test process.
    static void clearSettings();
    // The rows of the Cache table as texts (shot, mytimestamp, grains, fps), read from the file.
    static QList<QStringList> cacheRows();
    static void setSetting(const QString& key, const QVariant& value);

private:
    std::unique_ptr<frmMain> m_main;
};
