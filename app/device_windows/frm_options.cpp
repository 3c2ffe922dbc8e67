#include "frm_options.h"

#include "drivers/comm_port.h"
#include "services/app_error.h"
#include "services/event_guard.h"
#include "services/focus_moves.h"
#include "services/prompt.h"
#include "main_window/frm_main.h"
#include "main_window/option_group.h"
#include "services/regional.h"
#include "storage/settings_store.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

frmOptions::frmOptions(frmMain& main) : ClosingDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Chrono Options"));
    setModal(false);

    auto* typeFrame = new QGroupBox(QStringLiteral("Chronograph Type"), this);
    chronoType = new OptionGroup(this);
    chronoType->setObjectName(QStringLiteral("chronoType"));
    chronoType->add(1, QStringLiteral("Chrony"), typeFrame)->setToolTip(QStringLiteral("Shooting Chrony Series"));
    chronoType->add(2, QStringLiteral("Combro"), typeFrame)->setToolTip(QStringLiteral("Combro CB-625 All Versions"));
    chronoType->add(3, QStringLiteral("CED M2"), typeFrame)->setToolTip(QStringLiteral("CED M2 Chronograph"));
    chronoType->add(4, QStringLiteral("ProChrono"), typeFrame)
        ->setToolTip(QStringLiteral("Reserved for future compatibility"));
    auto* typeLayout = new QVBoxLayout(typeFrame);
    for (int i = 1; i <= 4; ++i)
        typeLayout->addWidget((*chronoType)[i]);

    lstComm = new QComboBox(this);
    lstComm->setObjectName(QStringLiteral("lstComm"));
    lstComm->setToolTip(QStringLiteral("Select COM port number"));
    txtComm = new QLineEdit(this);
    txtComm->setObjectName(QStringLiteral("txtComm"));
    txtComm->setToolTip(QStringLiteral("Com port number. COMX:"));
    txtComm->setVisible(false);

    auto* calibrationFrame = new QGroupBox(QStringLiteral("Calibration Value"), this);
    calibrationFrame->setObjectName(QStringLiteral("fmeCalibration"));
    txtCalibration = new QLineEdit(regional::format1(100), calibrationFrame);
    txtCalibration->setObjectName(QStringLiteral("txtCalibration"));
    txtCalibration->setToolTip(
        QStringLiteral("Ch value to make Velmora read over or under the value of the Chronograph.ange thi"));
    auto* percent = new QLabel(QStringLiteral("%"), calibrationFrame);
    percent->setObjectName(QStringLiteral("lblPercent"));
    auto* calibrationNote = new QLabel(QStringLiteral("Over or under read. Default 100.0%"), calibrationFrame);
    calibrationNote->setObjectName(QStringLiteral("lblCalibration"));
    calibrationNote->setBuddy(txtCalibration);
    auto* calibrationLayout = new QGridLayout(calibrationFrame);
    calibrationLayout->addWidget(txtCalibration, 0, 0);
    calibrationLayout->addWidget(percent, 0, 1);
    calibrationLayout->addWidget(calibrationNote, 1, 0, 1, 2);

    btnComm = new QPushButton(QStringLiteral("Save"), this);
    btnComm->setObjectName(QStringLiteral("btnComm"));
    btnComm->setToolTip(QStringLiteral("Close"));
    btnCancelOpt = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancelOpt->setObjectName(QStringLiteral("btnCancelOpt"));
    btnCancelOpt->setToolTip(QStringLiteral("Cancel."));

    lblDevice = new QLabel(this);
    lblDevice->setObjectName(QStringLiteral("lblDevice"));
    lblDevice->setToolTip(QStringLiteral("The device this port number stands for"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(typeFrame, 0, 0, 3, 1);
    auto* portLabel = new QLabel(QStringLiteral("Com Port:"), this);
    portLabel->setBuddy(lstComm);
    layout->addWidget(portLabel, 0, 1);
    layout->addWidget(lstComm, 0, 2);
    layout->addWidget(lblDevice, 2, 1, 1, 2);
    layout->addWidget(calibrationFrame, 1, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnComm);
    buttons->addWidget(btnCancelOpt);
    layout->addLayout(buttons, 3, 0, 1, 3);

    (*chronoType)[3]->setEnabled(!m_main.session().disableHID);

    connect(chronoType, &OptionGroup::clicked, this, guarded(this, &frmOptions::chronoType_Click));
    connect(lstComm, &QComboBox::currentIndexChanged, this, [this](int row) {
        lblDevice->setText(row < 0 ? QString() : lstComm->itemData(row, Qt::ToolTipRole).toString());
    });
    connect(btnComm, &QPushButton::clicked, this, guarded(this, &frmOptions::btnComm_Click));
    connect(btnCancelOpt, &QPushButton::clicked, this, guarded(this, &frmOptions::btnCancelOpt_Click));
    setEscapeButton(btnCancelOpt);
    txtCalibration->installEventFilter(this);
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtCalibration && focusMovedWithinWindow(event)) {
        if (event->type() == QEvent::FocusIn)
            event_guard::run("calibration box", [this] { txtCalibration_GotFocus(); });
        else if (event->type() == QEvent::FocusOut)
            event_guard::run("calibration box", [this] { txtCalibration_LostFocus(); });
    }
    return QDialog::eventFilter(watched, event);
}

void frmOptions::txtCalibration_GotFocus()
{
    lastCalibration = regional::toNumber(txtCalibration->text()).value_or(lastCalibration);
}

void frmOptions::txtCalibration_LostFocus()
{
    const auto value = regional::toNumber(txtCalibration->text());
    if (!value) {
        m_main.services().prompt->message(QStringLiteral("Please only enter numbers in calibration value."));
        txtCalibration->setText(regional::numberText(lastCalibration));
        QTimer::singleShot(0, txtCalibration, [this] { txtCalibration->setFocus(); });
        return;
    }
    settings::SaveSettingValue(QStringLiteral("txtCalibration"), *value);
}

void frmOptions::btnComm_Click()
{
    m_main.UpdateChronoLabel();
    try {
        save();
    } catch (const AppError& e) {
        if (e.number() > 0)
            m_main.services().prompt->message(QStringLiteral("Unhandled Error:") + QString::number(e.number()),
                                              Prompt::Icon::Critical, QStringLiteral("Velmora"));
    }
}

void frmOptions::save()
{
    CommPort& port = *m_main.session().MSComm1;
    const int family = chronoType->selectedIndex();
    if (family == 3) {
        if (port.PortOpen())
            port.setPortOpen(false);
        m_main.session().ced.resetForConnection();
        if (!m_main.session().disableHID) {
            HidControl hid = m_main.hid();
            m_main.session().ced.cedSkipNext = true;
            const QString path = hid.Browse();
            if (!path.isEmpty())
                hid.ConnectToPath(path);
            if (hid.Connected() && !hid.MatchProduct().contains(QLatin1String("CED"))) {
                hid.Disconnect();
                m_main.services().prompt->message(QStringLiteral("Device selected is not a CED Chronograph."));
                return;
            }
        }
    } else {
        m_main.session().ced.cedSkipNext = false;
        if (port.PortOpen())
            port.setPortOpen(false);
        port.setCommPort(regional::toInt16(regional::toNumberOrFail(lstComm->currentText())));
        port.setSettings(frmMain::lineSettingsFor(family));
        port.setRThreshold(1);
        port.setInputLen(1);
        if (!port.PortOpen())
            port.setPortOpen(true);
        const double number = regional::leadingNumber(lstComm->currentText());
        if (number != 0)
            settings::SaveSettingValue(QStringLiteral("txtComm"), number);
    }

    labelStatusButton();

    if (family == 3 && m_main.session().disableHID) {
        m_main.session().Timer1->start();
        m_main.session().timerCED->stop();
        m_main.session().TimerProChrono->stop();
    } else if (family == 3 && m_main.hid().Connected()) {
        m_main.session().timerCED->start();
        m_main.session().TimerProChrono->stop();
    } else if (family == 3) {
        return; // not connected: the dialog stays open, without a message
    } else if (family == 4) {
        m_main.session().Timer1->start();
        m_main.session().timerCED->stop();
        m_main.session().TimerProChrono->start();
    } else {
        m_main.session().Timer1->start();
        m_main.session().timerCED->stop();
        m_main.session().TimerProChrono->stop();
    }
    m_before.reset(); // saved: the new connection stands
    close();
}

void frmOptions::labelStatusButton()
{
    QPushButton* status = m_main.btnDump;
    auto label = [status](const QString& caption, bool enabled) {
        status->setText(caption);
        status->setEnabled(enabled);
    };
    if (chronoType->isSelected(1) && m_main.session().MSComm1->PortOpen())
        label(QStringLiteral("Chrony Status"), true);
    else if (chronoType->isSelected(3) && m_main.session().disableHID)
        label(QStringLiteral("No Status"), false);
    else if (chronoType->isSelected(3) && m_main.hid().Connected())
        label(QStringLiteral("CED Status"), true);
    else if (chronoType->isSelected(3))
        return;
    else if (chronoType->isSelected(4))
        label(QStringLiteral("ProC Status"), true);
    else
        label(QStringLiteral("No Status"), false);
}

void frmOptions::btnCancelOpt_Click()
{
    m_main.session().Timer1->start();
    close();
}

bool frmOptions::unload()
{
    m_main.setEnabled(true);
    setEnabled(false);
    restoreConnection();
    return true; // loaded once for the run: closing only hides it
}

void frmOptions::restoreConnection()
{
    if (!m_before)
        return;
    // Looking at the ports closed the chronograph's; cancelling must not end capture silently.
    const Before before = *std::exchange(m_before, std::nullopt);
    if (before.watchdog)
        m_main.session().Timer1->start();
    if (before.cedPoll)
        m_main.session().timerCED->start();
    if (before.proChronoPoll)
        m_main.session().TimerProChrono->start();
    // A device gone meanwhile is waited for, and its loss stops the ProChrono poll again.
    try {
        m_main.session().MSComm1->restoreLinkState(before.link);
    } catch (const AppError&) {
    }
}

void frmOptions::scanPorts(int remembered)
{
    lstComm->clear();
    CommPort& port = *m_main.session().MSComm1;
    for (int i = 1; i <= 100; ++i) {
        try {
            port.setCommPort(i);
            port.setPortOpen(true);
        } catch (const std::exception&) {
        }
        if (port.PortOpen()) {
            lstComm->addItem(QString::number(i));
            const int row = lstComm->count() - 1;
            lstComm->setItemData(row, port.devicePath(i), Qt::ToolTipRole);
            port.setPortOpen(false);
            if (i == remembered)
                lstComm->setCurrentIndex(row);
        }
    }
    if (remembered < 1 || lstComm->findText(QString::number(remembered)) < 0)
        lstComm->setCurrentIndex(-1);
    const int row = lstComm->currentIndex();
    lblDevice->setText(row < 0 ? QString() : lstComm->itemData(row, Qt::ToolTipRole).toString());
}

void frmOptions::openDialog()
{
    if (!m_before)
        m_before = Before{m_main.session().MSComm1->linkState(), m_main.session().Timer1->isActive(), m_main.session().timerCED->isActive(),
                          m_main.session().TimerProChrono->isActive()};
    m_main.session().timerCED->stop();
    m_main.session().TimerProChrono->stop();
    if (m_main.session().MSComm1->PortOpen())
        m_main.session().MSComm1->setPortOpen(false);
    const int remembered = regional::toNumber(lstComm->currentText()).value_or(0);
    scanPorts(remembered);
    m_main.session().Timer1->stop();
    m_main.setEnabled(false);
    setEnabled(true);
    show();
}

void frmOptions::chronoType_Click(int index)
{
    settings::SaveSettingValue(QStringLiteral("chronoType"), index);
    lstComm->setEnabled(index != 3);
    m_main.UpdateChronoLabel();
}
