#include "GraphStack.h"

#include "PlotStyle.h"

#include <QListWidget>

GraphStack::GraphStack(QCustomPlot *plot)
    : plot(plot)
    , freshRange(PlotStyle::freshAxisRange(plot))
{
}

QCPAxis *GraphStack::axisFor(int row)
{
    QCPAxis *axis = plot->yAxis;
    if (!graphRows.isEmpty()) {
        axis = PlotStyle::addValueAxis(plot);
        rightAxes.append(axis);
    }
    graphRows.append(row);
    return axis;
}

void GraphStack::clear()
{
    plot->clearGraphs();
    for (QCPAxis *axis : qAsConst(rightAxes))
        plot->axisRect()->removeAxis(axis);
    rightAxes.clear();
    graphRows.clear();
}

bool GraphStack::applyCheck(int row, bool checked, const std::function<void(int)> &addGraph)
{
    if (checked && (graphRows.isEmpty() || row > graphRows.last())) {
        addGraph(row);
    } else if (!checked && !graphRows.isEmpty() && graphRows.last() == row
               && plot->graphCount() > 0) {
        QCPGraph *graph = plot->graph(plot->graphCount() - 1);
        QCPAxis *axis = graph->valueAxis();
        plot->removeGraph(graph);
        if (axis != plot->yAxis) {
            plot->axisRect()->removeAxis(axis);
            rightAxes.removeLast();
        }
        graphRows.removeLast();
    } else {
        return false;
    }
    for (QCPAxis *axis : qAsConst(rightAxes))
        axis->setRange(freshRange);
    return true;
}

void GraphStack::rebuild(const QListWidget *list, int rowCount,
                         const std::function<void(int)> &addGraph)
{
    clear();
    for (int row = 0; row < list->count() && row < rowCount; ++row) {
        if (list->item(row)->checkState() == Qt::Checked)
            addGraph(row);
    }
}

void GraphStack::toggle(const QListWidget *list, int row, int rowCount,
                        const std::function<void(int)> &addGraph)
{
    const bool valid = row >= 0 && row < rowCount && row < list->count();
    if (!valid || !applyCheck(row, list->item(row)->checkState() == Qt::Checked, addGraph))
        rebuild(list, rowCount, addGraph);
}
