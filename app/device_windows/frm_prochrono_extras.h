#pragma once

#include "closing_dialog.h"

class QLineEdit;
class QPushButton;
class Prompt;
class ProChronoRemoteExchange;
class frmMain;

// "ProChrono Remote Functions": the device's current string and shot count, moving to another
// string, deleting the current one and downloading its shots. A view of the capture's remote
// exchange: it shows what the exchange reads and its buttons ask the exchange to act.
class frmProChronoExtras : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmProChronoExtras(frmMain& main);

    QLineEdit* txtPCString = nullptr;
    QLineEdit* txtPCShots = nullptr;
    QPushButton* btnDumpString = nullptr;
    QPushButton* btnDeleteString = nullptr;
    QPushButton* btnChangeString = nullptr;
    QPushButton* btnClose = nullptr;

    void Form_Load();
    void btnChangeString_Click();
    void btnDeleteString_Click();
    void btnDumpString_Click();

protected:
    bool unload() override;

private:
    void showStatus(int currentString, int shotsInString);
    ProChronoRemoteExchange& m_exchange;
    Prompt& m_prompt;
};
