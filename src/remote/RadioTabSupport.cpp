#include "RadioTabSupport.h"

#include "Theme.h"

#include <QLabel>
#include <QTimer>

namespace RadioTabSupport {

QLabel *createNotFoundLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QStringLiteral("color: %1; font-size: 14pt;").arg(Theme::SecondaryText));
    return label;
}

QTimer *createListRetryTimer(QObject *tab)
{
    auto *timer = new QTimer(tab);
    timer->setObjectName(QStringLiteral("listRetryTimer"));
    timer->setSingleShot(true);
    timer->setInterval(ListRetryDelayMs);
    return timer;
}

} // namespace RadioTabSupport
