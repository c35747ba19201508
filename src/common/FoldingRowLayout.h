#pragma once

#include "ItemListLayout.h"

// Two items side by side with a gap, the first at its own width and the second taking the
// rest; where the width is too short for both, the second goes below the first and takes the
// whole width. The Replay controls use it so that a narrow window gets a taller box instead
// of a page that scrolls sideways.
class FoldingRowLayout : public ItemListLayout
{
public:
    explicit FoldingRowLayout(QWidget *parent = nullptr);

    // Horizontal gap between the two items while side by side.
    void setRowGap(int gap);
    void addLayout(QLayout *layout);
    // Whether the items are side by side at this width (margins included).
    bool sideBySide(int width) const;

    void addItem(QLayoutItem *item) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    QLayoutItem *first() const { return items.value(0); }
    QLayoutItem *second() const { return items.value(1); }
    // The second item's height at this width of its own.
    int secondHeight(int width) const;
    int foldedGap() const;
    // Without margins.
    int innerHeight(int innerWidth) const;

    int rowGap = 0;
};
