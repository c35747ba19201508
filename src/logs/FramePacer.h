#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QWindow;

// Caps how often a window renders. Qt 3D's Scene3D asks its window for a new frame after
// every frame, so without a cap the replay's view renders as fast as the machine allows,
// changed or not: on a software renderer that takes several cores. The pacer lets one
// update request through per interval and holds the others until the interval is over,
// so what changed is still drawn, at most one interval late. Input to the window (the
// user moving the camera) lifts the cap to the interactive interval for a moment.
class FramePacer : public QObject
{
    Q_OBJECT
public:
    static constexpr int InteractiveIntervalMs = 16; // 60 frames a second
    static constexpr int InteractionHoldMs = 500;

    FramePacer(QWindow *window, int intervalMs, QObject *parent = nullptr);

    void setInterval(int ms);
    int interval() const { return intervalMs; }
    // The interval in force now: the interactive one shortly after input.
    int currentInterval() const;

    // For tests: the clock in milliseconds.
    void setClock(std::function<qint64()> clock);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void release();

    QPointer<QWindow> window;
    int intervalMs;
    std::function<qint64()> now;
    QElapsedTimer elapsed;
    qint64 lastFrameMs = -1;
    qint64 lastInputMs = -1;
    bool held = false;
    QTimer releaseTimer;
};
