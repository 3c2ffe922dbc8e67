#include "record_shot.h"

#include "data_options/frm_pellet.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/frm_speed.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "services/clock.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "services/timestamps.h"
#include "shot/ballistics.h"
#include "shot/shot_lines.h"
#include "storage/pellet_store.h"
#include "string/shot_string.h"
#include "services/app_error.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString currentMakeModel(frmMain& main)
{
    const frmPellet& p = main.pellet();
    return shot_lines::makeModel(p.txtMake->text(), p.txtModel->text(), p.txtPelletMake->text());
}

// Steps 1 and 2: the velocity and energy of the last shot; the weight in grains they used.
double takeFigures(frmMain& main, double fps)
{
    main.last_fps = fps;
    const double w = WeightInGrains(main);
    main.last_ftlb = ballistics::figures(fps, w).ftLbf;
    return w;
}

// The shot with the current settings, as the table row shows it.
ShotRecord currentRecord(frmMain& main, double fps, double grains, const QDateTime& when, const QString& timeCell,
                         const QString& makeModel, const QString& weightText)
{
    return makeShotRecord(main.shot_count, QString::number(main.shot_count), when, timeCell, makeModel, weightText,
                          main.pellet().selWeight->isSelected(0), grains, fps);
}

ShotRecord currentRecord(frmMain& main, double fps, double grains, const QDateTime& when, const QString& timeCell)
{
    return currentRecord(main, fps, grains, when, timeCell, currentMakeModel(main), main.pellet().txtWeight->text());
}

// Steps 11 and 12: the newest row in view.
void showLastRow(FlexGrid& grid)
{
    if (grid.Rows() > 5) {
        grid.setTopRow(grid.Rows() - 5);
        grid.setColWidth(2, 1585);
    } else {
        grid.setColWidth(2, 1895);
    }
    grid.setRow(grid.Rows() - 1);
}

// Steps 14 to 16.
void finishShot(frmMain& main)
{
    main.strReceivedAll.clear();
    main.btnSave->setEnabled(true);
    main.btnReset->setEnabled(true);
    main.btnDelete->setEnabled(true);
    main.echoed_data = true;
}

} // namespace

double WeightInGrains(frmMain& main)
{
    const frmPellet& p = main.pellet();
    return ballistics::weightInGrains(p.txtWeight->text(), p.selWeight->isSelected(0));
}

void RecordShot(frmMain& main, double fps)
{
    const double w = takeFigures(main, fps);
    const ballistics::ShotFigures f = ballistics::figures(fps, w);

    if (main.optPower->isSelected(1))
        main.setPowerCaption(regional::format2(f.ftLbf));
    else if (main.optPower->isSelected(2))
        main.setPowerCaption(regional::format2(f.joules));
    else if (main.optPower->isSelected(3))
        main.setPowerCaption(regional::format1(f.ipscFactor));
    main.Label5->setText(regional::format2(main.optSpeed->isSelected(1) ? fps : f.mps));

    main.PlayWAV(QStringLiteral("shotok.wav"), false);
    main.shot_count = regional::addInt16(main.shot_count, 1);
    const QString makeModel = currentMakeModel(main);

    const QDateTime listTime = main.services().clock->now();
    main.Text1->append(shot_lines::listLine(main.shot_count, listTime, makeModel, w, f, main.separator));
    main.Text1->moveCaretToEnd();

    const QDateTime when = main.services().clock->now();
    main.string().append(currentRecord(main, fps, w, when, regional::shotDateTime(when, true)));
    cacheShot(main, fps);
    showLastRow(*main.MSFlexGrid1);
    main.updateTotalsShot();
    finishShot(main);

    if (frmSpeed* panel = main.visibleSpeedPanel())
        panel->showShot(main.Label3->text(), main.Label5->text(), main.shot_count);
}

void RecordDumpedShot(frmMain& main, double fps)
{
    const double w = takeFigures(main, fps);
    main.shot_count = regional::addInt16(main.shot_count, 1);
    const QDateTime when = main.services().clock->now();
    main.string().append(currentRecord(main, fps, w, when, regional::shotDateTime(when, true)));
    cacheShot(main, fps);
    showLastRow(*main.MSFlexGrid1);
    finishShot(main);
}

void ReplayCachedShot(frmMain& main, double fps, qint64 unixTime, qint16 cachedNumber)
{
    const double w = takeFigures(main, fps);
    main.shot_count = regional::addInt16(main.shot_count, 1);
    main.shot_count = cachedNumber;
    const QDateTime when = timestamps::unixToDate(unixTime);
    main.string().append(currentRecord(main, fps, w, when, regional::shotDateTime(when, true)));
    showLastRow(*main.MSFlexGrid1);
    finishShot(main);
}

void ReplayCachedShots(frmMain& main, const std::vector<PelletStore::CachedShot>& rows)
{
    if (rows.empty())
        return;
    // One weight for every row, as each replayed shot would read it; a weight that is not a
    // number stops the replay at its first row.
    const double w = takeFigures(main, rows.front().fps);
    std::vector<ShotRecord> records;
    records.reserve(std::min(rows.size(), size_t(ShotString::kMaxShots)));
    const int room = ShotString::kMaxShots - main.string().size();
    bool stopped = false;
    const int bias = timestamps::standardBiasMinutes();
    const regional::DateSeparators separators = regional::dateSeparators();
    // The names and weight text are the same for every row: made once, shared by all.
    const QString makeModel = currentMakeModel(main);
    const QString weightText = main.pellet().txtWeight->text();
    for (const PelletStore::CachedShot& row : rows) {
        if (int(records.size()) >= room || main.shot_count == 32767) {
            stopped = true; // the count or the number cannot go further
            break;
        }
        main.shot_count = row.shot;
        const QDateTime when = timestamps::unixToDate(row.timestamp, bias);
        ShotRecord r =
            currentRecord(main, row.fps, w, when, regional::shotDateTime(when, true, separators), makeModel, weightText);
        r.cacheRowId = row.rowid;
        main.last_fps = row.fps;
        main.last_ftlb = r.figures.ftLbf;
        records.push_back(std::move(r));
    }
    main.string().appendAll(std::move(records));
    showLastRow(*main.MSFlexGrid1);
    main.updateTotalsShot();
    finishShot(main);
    if (stopped)
        AppError::raise(AppError::Overflow);
}

void cacheShot(frmMain& main, double fps)
{
    if (!main.services().store)
        return;
    QDateTime now = main.services().clock->now();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    PelletStore::CacheRow row;
    row.shot = main.shot_count;
    row.timestamp = timestamps::dateToUnix(now);
    row.grains = regional::numberText(WeightInGrains(main));
    row.fps = regional::format3(fps);
    // Rows that could not be written wait, in order, for the first shot the cache takes again;
    // the user is told once, in the status row, instead of a message a shot.
    std::vector<PelletStore::CacheRow>& waiting = main.uncachedRows;
    waiting.push_back(row);
    qint64 rowid = 0;
    QString error;
    size_t written = 0;
    for (; written < waiting.size(); ++written) {
        error = main.services().store->insertCacheRow(waiting[written], &rowid);
        if (!error.isEmpty())
            break;
    }
    waiting.erase(waiting.begin(), waiting.begin() + std::ptrdiff_t(written));
    if (!error.isEmpty()) {
        main.showCacheProblem(QStringLiteral("Shots are not kept against a crash: ") + error +
                              QStringLiteral(". They stay in the table and are archived when the string ends."));
        return;
    }
    main.showCacheProblem({});
    if (rowid > 0 && !main.string().empty())
        main.string().setCacheRowId(main.string().size() - 1, rowid);
}
