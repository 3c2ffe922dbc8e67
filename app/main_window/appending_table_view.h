#pragma once

#include <QTableView>

// A table view for lists that grow at the end one row at a time. QTableView lays out and
// repaints every visible cell whenever the row count changes; here a new row only updates the
// vertical scroll bar and repaints itself and what is below it, so adding a shot to a long list
// costs no more than to a short one. Removing rows still lays out the whole view.
class AppendingTableView : public QTableView {
    Q_OBJECT
public:
    explicit AppendingTableView(QWidget* parent = nullptr);

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;

private slots:
    void rowsCounted(int oldCount, int newCount);
    void verticalRangeChanged();

private:
    // Sets the vertical scroll range for `count` rows as a full layout would, when the rows are
    // alike; false when a full layout is needed.
    bool fitRowRange(int count);
};
