#include "figure_holder.h"

#include <QLabel>
#include <QPainter>

FigureHolder::FigureHolder(QLabel* label, QWidget* parent) : QWidget(parent), m_label(label)
{
    label->setParent(this);
    setSizePolicy(label->sizePolicy());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize FigureHolder::sizeHint() const
{
    return m_label->sizeHint();
}

QSize FigureHolder::minimumSizeHint() const
{
    return m_label->minimumSizeHint();
}

void FigureHolder::resizeEvent(QResizeEvent*)
{
    m_label->setGeometry(rect());
}

void FigureHolder::paintEvent(QPaintEvent*)
{
    QWidget* frame = parentWidget();
    const Place place{geometry(), devicePixelRatioF(), frame->palette().cacheKey(), isActiveWindow(), isEnabled()};
    if (m_behind.isNull() || !(place == m_place)) {
        QPixmap behind(size() * place.pixelRatio);
        behind.setDevicePixelRatio(place.pixelRatio);
        behind.fill(palette().color(QPalette::Window)); // opaque: copied, not blended, when painted
        // Each widget under the holder, from the window down, paints its own part of the place.
        QList<QWidget*> under;
        for (QWidget* w = frame; w; w = w->isWindow() ? nullptr : w->parentWidget())
            under.prepend(w);
        for (QWidget* w : under)
            w->render(&behind, QPoint(), QRegion(QRect(mapTo(w, QPoint()), size())),
                      w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
        m_behind = behind;
        m_place = place;
    }
    QPainter(this).drawPixmap(0, 0, m_behind);
}
