#pragma once

#include <QString>

// Whether the power figure's caption is above the legal limit of the gun type: 6 ft·lbf for
// an air pistol, 12 for an air rifle, 9999 otherwise, in joules unless ft·lbf is shown. The
// caption is read as a plain decimal number from its start, so a decimal comma ends it.
bool powerAboveLimit(const QString& caption, bool airPistol, bool airRifle, bool footPoundsShown);
