#pragma once

#include <QScreen>
#include <QWidget>

// Centres a window on the screen of `reference`: left = (screen width - window width) / 2, and
// the same for the top.
inline void centreOnScreen(QWidget& window, const QWidget& reference)
{
    if (const QScreen* screen = reference.screen()) {
        const QRect area = screen->geometry();
        window.move(area.x() + (area.width() - window.width()) / 2, area.y() + (area.height() - window.height()) / 2);
    }
}
