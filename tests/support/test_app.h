#pragma once

#include "fakes.h"
#include "services/app_services.h"

#include <QString>
#include <memory>

class frmMain;

// Everything a window test needs: doubles for every service, a memory serial line whose
// port 1 is "/dev/test1", and a main window built on them.
class TestApp {
public:
    TestApp();
    ~TestApp();

    // Builds the main window and runs its start-up.
    frmMain& start();
    frmMain& main() { return *m_main; }
    // Closes the main window answering Yes to the exit question.
    void exit();

    ScriptedPrompt prompt;
    FakeClock clock;
    CountingSleeper sleeper;
    SilentSound sound;
    SilentScreenSaver screenSaver;
    RecordingUrlOpener urlOpener;
    MemoryShotStore store;
    MemoryTransport* serial = nullptr; // owned by the main window's serial control
    QSet<QString> existingPorts{QStringLiteral("/dev/test1")};
    AppServices services;

    // Empties the private settings file of the test process.
    static void clearSettings();
    static void setSetting(const QString& key, const QVariant& value);

private:
    std::unique_ptr<frmMain> m_main;
};
