#pragma once

#include "chart/chart_series.h"
#include "chart/ladder_plot.h"
#include "chart/shot_plot.h"
#include "companion_window.h"
#include "stats/load_ladder.h"

#include <QImage>
#include <vector>

class QLabel;
class QPushButton;
class ShotString;
struct AppServices;
struct ArchivedString;

// "Velmora - Chart": the current string as the shot table holds it, drawn as velocity and power
// per shot with the averages, the band of ± one deviation and the gun type's limit, following
// every shot, deletion, clearing and unit change; or archived strings drawn together.
class frmChart : public CompanionWindow {
    Q_OBJECT
public:
    frmChart(ShotString& string, const AppServices& services, QWidget* owner);

    QLabel* lblShowing = nullptr;
    ShotPlot* plotVelocity = nullptr;
    ShotPlot* plotPower = nullptr;
    QLabel* lblPoint = nullptr;
    // Compared strings as a ladder (in place of the velocity plot), and what each string's shots
    // can say with their confidence intervals.
    LadderPlot* plotLadder = nullptr;
    QLabel* lblStatistics = nullptr;
    bool showsLadder() const { return m_ladder; }
    // The compared strings as a load development, when every one is labelled with its charge.
    const std::optional<load_ladder::Ladder>& loadLadder() const { return m_loadLadder; }
    QPushButton* btnCurrent = nullptr;
    QPushButton* btnCopy = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClose = nullptr;

    // Follows the current string from now on.
    void showCurrentString();
    // Draws archived strings together (the live string is no longer followed).
    void showArchived(const std::vector<ArchivedString>& strings);
    bool followsTable() const { return m_live; }
    const std::vector<ChartSeries>& series() const { return m_series; }

    // Both plots as one picture.
    QImage image() const;
    void btnCopy_Click();
    void btnSave_Click();

private:
    void shotAppended(int index);
    void tableChanged();
    void unitsMayHaveChanged();
    ChartUnits liveUnits() const;
    QSize exportSize() const;
    // Draws the series whole, and the averages and limit.
    void redraw();
    void refreshLines();
    void pointed(ShotPlot* plot, std::optional<ShotPlot::Hit> hit, const QPoint& globalPos);
    void renderPlots(QPainter& painter, const QSize& size) const;
    void showLadder(bool on);
    void refreshLadder();
    void refreshStatistics();

    ShotString& m_string;
    const AppServices& m_services;
    bool m_live = true;
    std::vector<ChartSeries> m_series;
    std::vector<QString> m_names;
    // Each archived string's label, which may name its charge (a title or a pellet's name may
    // hold a weight that is no charge).
    std::vector<QString> m_labels;
    std::optional<load_ladder::Ladder> m_loadLadder;
    // Per archived string, what it was shot with rather than what is selected now: the weight
    // for its IPSC average, and its gun type (-1 when unknown) for its limit line.
    struct ArchivedKind {
        double grains = 0;
        int gunType = -1;
    };
    std::vector<ArchivedKind> m_archived;
    ChartUnits archivedUnits(size_t index, const ChartUnits& live) const;
    bool m_ladder = false;
};
