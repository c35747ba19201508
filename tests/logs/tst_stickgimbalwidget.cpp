#include "StickGimbalWidget.h"
#include "TestSupport.h"

#include <QEvent>
#include <QImage>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

bool isDotOrange(const QColor &c)
{
    // #f5a623 with some tolerance for antialiasing.
    return std::abs(c.red() - 0xf5) < 12 && std::abs(c.green() - 0xa6) < 12
        && std::abs(c.blue() - 0x23) < 12;
}

} // namespace

class StickGimbalWidgetTest : public QObject
{
    Q_OBJECT
private slots:
    void fixedSize();
    void dotPosition_data();
    void dotPosition();
    void valuesStoredUnclamped();
    void drawsDotWhereMapped_data();
    void drawsDotWhereMapped();
    void repaintsOnlyOnChange();
};

void StickGimbalWidgetTest::fixedSize()
{
    StickGimbalWidget w;
    QCOMPARE(w.sizeHint(), QSize(150, 150));
    QCOMPARE(w.size(), QSize(150, 150));
    QCOMPARE(w.minimumSize(), QSize(150, 150));
    QCOMPARE(w.maximumSize(), QSize(150, 150));
    QCOMPARE(w.horizontalValue(), 0.0);
    QCOMPARE(w.verticalValue(), 0.0);
}

void StickGimbalWidgetTest::dotPosition_data()
{
    QTest::addColumn<double>("horizontal");
    QTest::addColumn<double>("vertical");
    QTest::addColumn<QPointF>("centre");
    // The neutral point is the frame's centre (75, 75); full travel is 58 px each way.
    QTest::newRow("neutral") << 0.0 << 0.0 << QPointF(75, 75);
    QTest::newRow("up right") << 100.0 << 100.0 << QPointF(133, 17);
    QTest::newRow("down left") << -100.0 << -100.0 << QPointF(17, 133);
    QTest::newRow("half right") << 50.0 << 0.0 << QPointF(104, 75);
    QTest::newRow("vertical only") << 0.0 << -50.0 << QPointF(75, 104);
    // Beyond the nominal range the dot stays at the edge position.
    QTest::newRow("beyond range") << 250.0 << -300.0 << QPointF(133, 133);
    // A value that is not a number must not put the dot nowhere.
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0.0 << QPointF(75, 75);
}

void StickGimbalWidgetTest::dotPosition()
{
    QFETCH(double, horizontal);
    QFETCH(double, vertical);
    QFETCH(QPointF, centre);
    const QPointF got = StickGimbalWidget::dotCentre(QSizeF(150, 150), horizontal, vertical);
    QCOMPARE(got.x(), centre.x());
    QCOMPARE(got.y(), centre.y());
}

void StickGimbalWidgetTest::valuesStoredUnclamped()
{
    StickGimbalWidget w;
    w.setValues(250.0, -130.5);
    QCOMPARE(w.horizontalValue(), 250.0);
    QCOMPARE(w.verticalValue(), -130.5);
}

void StickGimbalWidgetTest::drawsDotWhereMapped_data()
{
    QTest::addColumn<double>("horizontal");
    QTest::addColumn<double>("vertical");
    QTest::addColumn<QPoint>("dot");
    QTest::newRow("neutral") << 0.0 << 0.0 << QPoint(75, 75);
    QTest::newRow("up right") << 100.0 << 100.0 << QPoint(133, 17);
    QTest::newRow("down left") << -100.0 << -100.0 << QPoint(17, 133);
}

void StickGimbalWidgetTest::drawsDotWhereMapped()
{
    QFETCH(double, horizontal);
    QFETCH(double, vertical);
    QFETCH(QPoint, dot);
    StickGimbalWidget w;
    w.setValues(horizontal, vertical);
    const QImage image = w.grab().toImage();
    QVERIFY(isDotOrange(image.pixelColor(dot)));
    // Only one dot: the centre is plain frame unless the dot sits there.
    if (dot != QPoint(75, 75))
        QVERIFY(!isDotOrange(image.pixelColor(75, 75)));
    // The frame's corner stays outside the rounded rectangle's fill.
    QVERIFY(!isDotOrange(image.pixelColor(3, 3)));
}

void StickGimbalWidgetTest::repaintsOnlyOnChange()
{
    StickGimbalWidget w;
    TestSupport::PaintWatch counter;
    w.installEventFilter(&counter);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(counter.paints > 0);
    QTest::qWait(50);
    int before = counter.paints;

    // Equal values, also within the fuzzy comparison around 0: no repaint.
    w.setValues(0.0, 0.0);
    w.setValues(1e-13, -1e-13);
    QTest::qWait(100);
    QCOMPARE(counter.paints, before);
    QCOMPARE(w.horizontalValue(), 0.0);

    // A change of the vertical value alone repaints and stores both.
    w.setValues(0.0, 40.0);
    QTRY_VERIFY(counter.paints > before);
    QCOMPARE(w.verticalValue(), 40.0);
    QTest::qWait(50);
    before = counter.paints;
    w.setValues(0.0, 40.0);
    QTest::qWait(100);
    QCOMPARE(counter.paints, before);
}

QTEST_MAIN(StickGimbalWidgetTest)
#include "tst_stickgimbalwidget.moc"
