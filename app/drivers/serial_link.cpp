#include "serial_link.h"

#include "capture/capture_host.h"
#include "capture/capture_session.h"
#include "drivers/comm_port.h"
#include "drivers/prochrono_link.h"
#include "services/app_services.h"
#include "services/prompt.h"

#include <QTimer>

QString disconnectedText(const QString& family, const QString& path)
{
    return family + QStringLiteral(": disconnected, waiting for ") + path;
}

QString reconnectedText(const QString& family, const QString& path)
{
    return family + QStringLiteral(": connected again on ") + path + QStringLiteral(", capture resumed");
}

QString blockedText(const QString& family, const QString& path, const QString& reason)
{
    return family + QStringLiteral(": ") + path + QStringLiteral(" is there but cannot be opened (") + reason +
           QStringLiteral("), waiting");
}

QString windowClosedByLossText(const QString& windowTitle)
{
    return QStringLiteral("The chronograph was disconnected, so \"") + windowTitle +
           QStringLiteral("\" was closed. Capture resumes by itself when the chronograph is plugged back in.");
}

void serialLinkLost(CaptureSession& session)
{
    session.strReceivedAll.clear();
    const QString cutDownload = session.deviceLost();
    session.TimerProChrono->stop();
    session.host().showChronoStatus(disconnectedText(session.host().chronoFamilyCaption(), session.MSComm1->linkPath()));
    const QString closed = session.host().closeSerialMemoryWindows();
    // Closing a ProChrono window restarts its poll; the device is not there to answer it.
    session.TimerProChrono->stop();
    if (!closed.isEmpty()) {
        const QString text = windowClosedByLossText(closed);
        session.host().services().prompt->message(
            cutDownload.isEmpty() ? text : text + QStringLiteral("\r\n\r\n") + cutDownload, Prompt::Icon::Exclamation);
    }
}

void serialLinkBlocked(CaptureSession& session, const QString& path, const QString& reason)
{
    session.host().showChronoStatus(blockedText(session.host().chronoFamilyCaption(), path, reason));
}

void serialLinkBack(CaptureSession& session)
{
    session.strReceivedAll.clear();
    // An exchange cut by the loss sends its closing commands first; capture resumes after them.
    if (session.deviceBack())
        serialCaptureResumed(session);
}

void serialCaptureResumed(CaptureSession& session)
{
    session.host().showChronoStatus(reconnectedText(session.host().chronoFamilyCaption(), session.MSComm1->linkPath()));
    if (session.host().chronoFamily() == 4 && !session.host().proChronoWindowOpen()) {
        // Polled at once. The last status taken stays the baseline: the same device answers with
        // it again (no shot), another string or device is a new baseline, not a shot.
        TimerProChrono_Timer(session);
        session.TimerProChrono->start();
    }
}
