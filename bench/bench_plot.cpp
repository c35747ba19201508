// Replot cost of the multi-axis plot: a full replot of 8 graphs of 1 M points each, and
// a replot of the cursor layer alone (the time cursor moving over the same plot).
#include "BenchSupport.h"
#include "MultiAxisPlot.h"
#include "TimeAxisTicker.h"

#include <QApplication>

#include <cmath>
#include <cstdio>

namespace {

template<typename F> void report(const char *what, int runs, double goalMs, F &&f)
{
    const BenchSupport::Stats s = BenchSupport::timeRuns(runs, f);
    std::printf("  %-42s median %7.2f ms, best %7.2f ms, worst %7.2f ms (goal <= %g ms)\n", what,
                s.median, s.best, s.worst, goalMs);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchSupport::printBuildKind();
    MultiAxisPlot plot;
    plot.resize(1400, 800);
    plot.xAxis->setTicker(QSharedPointer<TimeAxisTicker>::create());
    plot.legend->setVisible(true);

    const int graphs = 8, points = 1000000;
    const double seconds = 3600;
    for (int g = 0; g < graphs; ++g) {
        QCPAxis *axis = g == 0 ? plot.yAxis : plot.axisRect()->addAxis(QCPAxis::atRight);
        QVector<double> keys(points), values(points);
        for (int i = 0; i < points; ++i) {
            keys[i] = i * seconds / points;
            values[i] = std::sin(keys[i] * (0.01 + g * 0.003)) * (g + 1) + std::sin(i * 0.7) * 0.2;
        }
        QCPGraph *graph = plot.addGraph(plot.xAxis, axis);
        graph->setData(keys, values, true);
        graph->setName(QStringLiteral("Variable %1").arg(g));
        graph->setPen(QPen(QColor::fromHsv(g * 45, 200, 230)));
        axis->setRange(-(g + 1.5), g + 1.5);
    }
    plot.xAxis->setRange(0, seconds);
    auto *cursor = new QCPItemStraightLine(&plot);
    cursor->setLayer(plot.cursorLayer());
    cursor->point1->setCoords(0, 0);
    cursor->point2->setCoords(0, 1);
    plot.show();
    plot.replot(QCustomPlot::rpImmediateRefresh);
    app.processEvents();

    std::printf("Multi-axis plot, %d graphs x %d points, %dx%d px\n", graphs, points, plot.width(),
                plot.height());
    // As the log tabs draw: adaptive sampling (the default), fast polylines, no antialiasing.
    plot.setPlottingHint(QCP::phFastPolylines, true);
    plot.setNotAntialiasedElements(QCP::aePlottables);
    report("full replot, whole hour in view", 20, 30,
           [&](int) { plot.replot(QCustomPlot::rpImmediateRefresh); });
    report("full replot, 10 min window, panning", 20, 30, [&](int i) {
        plot.xAxis->setRange(i * 60, i * 60 + 600);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    });
    plot.xAxis->setRange(0, seconds);
    plot.setPlottingHint(QCP::phFastPolylines, false);
    plot.setNotAntialiasedElements(QCP::aeNone);
    report("for comparison: antialiased, whole hour", 20, 30,
           [&](int) { plot.replot(QCustomPlot::rpImmediateRefresh); });
    plot.setPlottingHint(QCP::phFastPolylines, true);
    plot.setNotAntialiasedElements(QCP::aePlottables);
    plot.xAxis->setRange(0, seconds);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    report("cursor layer replot", 200, 1, [&](int i) {
        const double t = i * 17.0;
        cursor->point1->setCoords(t, 0);
        cursor->point2->setCoords(t, 1);
        plot.cursorLayer()->replot();
    });
    report("cursor layer replot + repaint of widget", 200, 1, [&](int i) {
        const double t = i * 17.0;
        cursor->point1->setCoords(t, 0);
        cursor->point2->setCoords(t, 1);
        plot.cursorLayer()->replot();
        plot.repaint();
    });
    return 0;
}
