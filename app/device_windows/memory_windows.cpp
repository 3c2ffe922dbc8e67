#include "memory_windows.h"

#include "capture/capture_session.h"
#include "capture/chrony_memory_exchange.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_ced_status.h"
#include "device_windows/frm_chrony_extras.h"
#include "device_windows/frm_prochrono_extras.h"
#include "main_window/frm_main.h"

#include <QTimer>

namespace {
// Loads a memory window over the disabled main window and runs its load step.
template <typename Window> void open(QPointer<Window>& slot, Window* dialog)
{
    dialog->setEnabled(true); // usable over the disabled main window
    slot = dialog;
    dialog->show();
    dialog->Form_Load();
}
} // namespace

void openChronyExtras(frmMain& main)
{
    open(main.chronyExtras,
         new frmChronyExtras(&main, main.session().chronyMemory(), *main.services().prompt));
}

void openProChronoExtras(frmMain& main)
{
    open(main.proChronoExtras, new frmProChronoExtras(main));
}

void openCedStatus(frmMain& main)
{
    open(main.cedStatus, new frmCEDStatus(main));
}

void appendChronyOutput(frmMain& main, const QString& text)
{
    main.session().chronyMemory().reply(text);
}

void closeOtherWindows(frmMain& main)
{
    for (ClosingDialog* window : main.findChildren<ClosingDialog*>(Qt::FindDirectChildrenOnly))
        window->close();
}
