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
    // A string starts where the numbering starts again at 1 (a Clear whose ending is not in the
    // ledger) and ends after 32767 shots or at the number 32767, beyond which none would fit.
    std::vector<std::vector<PelletStore::CachedShot>> strings(1);
    for (const PelletStore::CachedShot& row : open) {
        std::vector<PelletStore::CachedShot>& last = strings.back();
        const bool restart = !last.empty() && row.shot == 1 && last.back().shot != 1;
        const bool full =
            !last.empty() && (int(last.size()) >= ShotString::kMaxShots || last.back().shot >= ShotString::kMaxShots);
        if (restart || full)
            strings.emplace_back();
        strings.back().push_back(row);
    }
    split.current = std::move(strings.back());
    strings.pop_back();
    split.earlier = std::move(strings);
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
    if (split.earlier.size() == 1)
        text += QStringLiteral(" %1 earlier shots that no archive holds are archived as a string of their own.")
                    .arg(earlierShots);
    else if (!split.earlier.empty())
        text += QStringLiteral(" %1 earlier shots that no archive holds are archived as %2 strings of their own.")
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
