#pragma once

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

// A label that acts on a click, like the caption labels that open the option windows. It takes
// the focus with Tab and acts on Space or Enter too, so that it works from the keyboard alone.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent)
    {
        setFocusPolicy(Qt::TabFocus);
        showFocus(false);
    }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            emit clicked();
        QLabel::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        const int key = event->key();
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            emit clicked();
            return;
        }
        QLabel::keyPressEvent(event);
    }
    void focusInEvent(QFocusEvent* event) override
    {
        showFocus(true);
        QLabel::focusInEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        showFocus(false);
        QLabel::focusOutEvent(event);
    }

private:
    // The focus shows as a box around the caption, in the room a blank margin keeps for it.
    void showFocus(bool focused)
    {
        setFrameShape(focused ? QFrame::Box : QFrame::NoFrame);
        const int margin = focused ? 0 : 1;
        setContentsMargins(margin, margin, margin, margin);
    }
};
