#include "UsageQuota.h"

#include "Theme.h"

#include <QCoreApplication>

namespace UsageQuota {

static const char *const BarStyle
    = "QProgressBar { background: %2; border: none; border-radius: 2px; } "
      "QProgressBar::chunk { background: %1; border-radius: 2px; }";

BarView barView(int used, int limit, const QString &name, const QLocale &locale)
{
    BarView view;
    if (limit < 1) {
        view.styleSheet
            = QString::fromLatin1(BarStyle).arg(QLatin1String("#3a3d44"), Theme::Window);
        view.text = QCoreApplication::translate("AiAssistantWidget", "%1: %2 tokens (unlimited)")
                        .arg(name, locale.toString(used));
        return view;
    }
    // Bounded as a double: a huge or negative figure must not overflow the int.
    view.value = int(qBound(0.0, double(used) * 100.0 / double(limit), 100.0));
    const char *colour = view.value < 60 ? "#4b52b8" : view.value < 85 ? "#f5a623" : "#f5566a";
    view.styleSheet = QString::fromLatin1(BarStyle).arg(QLatin1String(colour), Theme::Window);
    view.text = QCoreApplication::translate("AiAssistantWidget", "%1: %2 / %3 tokens (%4%)")
                    .arg(name, locale.toString(used), locale.toString(limit))
                    .arg(view.value);
    return view;
}

QString countdownText(qint64 msLeft)
{
    const qint64 minutes = (msLeft + 59999) / 60000;
    return QCoreApplication::translate("AiAssistantWidget",
                                       "4-hour limit reached - resets in %1:%2")
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString planBadgeText(const QString &plan, const QString &current)
{
    if (plan.isEmpty())
        return current;
    return plan.left(1).toUpper() + plan.mid(1);
}

} // namespace UsageQuota
