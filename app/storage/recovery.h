#pragma once

#include "storage/pellet_store.h"

#include <set>
#include <vector>

class frmMain;

namespace recovery {
// The cache rows no ending claims, in order, as strings: the last one is the string a crash
// interrupted, the earlier ones (of Clears the ledger could not record, or beyond what one string
// holds) are archived on their own.
struct Split {
    std::vector<std::vector<PelletStore::CachedShot>> earlier;
    std::vector<PelletStore::CachedShot> current;
};
Split splitRows(const std::vector<PelletStore::CachedShot>& rows, const std::set<qint64>& claimed);
} // namespace recovery

// Replays the shots a previous run left in the cache and no ending archived, after telling the
// user how many.
void recoverCache(frmMain& main);
