// Start-up and shut-down of the main window.
#include "frm_main.h"

#include "window_placement.h"

#include "data_options/frm_pellet.h"
#include "drivers/ced_driver.h"
#include "drivers/comm_port.h"
#include "drivers/control_host.h"
#include "device_windows/frm_options.h"
#include "device_windows/memory_windows.h"
#include "history/string_history.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_speed.h"
#include "main_window/list_lines.h"
#include "main_window/list_text.h"
#include "main_window/option_group.h"
#include "services/app_error.h"
#include "services/crash_point.h"
#include "services/prompt.h"
#include "services/regional.h"
#include "storage/recovery.h"
#include "storage/settings_store.h"
#include "storage/pellet_store.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <optional>

#ifndef VELMORA_VERSION_MAJOR
#define VELMORA_VERSION_MAJOR 1
#define VELMORA_VERSION_MINOR 6
#endif

namespace {

// Start-up skips any failing statement and goes on with the next.
template <typename F> void skipOnError(F&& statement)
{
    try {
        statement();
    } catch (const std::exception&) {
    }
}

std::optional<int> wholeNumber(const QString& text)
{
    const auto value = regional::toNumber(text);
    if (!value || *value != std::floor(*value) || std::abs(*value) > 1e9)
        return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace

void frmMain::Form_Load()
{
    m_session->eurozone = regional::checkDecimalSeparator(m_session->eurozone);
    m_session->proChrono.firstProChronoReply = true;

    try {
        if (!m_services.controls)
            AppError::raise(AppError::CannotCreateObject);
        m_session->DevPort1 = m_services.controls->createControl(QStringLiteral("Devlink.DevPort"), QStringLiteral("DevPort1"), this);
        m_session->DevPort1->setProperty("MatchManufacturer", QStringLiteral("Competitive Edge Dynamics"));
        m_session->DevPort1->setProperty("MatchMethod", 19);
        m_session->DevPort1->setProperty("MatchPID", 58586);
        m_session->DevPort1->setProperty("MatchProduct", QStringLiteral("CED Chronograph"));
        m_session->DevPort1->setProperty("MatchVID", 1027);
        m_session->DevPort1->setProperty("TimeOut", 200);
    } catch (const AppError& e) {
        if (e.number() == AppError::CannotCreateObject) {
            m_services.prompt->message(QStringLiteral("This machine does not support the HID USB drivers neccessary to "
                                                      "use a CED M2 Chronograph.  CED M2 will be disabled."),
                                       Prompt::Icon::Critical, QStringLiteral("USB FAILED!"));
            m_session->disableHID = true;
        }
    }

    SetScreenSaverActive(false);

    m_shotSettings.separator = QStringLiteral("\t");
    m_session->last_fps = 0;
    m_session->last_ftlb = 0;
    setPowerCaption(QStringLiteral("0.00"));
    Label5->setText(QStringLiteral("0.00"));
    m_session->ced.cedSkipNext = false;
    setWindowTitle(QStringLiteral("Velmora v%1.%2").arg(VELMORA_VERSION_MAJOR).arg(VELMORA_VERSION_MINOR));

    Text1->setText(list_lines::shortHeader(weightWord(), m_shotSettings.separator));

    frmOptions& o = options();
    frmPellet& p = pellet();
    o.txtComm->setText(settings::read(settings::kTxtComm));
    const QString chrono = settings::read(settings::kChronoType);
    p.loadingSettings = true;
    p.txtWeight->setText(settings::read(settings::kTxtWeight));
    p.txtMake->setText(settings::read(settings::kTxtMake));
    p.txtModel->setText(settings::read(settings::kTxtModel));
    p.txtPelletMake->setText(settings::read(settings::kTxtPelletMake));
    p.txtCaliber->setText(settings::read(settings::kTxtCaliber));
    const QString type = settings::read(settings::kOptType);
    const QString speed = settings::read(settings::kOptSpeed);
    const QString power = settings::read(settings::kOptPower);
    const QString weightUnit = settings::read(settings::kSelWeight);
    skipOnError([&] {
        o.txtCalibration->setText(
            regional::numberText(regional::toNumberOrFail(settings::read(settings::kTxtCalibration))));
    });

    MSFlexGrid1->setColWidth(2, 1895);

    // A stored index that cannot be applied leaves the group in its design state: its default
    // option selected, never none.
    auto restore = [](OptionGroup& group, const QString& stored, const settings::Key& key) {
        const auto index = wholeNumber(stored);
        if (!index || !group.select(*index))
            group.select(QString::fromLatin1(key.defaultValue).toInt());
    };
    restore(*o.chronoType, chrono, settings::kChronoType);
    restore(*p.optType, type, settings::kOptType);
    restore(*optSpeed, speed, settings::kOptSpeed);
    restore(*optPower, power, settings::kOptPower);
    restore(*p.selWeight, weightUnit, settings::kSelWeight);
    p.loadingSettings = false;

    // The unit words follow the options as restored.
    Label7->setText(optSpeed->isSelected(1) ? QStringLiteral("fps") : QStringLiteral("m/s"));
    Label4->setText(optPower->isSelected(1)   ? QStringLiteral("Ft.Lbf")
                    : optPower->isSelected(2) ? QStringLiteral("Joules")
                                              : QStringLiteral("IPSC-F"));

    m_session->shot_count = 0;
    btnSave->setEnabled(false);
    btnReset->setEnabled(false);
    btnDelete->setEnabled(false); // there is no shot to delete yet
    m_session->echoed_data = false;

    if (m_session->MSComm1->PortOpen())
        m_session->MSComm1->setPortOpen(false);
    if (o.chronoType->isSelected(3)) {
        cedConnectAtStartup(*this);
    } else {
        connectSerialAtStartup(wholeNumber(o.txtComm->text()).value_or(0));
    }
    labelStatusButtonAtStartup();

    placement::place(*this, this, placement::Mode::Centre);

    skipOnError([&] { updateTotals(); });
    m_session->last_fps = 0;
    m_session->last_ftlb = 0;
    skipOnError([&] { history().settleEarlierStrings(); });
    skipOnError([&] { recoverCache(*this); });
    skipOnError([&] { history().shotsReplayed(); });
}

void frmMain::connectSerialAtStartup(int storedPort)
{
    frmOptions& o = options();
    o.scanPorts(storedPort);
    skipOnError([&] { m_session->MSComm1->setCommPort(regional::toInt16(regional::toNumberOrFail(o.lstComm->currentText()))); });
    skipOnError([&] {
        const int family = o.chronoType->selectedIndex();
        m_session->MSComm1->setSettings(lineSettingsFor(family));
        m_session->MSComm1->setRThreshold(1);
        m_session->MSComm1->setInputLen(1);
    });
    if (!m_session->MSComm1->PortOpen()) {
        try {
            m_session->MSComm1->setPortOpen(true);
        } catch (const AppError& e) {
            if (e.number() == AppError::PortNotOpen || e.number() == AppError::PortAlreadyOpen) {
                m_services.prompt->message(QStringLiteral("Com Port ") + QString::number(m_session->MSComm1->commPort()) +
                                               QStringLiteral(" Failed to open"),
                                           Prompt::Icon::Critical, QStringLiteral("Serial Data Logger"));
            } else if (e.number() > 8000) {
                m_services.prompt->message(QStringLiteral("Com Port ") + o.lstComm->currentText() +
                                               QStringLiteral(" Does not exist"),
                                           Prompt::Icon::Critical, QStringLiteral("Velmora"));
            }
        }
    }
    if (o.chronoType->isSelected(4) && m_session->MSComm1->PortOpen())
        m_session->TimerProChrono->start();
}

void frmMain::labelStatusButtonAtStartup()
{
    const OptionGroup& type = *options().chronoType;
    if (type.isSelected(1) && m_session->MSComm1->PortOpen()) {
        btnDump->setText(QStringLiteral("Chrony Status"));
        btnDump->setEnabled(true);
    } else if (type.isSelected(3) && hid().Connected()) {
        btnDump->setText(QStringLiteral("CED Status"));
        btnDump->setEnabled(true);
    } else if (type.isSelected(4)) {
        btnDump->setText(QStringLiteral("ProC Status"));
        btnDump->setEnabled(true);
    } else {
        btnDump->setText(QStringLiteral("No Status"));
        btnDump->setEnabled(false);
    }
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_shutDown) {
        event->accept();
        return;
    }
    if (!m_services.prompt->confirm(QStringLiteral("Are you sure you want Exit Velmora?"))) {
        event->ignore();
        return;
    }
    shutDown();
    event->accept();
}

void frmMain::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    // The other windows close first, each with its own closing steps, while the chronograph is
    // still connected: a memory window puts its device back into live mode as it closes.
    closeOtherWindows(*this);
    m_session->timerCED->stop();
    m_session->Timer1->stop();
    m_session->TimerProChrono->stop();
    if (!m_session->disableHID && m_session->DevPort1) {
        skipOnError([&] {
            if (hid().Connected())
                hid().Disconnect();
            hid().Uninit();
        });
        delete m_session->DevPort1;
        m_session->DevPort1 = nullptr;
    }
    if (m_session->MSComm1->PortOpen())
        m_session->MSComm1->setPortOpen(false);
    SetScreenSaverActive(true);
    // The string ends here: archived while its fields are still there, before the cache goes.
    (void)history().stringEnding(m_quietEnding);
    m_options.reset();
    m_pellet.reset();
    if (m_services.store) {
        // Only what is archived leaves the cache; a string still pending keeps its rows.
        history().emptyArchivedCache();
        crashPoint("emptied");
        m_services.store->close();
    }
}

void frmMain::endWithoutQuestions()
{
    if (m_shutDown)
        return;
    m_quietEnding = true;
    shutDown();
    close();
    QCoreApplication::exit(0);
}
