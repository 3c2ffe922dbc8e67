#include "memory_windows.h"

#include "drivers/comm_port.h"
#include "drivers/frm_chrony_extras.h"
#include "drivers/frm_prochrono_extras.h"
#include "main_window/frm_main.h"

#include <QTimer>

void openChronyExtras(frmMain& main)
{
    auto* dialog = new frmChronyExtras(main);
    main.chronyExtras = dialog;
    dialog->show();
    dialog->Form_Load();
}

void openProChronoExtras(frmMain& main)
{
    auto* dialog = new frmProChronoExtras(main);
    main.proChronoExtras = dialog;
    dialog->show();
    dialog->Form_Load();
}

void openCedStatus(frmMain& main)
{
    main.setEnabled(true);
}

void appendChronyOutput(frmMain& main, const QString& text)
{
    if (main.chronyExtras)
        main.chronyExtras->appendOutput(text);
}

double cedReadVelocity(frmMain& main, int, int)
{
    main.countShot = false;
    return 0;
}

void resetCedPollAndConnect(frmMain& main)
{
    if (main.MSComm1->PortOpen())
        main.MSComm1->setPortOpen(false);
    main.ced.resetForConnection();
    if (main.disableHID)
        return;
    main.ced.cedSkipNext = true;
    const QString path = main.hid().Browse();
    if (!path.isEmpty())
        main.hid().ConnectToPath(path);
    main.timerCED->start();
}

void closeOtherWindows(frmMain& main)
{
    if (main.chronyExtras)
        delete main.chronyExtras.data();
    if (main.proChronoExtras)
        delete main.proChronoExtras.data();
}
