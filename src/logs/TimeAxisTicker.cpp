#include "TimeAxisTicker.h"

#include <cmath>

QString TimeAxisTicker::getTickLabel(double tick, const QLocale &, QChar, int)
{
    if (!std::isfinite(tick))
        return QString();
    // Whole seconds in double: a zoomed-out axis may reach far beyond any integer type.
    const double s = std::floor(std::abs(tick) + 0.5);
    const double minutes = std::floor(s / 60);
    const int seconds = int(s - minutes * 60);
    return QStringLiteral("%1%2:%3")
        .arg(tick < 0 ? QStringLiteral("-") : QString())
        .arg(QString::number(minutes, 'f', 0))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}
