#pragma once

#include <qcustomplot.h>

// Labels a time axis in seconds as minutes:seconds ("1:15", "-0:05").
class TimeAxisTicker : public QCPAxisTicker
{
public:
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override;
};
