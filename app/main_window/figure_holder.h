#pragma once

#include <QWidget>

class QLabel;

// Holds a label whose text changes at every shot. A label given a new text asks the layout it
// sits in to lay the whole window out again, though a figure keeps its size; that was a tenth
// of a shot's cost. In a holder without a layout the request goes no further: the holder offers
// the window's layout the label's own size hints and gives the label all of its room.
class FigureHolder : public QWidget {
public:
    FigureHolder(QLabel* label, QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_label;
};
