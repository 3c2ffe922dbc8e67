#pragma once

#include "closing_dialog.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class ChronyMemoryExchange;
class Prompt;

// "Chrony Status": the strings stored in a Shooting Chrony, downloading one through the live
// path, and clearing the memory. A view of the capture session's Chrony memory exchange.
class frmChronyExtras : public ClosingDialog {
    Q_OBJECT
public:
    frmChronyExtras(QWidget* owner, ChronyMemoryExchange& exchange, Prompt& prompt);

    QGroupBox* fmeChrony = nullptr;
    QComboBox* lstString = nullptr;
    QLineEdit* txtStoredStrings = nullptr;
    QPlainTextEdit* txtChronyOutput = nullptr;
    QPushButton* btnDumpAll = nullptr;
    QPushButton* btnClear = nullptr;
    // The output box's text exactly as received (CR LF line ends).
    const QString& outputText() const;
    ChronyMemoryExchange& exchange() { return m_exchange; }

    void Form_Load();
    void lstString_Click();
    void btnDumpAll_Click();
    void btnClear_Click();

protected:
    bool unload() override;

private:
    void showOutput();
    void listStrings(int count);
    void showControls();
    ChronyMemoryExchange& m_exchange;
    Prompt& m_prompt;
};
