#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Strings side by side, as a load ladder: one column per string under the label the user gave
// it, each shot a point, and the average with its confidence interval as a bar. Strings of a load
// development stand at their charge weights instead, spaced by weight, with the line fitted
// through their averages and their flat spots marked.
class LadderPlot : public QWidget {
    Q_OBJECT
public:
    struct Column {
        QString label;
        QColor colour;
        std::vector<double> values;
        double average = 0;
        std::optional<double> low, high; // the interval of the average
        QString note;                    // under the label: shots and deviation
    };

    // Where the columns stand when they are charge weights.
    struct ChargeAxis {
        QString unit;                                     // "gr" or "g"
        std::vector<double> charges;                      // one per column, rising
        std::optional<double> slope, intercept;           // the fitted line, velocity over charge
        std::vector<std::pair<size_t, size_t>> flatSpots; // first and last column of each
    };

    explicit LadderPlot(QWidget* parent = nullptr);

    void setUnit(const QString& unit);
    void setColumns(std::vector<Column> columns, std::optional<ChargeAxis> axis = std::nullopt);
    const std::vector<Column>& columns() const { return m_columns; }
    const std::optional<ChargeAxis>& chargeAxis() const { return m_axis; }

    // Draws the whole plot at `size` (for images and SVG files).
    void render(QPainter& painter, const QSize& size) const;

    // The value range drawn, with round ends.
    struct Range {
        double low = 0;
        double high = 1;
        double step = 0.2;
    };
    static Range rangeFor(const std::vector<Column>& columns);

    // The columns' centres across `width` pixels from `left`, evenly or by charge, and the room
    // each has (the smallest distance between two neighbours).
    struct Placement {
        std::vector<double> centres;
        double room = 0;
    };
    static Placement place(size_t count, const std::optional<ChargeAxis>& axis, double left, double width);

    QSize sizeHint() const override { return {640, 280}; }
    QSize minimumSizeHint() const override { return {240, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawChargeMarks(QPainter& p, const QRectF& area, const Placement& placed,
                         const std::function<double(double)>& yOf) const;

    QString m_unit;
    std::vector<Column> m_columns;
    std::optional<ChargeAxis> m_axis;
};
