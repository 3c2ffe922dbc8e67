// Any bytes as a file to import: no crash, and either a refusal or strings of positive, finite
// velocities with a number and a time for each, no more than a string holds.
#include "import/import_formats.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ImportResult r = import_formats::readExport(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (r.strings.empty() == r.refusal.isEmpty())
        std::abort();
    for (const ImportedString& s : r.strings) {
        if (s.velocities.empty() || s.velocities.size() > kMaxShots || s.numbers.size() != s.velocities.size() ||
            s.times.size() != s.velocities.size() || s.title.size() > kMaxTitle)
            std::abort();
        for (double v : s.velocities)
            if (!(v > 0) || !std::isfinite(v))
                std::abort();
        (void)s.description();
        (void)s.fingerprint();
    }
    return 0;
}
