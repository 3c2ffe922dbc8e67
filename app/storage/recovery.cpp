#include "recovery.h"

#include "main_window/frm_main.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "shot/record_shot.h"
#include "storage/pellet_store.h"

void recoverCache(frmMain& main)
{
    PelletStore* store = main.services().store;
    if (!store)
        return;
    const std::vector<PelletStore::CachedShot> rows = store->cachedShots();
    if (rows.empty())
        return;
    const qint16 n = regional::toInt16(double(rows.size()));
    main.services().prompt->message(QStringLiteral("It Looks like you crashed. ") + QString::number(n) +
                                    QStringLiteral(" shots have been recovered."));
    ReplayCachedShots(main, rows);
}
