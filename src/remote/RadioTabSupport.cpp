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

void retryLater(QObject *tab, std::function<bool()> stillWanted, std::function<void()> retry)
{
    QTimer::singleShot(ListRetryDelayMs, tab,
                       [stillWanted = std::move(stillWanted), retry = std::move(retry)]() {
                           if (stillWanted())
                               retry();
                       });
}

} // namespace RadioTabSupport
