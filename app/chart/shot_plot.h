#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

// A plot of one figure per shot, drawn with QPainter: one line per string (points joined),
// each with its average as a line and, when given, a band of ± one deviation around it, and an
// optional limit drawn in red. Shot k of a string is at x = k. The lines are drawn once into a
// cached layer; a point appended inside the current ranges adds one segment to that layer, so a
// long string costs as much to extend as a short one. Dense lines are reduced to what each
// pixel column shows.
class ShotPlot : public QWidget {
    Q_OBJECT
public:
    struct Line {
        QString name;
        QColor colour;
        std::vector<double> values;
        std::optional<double> average;
        std::optional<double> band; // half width, around the average
    };

    explicit ShotPlot(const QString& title, QWidget* parent = nullptr);

    void setUnit(const QString& unit);
    void setLines(std::vector<Line> lines);
    const std::vector<Line>& lines() const { return m_lines; }
    // Appends one value to a line; the cached layer is extended when the ranges still hold it.
    void append(int line, double value);
    void setAverage(int line, std::optional<double> average, std::optional<double> band);
    void setLimit(std::optional<double> limit);
    std::optional<double> limit() const { return m_limit; }

    // The point nearest to `pos` within a few pixels: its line and index, or none.
    struct Hit {
        int line = -1;
        int index = -1;
    };
    std::optional<Hit> pointNear(const QPoint& pos) const;
    // Where a point is drawn, in widget coordinates.
    QPointF pointPosition(int line, int index) const;
    // The point shown by the keyboard cursor (arrow keys), or none.
    std::optional<Hit> cursor() const { return m_cursor; }
    void setCursor(std::optional<Hit> hit);

    // Draws the whole plot at `size` (for images and SVG files).
    void render(QPainter& painter, const QSize& size) const;

    // How many times the lines were drawn whole (a measure of the incremental path).
    int fullDraws() const { return m_fullDraws; }
    QSize sizeHint() const override { return {640, 240}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

signals:
    // The pointer or the keyboard cursor came to a point (none when it left every point).
    void pointed(std::optional<ShotPlot::Hit> hit, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Ranges {
        double xMax = 10;
        double yMin = 0;
        double yMax = 1;
    };
    // Ranges that hold every point, line and the limit, with round ends.
    Ranges rangesFor() const;
    bool holds(const Ranges& r, double x, double y) const;
    QRectF plotArea(const QSize& size) const;
    QPointF map(const QRectF& area, const Ranges& r, double x, double y) const;
    void drawLines(QPainter& p, const QRectF& area, const Ranges& r) const;
    void drawFrame(QPainter& p, const QRectF& area, const Ranges& r, const QSize& size) const;
    void drawOverlays(QPainter& p, const QRectF& area, const Ranges& r) const;
    bool showMarkers(const QRectF& area, const Ranges& r) const;
    void invalidate();
    void rebuildLayer();
    void rebuildFrame();

    QString m_title;
    QString m_unit;
    std::vector<Line> m_lines;
    std::optional<double> m_limit;
    std::optional<Hit> m_cursor;
    Ranges m_ranges;
    QPixmap m_layer;
    bool m_layerValid = false;
    // The axes, grid, labels and legend: they change with the ranges, not with every shot.
    QPixmap m_frame;
    bool m_frameValid = false;
    int m_fullDraws = 0;
};

Q_DECLARE_METATYPE(ShotPlot::Hit)
