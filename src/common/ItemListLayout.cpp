#include "ItemListLayout.h"

#include <QStyle>
#include <QWidget>

ItemListLayout::ItemListLayout(QWidget *parent)
    : QLayout(parent)
{
}

ItemListLayout::~ItemListLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void ItemListLayout::addItem(QLayoutItem *item)
{
    items.append(item);
    invalidate();
}

QLayoutItem *ItemListLayout::itemAt(int index) const
{
    return items.value(index);
}

QLayoutItem *ItemListLayout::takeAt(int index)
{
    if (index < 0 || index >= items.size())
        return nullptr;
    invalidate();
    return items.takeAt(index);
}

int ItemListLayout::count() const
{
    return items.size();
}

int ItemListLayout::styleVerticalSpacing() const
{
    const QWidget *owner = parentWidget();
    return owner ? owner->style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing, nullptr, owner)
                 : 0;
}
