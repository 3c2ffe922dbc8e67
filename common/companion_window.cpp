#include "companion_window.h"

#include <QEvent>

CompanionWindow::CompanionWindow(QWidget* owner)
    : ClosingDialog(owner, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
}

void CompanionWindow::changeEvent(QEvent* event)
{
    // Disabling the owner disables its windows too; a companion takes its own state back.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        setEnabled(true);
    ClosingDialog::changeEvent(event);
}
