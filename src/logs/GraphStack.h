#pragma once

#include <QVector>

#include <functional>

#include <qcustomplot.h>

class QListWidget;

// The graphs of a log tab's checked variables, one per value axis in list order: the plot's
// left axis for the first, one more on the right for each next. Knows which check changes
// touch only the last graph, so a tab can add or remove that one instead of rebuilding all.
class GraphStack
{
public:
    explicit GraphStack(QCustomPlot *plot);

    // The value axis for a graph of list row `row`, after the graphs there are.
    QCPAxis *axisFor(int row);
    // Removes every graph and the axes added for them.
    void clear();

    // A check change of row that touches only the last graph: a row below the others gets
    // its graph through addGraph (which calls axisFor), the last graph's row unchecked loses
    // it and its axis. The right axes are then given the range a rebuild gives a new axis,
    // which decides where a flat graph sits on rescaling. False, and nothing changed, when
    // the order of the axes changes: the caller makes all graphs again.
    bool applyCheck(int row, bool checked, const std::function<void(int)> &addGraph);

    // The graphs of list's checked rows below rowCount, made anew in list order.
    void rebuild(const QListWidget *list, int rowCount, const std::function<void(int)> &addGraph);
    // The check of list's row changed: only the last graph changes where that is all the
    // change does, else all are made anew.
    void toggle(const QListWidget *list, int row, int rowCount,
                const std::function<void(int)> &addGraph);

    bool isEmpty() const { return graphRows.isEmpty(); }
    // The list row of each graph, in graph order.
    const QVector<int> &rows() const { return graphRows; }
    // The axes on the right, in graph order after the first.
    const QVector<QCPAxis *> &extraAxes() const { return rightAxes; }

private:
    QCustomPlot *plot;
    QCPRange freshRange;
    QVector<QCPAxis *> rightAxes;
    QVector<int> graphRows;
};
