#include "closing_dialog.h"

#include "window_placement.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

ClosingDialog::ClosingDialog(QWidget* owner, Qt::WindowFlags flags) : QDialog(owner, flags) {}

void ClosingDialog::setDefaultButton(QPushButton* button)
{
    m_default = button;
    if (button)
        button->setDefault(true);
}

void ClosingDialog::chainTabOrder(std::initializer_list<QWidget*> widgets)
{
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void ClosingDialog::reject()
{
    if (m_escape && m_escape->isVisibleTo(this) && m_escape->isEnabled())
        m_escape->click();
    else
        close();
}

void ClosingDialog::done(int result)
{
    setResult(result);
    close();
}

void ClosingDialog::closeEvent(QCloseEvent* event)
{
    // A closing step that closes the window again (a button's handler, say) is part of this one.
    if (m_unloading) {
        event->accept();
        return;
    }
    m_unloading = true;
    bool leave = true;
    try {
        leave = unload();
    } catch (const std::exception& failure) {
        qWarning("%s: closing steps failed: %s", qPrintable(objectName()), failure.what());
    }
    m_unloading = false;
    if (!leave) {
        event->ignore();
        return;
    }
    m_closed = true;
    event->accept();
    emit finished(result());
}

void ClosingDialog::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // Enter presses push buttons only: a radio button or check box is never toggled by it
        // (a family chosen that way would be saved even if the window were then cancelled).
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused && focused->isEnabled())
            focused->animateClick();
        else if (m_default && m_default->isVisibleTo(this) && m_default->isEnabled())
            m_default->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ClosingDialog::showEvent(QShowEvent* event)
{
    // Buttons become auto-default in a dialog; none of ours may take Enter from a text box.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(button == m_default);
    }
    // A window restored from minimised (or shown again by the window system) stays where it was.
    if (event->spontaneous()) {
        QDialog::showEvent(event);
        return;
    }
    m_closed = false;
    // A top-level window opens at no more than two thirds of the screen by itself; ours open at
    // their whole size, and the placement shrinks them only to what the screen can hold.
    if (!m_placed && sizeHint().isValid())
        resize(size().expandedTo(sizeHint()));
    // First shown: centred on the owner's screen. Shown again: kept on the screen the user put
    // it on, only moved back inside it.
    if (m_placed)
        placement::place(*this, nullptr, placement::Mode::KeepInside);
    else
        placement::place(*this, parentWidget() ? parentWidget()->window() : nullptr, placement::Mode::Centre);
    m_placed = true;
    QDialog::showEvent(event);
}
