#include "ImageCropWidget.h"
#include "TestSupport.h"

#include <QMouseEvent>
#include <QPainter>
#include <QtTest>

// Outside the expected pixel rectangle red, its one-pixel outer ring black, inside white:
// a crop that reaches one pixel too far turns its edge red, one that stops short loses
// the dark edge.
static QImage ringImage(const QSize &size, const QRect &pixels)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter p(&image);
    p.fillRect(pixels, Qt::black);
    if (pixels.width() > 2 && pixels.height() > 2)
        p.fillRect(pixels.adjusted(1, 1, -1, -1), Qt::white);
    return image;
}

static bool isGrey(QRgb c)
{
    return qAbs(qRed(c) - qGreen(c)) <= 3 && qAbs(qRed(c) - qBlue(c)) <= 3;
}

using TestSupport::sendMouse;

class ImageCropWidgetTest : public QObject
{
    Q_OBJECT
private slots:
    void frameGeometry_data();
    void frameGeometry();
    void displayGeometry_data();
    void displayGeometry();
    void cropReadsFramedPixelsInEveryFormat_data();
    void cropReadsFramedPixelsInEveryFormat();
    void dragFollowsMouseAndStopsAtEdges();
    void dragFollowsTheDisplayScale_data();
    void dragFollowsTheDisplayScale();
    void framePixelsRoundHalvesUp_data();
    void framePixelsRoundHalvesUp();
    void pressOutsideFrameOrWithOtherButtonDoesNothing();
    void hoverCursor();
    void resizeKeepsFrameOnSamePixels();
    void setImageRecentres();
    void paintDimsOnlyTheScaledImage_data();
    void paintDimsOnlyTheScaledImage();
    void withoutImage();
};

void ImageCropWidgetTest::frameGeometry_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<double>("shiftX"); // a drag far to the right before clamping
    QTest::addColumn<QRectF>("frame");
    QTest::addColumn<QRect>("pixels"); // empty: nothing to upload
    QTest::newRow("1000x1000 full width")
        << QSize(1000, 1000) << 0.0 << QRectF(0, 301.0204081632653, 1000, 397.9591836734694)
        << QRect(0, 301, 1000, 398);
    QTest::newRow("2000x500 centred")
        << QSize(2000, 500) << 0.0 << QRectF(371.7948717948718, 0, 1256.4102564102564, 500)
        << QRect(372, 0, 1256, 500);
    // 743.59 rounds up to 744; the right edge is the image's last column.
    QTest::newRow("2000x500 right edge")
        << QSize(2000, 500) << 5000.0 << QRectF(743.5897435897436, 0, 1256.4102564102564, 500)
        << QRect(744, 0, 1256, 500);
    // 112.65 rounds to 113, 367.35 to 367: 254 rows, not 255.
    QTest::newRow("640x480") << QSize(640, 480) << 0.0
                             << QRectF(0, 112.65306122448979, 640, 254.69387755102042)
                             << QRect(0, 113, 640, 254);
    QTest::newRow("980x390 whole image")
        << QSize(980, 390) << 5000.0 << QRectF(0, 0, 980, 390) << QRect(0, 0, 980, 390);
    QTest::newRow("100x40 smaller than target")
        << QSize(100, 40) << 0.0 << QRectF(0, 0.10204081632652873, 100, 39.79591836734694)
        << QRect(0, 0, 100, 40);
    QTest::newRow("1x1") << QSize(1, 1) << 0.0 << QRectF(0, 0.3010204081632653, 1, 0.39795918)
                         << QRect(0, 0, 1, 1);
    // The frame is 0.4 px high around row 49.8..50.2: no whole row, nothing to upload.
    QTest::newRow("1x100 refused")
        << QSize(1, 100) << 0.0 << QRectF(0, 49.80102040816327, 1, 0.3979591836734694) << QRect();
}

void ImageCropWidgetTest::frameGeometry()
{
    QFETCH(QSize, imageSize);
    QFETCH(double, shiftX);
    QFETCH(QRectF, frame);
    QFETCH(QRect, pixels);

    QRectF got = CropGeometry::largestFrame(imageSize);
    got = CropGeometry::clampFrame(got.translated(shiftX, 0), imageSize);
    QVERIFY2(qAbs(got.x() - frame.x()) < 1e-6 && qAbs(got.y() - frame.y()) < 1e-6
                 && qAbs(got.width() - frame.width()) < 1e-6
                 && qAbs(got.height() - frame.height()) < 1e-6,
             qPrintable(QStringLiteral("%1 %2 %3 %4")
                            .arg(got.x(), 0, 'g', 17)
                            .arg(got.y(), 0, 'g', 17)
                            .arg(got.width(), 0, 'g', 17)
                            .arg(got.height(), 0, 'g', 17)));
    QCOMPARE(qAbs(got.width() / got.height() - 490.0 / 195.0) < 1e-9, true);

    const QRect gotPixels = CropGeometry::framePixels(got, imageSize);
    if (pixels.isEmpty()) {
        QVERIFY(gotPixels.isEmpty());
    } else {
        QCOMPARE(gotPixels, pixels);
    }

    // The same frame through the widget, and the pixels it cuts out.
    const QImage source = ringImage(imageSize, pixels.isEmpty() ? QRect(0, 0, 0, 0) : pixels);
    ImageCropWidget widget;
    widget.resize(490, 195);
    widget.setImage(source);
    QCOMPARE(widget.frame(), CropGeometry::largestFrame(imageSize));
    const QImage cropped = CropGeometry::crop(source, got);
    if (pixels.isEmpty()) {
        QVERIFY(cropped.isNull());
        QVERIFY(widget.croppedImage().isNull());
        return;
    }
    QCOMPARE(cropped.size(), QSize(490, 195));
    const QList<QPoint> edges = {QPoint(0, 97), QPoint(489, 97), QPoint(245, 0), QPoint(245, 194)};
    for (const QPoint &e : edges) {
        const QRgb c = cropped.pixel(e);
        QVERIFY2(isGrey(c), qPrintable(QStringLiteral("red at %1,%2").arg(e.x()).arg(e.y())));
        QVERIFY2(qGreen(c) < 235,
                 qPrintable(QStringLiteral("edge lost at %1,%2").arg(e.x()).arg(e.y())));
    }
    if (pixels.width() > 8 && pixels.height() > 8)
        QVERIFY(qGreen(cropped.pixel(245, 97)) >= 250);
}

void ImageCropWidgetTest::displayGeometry_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSize>("widgetSize");
    QTest::addColumn<QRectF>("display");
    // The centre is the integer centre (W - 1) div 2, so even sizes sit half a pixel up-left.
    QTest::newRow("square in 490x195")
        << QSize(1000, 1000) << QSize(490, 195) << QRectF(146.5, -0.5, 195, 195);
    QTest::newRow("wide in 400x300")
        << QSize(2000, 500) << QSize(400, 300) << QRectF(-1, 99, 400, 100);
    QTest::newRow("4:3 in 320x192")
        << QSize(640, 480) << QSize(320, 192) << QRectF(31, -1, 256, 192);
    QTest::newRow("exact ratio fills")
        << QSize(980, 390) << QSize(490, 195) << QRectF(-1, -0.5, 490, 195);
    QTest::newRow("odd widget") << QSize(100, 100) << QSize(321, 201)
                                << QRectF(59.5, -0.5, 201, 201);
}

void ImageCropWidgetTest::displayGeometry()
{
    QFETCH(QSize, imageSize);
    QFETCH(QSize, widgetSize);
    QFETCH(QRectF, display);
    QCOMPARE(CropGeometry::displayRect(imageSize, widgetSize), display);
    QCOMPARE(CropGeometry::displayRect(QSize(), widgetSize), QRectF(0, 0, 0, 0));
}

void ImageCropWidgetTest::cropReadsFramedPixelsInEveryFormat_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("RGB32") << int(QImage::Format_RGB32);
    QTest::newRow("ARGB32") << int(QImage::Format_ARGB32);
    // Three bytes a pixel and padded lines: the offset of the frame's first column.
    QTest::newRow("RGB888") << int(QImage::Format_RGB888);
    QTest::newRow("RGB16") << int(QImage::Format_RGB16);
    QTest::newRow("Grayscale8") << int(QImage::Format_Grayscale8);
    QTest::newRow("Indexed8") << int(QImage::Format_Indexed8);
    QTest::newRow("Mono") << int(QImage::Format_Mono);
}

void ImageCropWidgetTest::cropReadsFramedPixelsInEveryFormat()
{
    QFETCH(int, format);
    // Odd sizes, a frame pushed to the right, a pattern that differs per column and row.
    QImage source(1203, 401, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 5) & 0xff, ((x + y) * 3) & 0xff));
    const QImage image = source.convertToFormat(QImage::Format(format));
    const QRectF frame = CropGeometry::clampFrame(
        CropGeometry::largestFrame(image.size()).translated(1000, 0), image.size());
    const QRect pixels = CropGeometry::framePixels(frame, image.size());
    QVERIFY(pixels.left() > 0);
    const QImage expected
        = image.copy(pixels).scaled(490, 195, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage got = CropGeometry::crop(image, frame);
    QCOMPARE(got.size(), QSize(490, 195));
    QCOMPARE(got.convertToFormat(QImage::Format_RGB32),
             expected.convertToFormat(QImage::Format_RGB32));
}

void ImageCropWidgetTest::dragFollowsMouseAndStopsAtEdges()
{
    ImageCropWidget widget;
    widget.resize(640, 480);
    widget.setImage(ringImage(QSize(640, 480), QRect(0, 113, 640, 254)));
    const QRectF start = widget.frame();
    const QRectF display = CropGeometry::displayRect(QSize(640, 480), widget.size());
    const QPointF grab
        = CropGeometry::frameInWidget(start, QSize(640, 480), display).center().toPoint();

    sendMouse(&widget, QEvent::MouseButtonPress, grab);
    QCOMPARE(widget.cursor().shape(), Qt::ClosedHandCursor);
    // Right is blocked by the image edge; the vertical part still follows.
    sendMouse(&widget, QEvent::MouseMove, grab + QPointF(300, 20));
    QCOMPARE(widget.frame().x(), 0.0);
    QVERIFY(qAbs(widget.frame().y() - (start.y() + 20)) < 1e-9);
    QCOMPARE(widget.frame().size(), start.size());
    sendMouse(&widget, QEvent::MouseMove, grab + QPointF(-50, 1000));
    QCOMPARE(widget.frame().x(), 0.0);
    QVERIFY(qAbs(widget.frame().bottom() - 480) < 1e-9);
    sendMouse(&widget, QEvent::MouseMove, grab + QPointF(0, -1000));
    QCOMPARE(widget.frame().y(), 0.0);
    QCOMPARE(widget.frame().size(), start.size());
    sendMouse(&widget, QEvent::MouseButtonRelease, grab + QPointF(0, -1000));

    // After the release a move no longer drags.
    const QRectF released = widget.frame();
    sendMouse(&widget, QEvent::MouseMove, grab);
    QCOMPARE(widget.frame(), released);

    // A wide image moves horizontally and stops at both ends.
    widget.setImage(ringImage(QSize(2000, 500), QRect(372, 0, 1256, 500)));
    const QRectF wide = widget.frame();
    const QRectF d2 = CropGeometry::displayRect(QSize(2000, 500), widget.size());
    const QPointF grab2 = CropGeometry::frameInWidget(wide, QSize(2000, 500), d2).center();
    sendMouse(&widget, QEvent::MouseButtonPress, grab2.toPoint());
    sendMouse(&widget, QEvent::MouseMove, grab2.toPoint() + QPointF(5000, 77));
    QVERIFY(qAbs(widget.frame().right() - 2000) < 1e-9);
    QCOMPARE(widget.frame().y(), 0.0);
    sendMouse(&widget, QEvent::MouseMove, grab2.toPoint() + QPointF(-5000, 0));
    QCOMPARE(widget.frame().x(), 0.0);
    sendMouse(&widget, QEvent::MouseButtonRelease, grab2.toPoint());
    QCOMPARE(CropGeometry::framePixels(widget.frame(), QSize(2000, 500)), QRect(0, 0, 1256, 500));
}

void ImageCropWidgetTest::dragFollowsTheDisplayScale_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSize>("widgetSize");
    QTest::addColumn<QPoint>("drag"); // widget pixels
    QTest::addColumn<QPointF>("moved"); // image pixels
    // 4000 x 1000 shown 500 x 125: a widget pixel is 8 image pixels.
    QTest::newRow("wide at 1/8") << QSize(4000, 1000) << QSize(500, 400) << QPoint(-16, 0)
                                 << QPointF(-128, 0);
    // 1000 x 2000 shown 200 x 400: 5 image pixels a widget pixel.
    QTest::newRow("tall at 1/5") << QSize(1000, 2000) << QSize(500, 400) << QPoint(0, 30)
                                 << QPointF(0, 150);
    // 245 x 300 shown 326 x 400 in a 500 x 400 widget: scaled up, 3/4 of a pixel each.
    QTest::newRow("small, scaled up")
        << QSize(245, 300) << QSize(500, 400) << QPoint(0, -40) << QPointF(0, -30);
}

void ImageCropWidgetTest::dragFollowsTheDisplayScale()
{
    QFETCH(QSize, imageSize);
    QFETCH(QSize, widgetSize);
    QFETCH(QPoint, drag);
    QFETCH(QPointF, moved);
    ImageCropWidget widget;
    widget.resize(widgetSize);
    QImage image(imageSize, QImage::Format_RGB32);
    image.fill(Qt::gray);
    widget.setImage(image);
    const QRectF start = widget.frame();
    const QRectF display = CropGeometry::displayRect(imageSize, widgetSize);
    const QPoint grab = CropGeometry::frameInWidget(start, imageSize, display).center().toPoint();
    sendMouse(&widget, QEvent::MouseButtonPress, grab);
    sendMouse(&widget, QEvent::MouseMove, grab + drag);
    sendMouse(&widget, QEvent::MouseButtonRelease, grab + drag);
    const QPointF got = widget.frame().topLeft() - start.topLeft();
    QVERIFY2(qAbs(got.x() - moved.x()) < 1e-9 && qAbs(got.y() - moved.y()) < 1e-9,
             qPrintable(QStringLiteral("moved by %1, %2").arg(got.x()).arg(got.y())));
    QCOMPARE(widget.frame().size(), start.size());
}

void ImageCropWidgetTest::framePixelsRoundHalvesUp_data()
{
    QTest::addColumn<QRectF>("frame");
    QTest::addColumn<QRect>("pixels");
    // Corners on half pixels go up, also at even numbers (2.5 is 3, not 2).
    QTest::newRow("halves") << QRectF(10.5, 0.5, 100, 40) << QRect(11, 1, 100, 40);
    QTest::newRow("even halves") << QRectF(2.5, 4.5, 100, 40) << QRect(3, 5, 100, 40);
    QTest::newRow("just below half") << QRectF(2.49, 4.49, 100, 40) << QRect(2, 4, 100, 40);
    // Left 0.5 to right 100.4: columns 1 .. 99.
    QTest::newRow("halves and less") << QRectF(0.5, 0.5, 99.9, 39.9) << QRect(1, 1, 99, 39);
}

void ImageCropWidgetTest::framePixelsRoundHalvesUp()
{
    QFETCH(QRectF, frame);
    QFETCH(QRect, pixels);
    QCOMPARE(CropGeometry::framePixels(frame, QSize(1000, 1000)), pixels);
}

void ImageCropWidgetTest::pressOutsideFrameOrWithOtherButtonDoesNothing()
{
    ImageCropWidget widget;
    widget.resize(640, 480);
    widget.setImage(ringImage(QSize(640, 480), QRect(0, 113, 640, 254)));
    const QRectF start = widget.frame();
    const QRectF inWidget = CropGeometry::frameInWidget(
        start, QSize(640, 480), CropGeometry::displayRect(QSize(640, 480), widget.size()));

    sendMouse(&widget, QEvent::MouseButtonPress, QPointF(320, 20)); // above the frame
    sendMouse(&widget, QEvent::MouseMove, QPointF(320, 200));
    sendMouse(&widget, QEvent::MouseButtonRelease, QPointF(320, 200));
    QCOMPARE(widget.frame(), start);

    sendMouse(&widget, QEvent::MouseButtonPress, inWidget.center(), Qt::RightButton);
    sendMouse(&widget, QEvent::MouseMove, inWidget.center() + QPointF(0, 50));
    QCOMPARE(widget.frame(), start);
}

void ImageCropWidgetTest::hoverCursor()
{
    ImageCropWidget widget;
    widget.resize(640, 480);
    widget.setImage(ringImage(QSize(640, 480), QRect(0, 113, 640, 254)));
    sendMouse(&widget, QEvent::MouseMove, QPointF(320, 240));
    QCOMPARE(widget.cursor().shape(), Qt::OpenHandCursor);
    sendMouse(&widget, QEvent::MouseMove, QPointF(320, 20));
    QCOMPARE(widget.cursor().shape(), Qt::ArrowCursor);
}

void ImageCropWidgetTest::resizeKeepsFrameOnSamePixels()
{
    ImageCropWidget widget;
    widget.resize(490, 195);
    widget.setImage(ringImage(QSize(2000, 500), QRect(744, 0, 1256, 500)));
    const QPointF grab
        = CropGeometry::frameInWidget(widget.frame(), QSize(2000, 500),
                                      CropGeometry::displayRect(QSize(2000, 500), widget.size()))
              .center();
    sendMouse(&widget, QEvent::MouseButtonPress, grab);
    sendMouse(&widget, QEvent::MouseMove, grab + QPointF(1000, 0));
    sendMouse(&widget, QEvent::MouseButtonRelease, grab + QPointF(1000, 0));
    const QRectF frame = widget.frame();
    const QImage before = widget.croppedImage();

    widget.resize(900, 600);
    QCOMPARE(widget.frame(), frame);
    QCOMPARE(widget.croppedImage(), before);
}

void ImageCropWidgetTest::setImageRecentres()
{
    ImageCropWidget widget;
    widget.resize(490, 195);
    const QImage image = ringImage(QSize(2000, 500), QRect(372, 0, 1256, 500));
    widget.setImage(image);
    const QRectF centred = widget.frame();
    const QPointF grab
        = CropGeometry::frameInWidget(centred, image.size(),
                                      CropGeometry::displayRect(image.size(), widget.size()))
              .center();
    sendMouse(&widget, QEvent::MouseButtonPress, grab);
    sendMouse(&widget, QEvent::MouseMove, grab + QPointF(-1000, 0));
    QVERIFY(widget.frame() != centred);
    widget.setImage(image);
    QCOMPARE(widget.frame(), centred);
    // The drag ended with the new image: a stray move leaves the fresh frame alone.
    sendMouse(&widget, QEvent::MouseMove, grab + QPointF(-500, 0));
    QCOMPARE(widget.frame(), centred);
}

void ImageCropWidgetTest::paintDimsOnlyTheScaledImage_data()
{
    QTest::addColumn<QSize>("widgetSize");
    QTest::newRow("bars left and right") << QSize(490, 300);
    QTest::newRow("after a resize") << QSize(800, 320);
}

void ImageCropWidgetTest::paintDimsOnlyTheScaledImage()
{
    QFETCH(QSize, widgetSize);
    ImageCropWidget widget;
    widget.resize(widgetSize);
    QImage white(1000, 1000, QImage::Format_RGB32);
    white.fill(Qt::white);
    widget.setImage(white);
    const QImage shot = widget.grab().toImage();
    const QRectF d = CropGeometry::displayRect(white.size(), widget.size());
    const QRectF f = CropGeometry::frameInWidget(widget.frame(), white.size(), d);

    QCOMPARE(QColor(shot.pixel(int(d.left()) / 2, widgetSize.height() / 2)), QColor("#141414"));
    QCOMPARE(QColor(shot.pixel(widgetSize.width() - 3, 3)), QColor("#141414"));
    // White under black at alpha 150: 255 * 105 / 255.
    const QRgb dimmed = shot.pixel(int(d.center().x()), int(f.top() / 2));
    QVERIFY2(qAbs(qRed(dimmed) - 105) <= 2 && isGrey(dimmed),
             qPrintable(QString::number(dimmed, 16)));
    const QRgb inside = shot.pixel(int(f.center().x()), int(f.center().y()));
    QCOMPARE(QColor(inside), QColor(Qt::white));
    // The outline in the accent colour on the frame's top edge.
    bool outline = false;
    for (int y = int(f.top()) - 1; y <= int(f.top()) + 1; ++y)
        outline = outline || QColor(shot.pixel(int(f.center().x()), y)) == QColor("#0a84ff");
    QVERIFY(outline);
}

void ImageCropWidgetTest::withoutImage()
{
    ImageCropWidget widget;
    QCOMPARE(widget.sizeHint(), QSize(490, 195));
    QCOMPARE(widget.minimumSize(), QSize(320, 192));
    QVERIFY(widget.hasMouseTracking());
    widget.resize(490, 195);
    QVERIFY(widget.croppedImage().isNull());
    QCOMPARE(widget.frame(), QRectF(0, 0, 0, 0));
    sendMouse(&widget, QEvent::MouseButtonPress, QPointF(245, 97));
    sendMouse(&widget, QEvent::MouseMove, QPointF(300, 120));
    QCOMPARE(widget.frame(), QRectF(0, 0, 0, 0));

    const QImage shot = widget.grab().toImage();
    QCOMPARE(QColor(shot.pixel(2, 2)), QColor("#141414"));
    int textPixels = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            textPixels += QColor(shot.pixel(x, y)) != QColor("#141414");
    QVERIFY(textPixels > 20); // "Select an image to begin"
}

QTEST_MAIN(ImageCropWidgetTest)
#include "tst_imagecropwidget.moc"
