#pragma once

class QWidget;
class QRect;
class QSize;

// Where windows go on the screen. A window is placed once it is laid out (its size is final),
// on the screen of a reference window (the main window), and never reaches past that screen's
// available area.
namespace placement {

enum class Mode {
    Centre,     // centred on the reference window's screen
    KeepInside, // left where it is, moved back inside the area if it reaches past it
};

// Pure arithmetic: the top-left corner and size of a window whose frame adds `frameExtra`
// (width and height of the borders and title) to `size`, inside `area`. A window larger than
// the area is shrunk to it; `current` is the top-left corner for KeepInside.
QRect placed(const QRect& area, const QSize& size, const QSize& frameExtra, const QRect& current, Mode mode);

// The borders and title bar a window manager adds, as far as they are known: what Qt reports
// once the window has been decorated, otherwise an allowance for a usual title bar, so that a
// window placed before its first show does not end one title bar below the screen.
QSize frameExtraOf(const QSize& frame, const QSize& inner);
inline constexpr int kFrameAllowanceWidth = 8;
inline constexpr int kFrameAllowanceHeight = 34;

// Applies `placed` to a top-level window on the screen of `reference` (the window's own
// screen when null).
void place(QWidget& window, const QWidget* reference, Mode mode);

} // namespace placement
