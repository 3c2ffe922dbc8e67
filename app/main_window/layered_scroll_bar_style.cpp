#include "layered_scroll_bar_style.h"

#include <QPaintDevice>
#include <QPainter>
#include <QStyleOptionSlider>

void LayeredScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                               QPainter* painter, const QWidget* widget) const
{
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar || !(bar->subControls & SC_ScrollBarSlider) || bar->rect.isEmpty() ||
        !painter->device()) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // The groove is kept; the handle and then the arrows, which overlap the handle's ends, are
    // drawn on it.
    const SubControls above = SC_ScrollBarSlider | SC_ScrollBarAddLine | SC_ScrollBarSubLine;
    QStyleOptionSlider under = *bar;
    under.subControls &= ~above;
    under.activeSubControls &= ~above;
    const qreal ratio = painter->device()->devicePixelRatio();
    const Look look{bar->rect.size(),
                    ratio,
                    int(under.state),
                    int(under.activeSubControls),
                    int(under.subControls),
                    qint64(bar->palette.cacheKey())};
    if (m_groove.isNull() || !(look == m_look)) {
        // An opaque picture is copied, not blended, onto the bar.
        QPixmap picture(bar->rect.size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(bar->palette.color(QPalette::Window));
        QPainter p(&picture);
        p.translate(-bar->rect.topLeft());
        QProxyStyle::drawComplexControl(control, &under, &p, widget);
        p.end();
        m_groove = picture;
        m_look = look;
    }
    painter->drawPixmap(bar->rect.topLeft(), m_groove);
    QStyleOptionSlider over = *bar;
    over.subControls &= above;
    QProxyStyle::drawComplexControl(control, &over, painter, widget);
}
