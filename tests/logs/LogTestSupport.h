#pragma once

#include "LogVariable.h"

// A variable from its samples, named by one of the LogNames constants.
inline LogVariable var(const char *name, QVector<double> times, QVector<double> values)
{
    LogVariable v;
    v.name = QString::fromUtf8(name);
    v.times = std::move(times);
    v.values = std::move(values);
    return v;
}
