#include "TimeAxisTicker.h"

#include <QFontMetrics>

#include <cmath>

int TimeAxisTicker::tickCountForWidth(int pixels, const QFont &labelFont)
{
    // A readable step may come out up to a third smaller than asked for, which gives up to
    // 1.5 times the count plus one labels; each needs its text and a gap of two digits.
    const QFontMetrics metrics(labelFont);
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("-00:00"))
        + metrics.horizontalAdvance(QStringLiteral("00"));
    const int fitting = pixels / qMax(1, labelWidth);
    return qBound(1, int((fitting - 1) / 1.5), 5);
}

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
