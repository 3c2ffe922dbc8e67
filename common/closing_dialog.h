#pragma once

#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <initializer_list>

// The one way every dialog and tool window of the program closes. Its own button, Escape, the
// window manager's close button and a close by the program all end in the window's closing
// steps (`unload`), run once per closing: `reject()` and `done()` close the window instead of
// merely hiding it. Escape presses the window's Cancel or Close button when it has one, and
// closes the window otherwise. Enter presses the focused button, or the window's declared
// default button; in a text box it does nothing, so a stray Enter never starts a device command.
// The window is centred on the screen of its owner when first shown, and kept inside the screen
// when shown again.
class ClosingDialog : public QDialog {
    Q_OBJECT
public:
    explicit ClosingDialog(QWidget* owner, Qt::WindowFlags flags = {});

    void reject() override;
    void done(int result) override;

    // The closing steps have run since the window was last shown: whatever a handler still
    // had to do (after a question, say) must not reach the device or the main window.
    bool closingStepsRan() const { return m_closed; }

protected:
    // The window's closing steps; false keeps the window open.
    virtual bool unload() { return true; }

    // The button Escape presses (the window's Cancel or Close).
    void setEscapeButton(QAbstractButton* button) { m_escape = button; }
    // The one button Enter presses wherever the focus is (none by default).
    void setDefaultButton(QPushButton* button);
    // Tab visits the widgets in this order (the visual one, where creation order differs).
    static void chainTabOrder(std::initializer_list<QWidget*> widgets);

    void closeEvent(QCloseEvent* event) final;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QAbstractButton> m_escape;
    QPointer<QPushButton> m_default;
    bool m_unloading = false;
    bool m_closed = false;
    bool m_placed = false;
};
