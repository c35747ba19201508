#include "AspectImageLabel.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

Q_DECLARE_METATYPE(QPoint)

class AspectImageLabelTest : public QObject
{
    Q_OBJECT
private slots:
    void fittedRect_data();
    void fittedRect();
    void pressMapsToSourcePixels_data();
    void pressMapsToSourcePixels();
    void dragClampsAndReleaseReports();
    void lastColumnStaysInside();
    void nothingWithoutPictureOrWithOtherButtons();
    void releaseAfterPictureCleared();
    void drawnPixmapMatchesMappedRect();
    void pressesOnDrawnPixels_data();
    void pressesOnDrawnPixels();
    void shrinksWithItsWindow();

private:
    static QPixmap picture(int w, int h)
    {
        QPixmap p(w, h);
        p.fill(Qt::red);
        return p;
    }
};

void AspectImageLabelTest::fittedRect_data()
{
    QTest::addColumn<QSize>("label");
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("wide picture, letterboxed")
        << QSize(400, 300) << QSize(800, 480) << QRect(0, 30, 400, 240);
    QTest::newRow("tall picture, pillarboxed")
        << QSize(400, 300) << QSize(100, 200) << QRect(125, 0, 150, 300);
    // 300 * 490 / 195 = 753.8: truncation, not rounding, in both size and offset.
    QTest::newRow("truncating division")
        << QSize(1000, 300) << QSize(490, 195) << QRect(123, 0, 753, 300);
    QTest::newRow("exact fit") << QSize(480, 272) << QSize(480, 272) << QRect(0, 0, 480, 272);
    QTest::newRow("odd margin") << QSize(401, 240) << QSize(800, 480) << QRect(0, 0, 400, 240);
}

void AspectImageLabelTest::fittedRect()
{
    QFETCH(QSize, label);
    QFETCH(QSize, source);
    QFETCH(QRect, rect);
    AspectImageLabel l;
    l.resize(label);
    l.setSourcePixmap(picture(source.width(), source.height()));
    QCOMPARE(l.displayedImageRect(), rect);
    QCOMPARE(l.pixmap(Qt::ReturnByValue).size(), rect.size());
}

void AspectImageLabelTest::pressMapsToSourcePixels_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QPoint>("source");
    // 400x300 label, 800x480 picture drawn at (0, 30) 400x240.
    QTest::newRow("centre") << QPoint(200, 150) << true << QPoint(400, 240);
    QTest::newRow("above the picture") << QPoint(200, 20) << false << QPoint();
    QTest::newRow("below the picture") << QPoint(200, 270) << false << QPoint();
    QTest::newRow("top-left pixel") << QPoint(0, 30) << true << QPoint(0, 0);
    // Edge pixels of the drawn rectangle count as inside.
    QTest::newRow("bottom-right pixel") << QPoint(399, 269) << true << QPoint(798, 478);
}

void AspectImageLabelTest::pressMapsToSourcePixels()
{
    QFETCH(QPoint, press);
    QFETCH(bool, reported);
    QFETCH(QPoint, source);
    AspectImageLabel l;
    l.resize(400, 300);
    l.setSourcePixmap(picture(800, 480));
    QSignalSpy pressed(&l, &AspectImageLabel::imagePressed);
    TestSupport::sendMouse(&l, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(pressed.count(), reported ? 1 : 0);
    if (reported)
        QCOMPARE(pressed.at(0).at(0).toPoint(), source);
}

void AspectImageLabelTest::dragClampsAndReleaseReports()
{
    AspectImageLabel l;
    l.resize(400, 300);
    l.setSourcePixmap(picture(800, 480));
    QSignalSpy moved(&l, &AspectImageLabel::imageMoved);
    QSignalSpy released(&l, &AspectImageLabel::imageReleased);

    TestSupport::sendMouse(&l, QEvent::MouseMove, QPoint(10, 40), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(moved.count(), 0); // no press reported yet

    TestSupport::sendMouse(&l, QEvent::MouseButtonPress, QPoint(200, 150), Qt::LeftButton,
                           Qt::LeftButton);
    TestSupport::sendMouse(&l, QEvent::MouseMove, QPoint(500, 400), Qt::NoButton, Qt::LeftButton);
    TestSupport::sendMouse(&l, QEvent::MouseMove, QPoint(500, 400), Qt::NoButton, Qt::LeftButton);
    // The label repeats whatever it is given; throttling is its owner's business.
    QCOMPARE(moved.count(), 2);
    QCOMPARE(moved.at(0).at(0).toPoint(), QPoint(798, 478));
    TestSupport::sendMouse(&l, QEvent::MouseButtonRelease, QPoint(-50, -50), Qt::LeftButton,
                           Qt::NoButton);
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.at(0).at(0).toPoint(), QPoint(0, 0));

    // After the release, moves report nothing again.
    TestSupport::sendMouse(&l, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(moved.count(), 2);
}

void AspectImageLabelTest::lastColumnStaysInside()
{
    // A picture larger than its drawing: every label pixel must map inside the picture.
    AspectImageLabel l;
    l.resize(333, 200);
    l.setSourcePixmap(picture(1000, 601));
    const QRect r = l.displayedImageRect();
    for (int x = r.left() - 5; x <= r.right() + 5; ++x) {
        QPoint out(-1, -1);
        QVERIFY(l.mapToSourcePoint(QPoint(x, r.bottom() + 3), out, true));
        QVERIFY(out.x() >= 0 && out.x() <= 999);
        // The last drawn row maps to 601 * 199 / 200, truncated.
        QCOMPARE(out.y(), 597);
    }
    QPoint out;
    QVERIFY(l.mapToSourcePoint(r.bottomRight(), out, false));
    QVERIFY(out.x() < 1000 && out.y() < 601);
    QVERIFY(!l.mapToSourcePoint(r.bottomRight() + QPoint(1, 0), out, false));
}

void AspectImageLabelTest::nothingWithoutPictureOrWithOtherButtons()
{
    AspectImageLabel l;
    l.resize(400, 300);
    QCOMPARE(l.displayedImageRect().left(), 0);
    QCOMPARE(l.displayedImageRect().top(), 0);
    QCOMPARE(l.displayedImageRect().right(), -1);
    QCOMPARE(l.displayedImageRect().bottom(), -1);
    QPoint out(7, 7);
    QVERIFY(!l.mapToSourcePoint(QPoint(10, 10), out, true));
    QCOMPARE(out, QPoint(7, 7)); // left unchanged

    QSignalSpy pressed(&l, &AspectImageLabel::imagePressed);
    QSignalSpy released(&l, &AspectImageLabel::imageReleased);
    TestSupport::sendMouse(&l, QEvent::MouseButtonPress, QPoint(200, 150), Qt::LeftButton,
                           Qt::LeftButton);
    TestSupport::sendMouse(&l, QEvent::MouseButtonRelease, QPoint(200, 150), Qt::LeftButton,
                           Qt::NoButton);
    QCOMPARE(pressed.count(), 0);
    QCOMPARE(released.count(), 0);

    l.setSourcePixmap(picture(800, 480));
    TestSupport::sendMouse(&l, QEvent::MouseButtonPress, QPoint(200, 150), Qt::RightButton,
                           Qt::RightButton);
    TestSupport::sendMouse(&l, QEvent::MouseButtonRelease, QPoint(200, 150), Qt::RightButton,
                           Qt::NoButton);
    QCOMPARE(pressed.count(), 0);
    QCOMPARE(released.count(), 0);
}

void AspectImageLabelTest::releaseAfterPictureCleared()
{
    // A press survives a picture change; with no picture left the release reports (0, 0).
    AspectImageLabel l;
    l.resize(400, 300);
    l.setSourcePixmap(picture(800, 480));
    QSignalSpy moved(&l, &AspectImageLabel::imageMoved);
    QSignalSpy released(&l, &AspectImageLabel::imageReleased);
    TestSupport::sendMouse(&l, QEvent::MouseButtonPress, QPoint(200, 150), Qt::LeftButton,
                           Qt::LeftButton);
    l.setSourcePixmap(picture(400, 300));
    TestSupport::sendMouse(&l, QEvent::MouseMove, QPoint(399, 299), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(moved.at(0).at(0).toPoint(), QPoint(399, 299));
    l.setSourcePixmap(QPixmap());
    QVERIFY(l.pixmap(Qt::ReturnByValue).isNull());
    TestSupport::sendMouse(&l, QEvent::MouseButtonRelease, QPoint(300, 200), Qt::LeftButton,
                           Qt::NoButton);
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.at(0).at(0).toPoint(), QPoint(0, 0));
}

void AspectImageLabelTest::drawnPixmapMatchesMappedRect()
{
    // What the user sees must be where the mapping thinks it is: render and look for
    // the picture's corners.
    AspectImageLabel l;
    l.setStyleSheet("background: black;");
    l.resize(400, 300);
    QPixmap p(800, 480);
    p.fill(Qt::green);
    l.setSourcePixmap(p);
    const QImage shot = l.grab().toImage();
    const QRect r = l.displayedImageRect();
    QCOMPARE(QColor(shot.pixel(r.left(), r.top())), QColor(Qt::green));
    QCOMPARE(QColor(shot.pixel(r.right(), r.bottom())), QColor(Qt::green));
    QCOMPARE(QColor(shot.pixel(r.left(), r.top() - 1)), QColor(Qt::black));
    QCOMPARE(QColor(shot.pixel(r.right(), r.bottom() + 1)), QColor(Qt::black));
}

void AspectImageLabelTest::pressesOnDrawnPixels_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QSize>("label");
    QTest::addColumn<QSize>("source");
    const QString screenTab = "background: #141414; border: 1px solid #3f3f42; border-radius: 6px;";
    // The Screen tab's frame narrows the area the label draws in by a pixel each side.
    QTest::newRow("frame, letterboxed") << screenTab << QSize(400, 300) << QSize(480, 272);
    QTest::newRow("frame, pillarboxed") << screenTab << QSize(700, 300) << QSize(480, 272);
    QTest::newRow("frame, exact fit") << screenTab << QSize(482, 274) << QSize(480, 272);
    QTest::newRow("frame, odd sizes") << screenTab << QSize(517, 263) << QSize(480, 272);
    QTest::newRow("frame, small") << screenTab << QSize(151, 120) << QSize(480, 272);
    QTest::newRow("thick frame and padding")
        << "border: 5px solid red; padding: 3px; background: black;" << QSize(401, 311)
        << QSize(480, 272);
    QTest::newRow("no frame") << "background: black;" << QSize(400, 300) << QSize(480, 272);
    // An odd margin: QLabel's own centring puts the picture a pixel lower than halving the
    // spare room would.
    QTest::newRow("no frame, odd margin")
        << "background: black;" << QSize(400, 300) << QSize(400, 225);
}

void AspectImageLabelTest::pressesOnDrawnPixels()
{
    QFETCH(QString, style);
    QFETCH(QSize, label);
    QFETCH(QSize, source);
    AspectImageLabel l;
    l.setStyleSheet(style);
    l.resize(label);
    QPixmap p(source);
    p.fill(Qt::green);
    l.setSourcePixmap(p);

    // Where the picture really is on screen.
    const QImage shot = l.grab().toImage();
    QRect drawn;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (QColor(shot.pixel(x, y)) == QColor(Qt::green))
                drawn |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!drawn.isEmpty());
    QCOMPARE(l.displayedImageRect(), drawn);

    // A press on a drawn pixel reports a picture pixel that the drawn pixel shows: drawn
    // column c of w covers the picture's columns c * sw / w up to (c + 1) * sw / w.
    QSignalSpy pressed(&l, &AspectImageLabel::imagePressed);
    auto covers = [](int c, int drawnSize, int sourceSize, int reported) {
        const double from = double(c) * sourceSize / drawnSize;
        const double to = double(c + 1) * sourceSize / drawnSize;
        return reported >= int(std::floor(from)) && reported < int(std::ceil(to))
            && reported < sourceSize;
    };
    const QSize d = drawn.size();
    for (const QPoint &at : {drawn.topLeft(), drawn.topRight(), drawn.bottomLeft(),
                             drawn.bottomRight(), drawn.center()}) {
        pressed.clear();
        TestSupport::sendMouse(&l, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        TestSupport::sendMouse(&l, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(pressed.count(), 1);
        const QPoint got = pressed.at(0).at(0).toPoint();
        const QPoint c = at - drawn.topLeft();
        QVERIFY2(covers(c.x(), d.width(), source.width(), got.x())
                     && covers(c.y(), d.height(), source.height(), got.y()),
                 qPrintable(QStringLiteral("(%1, %2) reported (%3, %4)")
                                .arg(at.x())
                                .arg(at.y())
                                .arg(got.x())
                                .arg(got.y())));
    }
    // The picture's first pixel is the first drawn one.
    pressed.clear();
    TestSupport::sendMouse(&l, QEvent::MouseButtonPress, drawn.topLeft(), Qt::LeftButton,
                           Qt::LeftButton);
    TestSupport::sendMouse(&l, QEvent::MouseButtonRelease, drawn.topLeft(), Qt::LeftButton,
                           Qt::NoButton);
    QCOMPARE(pressed.at(0).at(0).toPoint(), QPoint(0, 0));
    for (const QPoint &outside :
         {drawn.topLeft() - QPoint(1, 0), drawn.topLeft() - QPoint(0, 1),
          drawn.bottomRight() + QPoint(1, 0), drawn.bottomRight() + QPoint(0, 1)}) {
        pressed.clear();
        TestSupport::sendMouse(&l, QEvent::MouseButtonPress, outside, Qt::LeftButton,
                               Qt::LeftButton);
        TestSupport::sendMouse(&l, QEvent::MouseButtonRelease, outside, Qt::LeftButton,
                               Qt::NoButton);
        QCOMPARE(pressed.count(), 0);
    }
}

void AspectImageLabelTest::shrinksWithItsWindow()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *l = new AspectImageLabel(&window);
    layout->addWidget(l);
    window.resize(900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    l->setSourcePixmap(picture(800, 480));
    QTRY_VERIFY(l->width() > 800);
    window.resize(320, 240);
    QTRY_VERIFY(l->width() < 320);
    QVERIFY(l->displayedImageRect().width() <= l->width());
    QCOMPARE(l->pixmap(Qt::ReturnByValue).size(), l->displayedImageRect().size());
}

QTEST_MAIN(AspectImageLabelTest)
#include "tst_aspectimagelabel.moc"
