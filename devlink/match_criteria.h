#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class DevPort;

// "Match Criteria": the property page that edits the seven match properties of the first
// selected control together, and fills them from a device chosen with Browse.
class MatchCriteria : public QWidget {
    Q_OBJECT
public:
    explicit MatchCriteria(QWidget* parent = nullptr);
    ~MatchCriteria() override;
    // Pages alive now (for DllCanUnloadNow).
    static int livePages();

    QLabel* Label1 = nullptr;
    QLineEdit* txtMatchVID = nullptr;
    QLineEdit* txtMatchPID = nullptr;
    QLineEdit* txtMatchVersion = nullptr;
    QLineEdit* txtMatchManufacturer = nullptr;
    QLineEdit* txtMatchProduct = nullptr;
    QLineEdit* txtMatchSerial = nullptr;
    QCheckBox* VIDChk = nullptr;
    QCheckBox* PIDChk = nullptr;
    QCheckBox* VersionChk = nullptr;
    QCheckBox* ManufacturerChk = nullptr;
    QCheckBox* ProductChk = nullptr;
    QCheckBox* SerialChk = nullptr;
    QPushButton* BrowseBtn = nullptr;

    void setSelectedControls(const QList<QObject*>& controls);
    void SelectionChanged();
    void ApplyChanges();
    void BrowseBtn_Click();
    bool changed() const { return m_changed; }

protected:
    // Shown on its own rather than in a host's property sheet, the page closes with Escape as
    // every window of the program does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QObject* first() const;
    void numberEdited(QLineEdit* box);
    QList<QPointer<QObject>> m_selected;
    bool m_changed = false;
    bool m_filling = false;
};
