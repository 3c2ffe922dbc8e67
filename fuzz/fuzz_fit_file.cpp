// Any bytes as a FIT file: no crash, no endless loop, and either one refusal or sessions of
// positive, finite velocities with a number and a time for each.
#include "import/binary_export.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const binary_export::Sessions r =
        binary_export::readXeroFit(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (r.strings.empty() == r.refusal.isEmpty())
        std::abort();
    for (const ImportedString& s : r.strings) {
        if (s.velocities.empty() || s.numbers.size() != s.velocities.size() || s.times.size() != s.velocities.size())
            std::abort();
        for (double v : s.velocities)
            if (!(v > 0) || !std::isfinite(v))
                std::abort();
        (void)s.description();
    }
    return 0;
}
