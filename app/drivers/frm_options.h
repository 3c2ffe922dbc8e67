#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class frmMain;
class OptionGroup;

// "Chrono Options": the chronograph family, the serial port and the calibration percentage.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(frmMain& main);

    OptionGroup* chronoType = nullptr;
    QComboBox* lstComm = nullptr;
    QLineEdit* txtComm = nullptr;
    QLineEdit* txtCalibration = nullptr;
    QPushButton* btnComm = nullptr;
    QPushButton* btnCancelOpt = nullptr;
    double lastCalibration = 100.0;

    // Lists the ports 1 to 100 that open, selecting `remembered` when it is among them.
    void scanPorts(int remembered);
    // Stops the polls, closes the port, rescans and shows the dialog over a disabled main window.
    void openDialog();

    void chronoType_Click(int index);

private:
    frmMain& m_main;
};
