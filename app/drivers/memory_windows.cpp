#include "memory_windows.h"

#include "drivers/comm_port.h"
#include "drivers/frm_ced_status.h"
#include "drivers/frm_chrony_extras.h"
#include "drivers/frm_prochrono_extras.h"
#include "main_window/frm_main.h"

#include <QTimer>

void openChronyExtras(frmMain& main)
{
    auto* dialog = new frmChronyExtras(main);
    dialog->setEnabled(true); // usable over the disabled main window
    main.chronyExtras = dialog;
    dialog->show();
    dialog->Form_Load();
}

void openProChronoExtras(frmMain& main)
{
    auto* dialog = new frmProChronoExtras(main);
    dialog->setEnabled(true); // usable over the disabled main window
    main.proChronoExtras = dialog;
    dialog->show();
    dialog->Form_Load();
}

void openCedStatus(frmMain& main)
{
    auto* dialog = new frmCEDStatus(main);
    dialog->setEnabled(true); // usable over the disabled main window
    main.cedStatus = dialog;
    dialog->show();
    dialog->Form_Load();
}

void appendChronyOutput(frmMain& main, const QString& text)
{
    if (main.chronyExtras)
        main.chronyExtras->appendOutput(text);
}

void closeOtherWindows(frmMain& main)
{
    if (main.chronyExtras)
        delete main.chronyExtras.data();
    if (main.proChronoExtras)
        delete main.proChronoExtras.data();
    if (main.cedStatus)
        delete main.cedStatus.data();
}
