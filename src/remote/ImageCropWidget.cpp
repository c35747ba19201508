#include "ImageCropWidget.h"

#include "Theme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace CropGeometry {

static int roundHalfUp(double v)
{
    return static_cast<int>(std::floor(v + 0.5));
}

QRectF largestFrame(const QSize &imageSize)
{
    if (imageSize.isEmpty())
        return QRectF(0, 0, 0, 0);
    const double iw = imageSize.width();
    const double ih = imageSize.height();
    double w = iw;
    double h = w / Aspect;
    if (h > ih) {
        h = ih;
        w = Aspect * h;
    }
    return QRectF(iw * 0.5 - w * 0.5, ih * 0.5 - h * 0.5, w, h);
}

QRectF displayRect(const QSize &imageSize, const QSize &widgetSize)
{
    if (imageSize.isEmpty())
        return QRectF(0, 0, 0, 0);
    const double iw = imageSize.width();
    const double ih = imageSize.height();
    const double W = widgetSize.width();
    const double H = widgetSize.height();
    double sw;
    double sh;
    const double rw = H * iw / ih;
    if (rw <= W) {
        sw = rw;
        sh = H;
    } else {
        sw = W;
        sh = W * ih / iw;
    }
    const int cx = (widgetSize.width() - 1) / 2;
    const int cy = (widgetSize.height() - 1) / 2;
    return QRectF(cx - sw / 2, cy - sh / 2, sw, sh);
}

QRectF frameInWidget(const QRectF &frame, const QSize &imageSize, const QRectF &display)
{
    if (display.width() <= 0 || display.height() <= 0 || imageSize.isEmpty())
        return QRectF();
    const double sx = display.width() / imageSize.width();
    const double sy = display.height() / imageSize.height();
    return QRectF(frame.x() * sx + display.x(), frame.y() * sy + display.y(), frame.width() * sx,
                  frame.height() * sy);
}

QPointF widgetToImage(const QPoint &pos, const QSize &imageSize, const QRectF &display)
{
    return QPointF(imageSize.width() / display.width() * (pos.x() - display.x()),
                   imageSize.height() / display.height() * (pos.y() - display.y()));
}

QRectF clampFrame(const QRectF &frame, const QSize &imageSize)
{
    QRectF r = frame;
    if (imageSize.isEmpty())
        return r;
    if (r.x() < 0)
        r.moveLeft(0);
    if (r.y() < 0)
        r.moveTop(0);
    if (r.x() + r.width() > imageSize.width())
        r.moveLeft(imageSize.width() - r.width());
    if (r.y() + r.height() > imageSize.height())
        r.moveTop(imageSize.height() - r.height());
    return r;
}

QRect framePixels(const QRectF &frame, const QSize &imageSize)
{
    const QRect pixels(QPoint(roundHalfUp(frame.x()), roundHalfUp(frame.y())),
                       QPoint(roundHalfUp(frame.x() + frame.width()) - 1,
                              roundHalfUp(frame.y() + frame.height()) - 1));
    return pixels.intersected(QRect(QPoint(0, 0), imageSize));
}

QImage crop(const QImage &image, const QRectF &frame)
{
    if (image.isNull())
        return QImage();
    const QRect pixels = framePixels(frame, image.size());
    if (pixels.isEmpty())
        return QImage();
    // Camera pictures are hundreds of megabytes: read the framed lines in place rather
    // than copying them out first, where the pixel format allows.
    QImage part;
    if (image.depth() >= 8 && image.colorCount() == 0) {
        const uchar *first
            = image.constScanLine(pixels.top()) + pixels.left() * (image.depth() / 8);
        part = QImage(first, pixels.width(), pixels.height(), image.bytesPerLine(), image.format());
    } else {
        part = image.copy(pixels);
    }
    if (part.isNull())
        return QImage(); // out of memory
    return part.scaled(TargetWidth, TargetHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace CropGeometry

// Larger than any display the widget is likely to fill.
static constexpr int PreviewLimit = 2560;

ImageCropWidget::ImageCropWidget(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(320, 192);
}

void ImageCropWidget::setImage(const QImage &newImage)
{
    image = newImage;
    preview = QImage();
    displayCache = QImage();
    dragging = false;
    resetCropRect();
    update();
}

QImage ImageCropWidget::croppedImage() const
{
    return CropGeometry::crop(image, cropRect);
}

QSize ImageCropWidget::sizeHint() const
{
    return QSize(CropGeometry::TargetWidth, CropGeometry::TargetHeight);
}

void ImageCropWidget::resetCropRect()
{
    cropRect = CropGeometry::largestFrame(image.size());
}

QRectF ImageCropWidget::displayRect() const
{
    return CropGeometry::displayRect(image.size(), size());
}

void ImageCropWidget::clampCropRect()
{
    if (image.isNull())
        return;
    cropRect = CropGeometry::clampFrame(cropRect, image.size());
}

QRectF ImageCropWidget::cropRectInWidget() const
{
    if (image.isNull())
        return QRectF();
    return CropGeometry::frameInWidget(cropRect, image.size(), displayRect());
}

void ImageCropWidget::updateHoverCursor(const QPoint &pos)
{
    setCursor(cropRectInWidget().contains(pos) ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

void ImageCropWidget::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->localPos().toPoint();
    if (event->button() != Qt::LeftButton || image.isNull() || !cropRectInWidget().contains(pos))
        return;
    const QRectF d = displayRect();
    dragOffset = CropGeometry::widgetToImage(pos, image.size(), d) - cropRect.topLeft();
    dragging = true;
    setCursor(Qt::ClosedHandCursor);
}

void ImageCropWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->localPos().toPoint();
    if (!dragging) {
        updateHoverCursor(pos);
        return;
    }
    const QRectF d = displayRect();
    if (d.width() <= 0 || d.height() <= 0)
        return;
    cropRect.moveTopLeft(CropGeometry::widgetToImage(pos, image.size(), d) - dragOffset);
    clampCropRect();
    update();
}

void ImageCropWidget::mouseReleaseEvent(QMouseEvent *)
{
    if (!dragging)
        return;
    dragging = false;
    updateHoverCursor(mapFromGlobal(QCursor::pos()));
}

void ImageCropWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(Theme::ImageBackground));
    if (image.isNull()) {
        painter.setPen(QColor(Theme::SecondaryText));
        painter.drawText(rect(), Qt::AlignCenter, tr("Select an image to begin"));
        return;
    }
    const QRectF d = displayRect();
    const QSize cacheSize(qMax(1, qRound(d.width())), qMax(1, qRound(d.height())));
    if (displayCache.size() != cacheSize) {
        if (preview.isNull()) {
            const QSize limit(PreviewLimit, PreviewLimit);
            preview = image.width() > limit.width() || image.height() > limit.height()
                ? image.scaled(limit, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : image;
        }
        displayCache = preview.scaled(cacheSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(d, displayCache);

    const QRectF frameRect = cropRectInWidget();
    QPainterPath outside;
    outside.addRect(d);
    QPainterPath inside;
    inside.addRect(frameRect);
    painter.fillPath(outside.subtracted(inside), QColor(0, 0, 0, 150));

    painter.setPen(QPen(QColor(Theme::Accent), 2, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frameRect);
}

void ImageCropWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    update();
}
