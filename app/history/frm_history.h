#pragma once

#include "companion_window.h"
#include "history/history_reader.h"

#include <memory>
#include <vector>

class ImportJob;
class StringImporter;
class QLabel;
class QProgressBar;
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
    ~frmHistory() override;

    QLabel* lblFilter = nullptr;
    QLineEdit* txtFilter = nullptr;
    QTableView* tblStrings = nullptr;
    QLabel* lblFolder = nullptr;
    QPushButton* btnShow = nullptr;
    QPushButton* btnOpenFolder = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnClose = nullptr;
    // Importing other devices' exports, labelling strings, and what the selection's shots can say.
    QPushButton* btnImport = nullptr;
    QLabel* lblLabel = nullptr;
    QLineEdit* txtLabel = nullptr;
    QPushButton* btnLabel = nullptr;
    QLabel* lblStatistics = nullptr;
    // An import under way: how far it is, and its Cancel.
    QLabel* lblImport = nullptr;
    QProgressBar* prgImport = nullptr;
    QPushButton* btnCancelImport = nullptr;

    // Reads the folder again.
    void reload();
    HistoryModel& model() { return *m_model; }
    QSortFilterProxyModel& shown() { return *m_proxy; }
    // The strings selected, in the order shown.
    std::vector<ArchivedString> selectedStrings() const;

    void btnShow_Click();
    void btnOpenFolder_Click();
    void btnDelete_Click();
    void btnImport_Click();
    void btnLabel_Click();
    // Imports the files, reading them while the window goes on; when done, tells the user what
    // was read and selects the new entries. Files given while an import runs are refused.
    void importFiles(const QStringList& paths);
    bool importing() const { return m_import != nullptr; }
    ImportJob* importJob() const { return m_import; }
    void btnCancelImport_Click();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void selectionChanged();
    void selectPaths(const QStringList& paths);
    void importProgressed(int done, int total, const QString& fileName);
    void importFinished();

    ShotString& m_string;
    const AppServices& m_services;
    StringHistory& m_history;
    HistoryModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    std::unique_ptr<StringImporter> m_importer;
    ImportJob* m_import = nullptr;
};
