#pragma once

#include <qcustomplot.h>

// Labels a time axis in seconds as minutes:seconds ("1:15", "-0:05").
class TimeAxisTicker : public QCPAxisTicker
{
public:
    // The tick count to ask for on an axis this many pixels wide, so that the labels stand
    // apart: 5, the base class's default, where there is room.
    static int tickCountForWidth(int pixels, const QFont &labelFont);

    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override;
};
