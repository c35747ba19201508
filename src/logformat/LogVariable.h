#pragma once

#include <QString>
#include <QVector>

// One named time series of a flight log.
struct LogVariable
{
    QString name; // display name with unit, unique within one log, the lookup key
    QVector<double> times; // seconds, in file order (may share data with other series)
    QVector<double> values; // physical units, one per entry of times

    // Set by the parser once per log. The file format does not order its time stamps:
    // when false, times is not ascending and must not be handed to a plot or a
    // binary search as already sorted.
    bool timesAscending = true;
    // False when values holds NaN. This happens only in "Varnek Pitch [°]", whose
    // sample is NaN for a record whose quaternion is all zero (0/0 inside asin); roll
    // and yaw are 0 for such a record, and the body rates treat it as the identity.
    // Skip non-finite samples when taking min/max or interpolating.
    bool allFinite = true;
};
