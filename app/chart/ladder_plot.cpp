#include "ladder_plot.h"

#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cmath>

LadderPlot::LadderPlot(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Ladder of the compared strings"));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void LadderPlot::setUnit(const QString& unit)
{
    m_unit = unit;
    update();
}

void LadderPlot::setColumns(std::vector<Column> columns, std::optional<ChargeAxis> axis)
{
    m_columns = std::move(columns);
    // An axis must give every column its charge, rising, or the columns stand evenly.
    if (axis &&
        (axis->charges.size() != m_columns.size() || !std::is_sorted(axis->charges.begin(), axis->charges.end()) ||
         std::adjacent_find(axis->charges.begin(), axis->charges.end()) != axis->charges.end()))
        axis.reset();
    m_axis = std::move(axis);
    // What the picture shows, for a screen reader.
    QStringList labels;
    for (const Column& c : m_columns)
        labels.append(c.label);
    setAccessibleDescription(m_columns.empty() ? QString()
                             : m_axis          ? QStringLiteral("By charge: ") + labels.join(QStringLiteral(", "))
                                               : QStringLiteral("By string: ") + labels.join(QStringLiteral(", ")));
    update();
}

LadderPlot::Placement LadderPlot::place(size_t count, const std::optional<ChargeAxis>& axis, double left, double width)
{
    Placement p;
    if (count == 0)
        return p;
    if (!axis || axis->charges.size() != count || count < 2) {
        p.room = width / double(count);
        for (size_t i = 0; i < count; ++i)
            p.centres.push_back(left + p.room * (double(i) + 0.5));
        return p;
    }
    const std::vector<double>& c = axis->charges;
    double gap = INFINITY;
    for (size_t i = 1; i < count; ++i)
        gap = std::min(gap, c[i] - c[i - 1]);
    // Half the smallest step beyond each end, so that the end columns have the room of the others.
    const double low = c.front() - gap / 2;
    const double high = c.back() + gap / 2;
    const double scale = width / (high - low);
    for (double charge : c)
        p.centres.push_back(left + (charge - low) * scale);
    p.room = gap * scale;
    return p;
}

LadderPlot::Range LadderPlot::rangeFor(const std::vector<Column>& columns)
{
    double low = INFINITY;
    double high = -INFINITY;
    for (const Column& c : columns) {
        for (double v : c.values) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
        if (c.low)
            low = std::min(low, *c.low);
        if (c.high)
            high = std::max(high, *c.high);
    }
    if (!std::isfinite(low) || !std::isfinite(high))
        return {};
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    // About five steps of 1, 2 or 5 times a power of ten, the ends on whole steps.
    const double raw = (high - low) / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * magnitude;
        if (step >= raw)
            break;
    }
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

void LadderPlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    render(painter, size());
}

void LadderPlot::render(QPainter& p, const QSize& size) const
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    p.fillRect(QRect(QPoint(0, 0), size), pal.color(QPalette::Base));
    const QFontMetrics fm(p.font());
    const int line = fm.height();
    const QString title =
        m_axis
            ? QStringLiteral("Velocity by charge (%1 over %2): each shot, the average with its 90 % interval, "
                             "the line through the averages")
                  .arg(m_unit, m_axis->unit)
            : QStringLiteral("Velocity by string (%1): each shot, and the average with its 90 % interval").arg(m_unit);
    p.setPen(pal.color(QPalette::Text));
    p.drawText(QRect(0, 2, size.width(), line), Qt::AlignHCenter, title);
    const Range r = rangeFor(m_columns);
    const int decimals = r.step >= 1 ? 0 : int(std::ceil(-std::log10(r.step)));
    int labelWidth = 0;
    for (double y = r.low; y <= r.high + r.step / 2; y += r.step)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(QLocale::c().toString(y, 'f', decimals)));
    const QRectF area(labelWidth + 12, line + 10, std::max(10, size.width() - labelWidth - 24),
                      std::max(10, size.height() - 4 * line - 16));
    auto yOf = [&](double v) { return area.bottom() - (v - r.low) / (r.high - r.low) * area.height(); };

    // Grid and value labels.
    p.setPen(QPen(pal.color(QPalette::Mid), 0, Qt::DotLine));
    for (double y = r.low; y <= r.high + r.step / 2; y += r.step) {
        const double py = yOf(y);
        p.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
        p.save();
        p.setPen(pal.color(QPalette::Text));
        p.drawText(QRectF(0, py - line / 2.0, labelWidth + 6, line), Qt::AlignRight | Qt::AlignVCenter,
                   QLocale::c().toString(y, 'f', decimals));
        p.restore();
    }
    p.setPen(pal.color(QPalette::Text));
    p.drawRect(area);
    if (m_columns.empty()) {
        p.restore();
        return;
    }

    const Placement placed = place(m_columns.size(), m_axis, area.left(), area.width());
    const double width = placed.room;
    if (m_axis)
        drawChargeMarks(p, area, placed, yOf);
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const Column& c = m_columns[i];
        const double centre = placed.centres[i];
        const double bar = std::min(28.0, width / 4);
        // The interval as a bar behind the points, the average as a bold line across it.
        if (c.low && c.high) {
            QColor fill = c.colour;
            fill.setAlpha(60);
            p.fillRect(QRectF(centre - bar, yOf(*c.high), 2 * bar, yOf(*c.low) - yOf(*c.high)), fill);
        }
        p.setPen(QPen(c.colour, 2.5));
        p.drawLine(QPointF(centre - bar - 6, yOf(c.average)), QPointF(centre + bar + 6, yOf(c.average)));
        // Shots spread a little sideways, in their order, so that equal ones stay visible.
        p.setPen(QPen(c.colour.darker(130), 1));
        p.setBrush(c.colour);
        for (size_t k = 0; k < c.values.size(); ++k) {
            const double dx = (double(k % 7) - 3) * std::min(4.0, bar / 4);
            p.drawEllipse(QPointF(centre + dx, yOf(c.values[k])), 3, 3);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(pal.color(QPalette::Text));
        const QRectF labelBox(centre - width / 2 + 2, area.bottom() + 4, width - 4, line);
        p.drawText(labelBox, Qt::AlignHCenter, fm.elidedText(c.label, Qt::ElideRight, int(labelBox.width())));
        p.drawText(labelBox.translated(0, line), Qt::AlignHCenter,
                   fm.elidedText(c.note, Qt::ElideRight, int(labelBox.width())));
    }
    p.restore();
}

void LadderPlot::drawChargeMarks(QPainter& p, const QRectF& area, const Placement& placed,
                                 const std::function<double(double)>& yOf) const
{
    const QPalette pal = palette();
    p.save();
    p.setClipRect(area);
    // Flat spots behind everything, named at the top.
    for (const auto& [first, last] : m_axis->flatSpots) {
        if (last >= placed.centres.size() || first >= last)
            continue;
        const QRectF band(placed.centres[first] - placed.room / 2, area.top(),
                          placed.centres[last] - placed.centres[first] + placed.room, area.height());
        p.fillRect(band, QColor(255, 190, 0, 45));
        p.setPen(pal.color(QPalette::Text));
        p.drawText(band.adjusted(2, 2, -2, 0), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("flat spot"));
    }
    if (m_axis->slope && m_axis->intercept) {
        // Across the columns' charges, from the first to the last.
        const double first = m_axis->charges.front();
        const double last = m_axis->charges.back();
        const double x0 = placed.centres.front();
        const double x1 = placed.centres.back();
        p.setPen(QPen(pal.color(QPalette::Text), 1.5, Qt::DashLine));
        p.drawLine(QPointF(x0, yOf(*m_axis->intercept + *m_axis->slope * first)),
                   QPointF(x1, yOf(*m_axis->intercept + *m_axis->slope * last)));
    }
    p.restore();
}
