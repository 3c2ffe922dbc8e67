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

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString currentMakeModel(frmMain& main)
{
    const frmPellet& p = main.pellet();
    return shot_lines::makeModel(p.txtMake->text(), p.txtModel->text(), p.txtPelletMake->text());
}

// Steps 1 and 2: the velocity and energy of the last shot.
ballistics::ShotFigures takeFigures(frmMain& main, double fps)
{
    main.last_fps = fps;
    const double w = WeightInGrains(main);
    const ballistics::ShotFigures f = ballistics::figures(fps, w);
    main.last_ftlb = f.ftLbf;
    return f;
}

void addTableRow(frmMain& main, const QString& numberCell, const QString& dateCell, double fps)
{
    const double w = WeightInGrains(main);
    const ballistics::ShotFigures f = ballistics::figures(fps, w);
    main.MSFlexGrid1->AddItem(shot_lines::tableRow(numberCell, dateCell, currentMakeModel(main),
                                                   main.pellet().txtWeight->text(), f, main.separator));
}

// Steps 11, 12 and 14 to 16.
void finishRow(frmMain& main, bool recordTotals)
{
    FlexGrid& grid = *main.MSFlexGrid1;
    if (grid.Rows() > 5) {
        grid.setTopRow(grid.Rows() - 5);
        grid.setColWidth(2, 1585);
    } else {
        grid.setColWidth(2, 1895);
    }
    grid.setRow(grid.Rows() - 1);
    if (recordTotals)
        main.updateTotalsShot();
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
    const ballistics::ShotFigures f = takeFigures(main, fps);

    if (main.optPower->isSelected(1))
        main.setPowerCaption(regional::format2(f.ftLbf));
    else if (main.optPower->isSelected(2))
        main.setPowerCaption(regional::format2(regional::checked(f.ftLbf * ballistics::kJoulesPerFtLbf)));
    else if (main.optPower->isSelected(3))
        main.setPowerCaption(regional::format1(regional::checked(fps * WeightInGrains(main) / 1000.0)));
    main.Label5->setText(regional::format2(main.optSpeed->isSelected(1) ? fps : f.mps));

    main.PlayWAV(QStringLiteral("shotok.wav"), false);
    main.shot_count = regional::addInt16(main.shot_count, 1);
    const QString makeModel = currentMakeModel(main);

    const QDateTime listTime = main.services().clock->now();
    const double w = WeightInGrains(main);
    main.Text1->append(shot_lines::listLine(main.shot_count, listTime, makeModel, w,
                                            ballistics::figures(fps, w), main.separator));
    main.Text1->moveCaretToEnd();

    addTableRow(main, QString::number(main.shot_count),
                regional::shotDateTime(main.services().clock->now(), true), fps);
    cacheShot(main, fps);
    finishRow(main, true);

    if (frmSpeed* panel = main.visibleSpeedPanel())
        panel->showShot(main.Label3->text(), main.Label5->text(), main.shot_count);
}

void RecordDumpedShot(frmMain& main, double fps)
{
    takeFigures(main, fps);
    main.shot_count = regional::addInt16(main.shot_count, 1);
    addTableRow(main, QString::number(main.shot_count),
                regional::shotDateTime(main.services().clock->now(), true), fps);
    cacheShot(main, fps);
    finishRow(main, false);
}

void ReplayCachedShot(frmMain& main, double fps, qint64 unixTime, qint16 cachedNumber)
{
    takeFigures(main, fps);
    main.shot_count = regional::addInt16(main.shot_count, 1);
    main.shot_count = cachedNumber;
    addTableRow(main, QString::number(main.shot_count),
                regional::shotDateTime(timestamps::unixToDate(unixTime), true), fps);
    finishRow(main, false);
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
    const QString error = main.services().store->insertCacheRow(row);
    if (!error.isEmpty())
        main.services().prompt->message(error);
}
