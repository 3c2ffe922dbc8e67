#include "recovery.h"

#include "history/archive_ledger.h"
#include "history/string_history.h"
#include "main_window/frm_main.h"
#include "services/prompt.h"
#include "shot/record_shot.h"
#include "storage/pellet_store.h"
#include "string/shot_string.h"

#include <set>

namespace recovery {

Split splitRows(const std::vector<PelletStore::CachedShot>& rows, const std::set<qint64>& claimed)
{
    Split split;
    std::vector<PelletStore::CachedShot> open;
    for (const PelletStore::CachedShot& row : rows)
        if (!claimed.count(row.rowid))
            open.push_back(row);
    if (open.empty())
        return split;
    // The newest rows that one string can hold are the interrupted string; a row numbered 32767
    // ends what a string can take, so the kept rows start after the last such row.
    size_t first = open.size() > size_t(ShotString::kMaxShots) ? open.size() - size_t(ShotString::kMaxShots) : 0;
    for (size_t i = open.size() - 1; i-- > first;)
        if (open[i].shot >= ShotString::kMaxShots) {
            first = i + 1;
            break;
        }
    for (size_t i = 0; i < first;) {
        size_t end = std::min(first, i + size_t(ShotString::kMaxShots));
        for (size_t j = i; j + 1 < end; ++j)
            if (open[j].shot >= ShotString::kMaxShots) {
                end = j + 1;
                break;
            }
        split.earlier.emplace_back(open.begin() + std::ptrdiff_t(i), open.begin() + std::ptrdiff_t(end));
        i = end;
    }
    split.current.assign(open.begin() + std::ptrdiff_t(first), open.end());
    return split;
}

} // namespace recovery

void recoverCache(frmMain& main)
{
    PelletStore* store = main.services().store;
    if (!store)
        return;
    const std::vector<PelletStore::CachedShot> rows = store->cachedShots();
    if (rows.empty())
        return;
    // Rows a finished ending claims are in the history already; only the rest is the string a
    // crash interrupted.
    const recovery::Split split = recovery::splitRows(rows, ArchiveLedger(store).claimedRows());
    if (split.current.empty() && split.earlier.empty())
        return;
    size_t earlierShots = 0;
    for (const auto& string : split.earlier)
        earlierShots += string.size();
    QString text = QStringLiteral("It Looks like you crashed. ") + QString::number(split.current.size()) +
                   QStringLiteral(" shots have been recovered.");
    if (!split.earlier.empty())
        text += QStringLiteral(" %1 earlier shots, more than one string can hold, are archived as %2 strings of "
                               "their own.")
                    .arg(earlierShots)
                    .arg(split.earlier.size());
    {
        const ShotHold hold(main);
        main.services().prompt->message(text);
    }
    // The earlier rows go to the history as strings of their own, each ended as a Clear ends one.
    for (const auto& string : split.earlier) {
        ReplayCachedShots(main, string);
        main.history().shotsReplayed();
        main.clearString();
    }
    ReplayCachedShots(main, split.current);
}
