#include "shot_plot.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kReach = 8;        // pixels within which the pointer finds a point
constexpr double kMarkerSpacing = 6; // pixels between points before markers are drawn
// Values beyond this are drawn at the edge: a hand-edited 1.7e308 must not make the ranges, the
// steps or the pixel positions infinite.
constexpr double kLargest = 1e12;
constexpr int kMostTicks = 100;

// 1, 2 or 5 times a power of ten, at least `value`.
double niceAbove(double value)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(std::max(value, 1e-12))));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= value * (1 - 1e-12))
            return m * magnitude;
    return 10 * magnitude;
}

int decimalsFor(double step)
{
    return step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
}

} // namespace

ShotPlot::ShotPlot(const QString& title, QWidget* parent) : QWidget(parent), m_title(title)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ShotPlot::setUnit(const QString& unit)
{
    m_unit = unit;
    m_frameValid = false;
    update();
}

void ShotPlot::setLines(std::vector<Line> lines)
{
    m_lines = std::move(lines);
    m_cursor.reset();
    invalidate();
}

void ShotPlot::append(int line, double value)
{
    Line& l = m_lines[size_t(line)];
    l.values.push_back(value);
    const double x = double(l.values.size());
    if (!m_layerValid || !holds(m_ranges, x, value)) {
        invalidate();
        return;
    }
    const QRectF area = plotArea(size());
    const bool markersBefore = showMarkers(area, m_ranges);
    QPainter p(&m_layer);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(l.colour, 1.5));
    const QPointF at = map(area, m_ranges, x, value);
    if (l.values.size() > 1)
        p.drawLine(map(area, m_ranges, x - 1, l.values[l.values.size() - 2]), at);
    if (markersBefore) {
        p.setBrush(l.colour);
        p.drawEllipse(at, 2.5, 2.5);
    }
    update();
}

void ShotPlot::setAverage(int line, std::optional<double> average, std::optional<double> band)
{
    Line& l = m_lines[size_t(line)];
    l.average = average;
    l.band = band;
    if (average && (!holds(m_ranges, 0, *average + band.value_or(0)) || !holds(m_ranges, 0, *average - band.value_or(0))))
        invalidate();
    update();
}

void ShotPlot::setLimit(std::optional<double> limit)
{
    m_limit = limit;
    if (limit && !holds(m_ranges, 0, *limit))
        invalidate();
    update();
}

void ShotPlot::invalidate()
{
    m_layerValid = false;
    m_frameValid = false;
    update();
}

ShotPlot::Ranges ShotPlot::rangesFor() const
{
    Ranges r;
    size_t longest = 0;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    auto take = [&](double v) {
        if (std::isfinite(v)) {
            v = std::clamp(v, -kLargest, kLargest);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    for (const Line& l : m_lines) {
        longest = std::max(longest, l.values.size());
        for (double v : l.values)
            take(v);
        if (l.average) {
            take(*l.average + l.band.value_or(0));
            take(*l.average - l.band.value_or(0));
        }
    }
    if (m_limit)
        take(*m_limit);
    r.xMax = niceAbove(std::max<double>(10, double(longest)));
    if (!std::isfinite(lo)) {
        lo = 0;
        hi = 1;
    }
    double span = hi - lo;
    if (span < 1e-9)
        span = std::max(1.0, std::abs(hi) * 0.02);
    const double step = niceAbove(span / 5);
    r.yMin = std::floor((lo - span * 0.08) / step) * step;
    r.yMax = std::ceil((hi + span * 0.08) / step) * step;
    return r;
}

bool ShotPlot::holds(const Ranges& r, double x, double y) const
{
    return x <= r.xMax && y >= r.yMin && y <= r.yMax;
}

QRectF ShotPlot::plotArea(const QSize& size) const
{
    const int text = fontMetrics().height();
    const double top = text * (m_lines.size() > 1 ? 2.6 : 1.6);
    return QRectF(QPointF(text * 4.0, top), QPointF(size.width() - text * 0.8, size.height() - text * 1.8));
}

QPointF ShotPlot::map(const QRectF& area, const Ranges& r, double x, double y) const
{
    // Out of the ranges (a clamped or non-finite value) is drawn at the edge, never far away.
    y = std::isfinite(y) ? std::clamp(y, r.yMin, r.yMax) : r.yMin;
    return {area.left() + x / r.xMax * area.width(),
            area.bottom() - (y - r.yMin) / (r.yMax - r.yMin) * area.height()};
}

bool ShotPlot::showMarkers(const QRectF& area, const Ranges& r) const
{
    return area.width() / r.xMax >= kMarkerSpacing;
}

void ShotPlot::drawLines(QPainter& p, const QRectF& area, const Ranges& r) const
{
    p.setRenderHint(QPainter::Antialiasing);
    const bool markers = showMarkers(area, r);
    for (const Line& l : m_lines) {
        p.setPen(QPen(l.colour, 1.5));
        p.setBrush(Qt::NoBrush);
        QPolygonF polyline;
        const size_t n = l.values.size();
        if (double(n) <= area.width() * 2) {
            polyline.reserve(qsizetype(n));
            for (size_t i = 0; i < n; ++i)
                polyline.append(map(area, r, double(i + 1), l.values[i]));
        } else {
            // Per pixel column: where the line enters, its lowest and highest point, where it leaves.
            int column = -1;
            double first = 0, low = 0, high = 0, last = 0;
            auto flush = [&] {
                if (column < 0)
                    return;
                for (double v : {first, low, high, last})
                    polyline.append(QPointF(column + 0.5, map(area, r, 0, v).y()));
            };
            for (size_t i = 0; i < n; ++i) {
                const double v = l.values[i];
                const int c = int(map(area, r, double(i + 1), v).x());
                if (c != column) {
                    flush();
                    column = c;
                    first = low = high = v;
                }
                low = std::min(low, v);
                high = std::max(high, v);
                last = v;
            }
            flush();
        }
        p.drawPolyline(polyline);
        if (markers) {
            p.setBrush(l.colour);
            for (const QPointF& at : polyline)
                p.drawEllipse(at, 2.5, 2.5);
        }
    }
}

void ShotPlot::drawFrame(QPainter& p, const QRectF& area, const Ranges& r, const QSize& size) const
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(QPoint(0, 0), size), palette().base());
    const QColor text = palette().color(QPalette::Text);
    QColor grid = palette().color(QPalette::Mid);
    grid.setAlpha(90);
    const QLocale locale;
    const int h = fontMetrics().height();

    const double yStep = niceAbove((r.yMax - r.yMin) / 5);
    const int decimals = decimalsFor(yStep);
    const int yTicks = std::min(kMostTicks, int(std::floor((r.yMax - r.yMin) / yStep + 1e-6)));
    for (int i = 0; i <= yTicks; ++i) {
        const double y = r.yMin + i * yStep;
        const double py = map(area, r, 0, y).y();
        p.setPen(grid);
        p.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
        p.setPen(text);
        p.drawText(QRectF(0, py - h / 2.0, area.left() - h * 0.3, h), Qt::AlignRight | Qt::AlignVCenter,
                   locale.toString(y, 'f', decimals));
    }
    const double xStep = std::max(1.0, niceAbove(r.xMax / 8));
    const int xTicks = std::min(kMostTicks, int(std::floor(r.xMax / xStep + 1e-6)));
    for (int i = 0; i <= xTicks; ++i) {
        const double x = i * xStep;
        const double px = map(area, r, x, r.yMin).x();
        p.setPen(grid);
        p.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        p.setPen(text);
        p.drawText(QRectF(px - h * 3, area.bottom() + h * 0.2, h * 6, h), Qt::AlignHCenter | Qt::AlignTop,
                   locale.toString(int(x)));
    }
    p.setPen(text);
    p.drawRect(area);
    p.drawText(QRectF(area.left(), 0, area.width(), h * 1.4), Qt::AlignLeft | Qt::AlignVCenter,
               m_unit.isEmpty() ? m_title : m_title + QStringLiteral(" (") + m_unit + u')');
    if (m_lines.size() > 1) {
        double x = area.left();
        const double y = h * 1.4;
        for (const Line& l : m_lines) {
            p.fillRect(QRectF(x, y + h * 0.25, h * 0.8, h * 0.5), l.colour);
            const QString name = fontMetrics().elidedText(l.name, Qt::ElideRight, h * 16);
            p.drawText(QPointF(x + h, y + h * 0.8), name);
            x += h * 1.6 + fontMetrics().horizontalAdvance(name);
            if (x > area.right())
                break;
        }
    }
}

void ShotPlot::drawOverlays(QPainter& p, const QRectF& area, const Ranges& r) const
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.save();
    p.setClipRect(area);
    for (const Line& l : m_lines) {
        if (!l.average || l.values.empty())
            continue;
        if (l.band) {
            QColor fill = l.colour;
            fill.setAlpha(40);
            const QPointF top = map(area, r, 0, *l.average + *l.band);
            const QPointF bottom = map(area, r, 0, *l.average - *l.band);
            p.fillRect(QRectF(QPointF(area.left(), top.y()), QPointF(area.right(), bottom.y())), fill);
        }
        QPen pen(l.colour.darker(130), 1, Qt::DashLine);
        p.setPen(pen);
        const double y = map(area, r, 0, *l.average).y();
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    if (m_limit) {
        p.setPen(QPen(QColor(255, 0, 0), 2));
        const double y = map(area, r, 0, *m_limit).y();
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    p.restore();
}

void ShotPlot::rebuildLayer()
{
    m_ranges = rangesFor();
    const qreal ratio = devicePixelRatioF();
    m_layer = QPixmap(size() * ratio);
    m_layer.setDevicePixelRatio(ratio);
    m_layer.fill(Qt::transparent);
    QPainter p(&m_layer);
    drawLines(p, plotArea(size()), m_ranges);
    m_layerValid = true;
    m_frameValid = false;
    ++m_fullDraws;
}

void ShotPlot::rebuildFrame()
{
    const qreal ratio = devicePixelRatioF();
    m_frame = QPixmap(size() * ratio);
    m_frame.setDevicePixelRatio(ratio);
    QPainter p(&m_frame);
    drawFrame(p, plotArea(size()), m_ranges, size());
    m_frameValid = true;
}

void ShotPlot::paintEvent(QPaintEvent*)
{
    if (!m_layerValid || m_layer.deviceIndependentSize().toSize() != size())
        rebuildLayer();
    if (!m_frameValid)
        rebuildFrame();
    QPainter p(this);
    const QRectF area = plotArea(size());
    p.drawPixmap(0, 0, m_frame);
    drawOverlays(p, area, m_ranges);
    p.drawPixmap(0, 0, m_layer);
    if (m_cursor) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(pointPosition(m_cursor->line, m_cursor->index), 5, 5);
    }
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void ShotPlot::render(QPainter& p, const QSize& size) const
{
    const Ranges r = rangesFor();
    const QRectF area = plotArea(size);
    drawFrame(p, area, r, size);
    drawOverlays(p, area, r);
    drawLines(p, area, r);
}

void ShotPlot::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    invalidate();
}

void ShotPlot::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::EnabledChange)
        invalidate();
    QWidget::changeEvent(event);
}

QPointF ShotPlot::pointPosition(int line, int index) const
{
    return map(plotArea(size()), m_ranges, double(index + 1), m_lines[size_t(line)].values[size_t(index)]);
}

std::optional<ShotPlot::Hit> ShotPlot::pointNear(const QPoint& pos) const
{
    const QRectF area = plotArea(size());
    const double perPoint = area.width() / m_ranges.xMax;
    const int window = int(std::ceil(kReach / perPoint)) + 1;
    const int centre = int(std::lround((pos.x() - area.left()) / perPoint)) - 1;
    std::optional<Hit> best;
    double bestDistance = kReach;
    for (size_t l = 0; l < m_lines.size(); ++l) {
        const int n = int(m_lines[l].values.size());
        for (int i = std::max(0, centre - window); i <= std::min(n - 1, centre + window); ++i) {
            const QPointF at = pointPosition(int(l), i);
            const double distance = std::hypot(at.x() - pos.x(), at.y() - pos.y());
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = Hit{int(l), i};
            }
        }
    }
    return best;
}

void ShotPlot::setCursor(std::optional<Hit> hit)
{
    m_cursor = hit;
    update();
}

void ShotPlot::mouseMoveEvent(QMouseEvent* event)
{
    const std::optional<Hit> hit = pointNear(event->position().toPoint());
    const bool changed = hit.has_value() != m_cursor.has_value() ||
                         (hit && (hit->line != m_cursor->line || hit->index != m_cursor->index));
    if (!changed)
        return;
    setCursor(hit);
    emit pointed(hit, event->globalPosition().toPoint());
}

void ShotPlot::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_cursor && !hasFocus()) {
        setCursor(std::nullopt);
        emit pointed(std::nullopt, {});
    }
}

void ShotPlot::keyPressEvent(QKeyEvent* event)
{
    if (m_lines.empty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    Hit hit = m_cursor.value_or(Hit{0, -1});
    auto count = [&](int line) { return int(m_lines[size_t(line)].values.size()); };
    switch (event->key()) {
    case Qt::Key_Right:
        hit.index = std::min(count(hit.line) - 1, hit.index + 1);
        break;
    case Qt::Key_Left:
        hit.index = hit.index < 0 ? count(hit.line) - 1 : std::max(0, hit.index - 1);
        break;
    case Qt::Key_Home:
        hit.index = 0;
        break;
    case Qt::Key_End:
        hit.index = count(hit.line) - 1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Up: {
        const int lines = int(m_lines.size());
        hit.line = (hit.line + (event->key() == Qt::Key_Down ? 1 : lines - 1)) % lines;
        hit.index = std::min(std::max(hit.index, 0), count(hit.line) - 1);
        break;
    }
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (hit.index < 0 || hit.index >= count(hit.line))
        return;
    setCursor(hit);
    emit pointed(hit, mapToGlobal(pointPosition(hit.line, hit.index).toPoint()));
}
