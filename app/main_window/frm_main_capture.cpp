// The main window as the host of the device exchanges and drivers.
#include "frm_main.h"

#include "device_windows/frm_chrony_extras.h"
#include "device_windows/frm_options.h"
#include "device_windows/frm_prochrono_extras.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_speed.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "shot/shot_settings.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "shot/record_shot.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void frmMain::setReceiver(Receiver receiver)
{
    m_session->chrony_data = receiver == Receiver::ChronyMemory;
    m_session->prochrono_data = receiver == Receiver::ProChronoRemote;
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
    run(m_session->Timer1, running);
}

void frmMain::setProChronoPoll(bool running)
{
    run(m_session->TimerProChrono, running);
}

void frmMain::setCedPoll(bool running)
{
    run(m_session->timerCED, running);
}

int frmMain::chronoFamily()
{
    const int index = options().chronoType->selectedIndex();
    return index >= 1 && index <= 4 ? index : 0;
}

QString frmMain::chronoFamilyCaption()
{
    const int family = chronoFamily();
    return family != 0 ? (*options().chronoType)[family]->text() : QStringLiteral("Chronograph");
}

void frmMain::showChronoStatus(const QString& text)
{
    lblSelChrono->setText(text);
}

QString frmMain::closeSerialMemoryWindows()
{
    QString closed;
    if (chronyExtras && chronyExtras->isVisible()) {
        closed = chronyExtras->windowTitle();
        chronyExtras->close();
    }
    if (proChronoExtras && proChronoExtras->isVisible()) {
        closed = proChronoExtras->windowTitle();
        proChronoExtras->close();
    }
    return closed;
}

bool frmMain::proChronoWindowOpen() const
{
    return proChronoExtras && proChronoExtras->isVisible();
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
    m_session->echoed_data = true;
}

void frmMain::showShotFigures(double fps, const ballistics::ShotFigures& f)
{
    const ShotSettings& settings = shotSettings();
    if (settings.powerIndex == 1)
        setPowerCaption(regional::format2(f.ftLbf));
    else if (settings.powerIndex == 2)
        setPowerCaption(regional::format2(f.joules));
    else if (settings.powerIndex == 3)
        setPowerCaption(regional::format1(f.ipscFactor));
    Label5->setText(regional::format2(settings.feetPerSecond() ? fps : f.mps));
}

void frmMain::playShotSound()
{
    PlayWAV(QStringLiteral("shotok.wav"), false);
}

void frmMain::appendListLine(const QString& line)
{
    Text1->append(line);
    Text1->moveCaretToEnd();
}

void frmMain::showLastRow()
{
    FlexGrid& grid = *MSFlexGrid1;
    if (grid.Rows() > 5) {
        grid.setTopRow(grid.Rows() - 5);
        grid.setColWidth(2, 1585);
    } else {
        grid.setColWidth(2, 1895);
    }
    grid.setRow(grid.Rows() - 1);
}

void frmMain::enableStringButtons()
{
    btnSave->setEnabled(true);
    btnReset->setEnabled(true);
    btnDelete->setEnabled(true);
}

void frmMain::showShotOnSpeedPanel()
{
    if (frmSpeed* panel = visibleSpeedPanel())
        panel->showShot(Label3->text(), Label5->text(), m_session->shot_count);
}
