#include "LogGraph.h"
#include "MultiAxisPlot.h"
#include "StripeRenderer.h"
#include "TestSupport.h"

#include <QApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

// The line LogGraph draws, and the one QCustomPlot's own graph draws from the same samples.
class ProbeGraph : public LogGraph
{
public:
    using LogGraph::LogGraph;
    QVector<QPointF> polyline() const { return lineFor(QCPDataRange(0, dataCount())); }
};

class ReferenceGraph : public QCPGraph
{
public:
    using QCPGraph::QCPGraph;
    QVector<QPointF> polyline() const
    {
        QVector<QPointF> out;
        getLines(&out, QCPDataRange(0, dataCount()));
        return out;
    }
};

LogVariable series(QVector<double> times, QVector<double> values)
{
    LogVariable v;
    v.name = QStringLiteral("v");
    v.times = std::move(times);
    v.values = std::move(values);
    return v;
}

// n samples; kind picks the shape of the times and values.
LogVariable generated(const QString &kind, int n)
{
    QRandomGenerator rng(7);
    QVector<double> t(n), y(n);
    double now = 0, walk = 0;
    for (int i = 0; i < n; ++i) {
        if (kind == QLatin1String("gaps"))
            now += (i % 2003 < 3) ? 300.0 : 0.02; // a few lone samples, pixels apart
        else if (kind == QLatin1String("long gaps")) // lines tens of pixels long, uneven
            now += (i % 20011 == 0) ? 350.0 + 97.0 * (i / 20011 % 5) : 0.002;
        else if (kind == QLatin1String("jitter"))
            now += 0.001 * rng.bounded(1, 40);
        else if (kind == QLatin1String("equal stamps"))
            now += (i % 3 == 0) ? 0.02 : 0.0;
        else
            now += 0.02;
        t[i] = now - (kind == QLatin1String("negative") ? 500.0 : 0.0);
        walk += rng.generateDouble() - 0.5;
        if (kind == QLatin1String("flat"))
            y[i] = 3.0;
        else if (kind == QLatin1String("nan") && (i % 3001 < 40 || i % 777 == 5))
            y[i] = std::nan("");
        else if (kind == QLatin1String("steps"))
            y[i] = double((i / 500) % 4);
        else
            y[i] = std::sin(i * 0.001) * 20 + walk + (i % 5000 == 0 ? 300 : 0);
    }
    return series(t, y);
}

// The largest difference of a colour channel between two pictures of the same size.
int largestDifference(const QImage &one, const QImage &other)
{
    int largest = 0;
    for (int y = 0; y < one.height(); ++y) {
        for (int x = 0; x < one.width(); ++x) {
            const QColor a = one.pixelColor(x, y), b = other.pixelColor(x, y);
            largest = std::max({largest, std::abs(a.red() - b.red()),
                                std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
        }
    }
    return largest;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class LogGraphTest : public QObject
{
    Q_OBJECT
private slots:
    void linesMatchQCustomPlot_data();
    void linesMatchQCustomPlot();
    void drawnLikeQCustomPlot_data();
    void drawnLikeQCustomPlot();
    void stripesDrawLikeOneThread_data();
    void stripesDrawLikeOneThread();
    void stripeLayout_data();
    void stripeLayout();
    void backgroundDrawingShowsLastPicture_data();
    void backgroundDrawingShowsLastPicture();
    void backgroundDrawingPaintsOnce_data();
    void backgroundDrawingPaintsOnce();
    void changeUndoneWhileDrawing();
    void plotDeletedWhileDrawing();
    void hitTestLikeQCustomPlot();
    void summaryMinMaxMatchesScan();
    void rangesAsQCustomPlotComputesThem();
    void seriesSharedAndOrdered();
};

void LogGraphTest::linesMatchQCustomPlot_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("samples");
    QTest::addColumn<double>("fromFraction"); // the visible part of the time span
    QTest::addColumn<double>("toFraction");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("reversed"); // a reversed time axis takes QCustomPlot's own way
    QTest::newRow("whole span") << "walk" << 200000 << 0.0 << 1.0 << 1400 << false;
    QTest::newRow("narrow plot") << "walk" << 200000 << 0.0 << 1.0 << 300 << false;
    QTest::newRow("zoomed in, edges mid-data") << "walk" << 200000 << 0.31 << 0.42 << 1400 << false;
    QTest::newRow("beyond both ends") << "walk" << 50000 << -0.2 << 1.3 << 900 << false;
    // Clusters next to single samples: the first and last values of a cluster are added
    // where the line leaves or meets real samples.
    QTest::newRow("long pauses") << "gaps" << 200000 << 0.0 << 1.0 << 1400 << false;
    QTest::newRow("uneven steps") << "jitter" << 200000 << 0.1 << 0.9 << 1000 << false;
    QTest::newRow("equal stamps") << "equal stamps" << 120000 << 0.0 << 1.0 << 800 << false;
    QTest::newRow("negative times") << "negative" << 100000 << 0.0 << 1.0 << 1200 << false;
    QTest::newRow("flat values") << "flat" << 100000 << 0.0 << 1.0 << 1200 << false;
    QTest::newRow("steps") << "steps" << 100000 << 0.0 << 1.0 << 700 << false;
    QTest::newRow("steps zoomed") << "steps" << 300000 << 0.1333 << 0.8333 << 1000 << false;
    // An all-zero attitude's pitch is NaN: never an extreme, but a cluster that starts
    // with it stays NaN, as QCustomPlot's pass leaves it.
    QTest::newRow("NaN samples") << "nan" << 100000 << 0.0 << 1.0 << 1000 << false;
    // Just two samples per pixel: the smallest density that is sampled at all.
    QTest::newRow("two per pixel") << "walk" << 2400 << 0.0 << 1.0 << 1200 << false;
    QTest::newRow("fewer than two per pixel") << "walk" << 1500 << 0.0 << 1.0 << 1200 << false;
    QTest::newRow("reversed time axis") << "walk" << 50000 << 0.0 << 1.0 << 1000 << true;
}

void LogGraphTest::linesMatchQCustomPlot()
{
    QFETCH(QString, kind);
    QFETCH(int, samples);
    QFETCH(double, fromFraction);
    QFETCH(double, toFraction);
    QFETCH(int, width);
    QFETCH(bool, reversed);
    QCustomPlot plot;
    plot.resize(width, 400);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    const LogVariable v = generated(kind, samples);
    auto *graph = new ProbeGraph(plot.xAxis, plot.yAxis);
    graph->setSeries(PlotSeries::of(v));
    auto *reference = new ReferenceGraph(plot.xAxis, plot.yAxis);
    reference->setData(v.times, v.values, true);
    const double t0 = v.times.first(), span = v.times.last() - t0;
    plot.rescaleAxes();
    plot.xAxis->setRange(t0 + span * fromFraction, t0 + span * toFraction);
    plot.xAxis->setRangeReversed(reversed);
    plot.replot();

    const QVector<QPointF> fast = graph->polyline();
    const QVector<QPointF> expected = reference->polyline();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(fast.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        if (!sameBits(fast[i].x(), expected[i].x()) || !sameBits(fast[i].y(), expected[i].y()))
            QFAIL(qPrintable(QStringLiteral("point %1: (%2, %3) instead of (%4, %5)")
                                 .arg(i)
                                 .arg(fast[i].x(), 0, 'g', 17)
                                 .arg(fast[i].y(), 0, 'g', 17)
                                 .arg(expected[i].x(), 0, 'g', 17)
                                 .arg(expected[i].y(), 0, 'g', 17)));
    }
}

void LogGraphTest::drawnLikeQCustomPlot_data()
{
    QTest::addColumn<bool>("onScreen"); // drawn by the widget's replot, stripes on threads
    QTest::newRow("to a pixmap") << false;
    QTest::newRow("on screen") << true;
}

void LogGraphTest::drawnLikeQCustomPlot()
{
    QFETCH(bool, onScreen);
    // The same plot twice, one with each graph: the same pixels, selected or not.
    const LogVariable v = generated(QStringLiteral("walk"), 300000);
    const LogVariable w = generated(QStringLiteral("steps"), 300000);
    QImage images[2];
    for (int k = 0; k < 2; ++k) {
        MultiAxisPlot plot;
        plot.resize(1000, 500);
        plot.setPlottingHints(plot.plottingHints() | QCP::phFastPolylines);
        QCPGraph *graph = nullptr, *second = nullptr;
        if (k == 0) {
            auto *logGraph = new LogGraph(plot.xAxis, plot.yAxis);
            logGraph->setSeries(PlotSeries::of(v));
            graph = logGraph;
            auto *other = new LogGraph(plot.xAxis, plot.yAxis2);
            other->setSeries(PlotSeries::of(w));
            second = other;
        } else {
            graph = plot.addGraph();
            graph->setData(v.times, v.values, true);
            second = plot.addGraph(plot.xAxis, plot.yAxis2);
            second->setData(w.times, w.values, true);
        }
        second->setName(QStringLiteral("Steps"));
        second->setPen(QPen(QColor(0x50, 0xfa, 0x7b), 1.5));
        second->setAntialiased(false);
        graph->setName(QStringLiteral("Walk [m]"));
        graph->setPen(QPen(QColor(0x8b, 0xe9, 0xfd), 1.5));
        graph->setAntialiased(false);
        graph->setSelectable(QCP::stWhole);
        graph->selectionDecorator()->setPen(QPen(Qt::yellow, 3));
        plot.legend->setVisible(true);
        plot.rescaleAxes();
        plot.xAxis->setRange(v.times[40000], v.times[250000]);
        plot.yAxis2->setVisible(true);
        plot.yAxis2->rescale();
        const auto picture = [&plot, onScreen] {
            if (!onScreen)
                return plot.toPixmap(1000, 500);
            plot.replot();
            return plot.grab();
        };
        if (onScreen) {
            plot.show();
            if (!QTest::qWaitForWindowExposed(&plot))
                QFAIL("not shown");
        }
        QImage both(1000, 1000, QImage::Format_ARGB32);
        QPainter painter(&both);
        painter.drawPixmap(0, 0, picture());
        graph->setSelection(QCPDataSelection(QCPDataRange(0, graph->dataCount())));
        painter.drawPixmap(0, 500, picture());
        images[k] = both;
    }
    if (!onScreen) {
        QVERIFY(images[0] == images[1]);
        return;
    }
    // On screen the graphs' smoothed edges are drawn apart and laid over the background,
    // which rounds a level or two differently from drawing on it.
    const int largest = largestDifference(images[0], images[1]);
    QVERIFY2(largest <= 2, qPrintable(QString::number(largest)));
}

void LogGraphTest::stripesDrawLikeOneThread_data()
{
    // The multi-axis plot draws its log graphs in vertical stripes on threads, each stripe
    // handed the part of the lines that reaches it; a plain QCustomPlot draws the same
    // graphs on the GUI thread. The same picture, seams and plot edges included: the
    // stripes' smoothed edges are laid over the background, which rounds a level or two
    // differently from drawing on it.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("penWidth");
    QTest::addColumn<Qt::PenStyle>("penStyle");
    QTest::addColumn<bool>("antialiased");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("reversed");
    QTest::addColumn<int>("maxDiff"); // colour levels
    QTest::newRow("dense") << "walk" << 1.5 << Qt::SolidLine << false << false << false << 2;
    QTest::newRow("lone samples across stripes")
        << "gaps" << 1.5 << Qt::SolidLine << false << false << false << 2;
    // Lines that cross a stripe's edge far from their ends: each stripe draws them from
    // its edge on.
    QTest::newRow("long lines across stripes")
        << "long gaps" << 1.5 << Qt::SolidLine << false << false << false << 2;
    QTest::newRow("NaN gaps") << "nan" << 1.5 << Qt::SolidLine << false << false << false << 2;
    QTest::newRow("steps, wide pen")
        << "steps" << 6.0 << Qt::SolidLine << false << false << false << 2;
    QTest::newRow("selected, wider pen")
        << "walk" << 1.5 << Qt::SolidLine << false << true << false << 2;
    QTest::newRow("dashed") << "gaps" << 1.5 << Qt::DashLine << false << false << false << 2;
    QTest::newRow("reversed time axis")
        << "gaps" << 1.5 << Qt::SolidLine << false << false << true << 2;
    // Drawn directly, not in stripes.
    QTest::newRow("antialiased") << "gaps" << 1.5 << Qt::SolidLine << true << false << false << 0;
}

void LogGraphTest::stripesDrawLikeOneThread()
{
    QFETCH(QString, kind);
    QFETCH(double, penWidth);
    QFETCH(Qt::PenStyle, penStyle);
    QFETCH(bool, antialiased);
    QFETCH(bool, selected);
    QFETCH(bool, reversed);
    QFETCH(int, maxDiff);
    const LogVariable v = generated(kind, 200000);
    const LogVariable w = generated(QStringLiteral("steps"), 150000);
    // Striped on the spot, plain, striped in the background by copies of the graphs.
    QImage images[3];
    for (int k = 0; k < 3; ++k) {
        MultiAxisPlot striped;
        QCustomPlot plain;
        QCustomPlot &plot = k == 1 ? plain : static_cast<QCustomPlot &>(striped);
        striped.setBackgroundDrawing(k == 2);
        plot.resize(1000, 500);
        plot.setPlottingHints(plot.plottingHints() | QCP::phFastPolylines);
        auto *graph = new LogGraph(plot.xAxis, plot.yAxis);
        graph->setSeries(PlotSeries::of(v));
        graph->setPen(QPen(QBrush(QColor(0x8b, 0xe9, 0xfd)), penWidth, penStyle));
        graph->setAntialiased(antialiased);
        graph->setSelectable(QCP::stWhole);
        graph->selectionDecorator()->setPen(QPen(Qt::yellow, 3));
        auto *other = new LogGraph(plot.xAxis, plot.yAxis2);
        other->setSeries(PlotSeries::of(w));
        other->setPen(QPen(QColor(0x50, 0xfa, 0x7b), 1.5));
        other->setAntialiased(false);
        plot.rescaleAxes();
        plot.xAxis->setRange(v.times[20000], v.times[180000]);
        plot.xAxis->setRangeReversed(reversed);
        plot.yAxis2->setVisible(true);
        plot.yAxis2->rescale();
        if (selected)
            graph->setSelection(QCPDataSelection(QCPDataRange(0, graph->dataCount())));
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        plot.replot();
        QTRY_VERIFY(!striped.isDrawingPending());
        images[k] = plot.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    }
    QCOMPARE(images[0].size(), images[1].size());
    const int largest = largestDifference(images[0], images[1]);
    QVERIFY2(largest <= maxDiff, qPrintable(QString::number(largest)));
    QVERIFY(images[2] == images[0]);
}

namespace {

// Two log graphs on two value axes, and a third one made but not added until asked.
struct TwoGraphs
{
    MultiAxisPlot plot;
    LogGraph *walk = nullptr, *steps = nullptr;

    explicit TwoGraphs(bool background)
    {
        static const LogVariable v = generated(QStringLiteral("walk"), 200000);
        static const LogVariable w = generated(QStringLiteral("steps"), 150000);
        plot.resize(900, 450);
        plot.setPlottingHints(plot.plottingHints() | QCP::phFastPolylines);
        plot.setBackgroundDrawing(background);
        walk = add(v, plot.yAxis, QColor(0x8b, 0xe9, 0xfd));
        walk->setSelectable(QCP::stWhole);
        walk->selectionDecorator()->setPen(QPen(Qt::yellow, 3));
        steps = add(w, plot.yAxis2, QColor(0x50, 0xfa, 0x7b));
        plot.rescaleAxes();
        plot.yAxis2->setVisible(true);
    }
    LogGraph *add(const LogVariable &v, QCPAxis *axis, const QColor &color)
    {
        auto *graph = new LogGraph(plot.xAxis, axis);
        graph->setSeries(PlotSeries::of(v));
        graph->setPen(QPen(color, 1.5));
        graph->setAntialiased(false);
        return graph;
    }
    // One change of a kind; all of them, one after another, for "several".
    void change(const QString &kind)
    {
        if (kind == QLatin1String("range") || kind == QLatin1String("several"))
            plot.yAxis2->scaleRange(0.6);
        if (kind == QLatin1String("selection") || kind == QLatin1String("several"))
            walk->setSelection(QCPDataSelection(QCPDataRange(0, walk->dataCount())));
        if (kind == QLatin1String("graph removed") || kind == QLatin1String("several")) {
            plot.removeGraph(steps);
            steps = nullptr;
        }
        if (kind == QLatin1String("time axis") || kind == QLatin1String("several"))
            plot.xAxis->setRange(plot.xAxis->range().lower, plot.xAxis->range().center());
        if (kind == QLatin1String("graph added")) {
            static const LogVariable g = generated(QStringLiteral("gaps"), 100000);
            add(g, plot.yAxis2, QColor(0xff, 0x79, 0xc6));
            plot.rescaleAxes();
        }
    }
    QImage picture() { return plot.grab().toImage(); }
};

} // namespace

void LogGraphTest::stripeLayout_data()
{
    // The stripes the threads draw: side by side over the whole data area, never narrower
    // than about 64 pixels, each drawn 8 pixels wider where the area allows.
    QTest::addColumn<QRect>("clip");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("count");
    QTest::newRow("wide, 8 threads") << QRect(60, 9, 1001, 700) << 8 << 8;
    QTest::newRow("more threads than 64 px stripes") << QRect(60, 9, 640, 700) << 16 << 10;
    QTest::newRow("just under two stripes") << QRect(0, 0, 127, 50) << 8 << 1;
    QTest::newRow("narrower than a stripe") << QRect(5, 5, 20, 50) << 8 << 1;
    QTest::newRow("one pixel") << QRect(5, 5, 1, 1) << 8 << 1;
    QTest::newRow("one thread") << QRect(60, 9, 1001, 700) << 1 << 1;
    QTest::newRow("no thread said") << QRect(60, 9, 1001, 700) << 0 << 1;
    QTest::newRow("no width") << QRect(60, 9, 0, 700) << 8 << 0;
    QTest::newRow("no height") << QRect(60, 9, 500, 0) << 8 << 0;
}

void LogGraphTest::stripeLayout()
{
    QFETCH(QRect, clip);
    QFETCH(int, threads);
    QFETCH(int, count);
    const QVector<StripeRenderer::Stripe> stripes = StripeRenderer::layout(clip, threads, 8);
    QCOMPARE(stripes.size(), count);
    int left = clip.left();
    for (const StripeRenderer::Stripe &stripe : stripes) {
        QCOMPARE(stripe.rect.left(), left);
        QCOMPARE(stripe.rect.top(), clip.top());
        QCOMPARE(stripe.rect.height(), clip.height());
        QVERIFY(stripe.rect.width() >= (count > 1 ? 64 : 1));
        QCOMPARE(stripe.drawn,
                 QRect(QPoint(qMax(clip.left(), stripe.rect.left() - 8), clip.top()),
                       QPoint(qMin(clip.right(), stripe.rect.right() + 8), clip.bottom())));
        left = stripe.rect.right() + 1;
    }
    if (count > 0)
        QCOMPARE(left, clip.right() + 1);
}

void LogGraphTest::backgroundDrawingShowsLastPicture_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("replotEach"); // "several": a replot after each change
    QTest::newRow("range") << "range" << false;
    QTest::newRow("selection") << "selection" << false;
    QTest::newRow("graph removed") << "graph removed" << false;
    QTest::newRow("time axis") << "time axis" << false;
    QTest::newRow("several, one replot") << "several" << false;
    QTest::newRow("several, replots while drawing") << "several" << true;
}

void LogGraphTest::backgroundDrawingShowsLastPicture()
{
    QFETCH(QString, kind);
    QFETCH(bool, replotEach);
    TwoGraphs background(true);
    background.plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&background.plot));
    background.plot.replot();
    QTRY_VERIFY(!background.plot.isDrawingPending());
    const QImage before = background.picture();

    if (replotEach) {
        for (const char *k : {"range", "selection", "graph removed", "time axis"}) {
            background.change(k);
            background.plot.replot();
        }
    } else {
        background.change(kind);
        background.plot.replot();
    }
    // Until the lines are drawn, the last whole picture; then what a replot on the spot
    // draws in a plot alike.
    QVERIFY(background.plot.isDrawingPending());
    QVERIFY(background.picture() == before);
    QTRY_VERIFY(!background.plot.isDrawingPending());
    const QImage after = background.picture();

    TwoGraphs onTheSpot(false);
    onTheSpot.change(kind);
    onTheSpot.plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&onTheSpot.plot));
    onTheSpot.plot.replot();
    QVERIFY(!onTheSpot.plot.isDrawingPending());
    QVERIFY(after == onTheSpot.picture());
    QVERIFY(after != before);
}

void LogGraphTest::backgroundDrawingPaintsOnce_data()
{
    backgroundDrawingShowsLastPicture_data();
    QTest::newRow("graph added") << "graph added" << false;
}

void LogGraphTest::backgroundDrawingPaintsOnce()
{
    // While the lines are drawn the plot shows the picture it shows already: painting it
    // again is work for nothing. The change is painted once, when its drawing is done.
    TestSupport::PaintWatch counter;
    QFETCH(QString, kind);
    QFETCH(bool, replotEach);
    TwoGraphs two(true);
    two.plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&two.plot));
    two.plot.replot();
    QTRY_VERIFY(!two.plot.isDrawingPending());
    QCoreApplication::processEvents();
    two.plot.installEventFilter(&counter);

    if (replotEach) {
        for (const char *k : {"range", "selection", "graph removed", "time axis"}) {
            two.change(k);
            two.plot.replot();
        }
    } else {
        two.change(kind);
        two.plot.replot();
    }
    QVERIFY(two.plot.isDrawingPending());
    QTRY_VERIFY(!two.plot.isDrawingPending());
    QTRY_COMPARE(counter.paints, 1);
    // Nothing more on its way.
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 1);
    two.plot.removeEventFilter(&counter);
    // What a replot on the spot draws.
    TwoGraphs onTheSpot(false);
    for (const QString &k : replotEach
             ? QStringList {"range", "selection", "graph removed", "time axis"}
             : QStringList {kind})
        onTheSpot.change(k);
    onTheSpot.plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&onTheSpot.plot));
    onTheSpot.plot.replot();
    QVERIFY(two.picture() == onTheSpot.picture());
}

void LogGraphTest::changeUndoneWhileDrawing()
{
    TwoGraphs two(true);
    two.plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&two.plot));
    two.plot.replot();
    QTRY_VERIFY(!two.plot.isDrawingPending());
    const QImage before = two.picture();
    const QCPRange range = two.plot.yAxis2->range();
    two.plot.yAxis2->scaleRange(0.6);
    two.plot.replot();
    QVERIFY(two.plot.isDrawingPending());
    two.plot.yAxis2->setRange(range);
    two.plot.replot();
    // Back to the picture shown: nothing left to draw.
    QVERIFY(!two.plot.isDrawingPending());
    QVERIFY(two.picture() == before);
}

void LogGraphTest::plotDeletedWhileDrawing()
{
    // The threads draw copies of the graphs: the graphs and the plot may go meanwhile.
    for (int k = 0; k < 3; ++k) {
        auto *two = new TwoGraphs(true);
        two->plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&two->plot));
        two->change(QStringLiteral("range"));
        two->plot.replot();
        QVERIFY(two->plot.isDrawingPending());
        two->plot.removeGraph(two->walk);
        if (k > 0)
            two->plot.replot();
        if (k > 1)
            QCoreApplication::processEvents();
        delete two;
    }
}

void LogGraphTest::hitTestLikeQCustomPlot()
{
    const LogVariable v = generated(QStringLiteral("walk"), 100000);
    QCustomPlot plot;
    plot.resize(900, 500);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    auto *graph = new LogGraph(plot.xAxis, plot.yAxis);
    graph->setSeries(PlotSeries::of(v));
    QCPGraph *reference = plot.addGraph();
    reference->setData(v.times, v.values, true);
    plot.rescaleAxes();
    plot.xAxis->setRange(v.times[1000], v.times[60000]);
    plot.replot();
    QCOMPARE(graph->dataCount(), reference->dataCount());
    QRandomGenerator rng(11);
    const QRect area = plot.axisRect()->rect();
    for (int k = 0; k < 200; ++k) {
        const QPointF pos(area.left() + rng.bounded(area.width()),
                          area.top() + rng.bounded(area.height()));
        QVariant detailsA, detailsB;
        QCOMPARE(graph->selectTest(pos, false, &detailsA),
                 reference->selectTest(pos, false, &detailsB));
        QCOMPARE(detailsA.value<QCPDataSelection>(), detailsB.value<QCPDataSelection>());
    }
    QCOMPARE(graph->selectTest(QPointF(2, 2), false), -1.0); // outside the axis rect
    const QRectF box(area.left() + 100, area.top() + 50, 200, 300);
    QCOMPARE(graph->selectTestRect(box, false), reference->selectTestRect(box, false));
    for (int i : {0, 17, 99999}) {
        QCOMPARE(graph->dataPixelPosition(i), reference->dataPixelPosition(i));
        QCOMPARE(graph->dataMainKey(i), reference->dataMainKey(i));
        QCOMPARE(graph->dataMainValue(i), reference->dataMainValue(i));
    }
    for (double key : {-5.0, v.times[500], v.times[500] + 0.001, 1e9}) {
        for (bool expanded : {true, false}) {
            QCOMPARE(graph->findBegin(key, expanded), reference->findBegin(key, expanded));
            QCOMPARE(graph->findEnd(key, expanded), reference->findEnd(key, expanded));
        }
    }
}

void LogGraphTest::summaryMinMaxMatchesScan()
{
    const LogVariable v = generated(QStringLiteral("walk"), 10000);
    const QSharedPointer<const PlotSeries> s = PlotSeries::of(v);
    QRandomGenerator rng(3);
    for (int k = 0; k < 2000; ++k) {
        const int a = rng.bounded(0, 9999);
        const int b = a + 1 + rng.bounded(0, 10000 - a - 1 + 1);
        double lo, hi;
        s->minMax(a, b, lo, hi);
        const auto [mn, mx] = std::minmax_element(v.values.cbegin() + a, v.values.cbegin() + b);
        QCOMPARE(lo, *mn);
        QCOMPARE(hi, *mx);
    }
}

void LogGraphTest::rangesAsQCustomPlotComputesThem()
{
    LogVariable v = generated(QStringLiteral("negative"), 30000);
    v.values[0] = std::nan(""); // the key range starts at the first sample with a value
    v.values[10] = std::nan("");
    v.values[29999] = std::nan("");
    QCustomPlot plot;
    auto *logGraph = new LogGraph(plot.xAxis, plot.yAxis);
    logGraph->setSeries(PlotSeries::of(v));
    auto *plain = new QCPGraph(plot.xAxis, plot.yAxis2);
    plain->setData(v.times, v.values, true);
    const QCPRange part(v.times[100], v.times[200]);
    for (QCP::SignDomain domain : {QCP::sdBoth, QCP::sdNegative, QCP::sdPositive}) {
        bool found1 = false, found2 = false;
        const QCPRange k1 = logGraph->getKeyRange(found1, domain);
        const QCPRange k2 = plain->getKeyRange(found2, domain);
        QCOMPARE(found1, found2);
        QCOMPARE(k1, k2);
        for (const QCPRange &keys : {QCPRange(), part}) {
            const QCPRange r1 = logGraph->getValueRange(found1, domain, keys);
            const QCPRange r2 = plain->getValueRange(found2, domain, keys);
            QCOMPARE(found1, found2);
            QCOMPARE(r1, r2);
        }
    }

    const QSharedPointer<const PlotSeries> s = logGraph->plotSeries();
    QVERIFY(s->hasFinite);
    double lo = 1e300, hi = -1e300;
    for (double y : qAsConst(v.values)) {
        if (std::isfinite(y)) {
            lo = std::min(lo, y);
            hi = std::max(hi, y);
        }
    }
    QCOMPARE(s->finiteMin, lo);
    QCOMPARE(s->finiteMax, hi);
}

void LogGraphTest::seriesSharedAndOrdered()
{
    const LogVariable v = generated(QStringLiteral("walk"), 1000);
    const QSharedPointer<const PlotSeries> a = PlotSeries::of(v);
    // No copy of samples already in time order.
    QCOMPARE(a->times(), v.times.constData());
    QCOMPARE(a->values(), v.values.constData());
    LogVariable copy = v; // shares the arrays, as both tabs' copies of a log do
    copy.name = QStringLiteral("other name");
    QCOMPARE(PlotSeries::of(copy), a);
    QVERIFY(PlotSeries::of(generated(QStringLiteral("walk"), 1000)) != a);

    // Stamps out of order are sorted; equal stamps keep their order.
    const LogVariable unordered = series({3, 1, 2, 1, 0}, {30, 10, 20, 11, 0});
    const QSharedPointer<const PlotSeries> s = PlotSeries::of(unordered);
    QVector<QPair<double, double>> points;
    for (int i = 0; i < s->size(); ++i)
        points.append({s->times()[i], s->values()[i]});
    QCOMPARE(points, (QVector<QPair<double, double>> {{0, 0}, {1, 10}, {1, 11}, {2, 20}, {3, 30}}));
    QCOMPARE(s->finiteMin, 0.0);
    QCOMPARE(s->finiteMax, 30.0);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    LogGraphTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loggraph.moc"
