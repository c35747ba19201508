#include "PageScrollArea.h"

#include <QVBoxLayout>

PageScrollArea::PageScrollArea(QWidget *page, QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    // The page's own widgets take the keys; arrow keys must not scroll it under them.
    setFocusPolicy(Qt::NoFocus);
    setWidget(page);
}

QWidget *PageScrollArea::addTo(QWidget *tab)
{
    auto *body = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new PageScrollArea(body, tab));
    return body;
}

QSize PageScrollArea::sizeHint() const
{
    if (!widget())
        return QScrollArea::sizeHint();
    const int frame = 2 * frameWidth();
    return widget()->sizeHint() + QSize(frame, frame);
}
