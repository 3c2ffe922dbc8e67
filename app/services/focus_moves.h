#pragma once

#include <QFocusEvent>

// A focus change that counts as entering or leaving a box: one from control to control inside
// the window. The window losing the focus to another application (or to a message box or a
// pop-up list over it) does not leave the box.
inline bool focusMovedWithinWindow(const QEvent* event)
{
    if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut)
        return false;
    const auto reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}
