#include "ClickableImageLabel.h"

#include <QMouseEvent>
#include <QPointer>

ClickableImageLabel::ClickableImageLabel(QWidget *parent)
    : QLabel(parent)
{
}

void ClickableImageLabel::mousePressEvent(QMouseEvent *event)
{
    // A receiver may run a modal viewer, during which a new list can delete this label.
    QPointer<ClickableImageLabel> self(this);
    if (event->button() == Qt::LeftButton)
        emit clicked();
    if (self)
        QLabel::mousePressEvent(event);
}
