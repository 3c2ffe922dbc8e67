#include "record_shot.h"

#include "capture/capture_host.h"
#include "capture/capture_session.h"
#include "services/app_error.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "services/timestamps.h"
#include "shot/ballistics.h"
#include "shot/shot_lines.h"
#include "shot/shot_settings.h"
#include "storage/pellet_store.h"
#include "string/shot_string.h"


namespace {

// One shot's weight and figures, computed once and passed along the path.
struct TakenShot {
    double grains = 0;
    ballistics::ShotFigures figures;
};

// Steps 1 and 2: the velocity and energy of the last shot, from the current weight. A weight
// that is not a number stops the shot here, with only the velocity taken.
TakenShot takeFigures(CaptureHost& main, double fps)
{
    main.session().last_fps = fps;
    TakenShot shot;
    shot.grains = main.shotSettings().weightInGrains();
    shot.figures = ballistics::figures(fps, shot.grains);
    main.session().last_ftlb = shot.figures.ftLbf;
    return shot;
}

// The shot with the current settings, as the table row shows it.
ShotRecord currentRecord(CaptureHost& main, const TakenShot& shot, const QDateTime& when, const QString& timeCell,
                         const QString& makeModel)
{
    const ShotSettings& s = main.shotSettings();
    return makeShotRecord(main.session().shot_count, QString::number(main.session().shot_count), when, timeCell, makeModel, s.weightText(),
                          s.grammes(), shot.grains, shot.figures);
}

ShotRecord currentRecord(CaptureHost& main, const TakenShot& shot, const QDateTime& when)
{
    return currentRecord(main, shot, when, regional::shotDateTime(when, true), main.shotSettings().makeModel());
}

// Steps 14 to 16.
void finishShot(CaptureHost& main)
{
    main.session().strReceivedAll.clear();
    main.enableStringButtons();
    main.session().echoed_data = true;
}

// Step 10 with the weight the shot was recorded with.
void cacheShotRow(CaptureHost& main, double fps, double grains);

} // namespace

double WeightInGrains(CaptureHost& main)
{
    return main.shotSettings().weightInGrains();
}

void RecordShot(CaptureHost& main, double fps)
{
    const TakenShot shot = takeFigures(main, fps);
    const ballistics::ShotFigures& f = shot.figures;
    const ShotSettings& settings = main.shotSettings();

    main.showShotFigures(fps, f);
    main.playShotSound();
    main.session().shot_count = regional::addInt16(main.session().shot_count, 1);
    const QString makeModel = settings.makeModel();

    const QDateTime listTime = main.services().clock->now();
    main.appendListLine(
        shot_lines::listLine(main.session().shot_count, listTime, makeModel, shot.grains, f, settings.separator));

    const QDateTime when = main.services().clock->now();
    main.string().append(currentRecord(main, shot, when, regional::shotDateTime(when, true), makeModel));
    cacheShotRow(main, fps, shot.grains);
    main.showLastRow();
    main.updateTotalsShot();
    finishShot(main);

    main.showShotOnSpeedPanel();
}

void RecordDumpedShot(CaptureHost& main, double fps)
{
    const TakenShot shot = takeFigures(main, fps);
    main.session().shot_count = regional::addInt16(main.session().shot_count, 1);
    main.string().append(currentRecord(main, shot, main.services().clock->now()));
    cacheShotRow(main, fps, shot.grains);
    main.showLastRow();
    finishShot(main);
}

void ReplayCachedShot(CaptureHost& main, double fps, qint64 unixTime, qint16 cachedNumber)
{
    const TakenShot shot = takeFigures(main, fps);
    main.session().shot_count = regional::addInt16(main.session().shot_count, 1);
    main.session().shot_count = cachedNumber;
    main.string().append(currentRecord(main, shot, timestamps::unixToDate(unixTime)));
    main.showLastRow();
    finishShot(main);
}

void ReplayCachedShots(CaptureHost& main, const std::vector<PelletStore::CachedShot>& rows)
{
    if (rows.empty())
        return;
    // One weight for every row, as each replayed shot would read it; a weight that is not a
    // number stops the replay at its first row.
    const TakenShot first = takeFigures(main, rows.front().fps);
    std::vector<ShotRecord> records;
    records.reserve(std::min(rows.size(), size_t(ShotString::kMaxShots)));
    const int room = ShotString::kMaxShots - main.string().size();
    bool stopped = false;
    const int bias = timestamps::standardBiasMinutes();
    const regional::DateSeparators separators = regional::dateSeparators();
    // The names and weight text are the same for every row: made once, shared by all.
    const QString makeModel = main.shotSettings().makeModel();
    for (const PelletStore::CachedShot& row : rows) {
        if (int(records.size()) >= room || main.session().shot_count == 32767) {
            stopped = true; // the count or the number cannot go further
            break;
        }
        main.session().shot_count = row.shot;
        const QDateTime when = timestamps::unixToDate(row.timestamp, bias);
        // The first row's figures were taken already; each other row's are computed here, once.
        const TakenShot shot = records.empty() ? first
                                               : TakenShot{first.grains, ballistics::figures(row.fps, first.grains)};
        ShotRecord r =
            currentRecord(main, shot, when, regional::shotDateTime(when, true, separators), makeModel);
        r.cacheRowId = row.rowid;
        main.session().last_fps = row.fps;
        main.session().last_ftlb = r.figures.ftLbf;
        records.push_back(std::move(r));
    }
    main.string().appendAll(std::move(records));
    main.showLastRow();
    main.updateTotalsShot();
    finishShot(main);
    if (stopped)
        AppError::raise(AppError::Overflow);
}

void cacheShot(CaptureHost& main, double fps)
{
    cacheShotRow(main, fps, main.shotSettings().weightInGrains());
}

namespace {

void cacheShotRow(CaptureHost& main, double fps, double grains)
{
    if (!main.services().store)
        return;
    QDateTime now = main.services().clock->now();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    PelletStore::CacheRow row;
    row.shot = main.session().shot_count;
    row.timestamp = timestamps::dateToUnix(now);
    row.grains = regional::numberText(grains);
    row.fps = regional::format3(fps);
    // Rows that could not be written wait, in order, for the first shot the cache takes again;
    // the user is told once, in the status row, instead of a message a shot.
    std::vector<PelletStore::CacheRow>& waiting = main.session().uncachedRows;
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

} // namespace
