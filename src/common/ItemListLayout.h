#pragma once

#include <QLayout>
#include <QList>

// The item list every hand-made layout keeps: it owns its items and deletes them with itself.
// Subclasses arrange them.
class ItemListLayout : public QLayout
{
public:
    explicit ItemListLayout(QWidget *parent = nullptr);
    ~ItemListLayout() override;

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;

protected:
    // The owner's style's vertical spacing, 0 without an owner.
    int styleVerticalSpacing() const;

    QList<QLayoutItem *> items;
};
