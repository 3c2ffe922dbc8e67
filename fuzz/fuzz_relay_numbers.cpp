// The relay's number reading against Velmora's own reading of the relay's answer: the relay
// accepts exactly the numbers Velmora reads, and what it publishes reads back to the same value.
#include "relay_number.h"
#include "velmora_reading.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

void check(bool property)
{
    if (!property)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An XML text cannot carry a NUL: the answer would end the number there.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));

    const auto relayReads = relay::clientNumber(text);
    const auto velmora = velmoraReadsCalibre(text);
    check(relayReads.has_value() == velmora.has_value());
    if (relayReads) {
        check(same(relayReads->value, *velmora));
        const auto plain = velmoraReadsCalibre(relayReads->text);
        check(plain && same(*plain, relayReads->value));
    }

    const auto submitted = relay::submittedNumber(text);
    if (submitted) {
        const auto published = velmoraReadsCalibre(submitted->text);
        check(published && *published == submitted->value && submitted->value > 0 && submitted->value < 1e6);
        check(submitted->text.find_first_not_of("0123456789.e+-") == std::string::npos);
    }
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        const bool inRange = velmora && *velmora > 0 && *velmora < 1e6;
        check(submitted.has_value() == inRange);
    } else if (text.find(',', comma + 1) == std::string::npos && text.find('.') == std::string::npos) {
        std::string pointed = text;
        pointed[comma] = '.';
        const auto withPoint = relay::submittedNumber(pointed);
        check(submitted.has_value() == withPoint.has_value() && (!submitted || submitted->value == withPoint->value));
    } else {
        check(!submitted);
    }
    return 0;
}
