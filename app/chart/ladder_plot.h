#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

// Strings side by side, as a load ladder: one column per string under the label the user gave
// it, each shot a point, and the average with its confidence interval as a bar.
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

    explicit LadderPlot(QWidget* parent = nullptr);

    void setUnit(const QString& unit);
    void setColumns(std::vector<Column> columns);
    const std::vector<Column>& columns() const { return m_columns; }

    // Draws the whole plot at `size` (for images and SVG files).
    void render(QPainter& painter, const QSize& size) const;

    // The value range drawn, with round ends.
    struct Range {
        double low = 0;
        double high = 1;
        double step = 0.2;
    };
    static Range rangeFor(const std::vector<Column>& columns);

    QSize sizeHint() const override { return {640, 280}; }
    QSize minimumSizeHint() const override { return {240, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_unit;
    std::vector<Column> m_columns;
};
