#include "serial_link.h"

#include "capture/capture_session.h"
#include "drivers/comm_port.h"
#include "device_windows/frm_chrony_extras.h"
#include "device_windows/frm_options.h"
#include "device_windows/frm_prochrono_extras.h"
#include "drivers/prochrono_link.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/prompt.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTimer>

namespace {

QString familyCaption(frmMain& main)
{
    const OptionGroup& type = *main.options().chronoType;
    const int index = type.selectedIndex();
    return index >= 1 && index <= 4 ? type[index]->text() : QStringLiteral("Chronograph");
}

} // namespace

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

void serialLinkLost(frmMain& main)
{
    main.session().strReceivedAll.clear();
    const QString cutDownload = main.session().deviceLost();
    main.session().TimerProChrono->stop();
    main.lblSelChrono->setText(disconnectedText(familyCaption(main), main.session().MSComm1->linkPath()));
    QString closed;
    if (main.chronyExtras && main.chronyExtras->isVisible()) {
        closed = main.chronyExtras->windowTitle();
        main.chronyExtras->close();
    }
    if (main.proChronoExtras && main.proChronoExtras->isVisible()) {
        closed = main.proChronoExtras->windowTitle();
        main.proChronoExtras->close();
    }
    // Closing a ProChrono window restarts its poll; the device is not there to answer it.
    main.session().TimerProChrono->stop();
    if (!closed.isEmpty()) {
        const QString text = windowClosedByLossText(closed);
        main.services().prompt->message(
            cutDownload.isEmpty() ? text : text + QStringLiteral("\r\n\r\n") + cutDownload, Prompt::Icon::Exclamation);
    }
}

void serialLinkBlocked(frmMain& main, const QString& path, const QString& reason)
{
    main.lblSelChrono->setText(blockedText(familyCaption(main), path, reason));
}

void serialLinkBack(frmMain& main)
{
    main.session().strReceivedAll.clear();
    // An exchange cut by the loss sends its closing commands first; capture resumes after them.
    if (main.session().deviceBack())
        serialCaptureResumed(main);
}

void serialCaptureResumed(frmMain& main)
{
    main.lblSelChrono->setText(reconnectedText(familyCaption(main), main.session().MSComm1->linkPath()));
    if (main.options().chronoType->isSelected(4) && !(main.proChronoExtras && main.proChronoExtras->isVisible())) {
        // Polled at once. The last status taken stays the baseline: the same device answers with
        // it again (no shot), another string or device is a new baseline, not a shot.
        TimerProChrono_Timer(main);
        main.session().TimerProChrono->start();
    }
}
