#pragma once

#include "storage/pellet_store.h"

#include <QtGlobal>
#include <vector>

class CaptureHost;

// The one path by which a velocity becomes a shot of the current string. Each stops at the
// first failing step (a weight that is not a number, an overflow, the 32768th shot) and
// passes the failure to the caller; the steps already done stay done.

// The current projectile weight in grains, from the main window's shot settings.
double WeightInGrains(CaptureHost& main);

// A live shot: figures, sound, list line, table row, cache row, statistics.
void RecordShot(CaptureHost& main, double fps);
// A shot downloaded from a chronograph's memory: table row and cache row only.
void RecordDumpedShot(CaptureHost& main, double fps);
// A shot replayed from the cache: its cached number and time, no cache row.
void ReplayCachedShot(CaptureHost& main, double fps, qint64 unixTime, qint16 cachedNumber);
// The rows of the cache replayed at once, as ReplayCachedShot and the incremental update would
// one after the other: the same rows, numbers, figures and summary, with one change of the
// table. Stops where the shot number or the count would go past 32767 (Overflow, after the
// rows before it were added).
void ReplayCachedShots(CaptureHost& main, const std::vector<PelletStore::CachedShot>& rows);

// Appends the shot just recorded to the shot cache; a failure is shown and recording goes on.
void cacheShot(CaptureHost& main, double fps);
