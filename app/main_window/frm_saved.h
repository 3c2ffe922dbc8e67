#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class frmMain;

// "Velmora - File Saved": the notice after a save, with a link to the graph page.
class frmSaved : public QDialog {
    Q_OBJECT
public:
    explicit frmSaved(frmMain& main);

    QLabel* lblGraphMe = nullptr;
    QLabel* lblFooter = nullptr;
    QPushButton* btnClose = nullptr;

    void lblGraphMe_Click();
    static QString graphPage();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    frmMain& m_main;
};
