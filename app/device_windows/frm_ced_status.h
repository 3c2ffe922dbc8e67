#pragma once

#include "closing_dialog.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;
class CedDumpExchange;
class frmMain;

// "CED String Dump": a view of the CED dump exchange, which downloads one stored string, or all of
// them, into a listing and the table. Its buttons start the dump and return at once.
class frmCEDStatus : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmCEDStatus(frmMain& main);

    QComboBox* lstString = nullptr;
    QPushButton* btnDump1 = nullptr;
    QPushButton* btnDumpAll = nullptr;
    QPlainTextEdit* Text1 = nullptr;

    // False when the dialog refused to open (and unloaded itself).
    bool Form_Load();
    void lstString_Click();
    void btnDump1_Click();
    void btnDumpAll_Click();
    // "String:2 Shot:7 = 812.30 fps" and CR LF.
    static QString listingLine(int string, int shot, double fps);

protected:
    bool unload() override;

private:
    void showShot(int string, int shot, double fps);
    frmMain& m_main;
    CedDumpExchange& m_dump;
};
