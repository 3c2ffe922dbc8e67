#pragma once

#include "history/history_reader.h"
#include "history/string_archive.h"

#include <QObject>
#include <QPointer>
#include <vector>

class QWidget;
class ShotString;
class frmChart;
class frmHistory;
struct AppServices;

// The string history beside the main window: archives the string when it ends (cleared, or
// the program leaving normally), remembers which replayed shots were archived before a crash,
// and opens the chart and history windows.
class StringHistory : public QObject {
    Q_OBJECT
public:
    // The string it archives and shows; `owner` is the window the chart and history stand beside.
    StringHistory(ShotString& string, const AppServices& services, QWidget* owner);
    ~StringHistory() override;

    StringArchive& archive() { return m_archive; }
    // The "ArchiveStrings" setting.
    static bool archivingOn();

    // The string ends: the user cleared it, or the program is leaving. Archives the shots of the
    // table that were not archived yet (when archiving is on) and marks the cache rows so far as
    // belonging to ended strings. A failure is shown; it never stops the clearing or the exit.
    void stringEnding();
    // After the shot cache was replayed at start-up: the replayed shots of strings that had ended
    // before the crash are not archived again.
    void shotsReplayed();

    // The windows, opened or brought to the front.
    frmChart& showChart();
    frmHistory& showHistory();
    void showArchivedInChart(const std::vector<ArchivedString>& strings);
    // The open windows, or null.
    frmChart* chartWindow() const;
    frmHistory* historyWindow() const;

private:
    std::optional<StringArchive::CacheMark> cacheMark() const;
    frmChart& openChart();

    ShotString& m_string;
    const AppServices& m_services;
    QWidget* m_owner;
    StringArchive m_archive;
    SettledRows m_settled;
    QPointer<frmChart> m_chart;
    QPointer<frmHistory> m_history;
};
