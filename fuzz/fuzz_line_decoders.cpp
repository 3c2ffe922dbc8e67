// Chrony and Combro lines and the number readings they use: no crash, and a shot only from a
// line of the right shape.
#include "drivers/line_decoders.h"
#include "services/app_error.h"
#include "services/regional.h"

#include <QLocale>
#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        return true;
    }();
    (void)once;
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    for (bool eurozone : {false, true}) {
        try {
            const DecodedLine d = decodeChronyLine(line, eurozone);
            if (d.countShot && !line.contains(QLatin1String("Vf")) && !line.contains(QLatin1String("Vm")))
                std::abort();
            if (!std::isfinite(d.fps))
                std::abort();
        } catch (const AppError&) {
        }
    }
    try {
        const DecodedLine d = decodeCombroLine(line);
        if (d.countShot && line.size() != 4 && line.size() != 6 && line.size() != 7)
            std::abort();
        if (!std::isfinite(d.fps))
            std::abort();
    } catch (const AppError&) {
    }
    if (!std::isfinite(regional::leadingNumber(line)))
        std::abort();
    if (const auto n = regional::toNumber(line); n && !std::isfinite(*n))
        std::abort();
    SplitEvery(line, 2, QStringLiteral(","));
    return 0;
}
