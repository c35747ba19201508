#include "FramePacer.h"

#include <QEvent>
#include <QWindow>

#include <algorithm>

FramePacer::FramePacer(QWindow *w, int ms, QObject *parent)
    : QObject(parent)
    , window(w)
    , intervalMs(ms)
{
    elapsed.start();
    now = [this] {
        return elapsed.elapsed();
    };
    releaseTimer.setSingleShot(true);
    releaseTimer.setTimerType(Qt::PreciseTimer);
    connect(&releaseTimer, &QTimer::timeout, this, &FramePacer::release);
    if (window)
        window->installEventFilter(this);
}

void FramePacer::setClock(std::function<qint64()> clock)
{
    now = std::move(clock);
}

void FramePacer::setInterval(int ms)
{
    intervalMs = ms;
}

int FramePacer::currentInterval() const
{
    const bool interacting = lastInputMs >= 0 && now() - lastInputMs < InteractionHoldMs;
    return interacting ? std::min(intervalMs, InteractiveIntervalMs) : intervalMs;
}

bool FramePacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        lastInputMs = now();
        return false;
    case QEvent::UpdateRequest:
        break;
    default:
        return false;
    }
    const qint64 t = now();
    const qint64 wait = lastFrameMs < 0 ? 0 : lastFrameMs + currentInterval() - t;
    if (wait <= 0) {
        lastFrameMs = t;
        held = false;
        return false;
    }
    held = true;
    if (!releaseTimer.isActive())
        releaseTimer.start(int(wait));
    return true;
}

void FramePacer::release()
{
    if (!held || !window)
        return;
    const qint64 wait = lastFrameMs + currentInterval() - now();
    if (wait > 0) {
        releaseTimer.start(int(wait));
        return;
    }
    window->requestUpdate();
}
