#include "memory_windows.h"

#include "drivers/comm_port.h"
#include "drivers/frm_ced_status.h"
#include "drivers/frm_chrony_extras.h"
#include "drivers/frm_prochrono_extras.h"
#include "main_window/frm_main.h"

#include <QTimer>

namespace {
// Loads a memory window over the disabled main window and runs its load step.
template <typename Window> void open(frmMain& main, QPointer<Window>& slot)
{
    auto* dialog = new Window(main);
    dialog->setEnabled(true); // usable over the disabled main window
    slot = dialog;
    dialog->show();
    dialog->Form_Load();
}
} // namespace

void openChronyExtras(frmMain& main)
{
    open(main, main.chronyExtras);
}

void openProChronoExtras(frmMain& main)
{
    open(main, main.proChronoExtras);
}

void openCedStatus(frmMain& main)
{
    open(main, main.cedStatus);
}

void appendChronyOutput(frmMain& main, const QString& text)
{
    if (main.chronyExtras)
        main.chronyExtras->appendOutput(text);
}

void closeOtherWindows(frmMain& main)
{
    for (ClosingDialog* window : main.findChildren<ClosingDialog*>(Qt::FindDirectChildrenOnly))
        window->close();
}
