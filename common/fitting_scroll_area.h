#pragma once

#include <QScrollArea>
#include <QScrollBar>

// A scroll area that asks for the whole size of its contents, so that a window holding it opens
// at its natural size and shows scroll bars only when the screen is smaller than that.
class FittingScrollArea : public QScrollArea {
public:
    explicit FittingScrollArea(QWidget* contents, QWidget* parent = nullptr) : QScrollArea(parent)
    {
        setWidget(contents);
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
    }

    QSize sizeHint() const override
    {
        const int frame = 2 * frameWidth();
        return widget() ? widget()->sizeHint() + QSize(frame, frame) : QScrollArea::sizeHint();
    }

    QSize minimumSizeHint() const override
    {
        const QSize wanted = sizeHint();
        const QSize bars(verticalScrollBar()->sizeHint().width(), horizontalScrollBar()->sizeHint().height());
        return wanted.boundedTo(QSize(240, 160) + bars);
    }
};
