#pragma once

#include "stats/string_confidence.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Load development: strings labelled with their charge weight ("37.5 gr", "2.43 g") placed by
// that weight, a straight line fitted through their averages, and the neighbouring steps whose
// averages do not differ beyond chance (the flat spot a reloader looks for).
namespace load_ladder {

enum class ChargeUnit { Grains, Grams };

inline constexpr double kGrainsPerGram = 15.432358352941431;

struct Charge {
    double value = 0;
    ChargeUnit unit = ChargeUnit::Grains;
};

// A label that is a number and a unit of weight, nothing more: "37.5 gr", "38gr", "2,43 g",
// "41 grains". Anything else ("31.0 gr H4350", "tune 2", "37.5") is no charge.
std::optional<Charge> parseCharge(const QString& label);

// "grain" or "gram"; "gr" or "g" when short.
QString unitName(ChargeUnit unit);
QString unitSymbol(ChargeUnit unit);

// A string as the ladder takes it: its label and its velocities.
struct Labelled {
    QString label;
    std::vector<double> velocities;
};

// One rung: the strings of one charge, their shots taken together.
struct Step {
    double charge = 0;           // in the ladder's unit
    QString label;               // the first string's label
    std::vector<size_t> strings; // which of the given strings, in their order
    std::vector<double> velocities;
    confidence::Estimate estimate;
};

// A straight line through points, by ordinary least squares.
struct Line {
    double slope = 0;
    double intercept = 0;
    std::optional<confidence::Interval> slopeRange; // Student's t, from three points
    double at(double x) const { return intercept + slope * x; }
};
std::optional<Line> fitLine(const std::vector<double>& x, const std::vector<double>& y,
                            double level = confidence::kLevel);

// Two neighbouring steps compared with Welch's t-test; no comparison where a step has fewer
// than two shots or no spread.
struct Neighbours {
    std::optional<confidence::Comparison> comparison;
    bool flat() const { return comparison && comparison->meanP >= 1 - confidence::kLevel; }
};

struct Ladder {
    ChargeUnit unit = ChargeUnit::Grains;
    std::vector<Step> steps;            // by charge, lightest first
    std::optional<Line> fit;            // through each step's average, each step counted once
    std::vector<Neighbours> neighbours; // [i] compares steps i and i + 1
    // Runs of steps whose neighbouring averages do not differ beyond chance: first and last step.
    std::vector<std::pair<size_t, size_t>> flatSpots() const;
};

// The ladder of the strings by charge; none unless every label is a charge and there are two
// charges or more. Strings of the same charge make one step. Labels in grams and grains together
// are all put in grains.
std::optional<Ladder> byCharge(const std::vector<Labelled>& strings);

// "about 24 fps per grain": two significant figures.
QString slopeText(double slope, const QString& speedUnit, ChargeUnit unit);
// What the ladder says in words: the fitted line and its slope, and each flat spot.
QStringList describe(const Ladder& ladder, const QString& speedUnit);

} // namespace load_ladder
