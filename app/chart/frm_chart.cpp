#include "frm_chart.h"

#include "named_widget.h"

#include "history/history_reader.h"
#include "services/app_services.h"
#include "services/clock.h"
#include "services/event_guard.h"
#include "services/file_chooser.h"
#include "services/prompt.h"
#include "shot/ballistics.h"
#include "stats/string_confidence.h"
#include "string/shot_string.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSvgGenerator>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// No red among them: red is the limit's.
const QColor kColours[] = {QColor(31, 119, 180), QColor(44, 160, 44),  QColor(255, 127, 14), QColor(148, 103, 189),
                           QColor(140, 86, 75),  QColor(23, 190, 207), QColor(188, 189, 34), QColor(127, 127, 127)};

const QString kPointHint = QStringLiteral("Point at a shot, or use the arrow keys in a plot, to see its figures.");

} // namespace

frmChart::frmChart(ShotString& string, const AppServices& services, QWidget* owner)
    : CompanionWindow(owner), m_string(string), m_services(services)
{
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(QStringLiteral("Velmora - Chart"));
    lblShowing = new QLabel(this);
    lblShowing->setObjectName(QStringLiteral("lblShowing"));
    plotVelocity = new ShotPlot(QStringLiteral("Velocity"), this);
    plotVelocity->setObjectName(QStringLiteral("plotVelocity"));
    plotPower = new ShotPlot(QStringLiteral("Power"), this);
    plotPower->setObjectName(QStringLiteral("plotPower"));
    plotLadder = new LadderPlot(this);
    plotLadder->setObjectName(QStringLiteral("plotLadder"));
    plotLadder->hide();
    lblStatistics = new QLabel(this);
    lblStatistics->setObjectName(QStringLiteral("lblStatistics"));
    lblStatistics->setWordWrap(true);
    lblStatistics->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblPoint = new QLabel(kPointHint, this);
    lblPoint->setObjectName(QStringLiteral("lblPoint"));
    lblPoint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnCurrent = namedButton(QStringLiteral("btnCurrent"), QStringLiteral("Current String"),
                             QStringLiteral("Show the string being captured"), this);
    btnCopy = namedButton(QStringLiteral("btnCopy"), QStringLiteral("Copy Image"),
                          QStringLiteral("Copy the chart to the clipboard"), this);
    btnSave = namedButton(QStringLiteral("btnSave"), QStringLiteral("Save Image..."),
                          QStringLiteral("Save the chart as a PNG or SVG file"), this);
    btnClose = namedButton(QStringLiteral("btnClose"), QStringLiteral("Close"), QStringLiteral("Close Window"), this);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnCurrent, btnCopy, btnSave})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblShowing);
    layout->addWidget(plotVelocity, 1);
    layout->addWidget(plotLadder, 1);
    layout->addWidget(plotPower, 1);
    layout->addWidget(lblStatistics);
    layout->addWidget(lblPoint);
    layout->addLayout(buttons);
    setTabOrder(plotVelocity, plotPower);
    setTabOrder(plotPower, btnCurrent);
    setTabOrder(btnCurrent, btnCopy);
    setTabOrder(btnCopy, btnSave);
    setTabOrder(btnSave, btnClose);
    setEscapeButton(btnClose);

    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(btnCurrent, &QPushButton::clicked, this, guarded(this, &frmChart::showCurrentString));
    connect(btnCopy, &QPushButton::clicked, this, guarded(this, &frmChart::btnCopy_Click));
    connect(btnSave, &QPushButton::clicked, this, guarded(this, &frmChart::btnSave_Click));
    for (ShotPlot* plot : {plotVelocity, plotPower})
        connect(plot, &ShotPlot::pointed, this,
                guarded([this, plot](std::optional<ShotPlot::Hit> hit, const QPoint& at) { pointed(plot, hit, at); }));

    connect(&m_string, &ShotString::appended, this, guarded(this, &frmChart::shotAppended));
    connect(&m_string, &ShotString::removed, this, guarded(this, &frmChart::tableChanged));
    connect(&m_string, &ShotString::reset, this, guarded(this, &frmChart::tableChanged));
    connect(&m_string, &ShotString::unitsChanged, this, guarded(this, &frmChart::unitsMayHaveChanged));
    resize(780, 600);
}

ChartUnits frmChart::liveUnits() const
{
    return m_string.units();
}

ChartUnits frmChart::archivedUnits(size_t index, const ChartUnits& live) const
{
    ChartUnits own = live; // shown in the units selected now
    const ArchivedKind& kind = m_archived.at(index);
    own.summary.grains = kind.grains;
    if (kind.gunType >= 0)
        own.gunType = kind.gunType; // a string the index does not know keeps the current limit
    return own;
}

void frmChart::showCurrentString()
{
    m_live = true;
    m_names = {QStringLiteral("Current string")};
    m_labels.clear();
    m_archived.clear();
    lblShowing->setText(QStringLiteral("The current string, as the shot table holds it."));
    btnCurrent->setEnabled(false);
    showLadder(false);
    tableChanged();
}

void frmChart::showArchived(const std::vector<ArchivedString>& strings)
{
    m_live = false;
    m_series.clear();
    m_names.clear();
    m_labels.clear();
    m_archived.clear();
    const ChartUnits units = liveUnits();
    for (const ArchivedString& s : strings) {
        m_archived.push_back({s.grains, s.gunType});
        ChartSeries series(archivedUnits(m_archived.size() - 1, units));
        series.reset(s.shots);
        m_series.push_back(std::move(series));
        m_names.push_back(s.label.isEmpty() ? s.title() : s.label);
        m_labels.push_back(s.label);
    }
    showLadder(strings.size() >= 2);
    lblShowing->setText(strings.size() == 1 ? QStringLiteral("Archived string: ") + m_names.front()
                                            : QStringLiteral("%1 archived strings, compared.").arg(strings.size()));
    btnCurrent->setEnabled(true);
    redraw();
}

void frmChart::tableChanged()
{
    if (!m_live)
        return;
    std::vector<ChartShot> shots;
    shots.reserve(size_t(m_string.size()));
    for (const ShotRecord& r : m_string.records())
        shots.push_back(ChartShot::fromRecord(r));
    ChartSeries series(liveUnits());
    series.reset(std::move(shots));
    m_series = {std::move(series)};
    redraw();
}

void frmChart::shotAppended(int index)
{
    if (!m_live)
        return;
    if (m_series.empty() || m_series.front().size() != index) {
        tableChanged();
        return;
    }
    ChartSeries& series = m_series.front();
    series.append(ChartShot::fromRecord(m_string.at(index)));
    plotVelocity->append(0, series.velocity(series.size() - 1));
    plotPower->append(0, series.power(series.size() - 1));
    refreshLines();
}

void frmChart::unitsMayHaveChanged()
{
    const ChartUnits units = liveUnits();
    bool changed = false;
    for (size_t i = 0; i < m_series.size(); ++i) {
        const ChartUnits own = m_live ? units : archivedUnits(i, units);
        if (own != m_series[i].units()) {
            m_series[i].setUnits(own);
            changed = true;
        }
    }
    if (changed)
        redraw();
}

void frmChart::redraw()
{
    std::vector<ShotPlot::Line> velocities, powers;
    for (size_t i = 0; i < m_series.size(); ++i) {
        const ChartSeries& s = m_series[i];
        const QColor colour = kColours[i % std::size(kColours)];
        ShotPlot::Line v{m_names.at(i), colour, {}, {}, {}};
        ShotPlot::Line p{m_names.at(i), colour, {}, {}, {}};
        v.values.reserve(size_t(s.size()));
        p.values.reserve(size_t(s.size()));
        for (int k = 0; k < s.size(); ++k) {
            v.values.push_back(s.velocity(k));
            p.values.push_back(s.power(k));
        }
        velocities.push_back(std::move(v));
        powers.push_back(std::move(p));
    }
    const ChartSeries reference = m_series.empty() ? ChartSeries(liveUnits()) : m_series.front();
    plotVelocity->setUnit(reference.speedWord());
    plotPower->setUnit(reference.powerWord());
    plotVelocity->setLines(std::move(velocities));
    plotPower->setLines(std::move(powers));
    lblPoint->setText(kPointHint);
    refreshLadder();
    refreshLines();
}

void frmChart::showLadder(bool on)
{
    m_ladder = on;
    plotLadder->setVisible(on);
    plotVelocity->setVisible(!on);
}

namespace {

QString columnNote(const confidence::Estimate& e)
{
    return e.shots < 2 ? QStringLiteral("%1 shot").arg(e.shots)
                       : QStringLiteral("%1 shots, SD %2").arg(e.shots).arg(e.deviation, 0, 'f', 1);
}

} // namespace

void frmChart::refreshLadder()
{
    m_loadLadder.reset();
    if (!m_ladder)
        return;
    std::vector<std::vector<double>> velocities;
    for (const ChartSeries& s : m_series) {
        std::vector<double> v;
        v.reserve(size_t(s.size()));
        for (int k = 0; k < s.size(); ++k)
            v.push_back(s.velocity(k));
        velocities.push_back(std::move(v));
    }
    std::vector<LadderPlot::Column> columns;
    if (m_labels.size() == m_series.size()) {
        std::vector<load_ladder::Labelled> labelled;
        for (size_t i = 0; i < m_series.size(); ++i)
            labelled.push_back({m_labels[i], velocities[i]});
        m_loadLadder = load_ladder::byCharge(labelled);
    }
    std::optional<LadderPlot::ChargeAxis> axis;
    if (m_loadLadder) {
        axis.emplace();
        axis->unit = load_ladder::unitSymbol(m_loadLadder->unit);
        for (const load_ladder::Step& step : m_loadLadder->steps) {
            LadderPlot::Column c;
            c.label = step.label;
            c.colour = kColours[step.strings.front() % std::size(kColours)];
            c.values = step.velocities;
            c.average = step.estimate.mean;
            if (step.estimate.meanRange) {
                c.low = step.estimate.meanRange->low;
                c.high = step.estimate.meanRange->high;
            }
            c.note = columnNote(step.estimate);
            if (step.strings.size() > 1)
                c.note += QStringLiteral(" (%1 strings)").arg(step.strings.size());
            columns.push_back(std::move(c));
            axis->charges.push_back(step.charge);
        }
        if (m_loadLadder->fit) {
            axis->slope = m_loadLadder->fit->slope;
            axis->intercept = m_loadLadder->fit->intercept;
        }
        axis->flatSpots = m_loadLadder->flatSpots();
    } else {
        for (size_t i = 0; i < m_series.size(); ++i) {
            LadderPlot::Column c;
            c.label = m_names.at(i);
            c.colour = kColours[i % std::size(kColours)];
            c.values = std::move(velocities[i]);
            const confidence::Estimate e = confidence::estimate(c.values);
            c.average = e.mean;
            if (e.meanRange) {
                c.low = e.meanRange->low;
                c.high = e.meanRange->high;
            }
            c.note = columnNote(e);
            columns.push_back(std::move(c));
        }
    }
    plotLadder->setUnit(m_series.empty() ? QString() : m_series.front().speedWord());
    plotLadder->setColumns(std::move(columns), std::move(axis));
}

void frmChart::refreshStatistics()
{
    // From the running sums, so that a long string costs no more per shot than a short one.
    QStringList lines;
    // A load development: its steps by charge, as the ladder stands.
    const size_t steps = m_loadLadder ? m_loadLadder->steps.size() : 0;
    for (size_t i = 0; i < steps && i < 4; ++i) {
        const load_ladder::Step& step = m_loadLadder->steps[i];
        const QString unit = m_series.front().speedWord();
        lines.append(step.label + QStringLiteral(": ") + confidence::averageText(step.estimate, unit) +
                     QStringLiteral("; ") + confidence::deviationText(step.estimate, unit));
    }
    if (steps > 4)
        lines.append(QStringLiteral("(and %1 more charges)").arg(steps - 4));
    for (size_t i = 0; !m_loadLadder && i < m_series.size() && i < 4; ++i) {
        const ChartSeries& s = m_series[i];
        const StringStatistics& st = s.statistics();
        const int n = s.size();
        const double scale = s.units().summary.feetPerSecond ? 1.0 : ballistics::kMetresPerFoot;
        const double mean = n > 0 ? st.sumFps / n : 0;
        const double deviation = n > 1 ? std::sqrt(std::max(0.0, (st.sumSqFps - n * mean * mean) / (n - 1))) : 0;
        const confidence::Estimate e = confidence::estimateFrom(n, mean * scale, deviation * scale);
        const QString unit = s.speedWord();
        QString text = confidence::averageText(e, unit) + QStringLiteral("; ") + confidence::deviationText(e, unit);
        if (m_series.size() > 1)
            text = m_names.at(i) + QStringLiteral(": ") + text;
        lines.append(text);
    }
    if (!m_loadLadder && m_series.size() > 4)
        lines.append(QStringLiteral("(and %1 more strings)").arg(m_series.size() - 4));
    if (!lines.isEmpty())
        lines.last() += QStringLiteral(". The SD here divides by n − 1; the band is the summary's 0.95 × it.");
    if (m_loadLadder && !m_series.empty())
        lines.append(load_ladder::describe(*m_loadLadder, m_series.front().speedWord()).join(u' '));
    lblStatistics->setText(lines.join(u'\n'));
}

void frmChart::refreshLines()
{
    for (size_t i = 0; i < m_series.size(); ++i) {
        const ChartSeries& s = m_series[i];
        const bool any = s.size() > 0;
        const SummaryFigures f = s.figures();
        plotVelocity->setAverage(int(i), any ? std::optional(f.avgSpeed) : std::nullopt,
                                 any ? std::optional(f.deviation) : std::nullopt);
        plotPower->setAverage(int(i), any ? std::optional(f.avgPower) : std::nullopt, std::nullopt);
    }
    plotPower->setLimit(m_series.empty() ? ChartSeries(liveUnits()).powerLimit() : m_series.front().powerLimit());
    refreshStatistics();
}

void frmChart::pointed(ShotPlot* plot, std::optional<ShotPlot::Hit> hit, const QPoint& globalPos)
{
    if (!hit || size_t(hit->line) >= m_series.size()) {
        QToolTip::hideText();
        lblPoint->setText(kPointHint);
        return;
    }
    QString text = m_series[size_t(hit->line)].describe(hit->index);
    if (m_series.size() > 1)
        text = m_names[size_t(hit->line)] + u'\n' + text;
    lblPoint->setText(QString(text).replace(u'\n', QStringLiteral("   ")));
    QToolTip::showText(globalPos, text, plot);
}

void frmChart::renderPlots(QPainter& painter, const QSize& size) const
{
    const QSize half(size.width(), size.height() / 2);
    if (m_ladder)
        plotLadder->render(painter, half);
    else
        plotVelocity->render(painter, half);
    painter.save();
    painter.translate(0, half.height());
    plotPower->render(painter, QSize(size.width(), size.height() - half.height()));
    painter.restore();
}

QSize frmChart::exportSize() const
{
    const QWidget* top = m_ladder ? static_cast<const QWidget*>(plotLadder) : plotVelocity;
    const QSize shown(top->width(), top->height() + plotPower->height());
    return isVisible() && shown.width() >= 200 && shown.height() >= 200 ? shown : QSize(1000, 700);
}

QImage frmChart::image() const
{
    const QSize size = exportSize();
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(palette().color(QPalette::Base));
    QPainter painter(&picture);
    renderPlots(painter, size);
    return picture;
}

void frmChart::btnCopy_Click()
{
    QApplication::clipboard()->setImage(image());
}

void frmChart::btnSave_Click()
{
    FileChooser* files = m_services.files;
    if (!files)
        return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString proposed = QDir(folder).filePath(
        QStringLiteral("Velmora chart ") +
        m_services.clock->now().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) + QStringLiteral(".png"));
    const auto choice = files->chooseSaveFile(
        this, QStringLiteral("Save Chart"), proposed,
        {QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG image (*.svg)")}, QStringLiteral("png"));
    if (!choice)
        return;
    const bool svg = choice->path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) ||
                     (choice->filterIndex == 2 && !choice->path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive));
    QSaveFile file(choice->path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written && svg) {
        const QSize size = exportSize();
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(windowTitle());
        QPainter painter(&generator);
        renderPlots(painter, size);
        written = painter.end();
    } else if (written) {
        written = image().save(&file, "PNG");
    }
    if (!written || !file.commit())
        m_services.prompt->message(QStringLiteral("The chart could not be saved: ") + file.errorString(),
                                          Prompt::Icon::Critical);
}
