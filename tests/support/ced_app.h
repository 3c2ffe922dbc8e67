#pragma once

#include "drivers/library_control_host.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "sim_ced.h"
#include "test_app.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

// A test app whose HID control is the real Devlink over the simulated CED M2.
struct CedApp {
    explicit CedApp(const char* scenario, bool wallClock = false)
    {
        TestApp::setSetting(QStringLiteral("chronoType"), 3);
        SimulatedCed preload; // nothing loaded yet the first time; reset below once it is
        app.services.controls = &host;
        if (wallClock)
            app.services.clock = &wall; // the lost-connection rule is about real seconds
        if (preload.loaded()) {
            preload.reset();
            preload.scenario(scenario);
        } else {
            qputenv("DEVCORE_SIM_SCENARIO", writeScenario(scenario).toLocal8Bit());
        }
        app.start();
        app.main().session().timerCED->stop(); // polled by hand below
    }
    // The window goes before the host whose site its control uses.
    ~CedApp() { app.exit(); }
    static QString writeScenario(const char* text)
    {
        QFile f(QStringLiteral("scenario.txt"));
        if (f.open(QIODevice::WriteOnly))
            f.write(text);
        return QFileInfo(f).absoluteFilePath();
    }
    frmMain& m() { return app.main(); }
    int rows() { return app.main().MSFlexGrid1->Rows() - 1; }
    TestApp app;
    LibraryControlHost host{&app.prompt};
    Clock wall;
};
