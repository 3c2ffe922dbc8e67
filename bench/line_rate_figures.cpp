// Shots arriving at the serial line's rate with the main window shown and painting: the
// process's CPU time per recorded shot, and the time from the line's carriage return being due
// to its cache row being on disk.
#include "main_window/frm_main.h"
#include "string/shot_string.h"
#include "test_app.h"

#include "figures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// One Shooting Chrony line at 4800 baud: 12 characters of 10 bits, 25 ms.
constexpr int kLineMs = 25;

} // namespace

namespace {

struct Round {
    double cpuPerShot = 0;
    std::vector<double> latencies;
};

// `shots` lines at the line rate into a main window already showing `existing` shots.
Round recordAtLineRate(int existing, int shots)
{
    TestApp::clearSettings();
    TestApp::setSetting(QStringLiteral("txtWeight"), QStringLiteral("8.44"));
    TestApp app;
    frmMain& m = app.start();
    m.show();
    app.store.storeDatabase.transaction();
    for (int i = 0; i < existing; ++i)
        app.serial->feed(QByteArray::number(i + 1) + ",Vf" + QByteArray::number(750 + (i % 100) * 0.5, 'f', 1) +
                         "\r\n");
    app.store.storeDatabase.commit();
    QApplication::processEvents();

    Round round;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = processCpuMs();
    const qint64 start = clock.elapsed();
    for (int i = 0; i < shots; ++i) {
        const qint64 due = start + qint64(i) * kLineMs;
        QEventLoop wait;
        QTimer::singleShot(std::max<qint64>(0, due - clock.elapsed()), Qt::PreciseTimer, &wait, [&] {
            app.serial->feed(QByteArray::number(i + 1) + ",Vf" + QByteArray::number(800 + (i % 40) * 0.7, 'f', 1) +
                             "\r\n");
            round.latencies.push_back(double(clock.nsecsElapsed()) / 1e6 - double(due));
            wait.quit();
        });
        wait.exec();
    }
    // The last shot's paint belongs to it too.
    QEventLoop settle;
    QTimer::singleShot(kLineMs, &settle, &QEventLoop::quit);
    settle.exec();
    round.cpuPerShot = (processCpuMs() - cpuBefore) / shots;
    if (m.string().size() != existing + shots)
        std::printf("| (line rate: %d shots recorded of %d) | | |\n", m.string().size(), existing + shots);
    app.abandon();
    return round;
}

} // namespace

void lineRateFigures()
{
    // A shared machine's other work shows in single runs: three rounds, the median reported.
    constexpr int kRounds = 3;
    constexpr int kShots = 200;
    for (int existing : {100, 10000}) {
        std::vector<double> cpu;
        std::vector<double> latencies;
        for (int r = 0; r < kRounds; ++r) {
            Round round = recordAtLineRate(existing, kShots);
            cpu.push_back(round.cpuPerShot);
            latencies.insert(latencies.end(), round.latencies.begin(), round.latencies.end());
        }
        std::sort(cpu.begin(), cpu.end());
        std::sort(latencies.begin(), latencies.end());
        std::printf("| at the line rate (a shot every %d ms) with %d shots shown: CPU per shot, window painting "
                    "(median of %d rounds of %d; least, most) | %.2f ms (%.2f, %.2f) | < 2 ms |\n",
                    kLineMs, existing, kRounds, kShots, cpu[cpu.size() / 2], cpu.front(), cpu.back());
        std::printf("| the same: carriage return due to cache row on disk, median / 99th percentile of the %zu "
                    "lines | %.2f / %.2f ms | p99 < 5 ms |\n",
                    latencies.size(), latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100]);
    }
}
