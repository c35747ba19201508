#include "RadioTabSupport.h"

#include <QLabel>
#include <QTimer>

namespace RadioTabSupport {

QLabel *createNotFoundLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QString::fromLatin1(NotFoundStyle));
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
