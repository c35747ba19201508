#include "MultiAxisPlot.h"
#include "TestSupport.h"
#include "TimeAxisTicker.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {

// A 0-100 value axis on the left, two extra value axes on the right, time 0-300 s.
struct Fixture
{
    MultiAxisPlot plot;
    QCPAxis *right1 = nullptr;
    QCPAxis *right2 = nullptr;

    Fixture()
    {
        plot.resize(800, 500);
        plot.setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
        plot.axisRect()->setRangeDrag(Qt::Horizontal);
        plot.axisRect()->setRangeZoom(Qt::Horizontal);
        plot.xAxis->setRange(0, 300);
        plot.yAxis->setRange(0, 100);
        plot.yAxis->setLabel("Left");
        right1 = plot.axisRect()->addAxis(QCPAxis::atRight);
        right1->setRange(-10, 10);
        right1->setLabel("Right one");
        right2 = plot.axisRect()->addAxis(QCPAxis::atRight);
        right2->setRange(1000, 2000);
        right2->setLabel("Right two");
        QCPGraph *g = plot.addGraph(plot.xAxis, plot.yAxis);
        g->setData({0, 100, 200, 300}, {10, 60, 40, 90});
        plot.legend->setVisible(true);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        plot.replot();
    }

    QRect data() const { return plot.axisRect()->rect(); }
    // A point on the axis line's outer side, at the pixel of a value.
    QPoint onAxis(QCPAxis *axis, double value) const
    {
        const int y = int(std::lround(axis->coordToPixel(value)));
        const int x = axis->axisType() == QCPAxis::atLeft
            ? data().left() - 3
            : int(std::lround(axis->offset())) + data().right() + 3;
        return QPoint(x, y);
    }

    void wheel(const QPoint &pos, int delta)
    {
        QWheelEvent e(QPointF(pos), QPointF(plot.mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &e);
    }
    void press(const QPoint &pos) { QTest::mousePress(&plot, Qt::LeftButton, Qt::NoModifier, pos); }
    void move(const QPoint &pos)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(pos), QPointF(plot.mapToGlobal(pos)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&plot, &e);
    }
    void release(const QPoint &pos)
    {
        QTest::mouseRelease(&plot, Qt::LeftButton, Qt::NoModifier, pos);
    }
};

} // namespace

class MultiAxisPlotTest : public QObject
{
    Q_OBJECT

private slots:
    void axisUnderPos();
    void wheelNotchAroundPointer();
    void wheelOnOneOfSeveralAxes();
    void wheelOverDataAreaUsesBaseZoom();
    void clickThreshold_data();
    void clickThreshold();
    void noClickOutsideDataArea_data();
    void noClickOutsideDataArea();
    void hiddenLegendDoesNotBlockClicks();
    void axisDragMovesOnlyThatAxis();
    void screenshot();
    void axisRemovedDuringDrag();
    void arrowKeys();
    void tickLabels_data();
    void tickLabels();
    void tickerOnAxis();
    void cursorLayerIsBuffered();
    void cursorMoveRepaintsOnlyItsStrips();
};

void MultiAxisPlotTest::axisUnderPos()
{
    Fixture f;
    QCOMPARE(f.plot.yAxisUnderPos(f.onAxis(f.plot.yAxis, 50)), f.plot.yAxis);
    QCOMPARE(f.plot.yAxisUnderPos(f.onAxis(f.right1, 0)), f.right1);
    QCOMPARE(f.plot.yAxisUnderPos(f.onAxis(f.right2, 1500)), f.right2);
    QCOMPARE(f.plot.yAxisUnderPos(f.data().center()), nullptr);
    // The time axis is not a value axis.
    QCOMPARE(f.plot.yAxisUnderPos(QPoint(f.data().center().x(), f.data().bottom() + 8)), nullptr);
    // A hidden axis must not catch the pointer where it was last drawn.
    const QPoint p = f.onAxis(f.right2, 1500);
    f.right2->setVisible(false);
    QCOMPARE(f.plot.yAxisUnderPos(p), nullptr);
}

void MultiAxisPlotTest::wheelNotchAroundPointer()
{
    Fixture f;
    const QPoint p = f.onAxis(f.plot.yAxis, 50);
    const double c = f.plot.yAxis->pixelToCoord(p.y());
    QVERIFY(std::abs(c - 50) < 0.5);
    f.wheel(p, 120);
    QCOMPARE(f.plot.yAxis->range().lower, c - c * 0.85);
    QCOMPARE(f.plot.yAxis->range().upper, c + (100 - c) * 0.85);
    QVERIFY(std::abs(f.plot.yAxis->range().lower - 7.5) < 0.1);
    QVERIFY(std::abs(f.plot.yAxis->range().upper - 92.5) < 0.1);
    // The value under the pointer stays, so the opposite notch undoes the zoom.
    QVERIFY(std::abs(f.plot.yAxis->pixelToCoord(p.y()) - c) < 1e-9);
    // New tick labels may move the axis sideways: aim at it again, at the same height.
    const QPoint back(f.data().left() - 3, p.y());
    QCOMPARE(f.plot.yAxisUnderPos(back), f.plot.yAxis);
    f.wheel(back, -120);
    QVERIFY(std::abs(f.plot.yAxis->range().lower) < 1e-9);
    QVERIFY(std::abs(f.plot.yAxis->range().upper - 100) < 1e-9);
    QCOMPARE(f.plot.xAxis->range(), QCPRange(0, 300));
}

void MultiAxisPlotTest::wheelOnOneOfSeveralAxes()
{
    Fixture f;
    f.wheel(f.onAxis(f.right2, 1500), 240);
    QVERIFY(f.right2->range().size() < 1000 * 0.75);
    QCOMPARE(f.right1->range(), QCPRange(-10, 10));
    QCOMPARE(f.plot.yAxis->range(), QCPRange(0, 100));
    QCOMPARE(f.plot.xAxis->range(), QCPRange(0, 300));
}

void MultiAxisPlotTest::wheelOverDataAreaUsesBaseZoom()
{
    Fixture f;
    f.wheel(f.data().center(), 120);
    QVERIFY(f.plot.xAxis->range().size() < 300);
    QCOMPARE(f.plot.yAxis->range(), QCPRange(0, 100));
    QCOMPARE(f.right1->range(), QCPRange(-10, 10));
}

void MultiAxisPlotTest::clickThreshold_data()
{
    QTest::addColumn<QVector<QPoint>>("moves"); // offsets from the press
    QTest::addColumn<bool>("click");
    QTest::newRow("no move") << QVector<QPoint> {} << true;
    // The threshold is "more than 3": 3 px and back is still a click.
    QTest::newRow("3 right and back") << QVector<QPoint> {{3, 0}, {0, 0}} << true;
    QTest::newRow("2 right 2 down") << QVector<QPoint> {{2, 2}} << false;
    QTest::newRow("4 up") << QVector<QPoint> {{0, -4}} << false;
    // Once past the threshold, coming back does not make it a click again.
    QTest::newRow("far and back") << QVector<QPoint> {{30, 0}, {0, 0}} << false;
}

void MultiAxisPlotTest::clickThreshold()
{
    QFETCH(QVector<QPoint>, moves);
    QFETCH(bool, click);
    Fixture f;
    QSignalSpy clicked(&f.plot, &MultiAxisPlot::plotClicked);
    const QPoint start = f.data().center() + QPoint(-100, 40);
    f.press(start);
    for (const QPoint &m : moves)
        f.move(start + m);
    const QPoint end = start + (moves.isEmpty() ? QPoint() : moves.last());
    const double key = f.plot.xAxis->pixelToCoord(end.x());
    f.release(end);
    QCOMPARE(clicked.count(), click ? 1 : 0);
    if (click)
        QCOMPARE(clicked.first().first().toDouble(), key);
}

void MultiAxisPlotTest::noClickOutsideDataArea_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("legend") << "legend";
    QTest::newRow("time axis labels") << "margin";
    QTest::newRow("value axis") << "axis";
}

void MultiAxisPlotTest::noClickOutsideDataArea()
{
    QFETCH(QString, where);
    Fixture f;
    QSignalSpy clicked(&f.plot, &MultiAxisPlot::plotClicked);
    QPoint p;
    if (where == "legend")
        p = f.plot.legend->outerRect().center();
    else if (where == "margin")
        p = QPoint(f.data().center().x(), f.data().bottom() + 10);
    else
        p = f.onAxis(f.right1, 0);
    f.press(p);
    f.release(p);
    QCOMPARE(clicked.count(), 0);
    // Control: the same plot reports a plain click on the data area.
    f.press(f.data().center());
    f.release(f.data().center());
    QCOMPARE(clicked.count(), 1);
}

void MultiAxisPlotTest::hiddenLegendDoesNotBlockClicks()
{
    Fixture f;
    const QPoint p = f.plot.legend->outerRect().center();
    f.plot.legend->setVisible(false);
    f.plot.replot();
    QSignalSpy clicked(&f.plot, &MultiAxisPlot::plotClicked);
    f.press(p);
    f.release(p);
    QCOMPARE(clicked.count(), 1);
}

// The axis follows the pointer: dragging up by n px shows values n px lower down,
// so the range goes down by the span of n px.
void MultiAxisPlotTest::axisDragMovesOnlyThatAxis()
{
    Fixture f;
    QSignalSpy clicked(&f.plot, &MultiAxisPlot::plotClicked);
    const QPoint start = f.onAxis(f.right1, 0);
    const double span = f.right1->pixelToCoord(start.y()) - f.right1->pixelToCoord(start.y() - 40);
    QVERIFY(span < 0);
    f.press(start);
    f.move(start - QPoint(0, 20));
    f.move(start - QPoint(5, 40));
    f.release(start - QPoint(5, 40));
    QVERIFY(std::abs(f.right1->range().lower - (-10 + span)) < 1e-9);
    QVERIFY(std::abs(f.right1->range().upper - (10 + span)) < 1e-9);
    QCOMPARE(f.right2->range(), QCPRange(1000, 2000));
    QCOMPARE(f.plot.yAxis->range(), QCPRange(0, 100));
    QCOMPARE(f.plot.xAxis->range(), QCPRange(0, 300));
    QCOMPARE(clicked.count(), 0);
    // After the release a move no longer drags.
    f.move(start);
    QVERIFY(std::abs(f.right1->range().lower - (-10 + span)) < 1e-9);
}

void MultiAxisPlotTest::axisRemovedDuringDrag()
{
    Fixture f;
    const QPoint start = f.onAxis(f.right2, 1500);
    f.press(start);
    QVERIFY(f.plot.axisRect()->removeAxis(f.right2));
    f.plot.replot();
    f.move(start - QPoint(0, 30));
    f.release(start - QPoint(0, 30));
    QCOMPARE(f.right1->range(), QCPRange(-10, 10));
    // The plot is not stuck in the drag: the next click is a click.
    QSignalSpy clicked(&f.plot, &MultiAxisPlot::plotClicked);
    f.press(f.data().center());
    f.release(f.data().center());
    QCOMPARE(clicked.count(), 1);
}

void MultiAxisPlotTest::arrowKeys()
{
    MultiAxisPlot plot; // nothing plotted
    plot.setFocusPolicy(Qt::StrongFocus);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    QSignalSpy keys(&plot, &MultiAxisPlot::arrowKeyPressed);
    QTest::keyClick(&plot, Qt::Key_Right);
    QTest::keyClick(&plot, Qt::Key_Left);
    QTest::keyClick(&plot, Qt::Key_Up);
    QTest::keyClick(&plot, Qt::Key_Down);
    QCOMPARE(keys.count(), 2);
    QCOMPARE(keys[0].first().toInt(), 1);
    QCOMPARE(keys[1].first().toInt(), -1);
}

void MultiAxisPlotTest::tickLabels_data()
{
    QTest::addColumn<double>("tick");
    QTest::addColumn<QString>("label");
    QTest::newRow("0") << 0.0 << "0:00";
    QTest::newRow("75.4") << 75.4 << "1:15";
    QTest::newRow("59.6 carries") << 59.6 << "1:00";
    QTest::newRow("half up") << 0.5 << "0:01";
    QTest::newRow("3600") << 3600.0 << "60:00";
    QTest::newRow("-5") << -5.0 << "-0:05";
    QTest::newRow("-0.3 keeps sign") << -0.3 << "-0:00";
    // The largest stamp a log can hold, beyond 32-bit milliseconds of int.
    QTest::newRow("max stamp") << 4294967.295 << "71582:47";
    // A zoomed-out axis: no integer overflow.
    QTest::newRow("huge") << 6e12 << "100000000000:00";
}

void MultiAxisPlotTest::tickLabels()
{
    QFETCH(double, tick);
    QFETCH(QString, label);
    TimeAxisTicker ticker;
    QCOMPARE(ticker.getTickLabel(tick, QLocale(), 'g', 2), label);
}

void MultiAxisPlotTest::tickerOnAxis()
{
    Fixture f;
    f.plot.xAxis->setTicker(QSharedPointer<TimeAxisTicker>::create());
    f.plot.replot();
    QCOMPARE(f.plot.xAxis->tickVectorLabels().toList(),
             QStringList({"0:00", "0:50", "1:40", "2:30", "3:20", "4:10", "5:00"}));
    QCOMPARE(f.plot.xAxis->tickVector(), QVector<double>({0, 50, 100, 150, 200, 250, 300}));
}

void MultiAxisPlotTest::cursorMoveRepaintsOnlyItsStrips()
{
    MultiAxisPlot plot;
    plot.resize(800, 400);
    plot.addGraph()->setData(QVector<double> {0, 50, 100}, QVector<double> {1, 3, 2}, true);
    plot.rescaleAxes();
    auto *line = new QCPItemStraightLine(&plot);
    line->setLayer(plot.cursorLayer());
    line->setPen(QPen(Qt::white, 1, Qt::DashLine));
    for (QCPItemPosition *p : {line->point1, line->point2})
        p->setTypeY(QCPItemPosition::ptAxisRectRatio);
    line->point1->setCoords(20, 0);
    line->point2->setCoords(20, 1);
    auto *label = new QCPItemText(&plot);
    label->setLayer(plot.cursorLayer());
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(20, 0.02);
    label->setText(QStringLiteral("0:20.000"));
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    plot.replot();
    plot.repaint(); // nothing left to paint from before

    TestSupport::PaintWatch recorder;
    plot.installEventFilter(&recorder);
    QSignalSpy fullReplots(&plot, &QCustomPlot::afterReplot);
    const int oldX = int(plot.xAxis->coordToPixel(20));
    line->point1->setCoords(70, 0);
    line->point2->setCoords(70, 1);
    label->position->setCoords(70, 0.02);
    plot.replotCursorLayer();
    QTRY_VERIFY(!recorder.painted.isEmpty());
    QCOMPARE(fullReplots.count(), 0);
    const int newX = int(plot.xAxis->coordToPixel(70));
    const QRect rect = plot.axisRect()->rect();
    // Both places, top to bottom, and hardly anything else.
    for (int x : {oldX, newX}) {
        QVERIFY(recorder.painted.contains(QPoint(x, rect.top() + 1)));
        QVERIFY(recorder.painted.contains(QPoint(x, rect.bottom() - 1)));
    }
    QVERIFY(!recorder.painted.contains(QPoint((oldX + newX) / 2, rect.center().y())));
    int area = 0;
    for (const QRect &r : recorder.painted)
        area += r.width() * r.height();
    QVERIFY2(area < plot.width() * plot.height() / 10, qPrintable(QString::number(area)));

    // What is drawn is the same as a full replot would draw.
    const QImage strips = plot.grab().toImage();
    plot.replot();
    QCOMPARE(strips, plot.grab().toImage());
}

void MultiAxisPlotTest::cursorLayerIsBuffered()
{
    MultiAxisPlot plot;
    QCPLayer *cursor = plot.cursorLayer();
    QVERIFY(cursor);
    QCOMPARE(cursor->name(), QStringLiteral("overlay"));
    QCOMPARE(cursor->mode(), QCPLayer::lmBuffered);
    // Only the cursor is buffered apart from everything else: two buffers in all.
    QCOMPARE(cursor->index(), plot.layerCount() - 1);
    for (int i = 0; i < plot.layerCount() - 1; ++i)
        QCOMPARE(plot.layer(i)->mode(), QCPLayer::lmLogical);
}

void MultiAxisPlotTest::screenshot()
{
    Fixture f;
    f.plot.xAxis->setTicker(QSharedPointer<TimeAxisTicker>::create());
    f.plot.replot();
    QVERIFY(f.plot.grab().save(QDir::temp().filePath("multiaxisplot.png")));
}

QTEST_MAIN(MultiAxisPlotTest)
#include "tst_multiaxisplot.moc"
