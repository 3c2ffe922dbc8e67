#include "ladder_plot.h"

#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
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

void LadderPlot::setColumns(std::vector<Column> columns)
{
    m_columns = std::move(columns);
    update();
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
    const QString title = QStringLiteral("Velocity by string (%1): each shot, and the average with its 90 % interval")
                              .arg(m_unit);
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

    const double width = area.width() / double(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const Column& c = m_columns[i];
        const double centre = area.left() + width * (double(i) + 0.5);
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
