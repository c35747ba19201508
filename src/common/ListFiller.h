#pragma once

#include <QObject>

#include <functional>

class QTimer;

// Fills a long list from the radio without holding the window: step(i) runs for i from 0
// to count - 1, the first slice at once and the rest one slice per turn of the event
// loop. A slice is at least MinSlice steps (so a short list is filled before start()
// returns) and then runs on while it has taken less than SliceMs.
class ListFiller : public QObject
{
    Q_OBJECT
public:
    explicit ListFiller(QObject *parent = nullptr);

    static constexpr int MinSlice = 200;
    static constexpr int SliceMs = 20;

    // Cancels a fill under way and starts a new one; done runs after the last step.
    void start(int count, std::function<void(int)> step, std::function<void()> done = {});
    // Stops the fill under way; its remaining steps and done never run.
    void cancel();
    bool isRunning() const { return next < count; }

private:
    void runSlice();

    QTimer *timer;
    int count = 0;
    int next = 0;
    quint64 generation = 0;
    std::function<void(int)> step;
    std::function<void()> done;
};
