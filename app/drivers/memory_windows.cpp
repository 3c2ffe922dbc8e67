#include "memory_windows.h"

#include "drivers/comm_port.h"
#include "main_window/frm_main.h"

#include <QTimer>

// The families' memory windows are not part of this build yet: the main window stays usable.
void openChronyExtras(frmMain& main)
{
    main.setEnabled(true);
}

void openProChronoExtras(frmMain& main)
{
    main.setEnabled(true);
}

void openCedStatus(frmMain& main)
{
    main.setEnabled(true);
}

void appendChronyOutput(frmMain&, const QString&) {}

void proChronoRemoteReceive(frmMain& main)
{
    main.MSComm1->Input();
}

double proChronoLiveDecode(frmMain& main)
{
    main.countShot = false;
    return 0;
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

void closeOtherWindows(frmMain&) {}
