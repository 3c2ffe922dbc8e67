#pragma once

#include "closing_dialog.h"

class QLabel;
class QPushButton;

// The about box of the DevPort control.
class frmAbout : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* picIcon = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

    void cmdSysInfo_Click();
    // The first system-information program installed here, or empty.
    static QString systemInfoProgram();
};
