#include "PlotStyle.h"

#include "LogGraph.h"

namespace PlotStyle {

void applyDarkTheme(QCustomPlot *plot, const QColor &xAxisText)
{
    const QColor window(Theme::Window);
    plot->setBackground(QBrush(window));
    plot->axisRect()->setBackground(QBrush(window));
    plot->xAxis->setBasePen(QPen(AxisGrey));
    plot->xAxis->setTickPen(QPen(AxisGrey));
    plot->xAxis->setSubTickPen(QPen(AxisGrey));
    plot->xAxis->setTickLabelColor(xAxisText);
    plot->xAxis->setLabelColor(xAxisText);
    styleAxis(plot->yAxis, AxisGrey, true);
    plot->legend->setBrush(QBrush(Theme::withAlpha(Theme::Alternate, 230)));
    plot->legend->setBorderPen(QPen(QColor(Theme::Border)));
    plot->legend->setTextColor(QColor(Theme::Text));
}

void styleAxis(QCPAxis *axis, const QColor &color, bool grid)
{
    const QPen pen(color, 1, Qt::SolidLine);
    axis->setBasePen(pen);
    axis->setTickPen(pen);
    axis->setSubTickPen(pen);
    axis->setTickLabelColor(color);
    axis->setLabelColor(color);
    axis->grid()->setVisible(grid);
    if (grid) {
        axis->grid()->setPen(QPen(QColor(255, 255, 255, 18)));
        axis->grid()->setSubGridVisible(true);
        axis->grid()->setSubGridPen(QPen(QColor(255, 255, 255, 8)));
        axis->grid()->setZeroLinePen(QPen(AxisGrey));
    }
}

QColor colorForIndex(int index)
{
    static const char *const colors[]
        = {"#8be9fd", "#50fa7b", "#ffb86c", "#ff79c6", "#bd93f9", "#f1fa8c", "#ff5555", "#6272a4"};
    return QColor(QLatin1String(colors[((index % 8) + 8) % 8]));
}

LogGraph *addVariableGraph(QCustomPlot *plot, QCPAxis *valueAxis,
                           const QSharedPointer<const PlotSeries> &series, const QString &name,
                           const QColor &color)
{
    auto *graph = new LogGraph(plot->xAxis, valueAxis);
    // Sorted once, summarised and shared: no copy per graph, no pass over every sample.
    graph->setSeries(series);
    graph->setName(name);
    graph->setAdaptiveSampling(true);
    graph->setAntialiased(false);
    graph->setPen(QPen(color, 1.5));
    return graph;
}

QCPAxis *addValueAxis(QCustomPlot *plot)
{
    QCPAxis *axis = plot->axisRect()->addAxis(QCPAxis::atRight);
    axis->setLayer(plot->xAxis->layer());
    axis->grid()->setLayer(plot->xAxis->grid()->layer());
    return axis;
}

QCPRange freshAxisRange(QCustomPlot *plot)
{
    QCPAxis *probe = plot->axisRect()->addAxis(QCPAxis::atRight);
    const QCPRange range = probe->range();
    plot->axisRect()->removeAxis(probe);
    return range;
}

} // namespace PlotStyle
