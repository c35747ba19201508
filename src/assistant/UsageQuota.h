#pragma once

#include <QLocale>
#include <QString>

// What the quota strip shows for a usage answer, without a widget.
namespace UsageQuota {

// The countdown is refreshed this often; a refetch after an expired reset time waits at least
// this long after the previous one (a computer clock ahead of the service's would otherwise
// ask again at once, over and over).
constexpr int CountdownPeriodMs = 30000;

struct BarView
{
    int value = 0; // 0-100
    QString styleSheet;
    QString text;
};

// One bar and its line: "%1: %2 / %3 tokens (%4%)", or "(unlimited)" for a limit below 1;
// the chunk blue below 60 %, orange below 85 %, red from 85 %. Numbers in the locale's digits.
BarView barView(int used, int limit, const QString &name, const QLocale &locale);

// "4-hour limit reached - resets in H:MM", any started minute counting as a whole one.
QString countdownText(qint64 msLeft);

// The plan with its first character upper-cased; an empty plan keeps the current badge text.
QString planBadgeText(const QString &plan, const QString &current);

} // namespace UsageQuota
