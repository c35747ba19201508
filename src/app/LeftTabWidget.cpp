#include "LeftTabWidget.h"

#include <QPainter>
#include <QStyleOptionTab>
#include <QStylePainter>

LeftHorizontalTabBar::LeftHorizontalTabBar(QWidget *parent)
    : QTabBar(parent)
{
}

QSize LeftHorizontalTabBar::tabSizeHint(int) const
{
    return QSize(170, 44);
}

void LeftHorizontalTabBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        const QRect tabRect = this->tabRect(i);
        option.rect = tabRect;
        painter.save();
        style()->drawControl(QStyle::CE_TabBarTabShape, &option, &painter, this);

        QRect textRect = tabRect.adjusted(14, 0, -10, 0);
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const bool enabled = isTabEnabled(i);
        const QIcon icon = tabIcon(i);
        if (!icon.isNull()) {
            const QSize iconSize = option.iconSize.isValid() ? option.iconSize : QSize(20, 20);
            const int centreY = (textRect.top() + textRect.bottom()) / 2;
            const QRect iconRect(textRect.left(), centreY - iconSize.height() / 2, iconSize.width(),
                                 iconSize.height());
            const QIcon::Mode mode
                = selected ? QIcon::Selected : (enabled ? QIcon::Normal : QIcon::Disabled);
            icon.paint(&painter, iconRect, Qt::AlignCenter, mode, QIcon::Off);
            textRect.setLeft(iconRect.right() + 10);
        }

        painter.setPen(option.palette.color(selected ? QPalette::Active : QPalette::Disabled,
                                            QPalette::WindowText));
        QFont font = this->font();
        font.setBold(selected);
        painter.setFont(font);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, tabText(i));
        painter.restore();
    }
}

LeftTabWidget::LeftTabWidget(QWidget *parent)
    : QTabWidget(parent)
{
    setTabBar(new LeftHorizontalTabBar(this));
    setTabPosition(QTabWidget::West);
}
