#pragma once

#include "closing_dialog.h"

class QLabel;
class QPushButton;
class frmMain;

// "Velmora - File Saved": the notice after a save, with a link to the graph page.
class frmSaved : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmSaved(frmMain& main);

    QLabel* lblGraphMe = nullptr;
    QLabel* lblFooter = nullptr;
    QPushButton* btnClose = nullptr;

    void lblGraphMe_Click();
    static QString graphPage();

protected:
    bool unload() override;

private:
    frmMain& m_main;
};
