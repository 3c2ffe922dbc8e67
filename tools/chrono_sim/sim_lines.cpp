#include "sim_lines.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

std::string chronyLine(int shotNumber, double fps)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d,Vf%.1f\r\n", shotNumber, fps);
    return buffer;
}

std::string combroLine(double fps, int length)
{
    double k = 59.7662;
    const char* format = "%04.0f\r\n";
    if (length == 6) {
        k = 59.5884;
        format = "%06.1f\r\n";
    } else if (length == 7) {
        k = 60.0075;
        format = "%07.2f\r\n";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, k / 304.8 * 4000000.0 / fps);
    return buffer;
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

} // namespace sim
