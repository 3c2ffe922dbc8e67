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

void lineRateFigures()
{
    for (int existing : {100, 10000}) {
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

        const int shots = 200;
        std::vector<double> latencies;
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
                latencies.push_back(double(clock.nsecsElapsed()) / 1e6 - double(due));
                wait.quit();
            });
            wait.exec();
        }
        // The last shot's paint belongs to it too.
        QEventLoop settle;
        QTimer::singleShot(kLineMs, &settle, &QEventLoop::quit);
        settle.exec();
        const double cpu = processCpuMs() - cpuBefore;
        if (m.string().size() != existing + shots)
            std::printf("| (line rate: %d shots recorded of %d) | | |\n", m.string().size(), existing + shots);
        std::sort(latencies.begin(), latencies.end());
        std::printf("| at the line rate (a shot every %d ms) with %d shots shown: CPU per shot, window painting | "
                    "%.2f ms | < 2 ms |\n",
                    kLineMs, existing, cpu / shots);
        std::printf("| the same: carriage return due to cache row on disk, median / 99th percentile | %.2f / %.2f ms | "
                    "p99 < 5 ms |\n",
                    latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100]);
        app.abandon();
    }
}
