#pragma once

#include <QColor>

class QCPAxis;
class QCustomPlot;

// The dark look the Log Viewer and the Replay tab share for their plots.
namespace PlotStyle {

// Grey of the unlabelled value axis and of the time axis lines.
inline const QColor AxisGrey(0x8c, 0x8c, 0x92);

// Dark background, grey time axis with labels in xAxisText, grey gridded value axis, dark legend.
void applyDarkTheme(QCustomPlot *plot, const QColor &xAxisText);

// Lines and labels of a value axis in the colour of its graph; the grid only on the first.
void styleAxis(QCPAxis *axis, const QColor &color, bool grid);

// The colour of the index-th variable, repeating every eight.
QColor colorForIndex(int index);

} // namespace PlotStyle
