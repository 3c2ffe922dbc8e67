#include "drivers/library_control_host.h"
#include "drivers/port_map.h"
#include "drivers/qserial_transport.h"
#include "history/string_archive.h"
#include "import/import_command.h"
#include "main_window/frm_main.h"
#include "services/clock.h"
#include "services/event_guard.h"
#include "services/file_chooser.h"
#include "services/frm_tip.h"
#include "services/http_client.h"
#include "services/platform_services.h"
#include "services/prompt.h"
#include "services/signal_ending.h"
#include "storage/pellet_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSessionManager>
#include <QTextStream>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    // From a shell, without a window or a display.
    if (isShellCommand(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
        QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
        QTextStream out(stdout);
        QTextStream err(stderr);
        return runShellCommand(QCoreApplication::arguments().mid(1), StringArchive::defaultFolder(),
                               QDateTime::currentDateTime(), out, err);
    }
    GuardedApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora")); // the menu entry's icon and name

    DialogPrompt prompt;
    Sleeper sleeper;
    StepTimer steps;
    Clock clock;
    EffectSoundPlayer sound;
    DBusScreenSaver screenSaver;
    DesktopUrlOpener urlOpener;
    PelletStore store;
    LibraryControlHost controls(&prompt);
    DialogFileChooser files;
    HttpClient http;

    AppServices services;
    services.prompt = &prompt;
    services.sleeper = &sleeper;
    services.steps = &steps;
    services.clock = &clock;
    services.sound = &sound;
    services.screenSaver = &screenSaver;
    services.urlOpener = &urlOpener;
    services.store = &store;
    services.controls = &controls;
    services.files = &files;
    services.http = &http;
    services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
    services.portPath = devicePathForPort;

    frmMain window(services);
    prompt.setParent(&window);
    // A logout, a shutdown or `kill` ends the program as Exit does, without its question; so does
    // the session manager's quit.
    SignalEnding signalEnding([&window] { window.endWithoutQuestions(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.endWithoutQuestions(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.endWithoutQuestions(); });
    window.Form_Load();
    window.show();
    showTipOfTheDay(window);
    // Installation checks start the program headless and need to know that start-up got this far.
    if (qEnvironmentVariableIsSet("VELMORA_REPORT_SHOWN"))
        QTimer::singleShot(0, &window, [&window] {
            if (window.isVisible())
                std::printf("velmora: main window shown: %s\n", qPrintable(window.windowTitle()));
            std::fflush(stdout);
        });
    return app.exec();
}
