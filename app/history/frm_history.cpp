#include "frm_history.h"

#include "named_widget.h"

#include "chart/frm_chart.h"
#include "history/history_model.h"
#include "history/import_job.h"
#include "history/string_history.h"
#include "services/app_services.h"
#include "import/import_prompts.h"
#include "import/import_record.h"
#include "services/clock.h"
#include "services/file_chooser.h"
#include "stats/string_confidence.h"
#include "services/event_guard.h"
#include "services/platform_services.h"
#include "services/prompt.h"
#include "shot/ballistics.h"
#include "string/shot_string.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

frmHistory::frmHistory(ShotString& string, const AppServices& services, StringHistory& history, QWidget* owner)
    : CompanionWindow(owner), m_string(string), m_services(services), m_history(history)
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("Velmora - History"));
    m_model = new HistoryModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(HistoryModel::SortRole);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    txtFilter = new QLineEdit(this);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setPlaceholderText(QStringLiteral("date, gun or projectile"));
    txtFilter->setClearButtonEnabled(true);
    lblFilter = new QLabel(QStringLiteral("&Filter:"), this);
    lblFilter->setObjectName(QStringLiteral("lblFilter"));
    lblFilter->setBuddy(txtFilter);
    tblStrings = new QTableView(this);
    tblStrings->setObjectName(QStringLiteral("tblStrings"));
    tblStrings->setAccessibleName(QStringLiteral("Archived strings"));
    tblStrings->setModel(m_proxy);
    tblStrings->setSortingEnabled(true);
    tblStrings->sortByColumn(HistoryModel::When, Qt::DescendingOrder);
    tblStrings->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblStrings->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tblStrings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblStrings->setTabKeyNavigation(false);
    tblStrings->setWordWrap(false);
    tblStrings->verticalHeader()->hide();
    tblStrings->horizontalHeader()->setStretchLastSection(true);
    lblFolder = new QLabel(this);
    lblFolder->setObjectName(QStringLiteral("lblFolder"));
    lblFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnShow = namedButton(QStringLiteral("btnShow"), QStringLiteral("Show in Chart"),
                          QStringLiteral("Draw the selected strings in the chart, together"), this);
    btnOpenFolder = namedButton(QStringLiteral("btnOpenFolder"), QStringLiteral("Open Folder"),
                                QStringLiteral("Open the folder of archived strings in the file manager"), this);
    btnDelete = namedButton(QStringLiteral("btnDelete"), QStringLiteral("Delete"),
                            QStringLiteral("Move the selected strings to the trash"), this);
    btnClose = namedButton(QStringLiteral("btnClose"), QStringLiteral("Close"), QStringLiteral("Close Window"), this);
    btnImport = namedButton(QStringLiteral("btnImport"), QStringLiteral("Import..."),
                            QStringLiteral("Import strings exported by other chronographs (or drop the files here)"),
                            this);
    txtLabel = new QLineEdit(this);
    txtLabel->setObjectName(QStringLiteral("txtLabel"));
    txtLabel->setPlaceholderText(QStringLiteral("charge, pellet, pressure or tune"));
    lblLabel = new QLabel(QStringLiteral("&Label:"), this);
    lblLabel->setObjectName(QStringLiteral("lblLabel"));
    lblLabel->setBuddy(txtLabel);
    btnLabel = namedButton(QStringLiteral("btnLabel"), QStringLiteral("Set Label"),
                           QStringLiteral("Give the selected strings this label in comparisons"), this);
    lblStatistics = new QLabel(this);
    lblStatistics->setObjectName(QStringLiteral("lblStatistics"));
    lblStatistics->setWordWrap(true);
    lblStatistics->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblImport = new QLabel(this);
    lblImport->setObjectName(QStringLiteral("lblImport"));
    prgImport = new QProgressBar(this);
    prgImport->setObjectName(QStringLiteral("prgImport"));
    prgImport->setAccessibleName(QStringLiteral("Import progress"));
    btnCancelImport = namedButton(QStringLiteral("btnCancelImport"), QStringLiteral("Cancel"),
                                  QStringLiteral("Stop the import after the file being archived"), this);
    for (QWidget* w : std::initializer_list<QWidget*>{lblImport, prgImport, btnCancelImport})
        w->hide();
    setAcceptDrops(true);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(lblFilter);
    filterRow->addWidget(txtFilter, 1);
    auto* labelRow = new QHBoxLayout;
    labelRow->addWidget(lblLabel);
    labelRow->addWidget(txtLabel, 1);
    labelRow->addWidget(btnLabel);
    auto* importRow = new QHBoxLayout;
    importRow->addWidget(lblImport);
    importRow->addWidget(prgImport, 1);
    importRow->addWidget(btnCancelImport);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnShow, btnImport, btnOpenFolder, btnDelete})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(tblStrings, 1);
    layout->addWidget(lblStatistics);
    layout->addLayout(labelRow);
    layout->addWidget(lblFolder);
    layout->addLayout(importRow);
    layout->addLayout(buttons);
    setTabOrder(txtFilter, tblStrings);
    setTabOrder(tblStrings, txtLabel);
    setTabOrder(txtLabel, btnLabel);
    setTabOrder(btnLabel, btnShow);
    setTabOrder(btnShow, btnImport);
    setTabOrder(btnImport, btnOpenFolder);
    setTabOrder(btnOpenFolder, btnDelete);
    setTabOrder(btnDelete, btnClose);
    setEscapeButton(btnClose);

    connect(txtFilter, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);
    connect(tblStrings, &QTableView::activated, this, guarded(this, &frmHistory::btnShow_Click));
    connect(tblStrings->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            guarded(this, &frmHistory::selectionChanged));
    connect(btnShow, &QPushButton::clicked, this, guarded(this, &frmHistory::btnShow_Click));
    connect(btnOpenFolder, &QPushButton::clicked, this, guarded(this, &frmHistory::btnOpenFolder_Click));
    connect(btnDelete, &QPushButton::clicked, this, guarded(this, &frmHistory::btnDelete_Click));
    connect(btnImport, &QPushButton::clicked, this, guarded(this, &frmHistory::btnImport_Click));
    connect(btnLabel, &QPushButton::clicked, this, guarded(this, &frmHistory::btnLabel_Click));
    connect(btnCancelImport, &QPushButton::clicked, this, guarded(this, &frmHistory::btnCancelImport_Click));
    connect(txtLabel, &QLineEdit::returnPressed, this, guarded(this, &frmHistory::btnLabel_Click));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_string, &ShotString::unitsChanged, this, guarded([this] { m_model->setUnits(m_string.units()); }));
    resize(900, 480);
    reload();
}

void frmHistory::reload()
{
    const QString folder = m_history.archive().folder();
    std::vector<ArchivedString> strings = readHistoryFolder(folder);
    import_record::attach(strings);
    m_model->setStrings(std::move(strings), m_string.units());
    tblStrings->resizeColumnsToContents();
    const int count = m_model->rowCount();
    lblFolder->setText(
        (count == 1 ? QStringLiteral("%1 archived string in %2") : QStringLiteral("%1 archived strings in %2"))
            .arg(count)
            .arg(QDir::toNativeSeparators(folder)));
    selectionChanged();
}

std::vector<ArchivedString> frmHistory::selectedStrings() const
{
    QModelIndexList rows = tblStrings->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<ArchivedString> strings;
    for (const QModelIndex& row : rows)
        strings.push_back(m_model->string(m_proxy->mapToSource(row).row()));
    return strings;
}

void frmHistory::selectionChanged()
{
    const bool any = tblStrings->selectionModel()->hasSelection();
    btnShow->setEnabled(any);
    btnDelete->setEnabled(any);
    btnLabel->setEnabled(any);
    const std::vector<ArchivedString> strings = selectedStrings();
    if (strings.size() == 1)
        txtLabel->setText(strings.front().label);
    // The statistics in the unit the main window shows.
    const bool fps = m_string.units().summary.feetPerSecond;
    std::vector<std::vector<double>> velocities;
    for (const ArchivedString& s : strings) {
        std::vector<double> v;
        for (const ChartShot& shot : s.shots)
            v.push_back(fps ? shot.fps : shot.fps * ballistics::kMetresPerFoot);
        velocities.push_back(std::move(v));
    }
    lblStatistics->setText(confidence::selectionText(velocities, fps ? QStringLiteral("fps") : QStringLiteral("m/s")));
}

void frmHistory::selectPaths(const QStringList& paths)
{
    QItemSelection selection;
    for (int row = 0; row < m_proxy->rowCount(); ++row) {
        const QModelIndex index = m_proxy->index(row, 0);
        if (paths.contains(m_model->string(m_proxy->mapToSource(index).row()).path))
            selection.select(index, m_proxy->index(row, HistoryModel::ColumnCount - 1));
    }
    tblStrings->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty())
        tblStrings->scrollTo(selection.indexes().front());
}

frmHistory::~frmHistory()
{
    // Before the importer it archives with.
    delete m_import;
}

void frmHistory::importFiles(const QStringList& paths)
{
    if (paths.isEmpty() || m_import)
        return;
    m_importer = std::make_unique<StringImporter>(m_history.archive().folder());
    m_import = new ImportJob(*m_importer, paths, unitFromPrompt(*m_services.prompt), m_services.clock->now(), this);
    connect(m_import, &ImportJob::progressed, this, guarded(this, &frmHistory::importProgressed));
    connect(m_import, &ImportJob::finished, this, guarded(this, &frmHistory::importFinished));
    btnImport->setEnabled(false);
    prgImport->setRange(0, int(paths.size()));
    prgImport->setValue(0);
    lblImport->setText(paths.size() == 1 ? QStringLiteral("Importing 1 file...")
                                         : QStringLiteral("Importing %1 files...").arg(paths.size()));
    btnCancelImport->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{lblImport, prgImport, btnCancelImport})
        w->show();
    m_import->start();
}

void frmHistory::importProgressed(int done, int total, const QString& fileName)
{
    prgImport->setValue(done);
    lblImport->setText(QStringLiteral("Imported %1 of %2 files (%3)").arg(done).arg(total).arg(fileName));
}

void frmHistory::btnCancelImport_Click()
{
    if (!m_import)
        return;
    btnCancelImport->setEnabled(false);
    m_import->cancel();
}

void frmHistory::importFinished()
{
    ImportJob* job = m_import;
    m_import = nullptr;
    for (QWidget* w : std::initializer_list<QWidget*>{lblImport, prgImport, btnCancelImport})
        w->hide();
    btnImport->setEnabled(true);
    const std::vector<StringImporter::Outcome> outcomes = job->outcomes();
    const QString preface =
        job->isCancelled() && job->done() < job->total()
            ? QStringLiteral("The import was cancelled after %1 of %2 files; the others were not imported.")
                  .arg(job->done())
                  .arg(job->total())
            : QString();
    job->deleteLater();
    QStringList touched;
    for (const StringImporter::Outcome& o : outcomes)
        if (!o.archived.isEmpty())
            touched.append(o.archived);
    reload();
    selectPaths(touched);
    tellOutcomes(outcomes, *m_services.prompt, preface);
}

void frmHistory::btnImport_Click()
{
    FileChooser* files = m_services.files;
    if (!files)
        return;
    importFiles(files->chooseOpenFiles(this, QStringLiteral("Import Strings"), QDir::homePath(),
                                       {QStringLiteral("Chronograph exports (*.csv *.CSV *.txt *.TXT *.xlsx *.XLSX *.xls *.XLS "
                                                        "*.fit *.FIT)"),
                                        QStringLiteral("All files (*)")}));
}

void frmHistory::btnLabel_Click()
{
    const std::vector<ArchivedString> strings = selectedStrings();
    QStringList paths;
    QStringList failed;
    for (const ArchivedString& s : strings) {
        paths.append(s.path);
        if (const QString error = import_record::writeLabel(s.path, txtLabel->text()); !error.isEmpty())
            failed.append(QDir::toNativeSeparators(s.path) + QStringLiteral(": ") + error);
    }
    if (!failed.isEmpty())
        m_services.prompt->message(QStringLiteral("The label could not be kept:\n") + failed.join(u'\n'),
                                          Prompt::Icon::Critical);
    reload();
    selectPaths(paths);
}

void frmHistory::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && !m_import)
        event->acceptProposedAction();
}

void frmHistory::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    event->acceptProposedAction();
    // After the drop returns: the import may ask questions, and the source application waits.
    QMetaObject::invokeMethod(this, guarded([this, paths] { importFiles(paths); }), Qt::QueuedConnection);
}

void frmHistory::btnShow_Click()
{
    const std::vector<ArchivedString> strings = selectedStrings();
    if (!strings.empty())
        m_history.showArchivedInChart(strings);
}

void frmHistory::btnOpenFolder_Click()
{
    const QString folder = m_history.archive().folder();
    QDir().mkpath(folder);
    if (UrlOpener* opener = m_services.urlOpener)
        opener->open(QUrl::fromLocalFile(folder));
}

void frmHistory::btnDelete_Click()
{
    const std::vector<ArchivedString> strings = selectedStrings();
    if (strings.empty())
        return;
    Prompt& prompt = *m_services.prompt;
    const QString what = strings.size() == 1 ? QStringLiteral("the string \"%1\"").arg(strings.front().title())
                                             : QStringLiteral("%1 strings").arg(strings.size());
    if (!prompt.confirm(QStringLiteral("Move %1 to the trash?").arg(what), Prompt::Icon::Question))
        return;
    QStringList failed;
    for (const ArchivedString& s : strings) {
        // The source and label go with their string; the kept original stays under Imported.
        for (const QString& companion : import_record::companions(s.path))
            if (!QFile::moveToTrash(companion))
                QFile::remove(companion);
        if (QFile::moveToTrash(s.path))
            continue;
        // Where the desktop has no trash, the file goes only when the user says so.
        if (QFileInfo::exists(s.path) &&
            prompt.confirm(QStringLiteral("\"%1\" cannot be moved to a trash. Delete it for good?")
                               .arg(QDir::toNativeSeparators(s.path)),
                           Prompt::Icon::Exclamation) &&
            !QFile::remove(s.path))
            failed.append(QDir::toNativeSeparators(s.path));
    }
    if (!failed.isEmpty())
        prompt.message(QStringLiteral("These could not be deleted:\n") + failed.join(u'\n'), Prompt::Icon::Critical);
    reload();
}
