#pragma once

#include "closing_dialog.h"
#include "drivers/comm_port.h"

#include <optional>

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
    // Closed without saving, it puts the port and the polls back as they were.
    void openDialog();

    void chronoType_Click(int index);
    void txtCalibration_GotFocus();
    void txtCalibration_LostFocus();
    void btnComm_Click();
    void btnCancelOpt_Click();

protected:
    // Main window enabled, dialog hidden and disabled; unless the options were saved, the
    // connection, the watchdog and the polls are as they were before the dialog opened.
    bool unload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void save();
    void labelStatusButton();
    void restoreConnection();

    // The connection as the dialog found it; gone once the options are saved.
    struct Before {
        CommPort::LinkState link;
        bool watchdog = false;
        bool cedPoll = false;
        bool proChronoPoll = false;
    };
    std::optional<Before> m_before;

    frmMain& m_main;
};
