#include "ballistics.h"

#include "services/regional.h"

#include <cmath>

namespace ballistics {

ShotFigures figures(double fps, double grains)
{
    ShotFigures f;
    f.fps = regional::checked(fps);
    f.mps = regional::checked(fps * kMetresPerFoot);
    f.ftLbf = regional::checked(fps * fps * grains / kEnergyDivisor);
    f.joules = regional::checked(f.ftLbf * kJoulesPerFtLbf);
    f.ipscFactor = regional::checked(fps * grains / 1000.0);
    return f;
}

double weightInGrains(const QString& weightText, bool grammesSelected)
{
    const double weight = regional::toNumberOrFail(weightText);
    if (!grammesSelected)
        return weight;
    return regional::toNumberOrFail(regional::format3(regional::checked(weight / kGrammesPerGrain)));
}

std::optional<QString> convertWeightText(const QString& weightText, bool toGrains)
{
    const auto weight = regional::toNumber(weightText);
    if (!weight)
        return std::nullopt;
    const double converted = toGrains ? *weight * kGrainsPerGramme : *weight / kGrainsPerGramme;
    if (!std::isfinite(converted))
        return std::nullopt;
    return regional::format3(converted);
}

} // namespace ballistics
