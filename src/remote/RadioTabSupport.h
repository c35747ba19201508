#pragma once

#include <QString>

class QLabel;
class QObject;
class QTimer;
class QWidget;

// What the Image, Screen and Applications tabs share besides the radio link.
namespace RadioTabSupport {

inline constexpr int ListRetryDelayMs = 1000;

// The tab's no-radio notice: centred, word-wrapped, plain text, grey 14 pt.
QLabel *createNotFoundLabel(const QString &text, QWidget *parent);

// The tab's one timer that repeats a failed list request, ListRetryDelayMs after the
// failure, single-shot and owned by the tab. One timer, restarted by every failure and
// stopped by every new request, so failures can never pile up chains of retries.
QTimer *createListRetryTimer(QObject *tab);

} // namespace RadioTabSupport
