#include "timestamps.h"

#include "app_error.h"

#include <QTimeZone>

namespace timestamps {

namespace {
const QDateTime kEpoch(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC);
}

int standardBiasMinutes()
{
    return -QTimeZone::systemTimeZone().standardTimeOffset(QDateTime::currentDateTimeUtc()) / 60;
}

qint32 dateToUnix(const QDateTime& local, int biasMinutes)
{
    // The wall-clock fields are taken as they stand, whatever the zone of the value.
    const QDateTime wall(local.date(), local.time(), Qt::UTC);
    const qint64 seconds = kEpoch.secsTo(wall) + qint64(biasMinutes) * 60;
    if (seconds < INT32_MIN || seconds > INT32_MAX)
        AppError::raise(AppError::Overflow);
    return static_cast<qint32>(seconds);
}

qint32 dateToUnix(const QDateTime& local)
{
    return dateToUnix(local, standardBiasMinutes());
}

QDateTime unixToDate(qint64 seconds, int biasMinutes)
{
    const QDateTime wall = kEpoch.addSecs(seconds - qint64(biasMinutes) * 60);
    return QDateTime(wall.date(), wall.time(), Qt::LocalTime);
}

QDateTime unixToDate(qint64 seconds)
{
    return unixToDate(seconds, standardBiasMinutes());
}

} // namespace timestamps
