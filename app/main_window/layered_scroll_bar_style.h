#pragma once

#include <QPixmap>
#include <QProxyStyle>

// Paints a scroll bar's groove once and keeps it as a picture; each paint draws that picture
// and the handle and the arrows over it. A list that grows by a row at every shot moves its
// handle at every shot, and under Fusion the groove is a gradient as tall as the list, which
// was filled again each time (on helper threads: Qt splits tall fills). For a style whose
// groove covers its whole bar, as Fusion's does; set on one bar only.
class LayeredScrollBarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;

private:
    // What the groove's look depends on.
    struct Look {
        QSize size;
        qreal pixelRatio = 0;
        int state = 0;
        int active = 0;
        int subControls = 0;
        qint64 palette = 0;
        bool operator==(const Look&) const = default;
    };

    mutable Look m_look;
    mutable QPixmap m_groove;
};
