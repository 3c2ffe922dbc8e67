#pragma once

#include "test_app.h"

#include <QApplication>

// One offscreen application for the targets that drive real windows, made before fuzzing
// starts so that what it keeps for the run is not taken for a leak of the first input.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    (void)app;
}

#define VELMORA_FUZZ_WITH_APPLICATION                                                                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                                \
    {                                                                                                                 \
        ensureApplication();                                                                                          \
        return 0;                                                                                                     \
    }

// One started main window on test doubles, kept for the whole run.
inline TestApp& startedApp()
{
    static TestApp* app = [] {
        TestApp::clearSettings();
        auto* a = new TestApp;
        a->start();
        return a;
    }();
    return *app;
}
