#include "window_placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace placement {

QRect placed(const QRect& area, const QSize& size, const QSize& frameExtra, const QRect& current, Mode mode)
{
    const int width = std::max(1, std::min(size.width(), area.width() - frameExtra.width()));
    const int height = std::max(1, std::min(size.height(), area.height() - frameExtra.height()));
    const int outerWidth = width + frameExtra.width();
    const int outerHeight = height + frameExtra.height();
    int left = current.x();
    int top = current.y();
    if (mode == Mode::Centre) {
        left = area.x() + (area.width() - outerWidth) / 2;
        top = area.y() + (area.height() - outerHeight) / 2;
    }
    left = std::clamp(left, area.x(), std::max(area.x(), area.x() + area.width() - outerWidth));
    top = std::clamp(top, area.y(), std::max(area.y(), area.y() + area.height() - outerHeight));
    return QRect(left, top, width, height);
}

QSize frameExtraOf(const QSize& frame, const QSize& inner)
{
    const QSize known(std::max(0, frame.width() - inner.width()), std::max(0, frame.height() - inner.height()));
    if (known.height() > 0)
        return known;
    return QSize(kFrameAllowanceWidth, kFrameAllowanceHeight);
}

void place(QWidget& window, const QWidget* reference, Mode mode)
{
    const QWidget& anchor = reference ? *reference : window;
    const QScreen* screen = anchor.screen() ? anchor.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = window.frameGeometry();
    const QRect inner = window.geometry();
    const QSize frameExtra = frameExtraOf(frame.size(), inner.size());
    const QRect target = placed(screen->availableGeometry(), window.size(), frameExtra, frame, mode);
    if (target.size() != window.size())
        window.resize(target.size());
    window.move(target.topLeft());
}

} // namespace placement
