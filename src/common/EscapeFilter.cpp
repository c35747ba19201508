#include "EscapeFilter.h"

#include <QKeyEvent>

void EscapeFilter::install(QObject *target)
{
    target->installEventFilter(new EscapeFilter(target));
}

bool EscapeFilter::consume(QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Escape)
        return false;
    event->accept();
    return true;
}

bool EscapeFilter::eventFilter(QObject *watched, QEvent *event)
{
    return consume(event) || QObject::eventFilter(watched, event);
}
