#pragma once

#include "GraphStack.h"
#include "LogVariable.h"

#include <QColor>
#include <QObject>
#include <QSharedPointer>
#include <QVector>

#include <memory>

class MultiAxisPlot;
class PlotSeries;
class QCPItemStraightLine;
class QListWidget;
class QListWidgetItem;
class QWidget;

// The plot half of a log tab: the list of a log's variables to check, one graph per checked
// variable (GraphStack), the plot data made once per variable, and a dashed cursor line.
// Which variables are listed and the range of a channel's axis are decided here alone.
class LogPlotPanel : public QObject
{
    Q_OBJECT
public:
    // The tab has set the plot up; the cursor line goes on its cursor layer. The list comes
    // from createVariableList. Graphs the user may select show a wider, lighter line while
    // selected.
    LogPlotPanel(MultiAxisPlot *plot, QListWidget *variableList, const QColor &cursorColor,
                 bool selectableGraphs, QObject *parent);
    ~LogPlotPanel() override;

    // Quaternion components are never listed; the derived angles and rates are.
    static bool isListed(const QString &name);
    // The list of a tab's variables ("variableList"), made where the tab's layout wants it.
    static QListWidget *createVariableList(QWidget *parent);

    QListWidget *list() const { return variableList; }
    MultiAxisPlot *plot() const { return plotWidget; }
    QCPItemStraightLine *cursor() const { return cursorLine; }

    // Lists vars' listed variables, all unchecked; the graphs stay until rebuildGraphs.
    void setVariables(const QVector<LogVariable> &vars);
    // The listed variables, by list row.
    const QVector<LogVariable> &variables() const { return listed; }
    // The list row of each graph, in graph order.
    const QVector<int> &graphRows() const { return graphs->rows(); }
    bool hasGraphs() const { return !graphs->isEmpty(); }
    // The plot data of a list row's variable, made on first use.
    QSharedPointer<const PlotSeries> seriesFor(int row);

    // One graph per checked variable, made anew.
    void rebuildGraphs();
    // All graphs in view, a channel's axis at -100..100.
    void fitRanges();
    // The cursor line at key, shown; the caller replots.
    void placeCursor(double key);
    void hideCursor();

signals:
    // The graphs changed and the ranges are fitted; the plot is replotted right after.
    void graphsChanged();

private:
    void onItemChanged(QListWidgetItem *item);
    void addGraphFor(int row);
    void finishGraphs();

    MultiAxisPlot *plotWidget = nullptr;
    QListWidget *variableList = nullptr;
    QCPItemStraightLine *cursorLine = nullptr;
    bool selectableGraphs = false;
    std::unique_ptr<GraphStack> graphs; // the graphs and the right axes made for them
    QVector<LogVariable> listed;
    QVector<QSharedPointer<const PlotSeries>> plotSeries; // by list row, made on first use
};
