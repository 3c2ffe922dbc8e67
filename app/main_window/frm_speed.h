#pragma once

#include "closing_dialog.h"
#include "main_window/panel_layout.h"

#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;
class frmMain;

// "Speed/Power": the large figures undocked into a resizable window whose contents grow with it.
class frmSpeed : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmSpeed(frmMain& main);

    QGroupBox* fmePower = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblShot = nullptr;
    QLabel* lblShotCount = nullptr;
    QPushButton* btnChart = nullptr;

    // Copies the main window's figures after a shot.
    void showShot(const QString& power, const QString& speed, qint16 shotCount);
    void setPowerCaption(const QString& caption);
    void Label3_Change();

    void recordLayout();
    void scaleLayout();
    const std::vector<panel_layout::ControlLayout>& recorded() const { return m_layout; }
    double heightRatio() const { return m_ratios.height; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Puts the figures back into the main window.
    bool unload() override;

private:
    QList<QWidget*> scaledControls() const;
    void setFontSize(QLabel* label, int points);

    frmMain& m_main;
    std::vector<panel_layout::ControlLayout> m_layout;
    int m_recordedWidth = 0;
    int m_recordedHeight = 0;
    panel_layout::Ratios m_ratios;
};
