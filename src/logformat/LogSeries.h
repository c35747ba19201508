#pragma once

#include "LogVariable.h"

#include <QVector>

// The lookups into a log's time series that both log tabs make.
namespace LogSeries {

// The sample index shown at key: the nearest, the later one on a tie; -1 without samples.
// times need not be ascending when ascending is false (then searched in full).
int nearestIndex(const QVector<double> &times, double key, bool ascending);
inline int nearestIndex(const LogVariable &v, double key)
{
    return nearestIndex(v.times, key, v.timesAscending);
}

// v's value at t, interpolated linearly between its samples, whose times must ascend; 0
// without samples, the first or last value outside their span. At a stamp two samples share
// the earlier one reads, and later times interpolate from the later one.
double valueAt(const LogVariable &v, double t);

// vars with the series whose times go backwards put in time order, stable, so equal stamps
// keep their file order. Series sharing their times share one order and one sorted copy.
QVector<LogVariable> inTimeOrder(const QVector<LogVariable> &vars);

} // namespace LogSeries
