#pragma once

#include <QtGlobal>

class frmMain;

// The one path by which a velocity becomes a shot of the current string. Each stops at the
// first failing step (a weight that is not a number, an overflow, the 32768th shot) and
// passes the failure to the caller; the steps already done stay done.

// The current projectile weight in grains, from the data options window.
double WeightInGrains(frmMain& main);

// A live shot: figures, sound, list line, table row, cache row, statistics.
void RecordShot(frmMain& main, double fps);
// A shot downloaded from a chronograph's memory: table row and cache row only.
void RecordDumpedShot(frmMain& main, double fps);
// A shot replayed from the cache: its cached number and time, no cache row.
void ReplayCachedShot(frmMain& main, double fps, qint64 unixTime, qint16 cachedNumber);

// Appends the shot just recorded to the shot cache; a failure is shown and recording goes on.
void cacheShot(frmMain& main, double fps);
