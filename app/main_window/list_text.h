#pragma once

#include "main_window/appending_table_view.h"
#include "main_window/digit_shape_widths.h"

#include <QAbstractListModel>
#include <QStringList>

// The lines of the list text, as a model a view can show without laying out all of them.
class ListTextModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void setText(const QString& text);
    void append(const QString& text);

private:
    // The text split at CR LF; the last element is what follows the last CR LF (often empty).
    QStringList m_lines{QString()};
};

// The list text box: holds the string's lines exactly as text (CR LF line ends) and shows them
// one line a row with tabs expanded, read-only; selected lines can be copied. Rows have one
// height and appending shows the new lines without laying out the others, so a long string
// stays fast.
class ListText : public AppendingTableView {
    Q_OBJECT
public:
    explicit ListText(QWidget* parent = nullptr);

    const QString& Text() const { return m_text; }
    void setText(const QString& text);
    void append(const QString& text);
    // Scrolls to the end so that the newest line is visible.
    void moveCaretToEnd();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Widens the single column to fit a newly shown line (never measures all lines).
    void fitWidth(const QString& lines);

    QString m_text;
    ListTextModel m_model;
    DigitShapeWidths m_lineWidths{[](const QFontMetrics& m, const QString& line) {
        return m.boundingRect(QRect(), Qt::TextExpandTabs, line).width();
    }};
};
