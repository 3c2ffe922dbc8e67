#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class frmMain;
class OptionGroup;

// "Data Options": the gun, the projectile, its weight and unit, and the gun type.
class frmPellet : public QDialog {
    Q_OBJECT
public:
    explicit frmPellet(frmMain& main);

    QLineEdit* txtWeight = nullptr;
    OptionGroup* selWeight = nullptr;
    QLineEdit* txtMake = nullptr;
    QLineEdit* txtModel = nullptr;
    QLineEdit* txtPelletMake = nullptr;
    QLineEdit* txtCaliber = nullptr;
    OptionGroup* optType = nullptr;
    QCheckBox* chkTips = nullptr;
    QPushButton* btnClose = nullptr;

    // True while start-up puts the stored settings into the controls.
    bool loadingSettings = false;

    void showWithFocus(QWidget* field);

    void selWeight_Click(int index);
    void optType_Click(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void textChanged(const char* key, const QString& text);

    frmMain& m_main;
};
