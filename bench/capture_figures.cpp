// Figures of the capture path: recording cost per shot as the string grows, the full
// recomputation, saving, the durable cache, recovery, and start-up with the port scan.
#include "drivers/port_map.h"
#include "drivers/qserial_transport.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "services/regional.h"
#include "shot/record_shot.h"
#include "string/shot_string.h"
#include "test_app.h"

#include "figures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Answers at once and notes when, as the user's click on OK would end the message.
class AnsweredPrompt : public ScriptedPrompt {
public:
    Answer ask(const QString& text, Buttons buttons, Icon icon, const QString& title) override
    {
        const Answer answer = ScriptedPrompt::ask(text, buttons, icon, title);
        answered.start();
        return answer;
    }
    QElapsedTimer answered;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Records shots up to `shots` in the table; one transaction keeps the filling itself quick.
void fillTo(TestApp& app, frmMain& m, int shots)
{
    app.store.storeDatabase.transaction();
    while (m.MSFlexGrid1->Rows() - 1 < shots)
        RecordShot(m, 750 + (m.MSFlexGrid1->Rows() % 100) * 0.5);
    app.store.storeDatabase.commit();
}

struct RecordCost {
    double call = 0;       // RecordShot itself
    double withViews = 0;  // and the event-loop pass that lays out and paints what it changed
};

// Median cost of one RecordShot with `existing` shots already in the table, with the durable
// cache insert or without a cache (the shot path alone).
RecordCost recordCostMs(int existing, bool durable)
{
    TestApp app;
    frmMain& m = app.start();
    m.show();
    fillTo(app, m, existing - 20);
    if (!durable)
        app.store.close();
    QApplication::processEvents();
    std::vector<double> calls, totals;
    QElapsedTimer t;
    for (int i = 0; i < 20 && m.MSFlexGrid1->Rows() - 1 < 32767; ++i) {
        t.start();
        RecordShot(m, 800 + i);
        calls.push_back(t.nsecsElapsed() / 1e6);
        QApplication::processEvents();
        totals.push_back(t.nsecsElapsed() / 1e6);
    }
    return {median(calls), median(totals)};
}

} // namespace

void captureFigures()
{
    for (int existing : {100, 10000, 32767}) {
        const RecordCost alone = recordCostMs(existing, false);
        const RecordCost durable = recordCostMs(existing, true);
        std::printf("| RecordShot with %d shots in the table (median) | %.3f ms | < 1 ms, flat |\n", existing,
                    alone.call);
        std::printf("| the same with its durable cache row | %.3f ms | |\n", durable.call);
        std::printf("| the same with the views laid out and painted | %.3f ms | |\n", durable.withViews);
    }

    {
        TestApp app;
        frmMain& m = app.start();
        m.show();
        fillTo(app, m, 32767);
        std::vector<double> samples;
        QElapsedTimer t;
        for (int i = 0; i < 5; ++i) {
            t.start();
            m.updateTotals();
            samples.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("| updateTotals with 32767 shots (median of 5) | %.1f ms | < 100 ms |\n", median(samples));

        QTemporaryDir dir;
        const char* names[] = {"CSV", "CED Data Collector (.dc)", "Combro Pellet.log (.log)"};
        for (int format = 1; format <= 3; ++format) {
            app.files.next = FileChooser::Choice{dir.filePath(QStringLiteral("string%1").arg(format)), format};
            QElapsedTimer t;
            t.start();
            m.btnSave_Click();
            const double ms = t.nsecsElapsed() / 1e6;
            m.setEnabled(true);
            std::printf("| saving 32767 shots as %s | %.0f ms | < 1000 ms |\n", names[format - 1], ms);
        }
    }

    {
        // The cache insert with every row on disk when it returns (synchronous = FULL).
        TestApp app;
        frmMain& m = app.start();
        std::vector<double> samples;
        QElapsedTimer t;
        for (int i = 0; i < 500; ++i) {
            t.start();
            cacheShot(m, 800 + i * 0.01);
            samples.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(samples.begin(), samples.end());
        std::printf("| cacheShot, durable (median) | %.3f ms | |\n", samples[samples.size() / 2]);
        std::printf("| cacheShot, durable (99th percentile) | %.3f ms | |\n", samples[samples.size() * 99 / 100]);
    }

    {
        TestApp app;
        app.services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
        app.services.portPath = defaultDevicePath;
        QElapsedTimer t;
        t.start();
        frmMain m(app.services);
        m.Form_Load();
        m.show();
        QApplication::processEvents();
        std::printf("| start-up to the main window shown, 100-port scan included | %.0f ms | < 1000 ms |\n",
                    t.nsecsElapsed() / 1e6);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.close();
    }
}

void recoveryFigures()
{
    {
        // Recovery of a full cache: 32767 rows written by a previous run, timed from the answer
        // to "It Looks like you crashed." to the window laid out and painted with every row.
        auto writeCache = [] {
            QFile::remove(PelletStore::defaultPath());
            PelletStore previous;
            (void)previous.openStore(PelletStore::defaultPath());
            previous.storeDatabase.transaction();
            for (int i = 1; i <= 32767; ++i)
                (void)previous.insertCacheRow({qint16(i), 1796520600 + i, QStringLiteral("8.44"),
                                               regional::format3(750 + (i % 100) * 0.5)});
            previous.storeDatabase.commit();
        };
        writeCache();
        std::vector<double> whole, startUp;
        for (int run = 0; run < 3; ++run) {
            TestApp app(true);
            AnsweredPrompt prompt;
            app.services.prompt = &prompt;
            QElapsedTimer t;
            t.start();
            frmMain& m = app.start();
            m.show();
            QApplication::processEvents();
            startUp.push_back(t.nsecsElapsed() / 1e6);
            whole.push_back(prompt.answered.nsecsElapsed() / 1e6);
            app.abandon();
        }
        std::printf("| recovery of 32767 cached shots, from the answer to the window painted (median of 3) | %.0f ms | "
                    "< 500 ms |\n",
                    median(whole));
        std::printf("| start-up with that recovery, window painted (median of 3) | %.0f ms | < 2000 ms |\n",
                    median(startUp));
        {
            // The former way, one shot and one summary at a time, for comparison.
            TestApp app(true);
            frmMain& m = app.start();
            m.show();
            app.store.storeDatabase.transaction();
            const std::vector<PelletStore::CachedShot> rows = app.store.cachedShots();
            app.store.storeDatabase.commit();
            m.string().clear();
            m.session().shot_count = 0;
            QElapsedTimer t;
            t.start();
            for (const PelletStore::CachedShot& row : rows) {
                ReplayCachedShot(m, row.fps, row.timestamp, row.shot);
                m.updateTotalsShot();
            }
            QApplication::processEvents();
            std::printf("| the same 32767 shots replayed one by one, as before | %.0f ms | |\n",
                        t.nsecsElapsed() / 1e6);
            app.abandon();
        }
    }

}
