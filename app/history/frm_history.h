#pragma once

#include "companion_window.h"
#include "history/history_reader.h"

#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class HistoryModel;
class ShotString;
class StringHistory;
struct AppServices;

// "Velmora - History": the archived strings, newest first, sortable and filtered by text; the
// selected strings open in the chart (several are drawn together), are deleted to the trash, and
// the folder opens in the file manager.
class frmHistory : public CompanionWindow {
    Q_OBJECT
public:
    frmHistory(ShotString& string, const AppServices& services, StringHistory& history, QWidget* owner);

    QLabel* lblFilter = nullptr;
    QLineEdit* txtFilter = nullptr;
    QTableView* tblStrings = nullptr;
    QLabel* lblFolder = nullptr;
    QPushButton* btnShow = nullptr;
    QPushButton* btnOpenFolder = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnClose = nullptr;

    // Reads the folder again.
    void reload();
    HistoryModel& model() { return *m_model; }
    QSortFilterProxyModel& shown() { return *m_proxy; }
    // The strings selected, in the order shown.
    std::vector<ArchivedString> selectedStrings() const;

    void btnShow_Click();
    void btnOpenFolder_Click();
    void btnDelete_Click();

private:
    void selectionChanged();

    ShotString& m_string;
    const AppServices& m_services;
    StringHistory& m_history;
    HistoryModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
};
