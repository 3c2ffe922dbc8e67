#pragma once

#include "closing_dialog.h"

#include <QUrl>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class frmMain;
class OptionGroup;

// "Data Options": the current gun and projectile, the weight and its unit, the gun type, the
// extra CSV text and the tips switch, with look-ups in the local database and the online frame.
class frmPellet : public ClosingDialog {
    Q_OBJECT
public:
    explicit frmPellet(frmMain& main);

    // Projectile details.
    QComboBox* lstCal = nullptr;
    QComboBox* lstPelletStore = nullptr;
    QLineEdit* txtPelletMake = nullptr;
    QLineEdit* txtCaliber = nullptr;
    QLineEdit* txtWeight = nullptr;
    OptionGroup* selWeight = nullptr;
    // Gun details.
    QComboBox* lstGunMake = nullptr;
    QComboBox* lstGunModel = nullptr;
    QLineEdit* txtMake = nullptr;
    QLineEdit* txtModel = nullptr;
    OptionGroup* optType = nullptr;
    // Extra info for CSV.
    QPlainTextEdit* txtExtraInfo = nullptr;
    // Online options.
    QGroupBox* fmeOnline = nullptr;
    QLineEdit* txtAddCal = nullptr;
    QLineEdit* txtAddPelMake = nullptr;
    QLineEdit* txtAddWeight = nullptr;
    OptionGroup* selAddWeight = nullptr;
    QPushButton* btnAddPellet = nullptr;
    QComboBox* lstGunType = nullptr;
    QLineEdit* txtAddGunMake = nullptr;
    QLineEdit* txtAddGunModel = nullptr;
    QPushButton* btnAddGun = nullptr;
    QPushButton* btnUpdate = nullptr;
    QCheckBox* chkTips = nullptr;
    QCheckBox* chkArchiveStrings = nullptr;
    QPushButton* btnPelletApply = nullptr;

    // True while start-up puts the stored settings into the controls: the restored weight
    // unit then does not convert the restored weight.
    bool loadingSettings = false;

    void showWithFocus(QWidget* field);

    void fillCalibres();
    void fillGunMakes(bool ordered);
    void lstCal_Click();
    void lstPelletStore_Click();
    void optType_Click(int index);
    void lstGunMake_Click();
    void lstGunModel_Click();
    void selWeight_Click(int index);
    void selAddWeight_Click(int index);
    // Focus-lost check of a weight box; false when the weight was refused.
    bool checkWeight(QLineEdit* box);
    void btnPelletApply_Click();

    // The online controls, in the order they are enabled together.
    QList<QWidget*> onlineControls() const;

    // The online database exchange.
    void probeOnline();
    void btnUpdate_Click();
    void btnAddGun_Click();
    void btnAddPellet_Click();
    static QUrl relayAddress();
    int probeTimeoutMs = 3000;
    int exchangeTimeoutMs = 10000;

signals:
    // The window became the active window (the online probe runs on it).
    void activated();

protected:
    // Main window enabled, window hidden and disabled.
    bool unload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildUi();
    void connectHandlers();
    // The fields into the main window's shot settings, before their own handlers run.
    void followShotSettings();
    void setOnline(bool reachable);
    void say(const QString& text);
    QWidget* m_refusedWeightBox = nullptr;
    bool m_probing = false;
    frmMain& m_main;
};
