// Figures of the CED M2 driver on the simulated device: a 500-shot dump and the idle poll.
#include "drivers/ced_driver.h"
#include "device_windows/frm_ced_status.h"
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
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
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
    StepTimer realSteps;
    app.services.steps = &realSteps;
    frmMain& m = app.start();
    m.session().timerCED->stop();

    m.btnDump_Click();
    frmCEDStatus* dump = m.cedStatus;
    QElapsedTimer timer;
    timer.start();
    // The dump runs shot by shot from the event loop: the longest time events wait meanwhile.
    QElapsedTimer sinceTick;
    qint64 worstWait = 0;
    QTimer ticks;
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        worstWait = std::max(worstWait, sinceTick.nsecsElapsed() / 1000);
        sinceTick.restart();
    });
    dump->btnDumpAll_Click();
    sinceTick.start();
    ticks.start();
    while (!dump->isEnabled())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    ticks.stop();
    std::printf("| dump of 500 shots, device answering within 1 ms | %.2f s (%d rows) | < 2 s |\n",
                timer.nsecsElapsed() / 1e9, m.MSFlexGrid1->Rows() - 1);
    std::printf("| longest wait of the event loop during that dump | %.1f ms | < 100 ms |\n", worstWait / 1000.0);
    dump->close();
    while (!m.isEnabled())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);

    // The idle poll: three exchanges a tick on a 1 ms timer, no new shots.
    sim.delay(0);
    m.session().timerCED->start();
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
    m.session().timerCED->stop();
    std::printf("| idle CED poll, CPU use of the process | %.0f %% of one core | reported |\n",
                100.0 * (cpuSeconds() - cpu0) / wall);
    std::printf("| a click handled while polling (worst of %d) | %.1f ms | < 100 ms |\n", clicks, worstClick / 1000.0);

    // Idle with the CED M2 selected, no shots: the event loop alone, on the former 1 ms timer
    // and on the poll's own interval.
    for (const int interval : {1, kCedPollIntervalMs}) {
        m.session().timerCED->setInterval(interval);
        m.session().timerCED->start();
        const double idle0 = cpuSeconds();
        QElapsedTimer idle;
        idle.start();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        m.session().timerCED->stop();
        std::printf("| idle CPU with the CED M2 selected, poll every %d ms | %.1f %% of one core | < 1 %% |\n",
                    interval, 100.0 * (cpuSeconds() - idle0) / (idle.nsecsElapsed() / 1e9));
    }

    // From the device holding a new shot to the shot in the table.
    sim.newString(); // a string of its own: the stored ones are near the 255 shots a count can say
    m.session().timerCED->setInterval(kCedPollIntervalMs);
    m.session().timerCED->start();
    QList<double> latencies;
    for (int i = 0; i < 20; ++i) {
        QEventLoop settle;
        QTimer::singleShot(37, &settle, &QEventLoop::quit); // a moment of the poll's cycle that varies
        settle.exec();
        const int rows = m.MSFlexGrid1->Rows();
        QElapsedTimer held;
        held.start();
        sim.addShot(800 + i);
        while (m.MSFlexGrid1->Rows() == rows && held.elapsed() < 1000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        latencies.append(held.nsecsElapsed() / 1e6);
    }
    m.session().timerCED->stop();
    std::sort(latencies.begin(), latencies.end());
    std::printf("| a CED shot in the table after the device holds it (median, worst of 20) | %.1f ms, %.1f ms | < 50 ms "
                "|\n",
                latencies[latencies.size() / 2], latencies.last());
    app.exit();
}
