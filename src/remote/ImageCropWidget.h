#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QWidget>

// The frame arithmetic of the crop selector, free of any widget so it can be checked
// value by value. Frames are in source-image pixels, display rectangles in widget pixels.
namespace CropGeometry {

inline constexpr int TargetWidth = 490;
inline constexpr int TargetHeight = 195;
inline constexpr double Aspect = 490.0 / 195.0;

// The largest 490:195 frame inside the image, centred.
QRectF largestFrame(const QSize &imageSize);
// Where the image is drawn: scaled to fit with its aspect kept, around the widget's
// integer centre.
QRectF displayRect(const QSize &imageSize, const QSize &widgetSize);
// The frame mapped into widget coordinates through a display rectangle.
QRectF frameInWidget(const QRectF &frame, const QSize &imageSize, const QRectF &display);
// A widget point mapped to image pixels through a display rectangle.
QPointF widgetToImage(const QPoint &pos, const QSize &imageSize, const QRectF &display);
// The frame moved back inside the image, its size unchanged.
QRectF clampFrame(const QRectF &frame, const QSize &imageSize);
// The whole pixels the frame covers: corners rounded half up, intersected with the
// image. Empty when the frame is too thin to cover a pixel row or column.
QRect framePixels(const QRectF &frame, const QSize &imageSize);
// The framed pixels scaled to 490 x 195; null when there is nothing to cut out.
QImage crop(const QImage &image, const QRectF &frame);

} // namespace CropGeometry

// Shows a picture scaled to fit with a 490:195 frame over it that the user drags with
// the left button; croppedImage() cuts the framed part out at full resolution.
class ImageCropWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ImageCropWidget(QWidget *parent = nullptr);

    void setImage(const QImage &image);
    bool hasImage() const { return !image.isNull(); }
    QImage croppedImage() const;
    QRectF frame() const { return cropRect; }

    QSize sizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void resetCropRect();
    QRectF displayRect() const;
    void clampCropRect();
    QRectF cropRectInWidget() const;
    void updateHoverCursor(const QPoint &pos);

    QImage image;
    QRectF cropRect;
    bool dragging = false;
    QPointF dragOffset;
    // Drawing the full-resolution picture on every drag step costs seconds per frame for
    // camera-sized files: a reduced copy is made once per image, and from it the copy at
    // the display size once per widget size.
    QImage preview;
    QImage displayCache;
};
