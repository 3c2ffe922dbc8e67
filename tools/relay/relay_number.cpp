#include "relay_number.h"

#include "relay_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace relay {

namespace {

// The white space Velmora trims from a text before reading a number.
bool isSpace(long c)
{
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Digits, a point and at least one digit in all, an optional exponent: the whole of `t`, after a sign.
bool decimalForm(std::string_view t)
{
    size_t i = 0;
    const auto digits = [&t, &i] {
        const size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < t.size() && t[i] == 'e') {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == t.size();
}

} // namespace

std::optional<Number> clientNumber(std::string_view text)
{
    // Velmora decodes the text with a byte order mark at its start skipped.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<long> points;
    for (size_t at = 0; at < text.size();) {
        const long c = nextCodePoint(text, at);
        if (c < 0)
            return std::nullopt;
        points.push_back(c);
    }
    size_t from = 0;
    size_t to = points.size();
    while (from < to && isSpace(points[from]))
        ++from;
    while (to > from && isSpace(points[to - 1]))
        --to;
    Number n;
    for (size_t k = from; k < to; ++k) {
        const long c = points[k];
        if (c == 0x2212)
            n.text += '-';
        else if (c >= 'A' && c <= 'Z')
            n.text += char(c - 'A' + 'a');
        else if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '+' || c == '-' || c == '.')
            n.text += char(c);
        else
            return std::nullopt;
    }
    if (n.text == "nan") {
        n.value = std::numeric_limits<double>::quiet_NaN();
        return n;
    }
    if (n.text == "inf" || n.text == "+inf" || n.text == "-inf") {
        n.value = n.text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        return n;
    }
    if (!decimalForm(n.text))
        return std::nullopt;
    const char* first = n.text.data() + (n.text[0] == '+' ? 1 : 0);
    const char* last = n.text.data() + n.text.size();
    // A range error is an overflow, or an underflow to zero of digits that are not all zero.
    const auto [end, error] = std::from_chars(first, last, n.value, std::chars_format::general);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return n;
}

std::optional<Number> submittedNumber(std::string_view text)
{
    std::string pointed(text);
    const size_t comma = pointed.find(',');
    if (comma != std::string::npos) {
        if (pointed.find(',', comma + 1) != std::string::npos || pointed.find('.') != std::string::npos)
            return std::nullopt;
        pointed[comma] = '.';
    }
    auto n = clientNumber(pointed);
    if (!n || !std::isfinite(n->value) || n->value <= 0 || n->value >= 1e6)
        return std::nullopt;
    return n;
}

} // namespace relay
