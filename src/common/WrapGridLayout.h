#pragma once

#include "ItemListLayout.h"

#include <QList>
#include <QVector>

// A grid of fixed-size items that folds its rows when the width runs short: the items keep
// their order, row by row, in as many columns as fit of maxColumns, maxColumns / 2, ... 1,
// so a row of four becomes two rows of two, not a row of three and an orphan. Each column is
// as wide as its widest item; the spare width stays on the right. Hidden items take no cell.
class WrapGridLayout : public ItemListLayout
{
public:
    explicit WrapGridLayout(int maxColumns, QWidget *parent = nullptr);

    void setHorizontalSpacing(int spacing);
    // The column count the items are laid out in at this width (margins included).
    int columnsForWidth(int width) const;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    QList<QLayoutItem *> shownItems() const;
    QVector<int> columnWidths(int columns) const;
    // Without margins.
    QSize gridSize(int columns) const;
    // The style's.
    int verticalGap() const;

    int maxColumns;
    int hSpacing = 0;
};
