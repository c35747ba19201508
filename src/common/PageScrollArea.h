#pragma once

#include <QScrollArea>

// Holds a tab page that cannot shrink below a size of its own (fixed-width cards, figure rows,
// button rows): while the window gives the page that much room it fills the area like a plain
// container; below that the page keeps its size and scrolls instead of drawing its parts
// over each other. Reports the page's own size hint, so the window's default size does not
// change when a page is wrapped.
class PageScrollArea : public QScrollArea
{
public:
    explicit PageScrollArea(QWidget *page, QWidget *parent = nullptr);

    // Lays a scrolling body into the empty widget tab: tab's layout holds only the area;
    // the caller builds its page on the returned body.
    static QWidget *addTo(QWidget *tab);

    QSize sizeHint() const override;
};
