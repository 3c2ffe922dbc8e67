#include "prochrono_link.h"

#include "capture/capture_host.h"
#include "capture/capture_session.h"
#include "capture/prochrono_remote.h"
#include "drivers/comm_port.h"
#include "drivers/prochrono_protocol.h"

#include <QTimer>

void TimerProChrono_Timer(CaptureSession& session)
{
    if (session.MSComm1->isLost()) {
        session.TimerProChrono->stop(); // started again when the device is back
        return;
    }
    session.Timer1->stop();
    session.strReceivedAll.clear();
    session.proChrono.expectedReply = 3;
    try {
        session.MSComm1->setOutput(prochrono::kStatusQuery);
    } catch (const std::exception&) {
        // A port that went away: the next tick tries again.
    }
}

double proChronoLiveDecode(CaptureSession& session)
{
    if (session.host().chronoFamily() != 4)
        return 0;
    const prochrono::LiveReading r =
        prochrono::decodeLive(session.strReceivedAll, session.lastShotRecorded, session.proChrono.firstProChronoReply);
    session.countShot = r.countShot;
    session.lastShotRecorded = r.lastShotRecorded;
    session.proChrono.firstProChronoReply = r.firstReply;
    if (r.missed > 0)
        session.host().showChronoStatus(missedShotsText(r.missed));
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

void proChronoRemoteReceive(CaptureSession& session)
{
    session.proChronoRemote().receive(session.MSComm1->Input());
}
