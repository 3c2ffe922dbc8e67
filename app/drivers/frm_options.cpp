#include "frm_options.h"

#include "drivers/comm_port.h"
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

frmOptions::frmOptions(frmMain& main) : QDialog(&main), m_main(main)
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
    chronoType->select(1);
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
    txtCalibration = new QLineEdit(QStringLiteral("100.0"), calibrationFrame);
    txtCalibration->setObjectName(QStringLiteral("txtCalibration"));
    txtCalibration->setToolTip(
        QStringLiteral("Ch value to make Velmora read over or under the value of the Chronograph.ange thi"));
    auto* percent = new QLabel(QStringLiteral("%"), calibrationFrame);
    percent->setObjectName(QStringLiteral("lblPercent"));
    auto* calibrationNote = new QLabel(QStringLiteral("Over or under read. Default 100.0%"), calibrationFrame);
    calibrationNote->setObjectName(QStringLiteral("lblCalibration"));
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

    auto* layout = new QGridLayout(this);
    layout->addWidget(typeFrame, 0, 0, 3, 1);
    layout->addWidget(new QLabel(QStringLiteral("Com Port:"), this), 0, 1);
    layout->addWidget(lstComm, 0, 2);
    layout->addWidget(calibrationFrame, 1, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnComm);
    buttons->addWidget(btnCancelOpt);
    layout->addLayout(buttons, 3, 0, 1, 3);

    connect(chronoType, &OptionGroup::clicked, this, &frmOptions::chronoType_Click);
}

void frmOptions::scanPorts(int remembered)
{
    lstComm->clear();
    CommPort& port = *m_main.MSComm1;
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
            lstComm->setItemText(row, QString::number(i));
            port.setPortOpen(false);
            if (i == remembered)
                lstComm->setCurrentIndex(row);
        }
    }
    if (remembered < 1 || lstComm->findText(QString::number(remembered)) < 0)
        lstComm->setCurrentIndex(-1);
}

void frmOptions::openDialog()
{
    m_main.timerCED->stop();
    m_main.TimerProChrono->stop();
    if (m_main.MSComm1->PortOpen())
        m_main.MSComm1->setPortOpen(false);
    const int remembered = static_cast<int>(regional::leadingNumber(lstComm->currentText()));
    scanPorts(remembered);
    m_main.Timer1->stop();
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
