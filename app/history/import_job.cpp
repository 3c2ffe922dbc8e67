#include "import_job.h"

#include <QFileInfo>
#include <QThread>
#include <algorithm>

ImportJob::ImportJob(StringImporter& importer, QStringList paths, StringImporter::UnitQuestion askUnit, QDateTime now,
                     QObject* parent)
    : QObject(parent), m_importer(importer), m_paths(std::move(paths)), m_askUnit(std::move(askUnit)),
      m_now(std::move(now))
{
    // One core stays with the window, which archives while the others read.
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
}

ImportJob::~ImportJob()
{
    // Readers still running post to this object; they must end before it does.
    m_cancel = true;
    m_pool.clear();
    m_pool.waitForDone();
}

void ImportJob::start()
{
    if (m_paths.isEmpty()) {
        QMetaObject::invokeMethod(this, &ImportJob::finish, Qt::QueuedConnection);
        return;
    }
    readAhead();
}

void ImportJob::cancel()
{
    if (m_finished)
        return;
    m_cancel = true;
    m_pool.clear();
    // While a file is archived (a unit question open), the job ends after it.
    if (!m_archiving)
        finish();
}

void ImportJob::readAhead()
{
    while (!m_cancel && m_scheduled < int(m_paths.size()) && m_scheduled < m_done + kReadAhead) {
        const int index = m_scheduled++;
        const QString path = m_paths.at(index);
        m_pool.start([this, index, path] {
            if (m_cancel)
                return;
            auto read = std::make_shared<StringImporter::ReadFile>(StringImporter::readFile(path));
            QMetaObject::invokeMethod(
                this, [this, index, read] { delivered(index, read); }, Qt::QueuedConnection);
        });
    }
}

void ImportJob::delivered(int index, std::shared_ptr<StringImporter::ReadFile> read)
{
    if (m_finished)
        return;
    m_ready.emplace(index, std::move(read));
    archiveNext();
}

void ImportJob::archiveNext()
{
    if (m_archiving || m_finished)
        return;
    if (m_cancel) {
        finish();
        return;
    }
    const auto next = m_ready.find(m_done);
    if (next == m_ready.end())
        return; // still being read
    const std::shared_ptr<StringImporter::ReadFile> read = next->second;
    m_ready.erase(next);
    m_archiving = true;
    std::vector<StringImporter::Outcome> outcomes = m_importer.importRead(std::move(*read), m_askUnit, m_now);
    m_archiving = false;
    m_outcomes.insert(m_outcomes.end(), std::make_move_iterator(outcomes.begin()),
                      std::make_move_iterator(outcomes.end()));
    ++m_done;
    emit progressed(m_done, total(), QFileInfo(m_paths.at(m_done - 1)).fileName());
    if (m_done == total()) {
        finish();
        return;
    }
    readAhead();
    // The next file after the window's pending events, so that it paints and takes clicks.
    QMetaObject::invokeMethod(this, &ImportJob::archiveNext, Qt::QueuedConnection);
}

void ImportJob::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_ready.clear();
    emit finished();
}
