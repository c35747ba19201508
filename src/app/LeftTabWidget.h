#pragma once

#include <QTabBar>
#include <QTabWidget>

// A west-side tab bar whose tabs are wide horizontal buttons with icon and label.
class LeftHorizontalTabBar : public QTabBar
{
    Q_OBJECT
public:
    explicit LeftHorizontalTabBar(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize tabSizeHint(int index) const override;
};

class LeftTabWidget : public QTabWidget
{
    Q_OBJECT
public:
    explicit LeftTabWidget(QWidget *parent = nullptr);
};
