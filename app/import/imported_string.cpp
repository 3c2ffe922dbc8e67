#include "imported_string.h"

#include "shot/ballistics.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

QString unitWord(VelocityUnit unit)
{
    switch (unit) {
    case VelocityUnit::Fps:
        return QStringLiteral("fps");
    case VelocityUnit::MetresPerSecond:
        return QStringLiteral("m/s");
    case VelocityUnit::Unknown:
        break;
    }
    return QStringLiteral("(unit unknown)");
}

double toFps(double velocity, VelocityUnit unit)
{
    return unit == VelocityUnit::MetresPerSecond ? velocity / ballistics::kMetresPerFoot : velocity;
}

double FileNumber::lastDigit() const
{
    return std::pow(10.0, -decimals);
}

QString ImportedString::description() const
{
    const auto count = velocities.size();
    QString text = count == 1 ? QStringLiteral("1 shot") : QStringLiteral("%1 shots").arg(count);
    if (count > 0) {
        const auto [low, high] = std::minmax_element(velocities.begin(), velocities.end());
        const QLocale c = QLocale::c();
        text += QStringLiteral(", %1 to %2 %3")
                    .arg(c.toString(*low, 'f', 1), c.toString(*high, 'f', 1), unitWord(unit));
    }
    if (!title.trimmed().isEmpty())
        text += QStringLiteral(", from ") + title.trimmed();
    if (when.isValid())
        text += QStringLiteral(", ") + QLocale::c().toString(when.date(), QStringLiteral("d MMMM yyyy"));
    return text;
}
