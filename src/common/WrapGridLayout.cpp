#include "WrapGridLayout.h"

#include <QWidget>

#include <numeric>

WrapGridLayout::WrapGridLayout(int maxColumns, QWidget *parent)
    : ItemListLayout(parent)
    , maxColumns(qMax(1, maxColumns))
{
}

void WrapGridLayout::setHorizontalSpacing(int spacing)
{
    hSpacing = spacing;
    invalidate();
}

Qt::Orientations WrapGridLayout::expandingDirections() const
{
    return {};
}

bool WrapGridLayout::hasHeightForWidth() const
{
    return true;
}

int WrapGridLayout::verticalGap() const
{
    return styleVerticalSpacing();
}

QList<QLayoutItem *> WrapGridLayout::shownItems() const
{
    QList<QLayoutItem *> shown;
    for (QLayoutItem *item : items) {
        if (!item->isEmpty())
            shown.append(item);
    }
    return shown;
}

QVector<int> WrapGridLayout::columnWidths(int columns) const
{
    QVector<int> widths(columns, 0);
    const QList<QLayoutItem *> shown = shownItems();
    for (int i = 0; i < shown.size(); ++i)
        widths[i % columns] = qMax(widths[i % columns], shown[i]->sizeHint().width());
    return widths;
}

QSize WrapGridLayout::gridSize(int columns) const
{
    const QList<QLayoutItem *> shown = shownItems();
    if (shown.isEmpty())
        return QSize(0, 0);
    columns = qMin(columns, shown.size());
    const QVector<int> widths = columnWidths(columns);
    const int width = std::accumulate(widths.begin(), widths.end(), 0) + hSpacing * (columns - 1);
    int height = 0;
    const int rows = (shown.size() + columns - 1) / columns;
    for (int row = 0; row < rows; ++row) {
        int rowHeight = 0;
        for (int i = row * columns; i < qMin(shown.size(), (row + 1) * columns); ++i)
            rowHeight = qMax(rowHeight, shown[i]->sizeHint().height());
        height += rowHeight;
    }
    return QSize(width, height + verticalGap() * (rows - 1));
}

int WrapGridLayout::columnsForWidth(int width) const
{
    const QMargins m = contentsMargins();
    const int inner = width - m.left() - m.right();
    int columns = maxColumns;
    while (columns > 1 && gridSize(columns).width() > inner)
        columns /= 2;
    return columns;
}

int WrapGridLayout::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    return gridSize(columnsForWidth(width)).height() + m.top() + m.bottom();
}

QSize WrapGridLayout::sizeHint() const
{
    const QMargins m = contentsMargins();
    return gridSize(maxColumns).grownBy(m);
}

QSize WrapGridLayout::minimumSize() const
{
    const QMargins m = contentsMargins();
    return QSize(gridSize(1).width(), 0).grownBy(m);
}

void WrapGridLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QRect inner = rect.marginsRemoved(contentsMargins());
    const int columns = columnsForWidth(rect.width());
    const QVector<int> widths = columnWidths(columns);
    const QList<QLayoutItem *> shown = shownItems();
    int y = inner.top();
    for (int rowStart = 0; rowStart < shown.size(); rowStart += columns) {
        const int rowEnd = qMin(shown.size(), rowStart + columns);
        int rowHeight = 0;
        for (int i = rowStart; i < rowEnd; ++i)
            rowHeight = qMax(rowHeight, shown[i]->sizeHint().height());
        int x = inner.left();
        for (int i = rowStart; i < rowEnd; ++i) {
            const int column = i - rowStart;
            shown[i]->setGeometry(QRect(x, y, widths[column], rowHeight));
            x += widths[column] + hSpacing;
        }
        y += rowHeight + verticalGap();
    }
}
