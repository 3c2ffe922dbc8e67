// The chart against the shot table: its series after shots, deletion, clearing and unit
// changes, the average and band against the summary row, the limit, pointing at a shot, the
// images, and its place beside the main window.
#include "chart/chart_series.h"
#include "chart/frm_chart.h"
#include "data_options/frm_pellet.h"
#include "history/string_history.h"
#include "main_window/flex_grid.h"
#include "main_window/frm_main.h"
#include "main_window/frm_speed.h"
#include "main_window/option_group.h"
#include "services/regional.h"
#include "shot/record_shot.h"
#include "test_app.h"

#include <QApplication>
#include <QMenu>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString summaryCell(frmMain& m, int column)
{
    return m.MSFlexGrid2->TextMatrix(1, column);
}

// The chart's series agrees with the table and the summary row, to the cent.
void checkAgainstTable(frmMain& m, frmChart& chart)
{
    QCOMPARE(chart.series().size(), size_t(1));
    const ChartSeries& s = chart.series().front();
    const int rows = m.MSFlexGrid1->Rows() - 1;
    QCOMPARE(s.size(), rows);
    QCOMPARE(int(chart.plotVelocity->lines().front().values.size()), rows);
    const bool fps = m.optSpeed->isSelected(1);
    for (int r = 0; r < rows; ++r) {
        QCOMPARE(s.shot(r).number, m.MSFlexGrid1->TextMatrix(r + 1, 0));
        QCOMPARE(regional::format2(s.velocity(r)), m.MSFlexGrid1->TextMatrix(r + 1, fps ? 4 : 5));
        QCOMPARE(chart.plotVelocity->lines().front().values[size_t(r)], s.velocity(r));
        QCOMPARE(chart.plotPower->lines().front().values[size_t(r)], s.power(r));
    }
    if (rows == 0) {
        QVERIFY(!chart.plotVelocity->lines().front().average);
        return;
    }
    QCOMPARE(regional::format2(s.averageVelocity()), summaryCell(m, 3));
    QCOMPARE(regional::format2(s.deviation()), summaryCell(m, 5));
    QCOMPARE(regional::format2(s.averagePower()), summaryCell(m, 8));
    QCOMPARE(regional::format2(*chart.plotVelocity->lines().front().average), summaryCell(m, 3));
    QCOMPARE(regional::format2(*chart.plotVelocity->lines().front().band), summaryCell(m, 5));
    QCOMPARE(regional::format2(*chart.plotPower->lines().front().average), summaryCell(m, 8));
}

} // namespace

class TestChart : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        TestApp::clearSettings();
        TestApp::setSetting(QStringLiteral("ArchiveStrings"), 0);
    }

    void followsShotsDeletionClearingAndUnits()
    {
        TestApp app;
        frmMain& m = app.start();
        m.pellet().txtWeight->setText(QStringLiteral("8.44"));
        RecordShot(m, 790);
        RecordShot(m, 810);
        m.show();
        frmChart& chart = m.history().showChart();
        QCOMPARE(chart.windowTitle(), QStringLiteral("Velmora - Chart"));
        QVERIFY(chart.followsTable());
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        // The plot has painted its lines whole once: the count below means something.
        QTRY_VERIFY(chart.plotVelocity->fullDraws() > 0);
        const int drawsAtOpen = chart.plotVelocity->fullDraws();
        for (double fps : {795.7, 808.4, 799.0, 802.5}) {
            RecordShot(m, fps);
            chart.plotVelocity->repaint();
        }
        checkAgainstTable(m, chart);
        // Each shot inside the plot's ranges was added to the drawn lines, not drawn whole again.
        QCOMPARE(chart.plotVelocity->fullDraws(), drawsAtOpen);
        // A shot far outside the first range changes the axes: the lines are drawn whole.
        RecordShot(m, 1450);
        chart.plotVelocity->repaint();
        QCOMPARE(chart.plotVelocity->fullDraws(), drawsAtOpen + 1);

        m.MSFlexGrid1->setRow(2);
        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnDelete_Click();
        checkAgainstTable(m, chart);
        QCOMPARE(chart.series().front().shot(1).number, QStringLiteral("3"));

        m.optSpeed->select(2);
        QCOMPARE(chart.plotVelocity->lines().size(), size_t(1));
        QCOMPARE(chart.series().front().speedWord(), QStringLiteral("m/s"));
        checkAgainstTable(m, chart);
        m.optPower->select(2);
        QCOMPARE(chart.series().front().powerWord(), QStringLiteral("Joules"));
        checkAgainstTable(m, chart);
        m.optPower->select(3);
        checkAgainstTable(m, chart); // the factor's average is the summary's, weight included
        RecordShot(m, 810);          // an incremental update in m/s agrees too
        checkAgainstTable(m, chart);

        app.prompt.setNextAnswer(Prompt::Answer::Yes);
        m.btnReset_Click();
        checkAgainstTable(m, chart);
        QCOMPARE(chart.series().front().size(), 0);
        RecordShot(m, 790);
        checkAgainstTable(m, chart);
    }

    void replayedAndDumpedShotsAreFollowed()
    {
        TestApp app;
        frmMain& m = app.start();
        frmChart& chart = m.history().showChart();
        for (double fps : {780.0, 781.0, 782.0})
            RecordDumpedShot(m, fps);
        m.updateTotals(); // as the dump does after the whole string
        checkAgainstTable(m, chart);
        ReplayCachedShot(m, 790, 1796520600, 9);
        m.updateTotalsShot();
        checkAgainstTable(m, chart);
    }

    void limitFollowsTheGunTypeAndUnit()
    {
        TestApp app;
        frmMain& m = app.start();
        RecordShot(m, 800);
        frmChart& chart = m.history().showChart();
        QCOMPARE(chart.plotPower->limit(), std::optional<double>(6)); // Air Pistol, ft·lbf
        m.pellet().optType->select(12);
        QCOMPARE(chart.plotPower->limit(), std::optional<double>(12));
        m.optPower->select(2);
        QCOMPARE(regional::format2(*chart.plotPower->limit()), QStringLiteral("16.27"));
        m.optPower->select(3);
        QVERIFY(!chart.plotPower->limit()); // a power factor has no legal limit
        m.optPower->select(1);
        m.pellet().optType->select(9999);
        QVERIFY(!chart.plotPower->limit());
    }

    void archivedStringsKeepTheirOwnLimit()
    {
        TestApp app;
        frmMain& m = app.start();
        m.pellet().optType->select(6);
        frmChart& chart = m.history().showChart();
        ArchivedString rifle;
        rifle.gunType = 12;
        rifle.grains = 8.44;
        chart.showArchived({rifle});
        QCOMPARE(chart.plotPower->limit(), std::optional<double>(12));
        // A unit or gun type chosen now changes the unit of its limit, not its gun type.
        m.pellet().optType->select(9999);
        m.optPower->select(2);
        QCOMPARE(regional::format2(*chart.plotPower->limit()), QStringLiteral("16.27"));
        m.optPower->select(1);
        ArchivedString other;
        other.gunType = 9999; // "Other": no limit, whatever is selected now
        m.pellet().optType->select(6);
        chart.showArchived({other});
        QVERIFY(!chart.plotPower->limit());
        ArchivedString unknown; // not in the folder's index: the current gun type's
        chart.showArchived({unknown});
        QCOMPARE(chart.plotPower->limit(), std::optional<double>(6));
        chart.showCurrentString();
        QCOMPARE(chart.plotPower->limit(), std::optional<double>(6));
    }

    void aLoadDevelopmentStandsByCharge()
    {
        TestApp app;
        frmMain& m = app.start();
        frmChart& chart = m.history().showChart();
        const auto string = [](const QString& projectile, const QString& label, std::vector<double> fps) {
            ArchivedString s;
            s.projectile = projectile;
            s.label = label;
            for (size_t i = 0; i < fps.size(); ++i)
                s.shots.push_back({QString::number(i + 1), {}, fps[i], 0, 0});
            return s;
        };
        chart.showArchived({string(QStringLiteral("Sheet 3"), QStringLiteral("38.5 gr"), {2748, 2752, 2750}),
                            string(QStringLiteral("Sheet 1"), QStringLiteral("37.5 gr"), {2724, 2726, 2725}),
                            string(QStringLiteral("Sheet 2"), QStringLiteral("38.0gr"), {2736, 2739, 2737.5})});
        QVERIFY(chart.showsLadder());
        QVERIFY(chart.loadLadder());
        const auto& axis = chart.plotLadder->chargeAxis();
        QVERIFY(axis);
        QCOMPARE(axis->unit, QStringLiteral("gr"));
        QCOMPARE(axis->charges, (std::vector<double>{37.5, 38.0, 38.5}));
        const auto& columns = chart.plotLadder->columns();
        QCOMPARE(columns.size(), size_t(3));
        QCOMPARE(columns[0].label, QStringLiteral("37.5 gr"));
        QCOMPARE(chart.plotLadder->accessibleDescription(), QStringLiteral("By charge: 37.5 gr, 38.0gr, 38.5 gr"));
        QCOMPARE(columns[0].average, 2725.0);
        QVERIFY(columns[0].low && *columns[0].low < 2725 && *columns[0].high > 2725);
        // 25 fps a grain: the line goes through every average.
        QVERIFY(qAbs(*axis->slope - 25) < 1e-9);
        QVERIFY(qAbs(*axis->intercept + 25 * 37.5 - 2725) < 1e-6);
        QVERIFY2(chart.lblStatistics->text().contains(QStringLiteral("about 25 fps per grain")),
                 qPrintable(chart.lblStatistics->text()));
        // Each charge's figures in the order of the charges.
        QVERIFY2(chart.lblStatistics->text().startsWith(QStringLiteral("37.5 gr: Average 2725.0 fps")),
                 qPrintable(chart.lblStatistics->text()));
        QVERIFY(chart.lblStatistics->text().contains(QStringLiteral("\n38.0gr: Average 2737.5 fps")));
        QVERIFY(!chart.image().isNull());

        // In m/s the slope follows the unit.
        m.optSpeed->select(2);
        QVERIFY2(chart.lblStatistics->text().contains(QStringLiteral("about 7.6 m/s per grain")),
                 qPrintable(chart.lblStatistics->text()));
        m.optSpeed->select(1);

        // One label that is no charge: today's ladder, in the order given, no line. A weight in a
        // title or a pellet's name is no charge.
        chart.showArchived({string(QStringLiteral("38.5 gr"), QStringLiteral("38.5 gr"), {2748, 2752}),
                            string(QStringLiteral("37.5 gr"), QStringLiteral("tune 2"), {2724, 2726})});
        QVERIFY(chart.showsLadder());
        QVERIFY(!chart.loadLadder());
        QVERIFY(!chart.plotLadder->chargeAxis());
        QCOMPARE(chart.plotLadder->columns()[1].label, QStringLiteral("tune 2"));
        QVERIFY(chart.plotLadder->accessibleDescription().startsWith(QStringLiteral("By string: ")));
        QVERIFY(!chart.lblStatistics->text().contains(QStringLiteral("per grain")));
        chart.showArchived({string(QStringLiteral("8.44 gr"), {}, {800, 802}),
                            string(QStringLiteral("10.34 gr"), {}, {760, 758})});
        QVERIFY(chart.showsLadder() && !chart.loadLadder());
    }

    void chargesAreSpacedByValue()
    {
        LadderPlot::ChargeAxis axis;
        axis.charges = {37.0, 37.5, 38.5};
        // Half the smallest step (0.25 gr) beyond each end: 2 grains across 400 pixels.
        const LadderPlot::Placement p = LadderPlot::place(3, axis, 100, 400);
        QCOMPARE(p.centres.size(), size_t(3));
        QCOMPARE(p.centres[0], 150.0);
        QCOMPARE(p.centres[1], 250.0);
        QCOMPARE(p.centres[2], 450.0);
        QCOMPARE(p.room, 100.0);
        const LadderPlot::Placement even = LadderPlot::place(4, std::nullopt, 0, 400);
        QCOMPARE(even.centres, (std::vector<double>{50, 150, 250, 350}));
        // An axis that does not rise with the columns is not used.
        LadderPlot plot;
        LadderPlot::ChargeAxis backwards;
        backwards.charges = {38.0, 37.5};
        plot.setColumns({LadderPlot::Column{}, LadderPlot::Column{}}, backwards);
        QVERIFY(!plot.chargeAxis());
    }

    void pointingAtAShotShowsItsFigures()
    {
        TestApp app;
        frmMain& m = app.start();
        m.pellet().txtWeight->setText(QStringLiteral("12"));
        app.clock.set(QDateTime(QDate(2026, 12, 6), QTime(1, 30, 0)));
        RecordShot(m, 790);
        app.clock.advance(9);
        RecordShot(m, 800);
        frmChart& chart = m.history().showChart();
        QApplication::processEvents();
        const QPoint at = chart.plotVelocity->pointPosition(0, 1).toPoint();
        const auto hit = chart.plotVelocity->pointNear(at + QPoint(2, -2));
        QVERIFY(hit);
        QCOMPARE(hit->index, 1);
        QTest::mouseMove(chart.plotVelocity, at);
        QTRY_VERIFY(chart.lblPoint->text().startsWith(QStringLiteral("Shot 2")));
        QCOMPARE(chart.series().front().describe(1),
                 QStringLiteral("Shot 2\n06/12/2026 01:30:09\n800.00 fps\n17.06 Ft.Lbf"));
        QVERIFY(!chart.plotVelocity->pointNear(QPoint(2, 2)));

        // The keyboard reaches every point too.
        chart.plotPower->setFocus();
        QTest::keyClick(chart.plotPower, Qt::Key_Home);
        QVERIFY(chart.lblPoint->text().startsWith(QStringLiteral("Shot 1")));
        QTest::keyClick(chart.plotPower, Qt::Key_Right);
        QVERIFY(chart.lblPoint->text().contains(QStringLiteral("17.06 Ft.Lbf")));
    }

    void copiesAndSavesPngAndSvg()
    {
        TestApp app;
        frmMain& m = app.start();
        for (double fps : {790.0, 795.0, 801.0})
            RecordShot(m, fps);
        frmChart& chart = m.history().showChart();
        chart.btnCopy->click();
        QVERIFY(!QApplication::clipboard()->image().isNull());

        const QString png = m_dir.filePath(QStringLiteral("chart.png"));
        app.files.next = FileChooser::Choice{png, 1};
        chart.btnSave->click();
        QCOMPARE(app.files.lastTitle, QStringLiteral("Save Chart"));
        QCOMPARE(app.files.lastFilters,
                 QStringList({QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG image (*.svg)")}));
        QImage saved(png);
        QVERIFY(!saved.isNull());

        const QString svg = m_dir.filePath(QStringLiteral("chart.svg"));
        app.files.next = FileChooser::Choice{svg, 2};
        chart.btnSave->click();
        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("<?xml"));
        QVERIFY(text.contains("<svg"));

        app.files.next = FileChooser::Choice{m_dir.filePath(QStringLiteral("no/such/folder/c.png")), 1};
        chart.btnSave->click();
        QVERIFY(app.prompt.texts().last().startsWith(QStringLiteral("The chart could not be saved")));
    }

    void staysUsableBesideTheMainWindow()
    {
        TestApp app;
        frmMain& m = app.start();
        m.show();
        m.btnMax_Click(); // the undocked panel disables the main window
        QVERIFY(!m.isEnabled());
        frmSpeed* panel = m.visibleSpeedPanel();
        QVERIFY(panel);
        QCOMPARE(panel->btnChart->text(), QStringLiteral("Chart"));
        panel->btnChart->click();
        frmChart* chart = m.history().chartWindow();
        QVERIFY(chart && chart->isVisible());
        QVERIFY(chart->isEnabled());
        RecordShot(m, 801);
        QCOMPARE(chart->series().front().size(), 1);
        panel->close();
        QVERIFY(m.isEnabled());
        // Another window that holds the main window leaves the chart usable.
        m.lblGun_Click();
        QVERIFY(!m.isEnabled());
        QVERIFY(chart->isEnabled());
        m.pellet().close();
        // Escape closes it, and the menu opens it again.
        QTest::keyClick(chart, Qt::Key_Escape);
        QTRY_VERIFY(!m.history().chartWindow());
        m.mnuChart->trigger();
        QVERIFY(m.history().chartWindow());
        QCOMPARE(m.mnuViewMenu->actions().last()->text(), QStringLiteral("&History"));
        app.exit(); // the other windows close first
    }

    void seriesArithmetic()
    {
        // Two shots of 800 and 810 fps: average 805.00, deviation 0.95 × 7.0711 = 6.72.
        ChartSeries s;
        s.append({QStringLiteral("1"), {}, 800, 17.06, 9.6});
        s.append({QStringLiteral("2"), {}, 810, 17.49, 9.7});
        QCOMPARE(regional::format2(s.averageVelocity()), QStringLiteral("805.00"));
        QCOMPARE(regional::format2(s.deviation()), QStringLiteral("6.72"));
        QCOMPARE(regional::format2(s.figures().spread), QStringLiteral("10.00"));
        ChartUnits metric;
        metric.summary.feetPerSecond = false;
        metric.summary.powerIndex = 2;
        s.setUnits(metric);
        QCOMPARE(regional::format2(s.velocity(0)), QStringLiteral("243.84"));
        QCOMPARE(regional::format2(s.power(0)), QStringLiteral("23.13"));
        s.clear();
        QCOMPARE(s.figures().avgSpeed, 0.0);
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
