#pragma once

#include "closing_dialog.h"
#include <QStringList>
#include <random>

class QCheckBox;
class QLabel;
class QPushButton;
class frmMain;

// "Tip of the Day": a random tip from the local database at start-up, unless switched off.
class frmTip : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmTip(frmMain& main);

    QLabel* Label1 = nullptr;
    QLabel* Picture1 = nullptr;
    QLabel* lblTipText = nullptr;
    QCheckBox* chkLoadTipsAtStartup = nullptr;
    QPushButton* cmdNextTip = nullptr;
    QPushButton* cmdOK = nullptr;
    QLabel* Label2 = nullptr;

    // The load step; false when tips are switched off and the window closed itself.
    bool Form_Load();
    bool LoadTips();
    void DisplayCurrentTip();
    void PickRandomTip();
    void Label2_Click();
    int currentTip() const { return m_current; }

protected:
    bool unload() override;

private:
    frmMain& m_main;
    QStringList m_tips;
    int m_current = 0;
    std::mt19937 m_random;
};

// Opens the tip window above the main window, as the program does at start.
void showTipOfTheDay(frmMain& main);
