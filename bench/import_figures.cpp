// Figures of the import: one export file of nearly 10 MB (the largest accepted), a 10 MB list of
// velocities refused at its 32 768th shot, a load-development table of 200 rows, and 1000 phone
// exports imported at once, each read, checked, hashed, kept and archived; then the same 1000
// through the History window, which stays responsive meanwhile.
#include "history/frm_history.h"
#include "history/history_model.h"
#include "history/import_job.h"
#include "history/string_archive.h"
#include "history/string_history.h"
#include "import/import_formats.h"
#include "import/import_prompts.h"
#include "import/string_importer.h"
#include "main_window/frm_main.h"
#include "test_app.h"

#include "figures.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A spreadsheet of 32 000 shots with a long note each: 10.2 MB, under the 10 MiB limit.
QByteArray largeSheet()
{
    QByteArray text = "Shot;Velocity (fps);Energy (ft-lbf);Note\n";
    const QByteArray note(290, 'x');
    for (int i = 0; i < 32000; ++i)
        text += QByteArray::number(i + 1) + ';' + QByteArray::number(800 + (i % 97) * 0.1, 'f', 1) + ";12,3;" + note +
                '\n';
    return text;
}

// A Xero C1 export of 20 shots, its times different for each `n`: each is its own session.
QByteArray phoneExport(int n)
{
    QByteArray text = "Load " + QByteArray::number(n) +
                      "\n#,SPEED (FPS),Δ AVG (FPS),KE (FT-LB),POWER FACTOR,TIME,CLEAN BORE,COLD BORE,SHOT NOTES\n";
    for (int i = 0; i < 20; ++i)
        text += QByteArray::number(i + 1) + ", " + QByteArray::number(2790 + ((i * 7 + n) % 20) * 0.5, 'f', 1) +
                ", 0.0, 1800.0, 290.0," +
                QTime(8, 0).addSecs(n * 30 + i).toString(QStringLiteral("h:mm:ss AP")).toLatin1() + ",,,\n";
    text += "-,,,,,,\nAVERAGE SPEED,2794.7\nSTD DEV,2.8\nSPREAD,9.5\nAVERAGE POWER FACTOR,293.4\n"
            "PROJECTILE WEIGHT(GRAINS),105.0\nSESSION NOTE,\n-,,,,,,\nApril 6, 2024 at 1:36 PM\nAll shots\n";
    return text;
}

// The window's responsiveness meanwhile: a click posted again and again to the event loop, and how
// long each waited to be handled.
class ClickProbe {
public:
    ClickProbe()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_since.isValid())
                m_waits.push_back(double(m_since.nsecsElapsed()) / 1e6);
            m_since.start();
        });
        m_timer.start();
    }
    double worst() const { return m_waits.empty() ? 0 : *std::max_element(m_waits.begin(), m_waits.end()); }
    size_t count() const { return m_waits.size(); }
    // The worst wait among the first `n`.
    double worstOf(size_t n) const
    {
        n = std::min(n, m_waits.size());
        return n == 0 ? 0 : *std::max_element(m_waits.begin(), m_waits.begin() + std::ptrdiff_t(n));
    }
    double percentile(double p) const
    {
        if (m_waits.empty())
            return 0;
        std::vector<double> sorted = m_waits;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    std::vector<double> m_waits;
};

// 1000 exports imported through the History window: as it is, the files read on worker threads
// while the window archives them between its events; and as it was, all in one call.
void windowImportFigures(const QStringList& paths)
{
    TestApp app;
    frmMain& m = app.start();
    // Into the history of the bench's own data folder (scripts/bench.sh gives it one), never a user's.
    const QString folder = StringArchive::defaultFolder();
    if (!QDir(folder).isEmpty()) {
        std::printf("| History window import | not measured: %s is not empty | |\n", qPrintable(folder));
        return;
    }
    frmHistory& h = m.history().showHistory();
    QElapsedTimer t;
    {
        ClickProbe probe;
        t.start();
        h.importFiles(paths);
        // The waits until the last file is archived, before the window lists the new entries.
        size_t whileArchiving = 0;
        QObject::connect(h.importJob(), &ImportJob::progressed, [&](int done, int total) {
            if (done == total)
                whileArchiving = probe.count();
        });
        while (h.importing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        std::printf("| History window: import of 1000 phone exports (%d rows) | %.0f ms | window responsive |\n",
                    h.model().rowCount(), ms);
        std::printf("| window meanwhile: a posted click waits, median / 99th percentile / worst while archiving / "
                    "worst with the listing at the end | %.1f / %.1f / %.1f / %.1f ms | < 100 ms |\n",
                    probe.percentile(0.5), probe.percentile(0.99), probe.worstOf(whileArchiving), probe.worst());
    }
    QDir(folder).removeRecursively(); // what this bench wrote
    StringImporter importer(folder);
    t.restart();
    importWithPrompt(importer, paths, app.prompt, QDateTime::currentDateTime());
    std::printf("| before: the same in one call on the window's thread (the window frozen throughout) | %.0f ms | |\n",
                double(t.nsecsElapsed()) / 1e6);
    QDir(folder).removeRecursively();
    h.close();
}

} // namespace

void importFigures()
{
    QTemporaryDir dir;
    const auto unit = [](const QString&, const ImportedString&) { return VelocityUnit::Fps; };
    const QDateTime now = QDateTime::currentDateTime();

    const QByteArray large = largeSheet();
    const QString largePath = dir.filePath(QStringLiteral("large.csv"));
    if (!writeFile(largePath, large))
        return;
    {
        StringImporter importer(dir.filePath(QStringLiteral("History-large")));
        QElapsedTimer t;
        t.start();
        const auto o = importer.importFile(largePath, unit, now);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        std::printf("| import of one %.1f MB file (%s) | %.0f ms | |\n", double(large.size()) / 1e6,
                    o.front().kind == StringImporter::Outcome::Kind::Added ? "32 000 shots" : "refused", ms);
    }

    {
        const QByteArray list = QByteArray("2795.3\n").repeated(1400000);
        QElapsedTimer t;
        t.start();
        const ImportResult r = import_formats::readExport(list);
        std::printf("| reading a %.1f MB list of velocities (%s) | %.0f ms | |\n", double(list.size()) / 1e6,
                    r.isRefused() ? "refused at shot 32 768" : "read", double(t.nsecsElapsed()) / 1e6);
    }
    {
        QByteArray table = "Charge (gr);Shot 1;Shot 2;Shot 3;Shot 4;Shot 5;Average\n";
        for (int row = 0; row < 200; ++row)
            table += QByteArray::number(35 + row * 0.1, 'f', 1) + ";2701;2710;2706;2712;2699;2705.6\n";
        const QString tablePath = dir.filePath(QStringLiteral("loads.csv"));
        if (!writeFile(tablePath, table))
            return;
        StringImporter importer(dir.filePath(QStringLiteral("History-table")));
        QElapsedTimer t;
        t.start();
        const auto outcomes = importer.importFile(tablePath, unit, now);
        std::printf("| import of a load-development table of 200 rows (%zu strings) | %.0f ms | |\n", outcomes.size(),
                    double(t.nsecsElapsed()) / 1e6);
    }

    const QString many = dir.filePath(QStringLiteral("exports"));
    QDir().mkpath(many);
    QStringList paths;
    for (int n = 0; n < 1000; ++n) {
        paths.append(QDir(many).filePath(QStringLiteral("session %1.csv").arg(n)));
        if (!writeFile(paths.back(), phoneExport(n)))
            return;
    }
    StringImporter importer(dir.filePath(QStringLiteral("History-many")));
    QElapsedTimer t;
    t.start();
    const auto outcomes = importer.importFiles(paths, unit, now);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    int added = 0;
    for (const auto& o : outcomes)
        added += o.kind == StringImporter::Outcome::Kind::Added ? 1 : 0;
    std::printf("| import of 1000 phone exports at once (%d added) | %.0f ms (%.2f ms a file) | |\n", added, ms,
                ms / 1000);
    StringImporter again(dir.filePath(QStringLiteral("History-many")));
    t.restart();
    int found = 0;
    for (const auto& o : again.importFiles(paths, unit, now))
        found += o.kind == StringImporter::Outcome::Kind::AlreadyThere ? 1 : 0;
    std::printf("| the same 1000 again (%d found already imported) | %.0f ms | |\n", found,
                double(t.nsecsElapsed()) / 1e6);
    windowImportFigures(paths);
}
