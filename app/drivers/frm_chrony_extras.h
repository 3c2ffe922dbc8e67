#pragma once

#include "closing_dialog.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class frmMain;

// "Chrony Status": the strings stored in a Shooting Chrony, downloading one through the live
// path, and clearing the memory.
class frmChronyExtras : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmChronyExtras(frmMain& main);

    QGroupBox* fmeChrony = nullptr;
    QComboBox* lstString = nullptr;
    QLineEdit* txtStoredStrings = nullptr;
    QPlainTextEdit* txtChronyOutput = nullptr;
    QPushButton* btnDumpAll = nullptr;
    QPushButton* btnClear = nullptr;
    // The output box's text exactly as received (CR LF line ends).
    const QString& outputText() const { return m_output; }
    QString strLastString;
    QString lastChronyCommand;
    qint16 queriedString = 0;

    void Form_Load();
    // A reply line collected up to the ">" prompt.
    void appendOutput(const QString& text);
    void txtChronyOutput_Change();
    void lstString_Click();
    void btnDumpAll_Click();
    void btnClear_Click();

protected:
    bool unload() override;

private:
    void send(const QString& command);
    void sendMoves(int from, int to);
    void communicationFailed();
    void setOutput(const QString& text);
    frmMain& m_main;
    QString m_output;
};
