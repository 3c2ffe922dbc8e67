#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;

// Holds a label whose text changes at every shot.
// - A label given a new text asks the layout it sits in to lay the whole window out again,
//   though a figure nearly always keeps its size; that was a tenth of a shot's cost. In a
//   holder without a layout the request stops: the holder offers the window's layout the
//   label's own limits and hints, passes a request on only when a hint really changed, and
//   gives the label all of its room.
// - Behind a transparent label, every new text repainted the frame around it (a stretched
//   picture under Fusion) and the window. The holder keeps a picture of what lies behind it
//   and paints that instead.
class FigureHolder : public QWidget {
public:
    FigureHolder(QLabel* label, QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // What the picture behind depends on.
    struct Place {
        QRect geometry;
        QSize frameSize;
        QPoint frameInWindow;
        qreal pixelRatio = 0;
        qint64 palette = 0;
        bool active = false;
        bool enabled = false;
        bool operator==(const Place&) const = default;
    };

    QLabel* m_label;
    QSize m_offeredHint;
    QSize m_offeredMinimum;
    Place m_place;
    QPixmap m_behind;
};
