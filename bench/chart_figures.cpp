// Figures of the chart and the string history: a shot appended to an open chart as the string
// grows, opening the chart on a full string, the history window on 2 000 archived strings, and
// archiving a full string at exit.
#include "chart/frm_chart.h"
#include "history/frm_history.h"
#include "history/history_model.h"
#include "history/string_archive.h"
#include "history/string_history.h"
#include "main_window/capture_files.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "shot/record_shot.h"
#include "string/shot_string.h"
#include "test_app.h"

#include "figures.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void fillTo(frmMain& m, int shots)
{
    while (m.MSFlexGrid1->Rows() - 1 < shots)
        RecordShot(m, 750 + (m.MSFlexGrid1->Rows() % 100) * 0.5);
}

void paintChart(frmChart& chart)
{
    chart.plotVelocity->repaint();
    chart.plotPower->repaint();
}

} // namespace

void chartFigures()
{
    QDir(StringArchive::defaultFolder()).removeRecursively();
    TestApp::setSetting(QStringLiteral("ArchiveStrings"), 0);
    for (int existing : {100, 10000, 32767}) {
        TestApp app;
        frmMain& m = app.start();
        app.store.close(); // the shot path alone: the cache's own cost is reported above
        frmChart& chart = m.history().showChart();
        fillTo(m, existing - 20);
        QApplication::processEvents();
        const int drawsBefore = chart.plotVelocity->fullDraws();
        std::vector<double> samples;
        QElapsedTimer t;
        for (int i = 0; i < 20; ++i) {
            t.start();
            RecordShot(m, 775 + (i % 5)); // inside the plot's ranges, as nearly every shot is
            paintChart(chart);
            samples.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("| shot recorded with the chart open at %d shots: chart updated and repainted (median) | "
                    "%.3f ms (%d whole redraws in 20) | < 2 ms, flat |\n",
                    existing, median(samples), chart.plotVelocity->fullDraws() - drawsBefore);
        app.exit();
    }

    {
        TestApp app;
        frmMain& m = app.start();
        app.store.close();
        fillTo(m, 32767);
        QElapsedTimer t;
        t.start();
        frmChart& chart = m.history().showChart();
        QApplication::processEvents();
        paintChart(chart);
        std::printf("| opening the chart on 32767 shots, first paint included | %.0f ms | < 300 ms |\n",
                    t.nsecsElapsed() / 1e6);
        chart.close();

        TestApp::setSetting(QStringLiteral("ArchiveStrings"), 1);
        t.start();
        m.history().stringEnding(); // what the exit runs before the cache is emptied
        std::printf("| archiving a 32767-shot string at exit | %.0f ms | < 300 ms |\n", t.nsecsElapsed() / 1e6);
        TestApp::setSetting(QStringLiteral("ArchiveStrings"), 0);
        app.exit();
    }

    {
        // 2 000 archived strings of 20 to 100 shots, written as the program writes them.
        QDir(StringArchive::defaultFolder()).removeRecursively();
        TestApp app;
        frmMain& m = app.start();
        StringArchive archive(StringArchive::defaultFolder());
        QRandomGenerator random(14);
        QDateTime when(QDate(2024, 1, 1), QTime(9, 0, 0));
        const QString separator = QStringLiteral("\t");
        for (int s = 0; s < 2000; ++s) {
            ShotString string;
            string.setFieldsSource([&m] { return m.string().fields(); });
            string.setUnits(m.string().units());
            const int shots = 20 + int(random.bounded(81));
            for (int k = 0; k < shots; ++k) {
                const double fps = 760 + random.bounded(400) / 10.0;
                const QDateTime at = when.addSecs(k * 7);
                string.append(makeShotRecord(qint16(k + 1), QString::number(k + 1), at,
                                             regional::shotDateTime(at, true),
                                             QStringLiteral("Weihrauch HW100 JSB Exact"), QStringLiteral("8.44"),
                                             false, 8.44, fps));
            }
            const QByteArray bytes = string.csvBytes();
            (void)archive.write(bytes, when, QStringLiteral("Weihrauch HW100"), QStringLiteral("JSB Exact"));
            when = when.addSecs(3600 * 5);
        }
        QElapsedTimer t;
        t.start();
        frmHistory& history = m.history().showHistory();
        QApplication::processEvents();
        std::printf("| opening the history window on 2000 archived strings of 20 to 100 shots | %.0f ms (%d rows) "
                    "| < 1000 ms |\n",
                    t.nsecsElapsed() / 1e6, history.model().rowCount());
        history.close();
        app.exit();
        QDir(StringArchive::defaultFolder()).removeRecursively();
    }
}
