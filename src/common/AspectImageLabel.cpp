#include "AspectImageLabel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

AspectImageLabel::AspectImageLabel(QWidget *parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setMinimumHeight(120);
    // A label holding a pixmap would otherwise never get smaller than its picture.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void AspectImageLabel::setSourcePixmap(const QPixmap &pixmap)
{
    sourcePixmap = pixmap;
    updateScaledPixmap();
}

QSize AspectImageLabel::fittedSize(const QSize &box, const QSize &source)
{
    const qint64 W = box.width(), H = box.height();
    const qint64 sw = source.width(), sh = source.height();
    if (sw <= 0 || sh <= 0 || W <= 0 || H <= 0)
        return QSize(0, 0);
    const qint64 w = H * sw / sh;
    if (w <= W)
        return QSize(int(w), int(H));
    return QSize(int(W), int(W * sh / sw));
}

QRect AspectImageLabel::pictureArea() const
{
    // Inside the frame, padding and margin a style sheet gives the label.
    const int m = margin();
    return contentsRect().adjusted(m, m, -m, -m);
}

void AspectImageLabel::updateScaledPixmap()
{
    if (sourcePixmap.isNull()) {
        setPixmap(QPixmap());
        return;
    }
    ensurePolished(); // the style sheet's frame decides the area
    const QSize fitted = fittedSize(pictureArea().size(), sourcePixmap.size());
    if (fitted.isEmpty()) {
        setPixmap(QPixmap());
        return;
    }
    // Scaled to the integer-fitted size exactly, so the drawn rectangle is the one
    // displayedImageRect() maps against.
    setPixmap(sourcePixmap.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

QRect AspectImageLabel::displayedImageRect() const
{
    if (sourcePixmap.isNull())
        return QRect();
    const QRect area = pictureArea();
    const QSize fitted = fittedSize(area.size(), sourcePixmap.size());
    if (fitted.isEmpty())
        return QRect();
    const int left = area.left() + (area.width() - fitted.width()) / 2;
    const int top = area.top() + (area.height() - fitted.height()) / 2;
    return QRect(left, top, fitted.width(), fitted.height());
}

bool AspectImageLabel::mapToSourcePoint(const QPoint &pos, QPoint &out, bool clamp) const
{
    const QRect r = displayedImageRect();
    if (r.isEmpty())
        return false;
    int px = pos.x();
    int py = pos.y();
    if (clamp) {
        px = std::clamp(px, r.left(), r.right());
        py = std::clamp(py, r.top(), r.bottom());
    } else if (!r.contains(pos)) {
        return false;
    }
    const double fx = double(px - r.left()) / r.width();
    const double fy = double(py - r.top()) / r.height();
    const int sw = sourcePixmap.width();
    const int sh = sourcePixmap.height();
    const int sx = std::clamp(int(sw * fx), 0, sw - 1);
    const int sy = std::clamp(int(sh * fy), 0, sh - 1);
    out = QPoint(sx, sy);
    return true;
}

void AspectImageLabel::mousePressEvent(QMouseEvent *event)
{
    QPoint out;
    if (event->button() == Qt::LeftButton && mapToSourcePoint(event->pos(), out, false)) {
        pressed = true;
        emit imagePressed(out);
        return;
    }
    QLabel::mousePressEvent(event);
}

void AspectImageLabel::mouseMoveEvent(QMouseEvent *event)
{
    QPoint out;
    if (pressed && mapToSourcePoint(event->pos(), out, true)) {
        emit imageMoved(out);
        return;
    }
    QLabel::mouseMoveEvent(event);
}

void AspectImageLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && pressed) {
        QPoint out(0, 0);
        mapToSourcePoint(event->pos(), out, true);
        pressed = false;
        emit imageReleased(out);
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void AspectImageLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateScaledPixmap();
}

void AspectImageLabel::paintEvent(QPaintEvent *event)
{
    if (sourcePixmap.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // The picture is drawn exactly where the mapping expects it. QLabel's own centring
    // rounds odd margins differently, a pixel off from displayedImageRect().
    QFrame::paintEvent(event);
    const QPixmap shown = pixmap(Qt::ReturnByValue);
    if (shown.isNull())
        return;
    QPainter painter(this);
    painter.setClipRect(pictureArea());
    painter.drawPixmap(displayedImageRect().topLeft(), shown);
}

void AspectImageLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    // A new style sheet may bring another frame, and with it another area.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::ContentsRectChange)
        updateScaledPixmap();
}
