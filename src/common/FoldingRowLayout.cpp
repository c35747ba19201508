#include "FoldingRowLayout.h"

#include <QWidget>

FoldingRowLayout::FoldingRowLayout(QWidget *parent)
    : ItemListLayout(parent)
{
}

void FoldingRowLayout::setRowGap(int gap)
{
    rowGap = gap;
    invalidate();
}

void FoldingRowLayout::addLayout(QLayout *layout)
{
    addChildLayout(layout);
    addItem(layout);
}

void FoldingRowLayout::addItem(QLayoutItem *item)
{
    Q_ASSERT(items.size() < 2);
    ItemListLayout::addItem(item);
}

Qt::Orientations FoldingRowLayout::expandingDirections() const
{
    Qt::Orientations directions;
    for (QLayoutItem *item : items)
        directions |= item->expandingDirections();
    return directions;
}

bool FoldingRowLayout::hasHeightForWidth() const
{
    return true;
}

int FoldingRowLayout::foldedGap() const
{
    return styleVerticalSpacing();
}

int FoldingRowLayout::secondHeight(int width) const
{
    QLayoutItem *item = second();
    if (!item)
        return 0;
    return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
}

bool FoldingRowLayout::sideBySide(int width) const
{
    if (!first() || !second())
        return true;
    const QMargins m = contentsMargins();
    const int inner = width - m.left() - m.right();
    return inner >= first()->sizeHint().width() + rowGap + second()->minimumSize().width();
}

int FoldingRowLayout::innerHeight(int innerWidth) const
{
    const QMargins m = contentsMargins();
    const int firstHeight = first() ? first()->sizeHint().height() : 0;
    if (!second())
        return firstHeight;
    if (sideBySide(innerWidth + m.left() + m.right())) {
        const int rest = innerWidth - first()->sizeHint().width() - rowGap;
        return qMax(firstHeight, secondHeight(rest));
    }
    return firstHeight + foldedGap() + secondHeight(innerWidth);
}

int FoldingRowLayout::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    return innerHeight(width - m.left() - m.right()) + m.top() + m.bottom();
}

QSize FoldingRowLayout::sizeHint() const
{
    const QMargins m = contentsMargins();
    int width = first() ? first()->sizeHint().width() : 0;
    if (second())
        width += rowGap + second()->sizeHint().width();
    return QSize(width, innerHeight(width)).grownBy(m);
}

QSize FoldingRowLayout::minimumSize() const
{
    // Folded: as wide as the wider of the two.
    QSize size(0, 0);
    if (first())
        size = first()->sizeHint();
    if (second())
        size = size.expandedTo(second()->minimumSize());
    return size.grownBy(contentsMargins());
}

void FoldingRowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    if (!first())
        return;
    const QRect inner = rect.marginsRemoved(contentsMargins());
    const QSize lead = first()->sizeHint();
    if (!second()) {
        first()->setGeometry(QRect(inner.topLeft(), QSize(lead.width(), inner.height())));
        return;
    }
    if (sideBySide(rect.width())) {
        first()->setGeometry(QRect(inner.topLeft(), QSize(lead.width(), inner.height())));
        const int x = inner.left() + lead.width() + rowGap;
        second()->setGeometry(QRect(x, inner.top(), inner.right() + 1 - x, inner.height()));
        return;
    }
    first()->setGeometry(QRect(inner.topLeft(), lead));
    const int y = inner.top() + lead.height() + foldedGap();
    second()->setGeometry(QRect(inner.left(), y, inner.width(), inner.bottom() + 1 - y));
}
