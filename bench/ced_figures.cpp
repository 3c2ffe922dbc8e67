// Figures of the CED M2 driver on the simulated device: a 500-shot dump and the idle poll.
#include "drivers/ced_driver.h"
#include "drivers/frm_ced_status.h"
#include "drivers/library_control_host.h"
#include "figures.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "sim_ced.h"
#include "test_app.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <dlfcn.h>
#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

void cedFigures()
{
    // The simulated transport is loaded first, so that Devlink's look-up by name finds it.
    if (!dlopen(VELMORA_SIM_DEVCORE, RTLD_NOW | RTLD_GLOBAL)) {
        std::printf("| CED M2 figures | not measured: %s | |\n", dlerror());
        return;
    }
    TestApp::setSetting(QStringLiteral("chronoType"), 3);
    TestApp app;
    LibraryControlHost host(&app.prompt);
    app.services.controls = &host;
    SimulatedCed sim;
    std::string scenario = "delay 1\n";
    for (int s = 0; s < 2; ++s) {
        scenario += "string";
        for (int k = 0; k < 250; ++k)
            scenario += " " + std::to_string(780 + k % 40);
        scenario += "\n";
    }
    sim.reset();
    sim.scenario(scenario.c_str());
    Sleeper realSleeps;
    app.services.sleeper = &realSleeps;
    frmMain& m = app.start();
    m.timerCED->stop();

    m.btnDump_Click();
    frmCEDStatus* dump = m.cedStatus;
    QElapsedTimer timer;
    timer.start();
    dump->btnDumpAll_Click();
    std::printf("| dump of 500 shots, device answering within 1 ms | %.2f s (%d rows) | < 2 s |\n",
                timer.nsecsElapsed() / 1e9, m.MSFlexGrid1->Rows() - 1);
    dump->close();

    // The idle poll: three exchanges a tick on a 1 ms timer, no new shots.
    sim.delay(0);
    m.timerCED->start();
    const double cpu0 = cpuSeconds();
    timer.restart();
    int clicks = 0;
    qint64 worstClick = 0;
    QPushButton probe;
    QObject::connect(&probe, &QPushButton::clicked, [&] { ++clicks; });
    while (timer.elapsed() < 2000) {
        QElapsedTimer click;
        click.start();
        QTimer::singleShot(0, &probe, [&probe] { probe.click(); });
        const int before = clicks;
        while (clicks == before)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        worstClick = std::max(worstClick, click.nsecsElapsed() / 1000);
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const double wall = timer.nsecsElapsed() / 1e9;
    m.timerCED->stop();
    std::printf("| idle CED poll, CPU use of the process | %.0f %% of one core | reported |\n",
                100.0 * (cpuSeconds() - cpu0) / wall);
    std::printf("| a click handled while polling (worst of %d) | %.1f ms | < 100 ms |\n", clicks, worstClick / 1000.0);
    app.exit();
}
