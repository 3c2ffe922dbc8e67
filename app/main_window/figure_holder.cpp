#include "figure_holder.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

FigureHolder::FigureHolder(QLabel* label, QWidget* parent) : QWidget(parent), m_label(label)
{
    label->setParent(this);
    setSizePolicy(label->sizePolicy());
    setMinimumSize(label->minimumSize());
    setMaximumSize(label->maximumSize());
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_offeredHint = label->sizeHint();
    m_offeredMinimum = label->minimumSizeHint();
}

QSize FigureHolder::sizeHint() const
{
    return m_label->sizeHint();
}

QSize FigureHolder::minimumSizeHint() const
{
    return m_label->minimumSizeHint();
}

bool FigureHolder::event(QEvent* event)
{
    // The label's request, at each new text: the window hears of it only when a hint changed.
    if (event->type() == QEvent::LayoutRequest) {
        const QSize hint = m_label->sizeHint();
        const QSize minimum = m_label->minimumSizeHint();
        if (hint != m_offeredHint || minimum != m_offeredMinimum) {
            m_offeredHint = hint;
            m_offeredMinimum = minimum;
            updateGeometry();
        }
        return true;
    }
    return QWidget::event(event);
}

void FigureHolder::resizeEvent(QResizeEvent*)
{
    m_label->setGeometry(rect());
}

void FigureHolder::paintEvent(QPaintEvent*)
{
    QWidget* frame = parentWidget();
    const Place place{geometry(),
                      frame->size(),
                      frame->mapTo(window(), QPoint()),
                      devicePixelRatioF(),
                      frame->palette().cacheKey(),
                      isActiveWindow(),
                      isEnabled()};
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
