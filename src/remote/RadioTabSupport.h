#pragma once

#include <QString>

#include <functional>

class QLabel;
class QObject;
class QWidget;

// What the Image, Screen and Applications tabs share besides the radio link.
namespace RadioTabSupport {

inline constexpr int ListRetryDelayMs = 1000;
inline constexpr char NotFoundStyle[] = "color: #b0b0b6; font-size: 14pt;";

// The tab's no-radio notice: centred, word-wrapped, plain text, grey 14 pt.
QLabel *createNotFoundLabel(const QString &text, QWidget *parent);

// Repeats a failed list request once, ListRetryDelayMs later, bound to the tab so it
// dies with it. retry runs only when stillWanted() holds then (a radio address is
// still known, the list is still not loaded, ...).
void retryLater(QObject *tab, std::function<bool()> stillWanted, std::function<void()> retry);

} // namespace RadioTabSupport
