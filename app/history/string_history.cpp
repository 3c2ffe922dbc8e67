#include "string_history.h"

#include "chart/frm_chart.h"
#include "data_options/frm_pellet.h"
#include "history/frm_history.h"
#include "main_window/capture_files.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "services/clock.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "storage/pellet_store.h"
#include "storage/settings_store.h"

#include <QFileInfo>
#include <QLineEdit>

StringHistory::StringHistory(frmMain& main)
    : m_main(main), m_archive(StringArchive::defaultFolder())
{
}

StringHistory::~StringHistory() = default;

bool StringHistory::archivingOn()
{
    const auto value = regional::toNumber(settings::read(settings::kArchiveStrings));
    return !value || *value != 0;
}

std::optional<StringArchive::CacheMark> StringHistory::cacheMark() const
{
    PelletStore* store = m_main.services().store;
    if (!store || !store->isOpen())
        return std::nullopt;
    StringArchive::CacheMark mark;
    mark.database = QFileInfo(store->storeDatabase.databaseName()).absoluteFilePath();
    if (const auto last = store->lastCacheRow()) {
        mark.rowid = last->rowid;
        mark.row = last->text;
    }
    return mark;
}

void StringHistory::stringEnding()
{
    bool archived = true;
    if (archivingOn()) {
        const std::vector<QStringList>& table = m_main.MSFlexGrid1->DataRows();
        const std::vector<QStringList> pending = m_settled.empty() ? std::vector<QStringList>{} : m_settled.pending(table);
        const std::vector<QStringList>& rows = m_settled.empty() ? table : pending;
        if (!rows.empty()) {
            QString error;
            try {
                const QByteArray bytes = capture_files::fileBytes(
                    capture_files::toCsv(capture_files::csvListText(m_main.csvString(rows))));
                const frmPellet& p = m_main.pellet();
                error = m_archive
                            .write(bytes, m_main.services().clock->now(),
                                   p.txtMake->text() + u' ' + p.txtModel->text(), p.txtPelletMake->text())
                            .error;
            } catch (const std::exception& e) {
                error = QString::fromLocal8Bit(e.what());
            }
            if (!error.isEmpty()) {
                archived = false;
                m_main.services().prompt->message(QStringLiteral("The string could not be archived: ") + error,
                                                  Prompt::Icon::Exclamation);
            }
        }
    }
    m_settled.clear();
    if (m_history && m_history->isVisible())
        m_history->reload();
    // A string that could not be archived stays unmarked: a crash brings it back to be archived.
    if (archived) {
        if (const auto mark = cacheMark())
            (void)m_archive.writeMark(*mark);
    }
}

void StringHistory::shotsReplayed()
{
    PelletStore* store = m_main.services().store;
    const auto mark = m_archive.readMark();
    const auto here = cacheMark();
    if (!store || !mark || !here || mark->database != here->database || mark->rowid <= 0)
        return;
    const auto row = store->cacheRow(mark->rowid);
    if (!row || row->text != mark->row)
        return; // the mark is of another run's cache
    // The table holds the replayed shots in the order of the cache.
    qsizetype settled = 0;
    for (const PelletStore::CachedShot& shot : store->cachedShots())
        if (shot.rowid <= mark->rowid)
            ++settled;
    const std::vector<QStringList>& table = m_main.MSFlexGrid1->DataRows();
    settled = std::min(settled, qsizetype(table.size()));
    m_settled.set(std::vector<QStringList>(table.begin(), table.begin() + settled));
}

frmChart* StringHistory::chartWindow() const
{
    return m_chart;
}

frmHistory* StringHistory::historyWindow() const
{
    return m_history;
}

frmChart& StringHistory::openChart()
{
    if (!m_chart)
        m_chart = new frmChart(m_main);
    m_chart->setEnabled(true); // usable whatever window holds the main window
    m_chart->show();
    m_chart->raise();
    m_chart->activateWindow();
    return *m_chart;
}

frmChart& StringHistory::showChart()
{
    frmChart& chart = openChart();
    chart.showCurrentString();
    return chart;
}

frmHistory& StringHistory::showHistory()
{
    if (!m_history)
        m_history = new frmHistory(m_main, *this);
    m_history->setEnabled(true);
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
    return *m_history;
}

void StringHistory::showArchivedInChart(const std::vector<ArchivedString>& strings)
{
    openChart().showArchived(strings);
}
