#include "relay_text.h"

#include <cstdio>

namespace relay {

long nextCodePoint(std::string_view text, size_t& at)
{
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    int length = 0;
    long value = 0;
    long smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        smallest = 0x10000;
    }
    if (length == 0 || at + size_t(length) > text.size()) {
        ++at;
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(at + size_t(i));
        if ((next & 0xC0) != 0x80) {
            ++at;
            return -1;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++at;
        return -1;
    }
    at += size_t(length);
    return value;
}

bool isControl(long c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x061C;
}

bool isCleanText(std::string_view text)
{
    for (size_t at = 0; at < text.size();) {
        const long c = nextCodePoint(text, at);
        if (c < 0 || isControl(c))
            return false;
    }
    return true;
}

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    char code[24];
    for (size_t at = 0; at < text.size();) {
        const size_t from = at;
        const long c = nextCodePoint(text, at);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0 || (c < 0x80 && isControl(c))) {
            std::snprintf(code, sizeof code, "\\x%02X", static_cast<unsigned char>(text[from]));
            out += code;
        } else if (isControl(c)) {
            std::snprintf(code, sizeof code, "\\u%04lX", c);
            out += code;
        } else {
            out.append(text.substr(from, at - from));
        }
    }
    return out;
}

} // namespace relay
