#pragma once

#include "closing_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class frmMain;
class OptionGroup;

// "Chrono Options": the chronograph family, the serial port and the calibration percentage.
class frmOptions : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmOptions(frmMain& main);

    OptionGroup* chronoType = nullptr;
    QComboBox* lstComm = nullptr;
    QLineEdit* txtComm = nullptr;
    QLineEdit* txtCalibration = nullptr;
    QPushButton* btnComm = nullptr;
    QPushButton* btnCancelOpt = nullptr;
    QLabel* lblDevice = nullptr;
    double lastCalibration = 100.0;

    // Lists the ports 1 to 100 that open, selecting `remembered` when it is among them.
    void scanPorts(int remembered);
    // Stops the polls, closes the port, rescans and shows the dialog over a disabled main window.
    void openDialog();

    void chronoType_Click(int index);
    void txtCalibration_GotFocus();
    void txtCalibration_LostFocus();
    void btnComm_Click();
    void btnCancelOpt_Click();

protected:
    // Main window enabled, dialog hidden and disabled; the watchdog stays off.
    bool unload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void save();
    void labelStatusButton();

    frmMain& m_main;
};
