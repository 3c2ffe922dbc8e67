// The main window as the host of the device exchanges and drivers.
#include "frm_main.h"

#include "drivers/frm_options.h"
#include "main_window/option_group.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "shot/record_shot.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void frmMain::setReceiver(Receiver receiver)
{
    chrony_data = receiver == Receiver::ChronyMemory;
    prochrono_data = receiver == Receiver::ProChronoRemote;
}

namespace {
void run(QTimer* timer, bool running)
{
    if (running)
        timer->start();
    else
        timer->stop();
}
} // namespace

void frmMain::setWatchdog(bool running)
{
    run(Timer1, running);
}

void frmMain::setProChronoPoll(bool running)
{
    run(TimerProChrono, running);
}

void frmMain::setCedPoll(bool running)
{
    run(timerCED, running);
}

double frmMain::calibration()
{
    return regional::toNumberOrFail(options().txtCalibration->text());
}

void frmMain::recordShot(double fps)
{
    RecordShot(*this, fps);
}

void frmMain::recordDumpedShot(double fps)
{
    RecordDumpedShot(*this, fps);
}

void frmMain::dumpFinished(double lastVelocity)
{
    try {
        updateTotals();
    } catch (const std::exception&) {
    }
    const double shown = m_shotSettings.feetPerSecond() ? lastVelocity : lastVelocity * ballistics::kMetresPerFoot;
    Label5->setText(regional::format2(shown));
    btnSave->setEnabled(true);
    btnReset->setEnabled(true);
    btnDelete->setEnabled(true);
    echoed_data = true;
}
