#pragma once

#include <QRect>
#include <vector>

// The undocked panel grows its controls and fonts with its window.
namespace panel_layout {

// One control's place at the recorded size, in twips; the index finds the control again.
struct ControlLayout {
    int tabIndex = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct Ratios {
    double height = 1;
    double width = 1;
};

inline constexpr int kDesignWidth = 4215; // twips
inline constexpr int kDesignHeight = 2655;

Ratios ratios(int windowWidth, int windowHeight, int recordedWidth, int recordedHeight);

// A recorded control scaled to the window: left and width by the width ratio, top and height
// by the height ratio. Plain integers, so a panel larger than 32767 twips does not overflow.
ControlLayout scaled(const ControlLayout& recorded, const Ratios& r);

// ⌊heightRatio × base⌋ + ⌊10 × heightRatio⌋ points once the ratio's whole part is at least 1;
// below that the readable minimum instead of 0.
int scaledFontSize(double heightRatio, int base);
inline constexpr int kMinimumFontSize = 8;

} // namespace panel_layout
