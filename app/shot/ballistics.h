#pragma once

#include <QString>
#include <optional>

// Unit and energy arithmetic of a shot, all in double precision.
namespace ballistics {

inline constexpr double kMetresPerFoot = 0.3048;
inline constexpr double kJoulesPerFtLbf = 1.35581795;
inline constexpr double kGrammesPerGrain = 0.06479891;
inline constexpr double kGrainsPerGramme = 15.4323584; // the data options dialog's factor
inline constexpr double kEnergyDivisor = 450240.0;     // fps² × grains ÷ this = ft·lbf

struct ShotFigures {
    double fps = 0;
    double mps = 0;
    double ftLbf = 0;
    double joules = 0;
    double ipscFactor = 0;
};

// Raises Overflow when a result is not a finite number.
ShotFigures figures(double fps, double grains);

// The projectile weight in grains from the weight text and its unit: grammes are divided by
// 0.06479891 and rounded to three decimals through "0.000". Raises TypeMismatch on a non-number.
double weightInGrains(const QString& weightText, bool grammesSelected);

// A weight text switched to the other unit (× or ÷ 15.4323584, "0.000"); nothing when the
// text is not a number, so that the caller leaves it as it is.
std::optional<QString> convertWeightText(const QString& weightText, bool toGrains);

} // namespace ballistics
