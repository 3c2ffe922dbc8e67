#pragma once

#include "import/string_importer.h"

#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <map>
#include <memory>

// An import of many files that leaves the window free: the files are read and parsed on worker
// threads, a few ahead, while the strings are archived one file at a time, in the files' order,
// on the thread that owns the job (the window's), between its other events. Archiving there keeps
// the history's writes in one order with the captured strings' and lets the unit be asked.
// Cancel stops after the file being archived: each file is archived whole or not at all.
class ImportJob : public QObject {
    Q_OBJECT
public:
    ImportJob(StringImporter& importer, QStringList paths, StringImporter::UnitQuestion askUnit, QDateTime now,
              QObject* parent = nullptr);
    ~ImportJob() override;

    // Files read ahead of the one being archived: a bound on memory (10 MB a file at most).
    static constexpr int kReadAhead = 4;

    void start();
    void cancel();
    bool isCancelled() const { return m_cancel.load(); }
    bool isFinished() const { return m_finished; }
    int total() const { return int(m_paths.size()); }
    // Files archived (or refused) so far.
    int done() const { return m_done; }
    const std::vector<StringImporter::Outcome>& outcomes() const { return m_outcomes; }

signals:
    // After each file; `fileName` is the file just done.
    void progressed(int done, int total, const QString& fileName);
    // Once, when every file is done or the job was cancelled.
    void finished();

private:
    void readAhead();
    void delivered(int index, std::shared_ptr<StringImporter::ReadFile> read);
    void archiveNext();
    void finish();

    StringImporter& m_importer;
    const QStringList m_paths;
    const StringImporter::UnitQuestion m_askUnit;
    const QDateTime m_now;
    QThreadPool m_pool;
    std::atomic_bool m_cancel{false};
    std::map<int, std::shared_ptr<StringImporter::ReadFile>> m_ready;
    std::vector<StringImporter::Outcome> m_outcomes;
    int m_scheduled = 0;
    int m_done = 0;
    bool m_archiving = false; // a unit question's own event loop must not archive another file meanwhile
    bool m_finished = false;
};
