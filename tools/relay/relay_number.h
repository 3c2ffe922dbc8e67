#pragma once

#include <optional>
#include <string>
#include <string_view>

// Numbers as Velmora reads them from the relay's answers, so that the relay never publishes a
// calibre, weight or pistol flag that makes every member's update fail.
namespace relay {

// A number Velmora can read: its value, and its text in plain ASCII (no surrounding white space,
// a point, "-" for the Unicode minus, a lower-case "e") that Velmora reads to the same value.
struct Number {
    double value = 0;
    std::string text;
};

// Velmora's reading of a number in an answer (UTF-8, a byte order mark at the start skipped):
// white space around it, an optional sign ("+", "-" or the Unicode minus), digits with at most
// one decimal point and at least one digit, an optional exponent ("e" or "E", a sign, digits);
// or "nan", "inf", "+inf", "-inf" in any case. Nothing when Velmora cannot read the text,
// including a value that overflows, or one whose digits are not all zero that underflows to zero.
std::optional<Number> clientNumber(std::string_view text);

// A calibre or weight as the relay accepts it from a submission or the seed: what Velmora reads,
// written with a decimal point or a decimal comma (not both), greater than 0 and below 1e6.
// Its text is published with a point.
std::optional<Number> submittedNumber(std::string_view text);

} // namespace relay
