#include "panel_layout.h"

#include <cmath>

namespace panel_layout {

Ratios ratios(int windowWidth, int windowHeight, int recordedWidth, int recordedHeight)
{
    Ratios r;
    if (recordedHeight > 0)
        r.height = double(windowHeight) / recordedHeight;
    if (recordedWidth > 0)
        r.width = double(windowWidth) / recordedWidth;
    return r;
}

ControlLayout scaled(const ControlLayout& c, const Ratios& r)
{
    ControlLayout s = c;
    s.left = int(std::lround(c.left * r.width));
    s.width = int(std::lround(c.width * r.width));
    s.height = int(std::lround(c.height * r.height));
    s.top = int(std::lround(c.top * r.height));
    return s;
}

int scaledFontSize(double heightRatio, int base)
{
    if (!std::isfinite(heightRatio) || std::floor(heightRatio) < 1)
        return kMinimumFontSize;
    return int(std::floor(heightRatio * base) + std::floor(10 * heightRatio));
}

} // namespace panel_layout
