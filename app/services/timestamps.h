#pragma once

#include <QDateTime>

// Unix time stamps of the shot cache: whole seconds since 1970 counted on the local clock
// shifted by the time zone's standard bias (UTC = local + bias), daylight saving ignored.
namespace timestamps {

// The local zone's standard bias in minutes (one hour east of UTC gives -60).
int standardBiasMinutes();

// Local date and time (read as a wall-clock value) to a 32-bit stamp; Overflow outside 32 bits.
qint32 dateToUnix(const QDateTime& local, int biasMinutes);
qint32 dateToUnix(const QDateTime& local);

// A stamp back to the local wall-clock date and time (returned with Qt::LocalTime).
QDateTime unixToDate(qint64 seconds, int biasMinutes);
QDateTime unixToDate(qint64 seconds);

} // namespace timestamps
