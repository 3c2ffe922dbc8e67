// velmora-screenshots DIR: renders the main window, the data options window, the undocked panel,
// the chart and the history window with short recorded strings into DIR as PNG files (run it
// under Xvfb for the README).
#include "chart/frm_chart.h"
#include "data_options/frm_pellet.h"
#include "drivers/qserial_transport.h"
#include "history/frm_history.h"
#include "history/history_model.h"
#include "history/string_history.h"
#include "main_window/frm_main.h"
#include "main_window/frm_speed.h"
#include "main_window/option_group.h"
#include "services/clock.h"
#include "services/platform_services.h"
#include "services/prompt.h"
#include "shot/record_shot.h"
#include "storage/pellet_store.h"
#include "window_placement.h"

#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

namespace {
class QuietPrompt : public Prompt {
public:
    Answer ask(const QString&, Buttons buttons, Icon, const QString&) override
    {
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
};
class NoSound : public SoundPlayer {
public:
    bool play(const QString&, bool) override { return true; }
};
class NoScreenSaver : public ScreenSaver {
public:
    void setActive(bool) override {}
};

// Writes the window as the user sees it, which needs all of it on the screen.
bool save(QWidget* w, const QString& path)
{
    QApplication::processEvents();
    const QRect screen = w->screen()->availableGeometry();
    if (!screen.contains(w->frameGeometry())) {
        std::fprintf(stderr, "%s: the window (%d,%d %dx%d) is not wholly on the %dx%d screen\n", qPrintable(path),
                     w->x(), w->y(), w->width(), w->height(), screen.width(), screen.height());
        return false;
    }
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-screenshots OUTPUT-DIR\n");
        return 2;
    }
    const QDir out(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    qputenv("XDG_CONFIG_HOME", work.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", work.filePath(QStringLiteral("data")).toLocal8Bit());

    QuietPrompt prompt;
    Clock clock;
    Sleeper sleeper;
    StepTimer stepTimer;
    NoSound sound;
    NoScreenSaver screenSaver;
    DesktopUrlOpener urls;
    PelletStore store;
    AppServices services;
    services.prompt = &prompt;
    services.clock = &clock;
    services.sleeper = &sleeper;
    services.steps = &stepTimer;
    services.sound = &sound;
    services.screenSaver = &screenSaver;
    services.urlOpener = &urls;
    services.store = &store;
    services.makeSerialTransport = [] { return std::make_unique<QSerialTransport>(); };
    services.portPath = [](int) { return QString(); };

    frmMain window(services);
    window.Form_Load();
    frmPellet& pellet = window.pellet();
    pellet.txtMake->setText(QStringLiteral("Weihrauch"));
    pellet.txtModel->setText(QStringLiteral("HW100"));
    pellet.txtPelletMake->setText(QStringLiteral("JSB Exact Jumbo"));
    pellet.txtCaliber->setText(QStringLiteral("0.22"));
    pellet.txtWeight->setText(QStringLiteral("15.89"));
    pellet.optType->select(12);
    pellet.txtExtraInfo->setPlainText(QStringLiteral("Indoor range, 10 m, 18 C"));
    window.resize(980, 700);
    placement::place(window, &window, placement::Mode::Centre);
    window.show();
    for (double fps : {781.4, 779.9, 784.2, 780.6, 778.8, 782.5, 783.1})
        RecordShot(window, fps);
    bool ok = save(&window, out.filePath(QStringLiteral("main-window.png")));
    pellet.show();
    ok = save(&pellet, out.filePath(QStringLiteral("data-options.png"))) && ok;
    pellet.hide();
    window.setEnabled(true);
    window.btnMax_Click();
    if (frmSpeed* panel = window.visibleSpeedPanel()) {
        panel->resize(panel->width() * 3 / 2, panel->height() * 3 / 2);
        ok = save(panel, out.filePath(QStringLiteral("speed-panel.png"))) && ok;
        panel->close();
    }

    frmChart& chart = window.history().showChart();
    chart.resize(820, 600);
    ok = save(&chart, out.filePath(QStringLiteral("chart.png"))) && ok;
    // Three strings in the history: this one, and two more with another projectile and gun.
    window.btnReset_Click();
    pellet.txtPelletMake->setText(QStringLiteral("H&N Baracuda"));
    pellet.txtWeight->setText(QStringLiteral("21.14"));
    for (double fps : {702.3, 699.8, 704.1, 701.0, 698.2, 703.5})
        RecordShot(window, fps);
    window.btnReset_Click();
    pellet.txtMake->setText(QStringLiteral("Air Arms"));
    pellet.txtModel->setText(QStringLiteral("S400"));
    pellet.txtPelletMake->setText(QStringLiteral("JSB Exact"));
    pellet.txtWeight->setText(QStringLiteral("8.44"));
    for (double fps : {803.1, 799.4, 806.0, 801.7, 797.5, 804.8, 800.2, 802.9})
        RecordShot(window, fps);
    window.btnReset_Click();
    frmHistory& history = window.history().showHistory();
    history.resize(920, 300);
    // Each string labelled as a shooter labels a ladder, newest first.
    const QStringList labels{QStringLiteral("JSB 8.44 gr, 150 bar"), QStringLiteral("H&N 21.14 gr, tune 2"),
                             QStringLiteral("JSB Jumbo 15.89 gr, tune 1")};
    for (int row = 0; row < history.shown().rowCount() && row < labels.size(); ++row) {
        history.tblStrings->selectRow(row);
        history.txtLabel->setText(labels[row]);
        history.btnLabel_Click();
    }
    history.tblStrings->selectAll();
    ok = save(&history, out.filePath(QStringLiteral("history.png"))) && ok;
    history.btnShow_Click();
    ok = save(&chart, out.filePath(QStringLiteral("chart-compare.png"))) && ok;
    // Two pellets in one gun, as a ladder.
    history.tblStrings->clearSelection();
    history.tblStrings->selectionModel()->select(history.shown().index(1, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    history.tblStrings->selectionModel()->select(history.shown().index(2, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    history.btnShow_Click();
    ok = save(&chart, out.filePath(QStringLiteral("ladder.png"))) && ok;

    // A load development: six charges of one powder, five shots each, labelled by charge.
    chart.hide();
    history.hide();
    pellet.txtMake->setText(QStringLiteral("Tikka"));
    pellet.txtModel->setText(QStringLiteral("T3x"));
    pellet.txtPelletMake->setText(QStringLiteral("Sierra MatchKing"));
    pellet.txtCaliber->setText(QStringLiteral("0.308"));
    pellet.txtWeight->setText(QStringLiteral("168"));
    pellet.optType->select(9999);
    const struct {
        const char* charge;
        double average;
    } steps[] = {{"42.0 gr", 2641}, {"42.5 gr", 2668}, {"43.0 gr", 2694},
                 {"43.3 gr", 2697}, {"43.6 gr", 2700}, {"44.0 gr", 2733}};
    const double spread[] = {-9.5, 4.1, -2.7, 10.3, -2.2};
    for (const auto& step : steps) {
        for (double offset : spread)
            RecordShot(window, step.average + offset);
        window.btnReset_Click();
    }
    history.reload();
    history.show();
    // Each step's row, known by its first shot (the strings may share their minute).
    const auto rowOf = [&history](double firstShot) {
        for (int row = 0; row < history.shown().rowCount(); ++row) {
            const ArchivedString s =
                history.model().string(history.shown().mapToSource(history.shown().index(row, 0)).row());
            if (!s.shots.empty() && std::abs(s.shots.front().fps - firstShot) < 1e-6)
                return row;
        }
        return -1;
    };
    QList<int> rows;
    for (const auto& step : steps) {
        const int row = rowOf(step.average + spread[0]);
        if (row < 0)
            return 1;
        history.tblStrings->selectRow(row);
        history.txtLabel->setText(QString::fromLatin1(step.charge));
        history.btnLabel_Click();
        rows.append(rowOf(step.average + spread[0]));
    }
    history.tblStrings->clearSelection();
    for (int row : rows)
        history.tblStrings->selectionModel()->select(history.shown().index(row, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    history.btnShow_Click();
    chart.resize(900, 680);
    ok = save(&chart, out.filePath(QStringLiteral("ladder-by-charge.png"))) && ok;
    chart.close();
    history.close();
    window.hide();
    return ok ? 0 : 1;
}
