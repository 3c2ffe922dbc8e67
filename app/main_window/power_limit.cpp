#include "power_limit.h"

#include "services/regional.h"
#include "shot/ballistics.h"

bool powerAboveLimit(const QString& caption, bool airPistol, bool airRifle, bool footPoundsShown)
{
    double limit = airPistol ? 6 : airRifle ? 12 : 9999;
    if (!footPoundsShown)
        limit *= ballistics::kJoulesPerFtLbf;
    return regional::leadingNumber(caption) > limit;
}
