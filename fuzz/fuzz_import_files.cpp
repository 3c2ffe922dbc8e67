// Any bytes as a file to import: no crash, and either a refusal or a string of positive,
// finite velocities with a number and a time for each.
#include "import/import_formats.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ImportResult r = import_formats::readExport(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (r.string.has_value() == !r.refusal.isEmpty())
        std::abort();
    if (r.string) {
        const ImportedString& s = *r.string;
        if (s.velocities.empty() || s.numbers.size() != s.velocities.size() || s.times.size() != s.velocities.size())
            std::abort();
        for (double v : s.velocities)
            if (!(v > 0) || !std::isfinite(v))
                std::abort();
        (void)s.description();
    }
    return 0;
}
