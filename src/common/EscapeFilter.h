#pragma once

#include <QObject>

class QEvent;

// Escape ends the program, so a widget where the user types takes it, as a key press and as a
// shortcut alike, and unsaved work is never lost. Every other key passes.
class EscapeFilter : public QObject
{
public:
    using QObject::QObject;

    // Filters the target's events, owned by the target.
    static void install(QObject *target);
    // Accepts an Escape key press or shortcut override and says so; leaves any other event.
    static bool consume(QEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
