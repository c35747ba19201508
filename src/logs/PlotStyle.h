#pragma once

#include "Theme.h"

#include <QColor>
#include <QSharedPointer>

#include <qcustomplot.h>

class LogGraph;
class PlotSeries;

// The dark look the Log Viewer and the Replay tab share for their plots.
namespace PlotStyle {

// Grey of the unlabelled value axis and of the time axis lines.
inline const QColor AxisGrey(Theme::MutedText);

// Dark background, grey time axis with labels in xAxisText, grey gridded value axis, dark legend.
void applyDarkTheme(QCustomPlot *plot, const QColor &xAxisText);

// Lines and labels of a value axis in the colour of its graph; the grid only on the first.
void styleAxis(QCPAxis *axis, const QColor &color, bool grid);

// The colour of the index-th variable, repeating every eight.
QColor colorForIndex(int index);

// A graph of a variable on (xAxis, valueAxis) as both tabs draw it: the shared series,
// adaptive sampling, no antialiasing, a pen of width 1.5 in the colour.
LogGraph *addVariableGraph(QCustomPlot *plot, QCPAxis *valueAxis,
                           const QSharedPointer<const PlotSeries> &series, const QString &name,
                           const QColor &color);

// A value axis on the right of the axis rect, on the layers of the plot's own axes (its
// line and labels over the graphs, its grid under them), so that the graphs lie on their
// layer one after another.
QCPAxis *addValueAxis(QCustomPlot *plot);

// The range a newly added value axis starts with. A rescale of flat data keeps its width.
QCPRange freshAxisRange(QCustomPlot *plot);

} // namespace PlotStyle
