// Replot cost of the multi-axis plot: a full replot of 8 graphs of 1 M points each, with
// QCustomPlot's own graph and with the log tabs' LogGraph (sampling from a block summary),
// and a replot of the cursor layer alone (the time cursor moving over the same plot).
#include "BenchSupport.h"
#include "LogGraph.h"
#include "MultiAxisPlot.h"
#include "TimeAxisTicker.h"

#include <QApplication>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

double cpuMs(clockid_t clock)
{
    timespec t {};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Wall time, and the CPU time a run takes in the GUI thread and in the whole process: on a
// busy machine the wall time of drawing on threads grows with the others' load, while the
// CPU times tell what a quiet machine's cores would have to do.
template<typename F> void report(const char *what, int runs, double goalMs, F &&f)
{
    const double thread0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const BenchSupport::Stats s = BenchSupport::timeRuns(runs, f);
    const double thread = (cpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0) / runs;
    const double process = (cpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0) / runs;
    std::printf("  %-42s median %7.2f ms, best %7.2f ms, worst %7.2f ms (goal <= %g ms); CPU "
                "per run: GUI thread %.1f ms, all threads %.1f ms\n",
                what, s.median, s.best, s.worst, goalMs, thread, process);
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
    QVector<LogVariable> vars;
    QVector<QCPAxis *> axes;
    for (int g = 0; g < graphs; ++g) {
        QCPAxis *axis = g == 0 ? plot.yAxis : plot.axisRect()->addAxis(QCPAxis::atRight);
        LogVariable v;
        v.name = QStringLiteral("Variable %1").arg(g);
        v.times.resize(points);
        v.values.resize(points);
        for (int i = 0; i < points; ++i) {
            v.times[i] = i * seconds / points;
            v.values[i]
                = std::sin(v.times[i] * (0.01 + g * 0.003)) * (g + 1) + std::sin(i * 0.7) * 0.2;
        }
        vars << v;
        axes << axis;
        axis->setRange(-(g + 1.5), g + 1.5);
    }
    // Today's way: each graph copies the samples into its own container.
    const auto plainGraphs = [&] {
        plot.clearGraphs();
        for (int g = 0; g < graphs; ++g) {
            QCPGraph *graph = plot.addGraph(plot.xAxis, axes[g]);
            graph->setData(vars[g].times, vars[g].values, true);
            graph->setName(vars[g].name);
            graph->setPen(QPen(QColor::fromHsv(g * 45, 200, 230), 1.5));
        }
    };
    // The tabs' way: the shared series, made once (the tab keeps them while the log is open).
    QVector<QSharedPointer<const PlotSeries>> kept;
    const auto logGraphs = [&] {
        plot.clearGraphs();
        for (int g = 0; g < graphs; ++g) {
            auto *graph = new LogGraph(plot.xAxis, axes[g]);
            kept << PlotSeries::of(vars[g]);
            graph->setSeries(kept.last());
            graph->setName(vars[g].name);
            graph->setPen(QPen(QColor::fromHsv(g * 45, 200, 230), 1.5));
        }
    };
    const double plainSetMs = BenchSupport::timeMs(plainGraphs);
    const double seriesMs = BenchSupport::timeMs(logGraphs);
    const double logSetMs = BenchSupport::timeMs(logGraphs);
    std::printf("handing 8 x 1 M samples to the graphs: QCPGraph::setData %.1f ms (copies "
                "them); LogGraph: series made %.1f ms (summary, no copy), then %.3f ms\n",
                plainSetMs, seriesMs, logSetMs);
    plainGraphs();
    plot.xAxis->setRange(0, seconds);
    auto *cursor = new QCPItemStraightLine(&plot);
    cursor->setLayer(plot.cursorLayer());
    cursor->point1->setCoords(0, 0);
    cursor->point2->setCoords(0, 1);
    plot.show();
    plot.replot(QCustomPlot::rpImmediateRefresh);
    app.processEvents();

    std::printf("Multi-axis plot, %d graphs x %d points, %dx%d px\n QCPGraph (today):\n", graphs,
                points, plot.width(), plot.height());
    // As the log tabs draw: pens of width 1.5, adaptive sampling (the default), fast polylines,
    // no antialiasing asked for.
    plot.setPlottingHint(QCP::phFastPolylines, true);
    plot.setNotAntialiasedElements(QCP::aePlottables);
    report("full replot, whole hour in view", 20, 30,
           [&](int) { plot.replot(QCustomPlot::rpImmediateRefresh); });
    report("full replot, 10 min window, panning", 20, 30, [&](int i) {
        plot.xAxis->setRange(i * 60, i * 60 + 600);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    });
    plot.xAxis->setRange(0, seconds);
    const auto presetRanges = [&] {
        for (int g = 0; g < graphs; ++g)
            axes[g]->setRange(-(g + 1.5), g + 1.5);
        plot.xAxis->setRange(0, seconds);
    };
    report("rescale of the 8 value axes", 10, 5, [&](int) {
        for (QCPAxis *axis : axes)
            axis->rescale();
    });
    presetRanges();
    logGraphs();
    plot.xAxis->setRange(0, seconds);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    std::printf(" LogGraph (block summary):\n");
    // A replot that changes nothing reuses the last drawing; a range that differs by a
    // millisecond on every run makes each one draw the whole hour again.
    report("full replot, whole hour in view", 20, 20, [&](int i) {
        plot.xAxis->setRange(0, seconds - (i % 2) * 0.001);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    });
    report("replot with nothing changed (reused)", 20, 20,
           [&](int) { plot.replot(QCustomPlot::rpImmediateRefresh); });
    report("full replot, 10 min window, panning", 20, 20, [&](int i) {
        plot.xAxis->setRange(i * 60, i * 60 + 600);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    });
    plot.xAxis->setRange(0, seconds);
    report("rescale of the 8 value axes", 10, 5, [&](int) {
        for (QCPAxis *axis : axes)
            axis->rescale();
    });
    {
        // The same graphs in a plain QCustomPlot: drawn one after another on the GUI thread,
        // without the multi-axis plot's parallel stripes.
        QCustomPlot single;
        single.resize(plot.size());
        single.xAxis->setTicker(QSharedPointer<TimeAxisTicker>::create());
        single.legend->setVisible(true);
        single.setPlottingHint(QCP::phFastPolylines, true);
        single.setNotAntialiasedElements(QCP::aePlottables);
        for (int g = 0; g < graphs; ++g) {
            QCPAxis *axis = g == 0 ? single.yAxis : single.axisRect()->addAxis(QCPAxis::atRight);
            axis->setRange(-(g + 1.5), g + 1.5);
            auto *graph = new LogGraph(single.xAxis, axis);
            graph->setSeries(PlotSeries::of(vars[g]));
            graph->setName(vars[g].name);
            graph->setPen(QPen(QColor::fromHsv(g * 45, 200, 230), 1.5));
        }
        single.xAxis->setRange(0, seconds);
        single.show();
        single.replot(QCustomPlot::rpImmediateRefresh);
        report("same, on the GUI thread alone", 20, 20,
               [&](int) { single.replot(QCustomPlot::rpImmediateRefresh); });
    }
    presetRanges();
    plainGraphs();
    plot.setPlottingHint(QCP::phFastPolylines, false);
    plot.setNotAntialiasedElements(QCP::aeNone);
    report("for comparison: antialiased, whole hour", 20, 30,
           [&](int) { plot.replot(QCustomPlot::rpImmediateRefresh); });
    plot.setPlottingHint(QCP::phFastPolylines, true);
    plot.setNotAntialiasedElements(QCP::aePlottables);
    plot.xAxis->setRange(0, seconds);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    report("cursor layer replot (QCustomPlot's)", 200, 1, [&](int i) {
        const double t = i * 17.0;
        cursor->point1->setCoords(t, 0);
        cursor->point2->setCoords(t, 1);
        plot.cursorLayer()->replot();
    });
    report("  ... and the repaint of the widget", 200, 1, [&](int i) {
        const double t = i * 17.0;
        cursor->point1->setCoords(t, 0);
        cursor->point2->setCoords(t, 1);
        plot.cursorLayer()->replot();
        app.processEvents(); // paints what was marked dirty
    });
    report("cursor layer replot, strips only", 200, 1, [&](int i) {
        const double t = i * 17.0;
        cursor->point1->setCoords(t, 0);
        cursor->point2->setCoords(t, 1);
        plot.replotCursorLayer();
    });
    report("  ... and the repaint of the widget", 200, 1, [&](int i) {
        const double t = i * 17.0;
        cursor->point1->setCoords(t, 0);
        cursor->point2->setCoords(t, 1);
        plot.replotCursorLayer();
        app.processEvents(); // paints what was marked dirty
    });
    return 0;
}
