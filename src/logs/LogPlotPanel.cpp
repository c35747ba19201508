#include "LogPlotPanel.h"

#include "LogGraph.h"
#include "LogNames.h"
#include "MultiAxisPlot.h"
#include "PlotStyle.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <qcustomplot.h>

namespace {

bool isChannelLabel(const QString &label)
{
    return label.startsWith(QLatin1String("Channel ")) && label.endsWith(QLatin1String(" [%]"));
}

} // namespace

LogPlotPanel::LogPlotPanel(MultiAxisPlot *plot, QListWidget *variableList,
                           const QColor &cursorColor, bool selectableGraphs, QObject *parent)
    : QObject(parent)
    , plotWidget(plot)
    , variableList(variableList)
    , selectableGraphs(selectableGraphs)
    , graphs(std::make_unique<GraphStack>(plot))
{
    // The cursor lives on the plot's buffered cursor layer, so moving it repaints only it.
    cursorLine = new QCPItemStraightLine(plot);
    cursorLine->setPen(QPen(cursorColor, 1, Qt::DashLine));
    for (QCPItemPosition *point : {cursorLine->point1, cursorLine->point2}) {
        point->setTypeX(QCPItemPosition::ptPlotCoords);
        point->setTypeY(QCPItemPosition::ptAxisRectRatio);
    }
    cursorLine->point1->setCoords(0, 0);
    cursorLine->point2->setCoords(0, 1);
    cursorLine->setLayer(plot->cursorLayer());
    cursorLine->setSelectable(false);
    cursorLine->setVisible(false);

    connect(variableList, &QListWidget::itemChanged, this, &LogPlotPanel::onItemChanged);
}

LogPlotPanel::~LogPlotPanel() = default;

QListWidget *LogPlotPanel::createVariableList(QWidget *parent)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(QStringLiteral("variableList"));
    list->setSpacing(3);
    QFont listFont = list->font();
    listFont.setPointSize(listFont.pointSize() + 2);
    list->setFont(listFont);
    return list;
}

bool LogPlotPanel::isListed(const QString &name)
{
    return name != QLatin1String(LogNames::VarnekQuatW)
        && name != QLatin1String(LogNames::VarnekQuatX)
        && name != QLatin1String(LogNames::VarnekQuatY)
        && name != QLatin1String(LogNames::VarnekQuatZ);
}

void LogPlotPanel::setVariables(const QVector<LogVariable> &vars)
{
    plotSeries.clear();
    listed.clear();
    for (const LogVariable &v : vars) {
        if (isListed(v.name))
            listed.append(v);
    }
    const QSignalBlocker blocker(variableList);
    variableList->clear();
    for (const LogVariable &v : qAsConst(listed)) {
        auto *item = new QListWidgetItem(v.name, variableList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

QSharedPointer<const PlotSeries> LogPlotPanel::seriesFor(int row)
{
    if (plotSeries.size() != listed.size())
        plotSeries.resize(listed.size());
    if (!plotSeries[row])
        plotSeries[row] = PlotSeries::of(listed[row]);
    return plotSeries[row];
}

void LogPlotPanel::onItemChanged(QListWidgetItem *item)
{
    graphs->toggle(variableList, variableList->row(item), listed.size(),
                   [this](int row) { addGraphFor(row); });
    finishGraphs();
}

void LogPlotPanel::rebuildGraphs()
{
    graphs->rebuild(variableList, listed.size(), [this](int row) { addGraphFor(row); });
    finishGraphs();
}

void LogPlotPanel::addGraphFor(int row)
{
    QCPAxis *axis = graphs->axisFor(row);
    const LogVariable &v = listed[row];
    const QColor color = PlotStyle::colorForIndex(row);
    axis->setLabel(v.name);
    PlotStyle::styleAxis(axis, color, axis == plotWidget->yAxis);
    LogGraph *graph = PlotStyle::addVariableGraph(plotWidget, axis, seriesFor(row), v.name, color);
    if (selectableGraphs) {
        graph->setSelectable(QCP::stWhole);
        graph->selectionDecorator()->setPen(QPen(color.lighter(150), 3));
    } else {
        graph->setSelectable(QCP::stNone);
        graph->setSelectionDecorator(nullptr);
    }
}

void LogPlotPanel::finishGraphs()
{
    const bool any = !graphs->isEmpty();
    if (!any) {
        plotWidget->yAxis->setLabel(QString());
        PlotStyle::styleAxis(plotWidget->yAxis, PlotStyle::AxisGrey, true);
    }
    plotWidget->legend->setVisible(any);
    fitRanges();
    emit graphsChanged();
    plotWidget->replot(QCustomPlot::rpRefreshHint);
}

void LogPlotPanel::fitRanges()
{
    plotWidget->rescaleAxes();
    QVector<QCPAxis *> valueAxes {plotWidget->yAxis};
    valueAxes += graphs->extraAxes();
    for (QCPAxis *axis : qAsConst(valueAxes)) {
        if (isChannelLabel(axis->label()))
            axis->setRange(-100, 100);
    }
}

void LogPlotPanel::placeCursor(double key)
{
    cursorLine->point1->setCoords(key, 0);
    cursorLine->point2->setCoords(key, 1);
    cursorLine->setVisible(true);
}

void LogPlotPanel::hideCursor()
{
    cursorLine->setVisible(false);
}
