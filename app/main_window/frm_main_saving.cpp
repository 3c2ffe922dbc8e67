// "Save Capture": the string as the program's CSV, a CED Data Collector file or a Combro log.
#include "frm_main.h"

#include "data_options/frm_pellet.h"
#include "main_window/capture_files.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_saved.h"
#include "main_window/list_text.h"
#include "services/clock.h"
#include "services/file_chooser.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/record_shot.h"
#include "storage/pellet_store.h"
#include "string/shot_string.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// "Save" beside the program, or a per-user folder where the program's folder is read-only.
QString saveFolder()
{
    QDir programDir(QCoreApplication::applicationDirPath());
    if (QFileInfo(programDir.path()).isWritable() && programDir.mkpath(QStringLiteral("Save")))
        return programDir.filePath(QStringLiteral("Save"));
    QDir user(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    user.mkpath(QStringLiteral("Save"));
    return user.filePath(QStringLiteral("Save"));
}

const QStringList kFilters{QStringLiteral("Velmora CSV (*.csv)"), QStringLiteral("CED Data Collector (*.dc)"),
                           QStringLiteral("Combro Pellet.log (*.log)")};

} // namespace

void frmMain::appendCsvSummary()
{
    updateTotals();
    if (!m_string->empty()) {
        Text1->setText(m_string->csvListText());
        return;
    }
    // Without shots the recomputation leaves the list text as it was; the summary follows it.
    QStringList header, values;
    for (int c = 0; c < MSFlexGrid2->Cols(); ++c) {
        header.append(MSFlexGrid2->TextMatrix(0, c));
        values.append(MSFlexGrid2->TextMatrix(1, c));
    }
    Text1->append(
        capture_files::csvSummary(header, values, pellet().txtExtraInfo->toPlainText(), m_shotSettings.separator));
}

std::vector<PelletStore::CachedShot> frmMain::cachedShotsForSaving() const
{
    return m_services.store ? m_services.store->cachedShots() : std::vector<PelletStore::CachedShot>{};
}

void frmMain::buildDataCollectorText()
{
    const auto shots = cachedShotsForSaving();
    QString grains = pellet().txtWeight->text();
    if (shots.empty())
        grains = regional::numberText(WeightInGrains(*this));
    Text1->setText(capture_files::dataCollectorText(shots, grains, m_services.clock->now()));
}

void frmMain::buildPelletLogText()
{
    Text1->setText(QString());
    const auto shots = cachedShotsForSaving();
    if (shots.empty())
        return;
    Text1->setText(capture_files::pelletLogText(shots, WeightInGrains(*this), pellet().txtWeight->text()));
}

void frmMain::btnSave_Click()
{
    frmPellet& p = pellet();
    sFilename = QDir(saveFolder()).filePath(capture_files::proposedName(
        p.txtMake->text(), p.txtModel->text(), p.txtPelletMake->text(), m_services.clock->now()));
    const auto choice = m_services.files ? m_services.files->chooseSaveFile(this, QStringLiteral("Save Shot String"),
                                                                            sFilename, kFilters, QStringLiteral("csv"))
                                         : std::nullopt;
    if (!choice) {
        m_services.prompt->message(QStringLiteral("Save Cancelled"));
        return;
    }

    QString text;
    try {
        if (choice->filterIndex == 2) {
            buildDataCollectorText();
            text = Text1->Text();
        } else if (choice->filterIndex == 3) {
            buildPelletLogText();
            text = Text1->Text();
        } else {
            appendCsvSummary();
            text = capture_files::toCsv(Text1->Text());
        }
    } catch (const std::exception& e) {
        // Writing a half-built text would report a failure as a success.
        m_services.prompt->message(QStringLiteral("The capture could not be saved: ") + QString::fromStdString(e.what()),
                                   Prompt::Icon::Critical);
        return;
    }

    sFilename = choice->path;
    QSaveFile file(sFilename);
    const QByteArray bytes = capture_files::fileBytes(text);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_services.prompt->message(QStringLiteral("The file \"%1\" could not be saved: %2")
                                       .arg(QDir::toNativeSeparators(sFilename), file.errorString()),
                                   Prompt::Icon::Critical);
        return;
    }

    setEnabled(false);
    auto* notice = new frmSaved(*this);
    notice->setEnabled(true);
    notice->show();
}
