#pragma once

#include "LogVariable.h"

#include <QByteArray>
#include <QVector>

// The record loop written the plain way (a name lookup and a name per sample), to check
// the fast parser against and to time it in the benchmark.
namespace ReferenceParser {
QVector<LogVariable> parse(const QByteArray &data);
}
