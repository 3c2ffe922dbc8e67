#pragma once

#include "closing_dialog.h"

class QLineEdit;
class QPushButton;
class frmMain;

// "ProChrono Remote Functions": the device's current string and shot count, moving to another
// string, deleting the current one and downloading its shots.
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
    // Remote mode: one read of the serial input.
    void receive(const QString& x);
    void recordProChronoBlock(const QStringList& pieces);
    void btnChangeString_Click();
    void btnDeleteString_Click();
    void btnDumpString_Click();

protected:
    bool unload() override;

private:
    void send(const QString& frame);
    void wait(int ms);
    void communicationFailed();
    frmMain& m_main;
};
