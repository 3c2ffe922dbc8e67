#pragma once

#include "main_window/string_statistics.h"

// What the string is shown in: the summary's units (with the weight for the IPSC factor) and
// the gun type, whose index is its limit in ft·lbf (9999 has none).
struct StringUnits {
    SummaryUnits summary;
    int gunType = 6;
    bool operator==(const StringUnits&) const = default;
};
