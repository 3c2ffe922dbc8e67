#include "prochrono_link.h"

#include "capture/capture_session.h"
#include "capture/prochrono_remote.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_options.h"
#include "drivers/prochrono_protocol.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"

#include <QLabel>
#include <QTimer>

void TimerProChrono_Timer(frmMain& main)
{
    if (main.session().MSComm1->isLost()) {
        main.session().TimerProChrono->stop(); // started again when the device is back
        return;
    }
    main.session().Timer1->stop();
    main.session().strReceivedAll.clear();
    main.session().proChrono.expectedReply = 3;
    try {
        main.session().MSComm1->setOutput(prochrono::kStatusQuery);
    } catch (const std::exception&) {
        // A port that went away: the next tick tries again.
    }
}

double proChronoLiveDecode(frmMain& main)
{
    if (!main.options().chronoType->isSelected(4))
        return 0;
    const prochrono::LiveReading r =
        prochrono::decodeLive(main.session().strReceivedAll, main.session().lastShotRecorded, main.session().proChrono.firstProChronoReply);
    main.session().countShot = r.countShot;
    main.session().lastShotRecorded = r.lastShotRecorded;
    main.session().proChrono.firstProChronoReply = r.firstReply;
    if (r.missed > 0)
        main.lblSelChrono->setText(missedShotsText(r.missed));
    return r.fps;
}

QString missedShotsText(int missed)
{
    return QStringLiteral("ProChrono: %1 shot%2 before the last were not seen live (fired while it was away or "
                          "between two polls); they are in its memory: ProC Status downloads them")
        .arg(missed)
        .arg(missed == 1 ? QString() : QStringLiteral("s"));
}

void setInputLength(CommPort& port, int n)
{
    if (port.isLost()) {
        // The port reopens with these when its device is back.
        port.setInBufferSize(n);
        port.setInputLen(n);
        return;
    }
    if (port.InputLen() == n) {
        port.setInBufferCount(0);
        port.setOutBufferCount(0);
        return;
    }
    port.setPortOpen(false);
    port.setInBufferSize(n);
    port.setInputLen(n);
    port.setPortOpen(true);
}

void proChronoRemoteReceive(frmMain& main)
{
    main.session().proChronoRemote().receive(main.session().MSComm1->Input());
}
