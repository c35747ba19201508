#include "ListFiller.h"

#include <QElapsedTimer>
#include <QTimer>

ListFiller::ListFiller(QObject *parent)
    : QObject(parent)
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, this, &ListFiller::runSlice);
}

void ListFiller::start(int total, std::function<void(int)> stepFn, std::function<void()> doneFn)
{
    cancel();
    count = qMax(total, 0);
    next = 0;
    step = std::move(stepFn);
    done = std::move(doneFn);
    runSlice();
}

void ListFiller::cancel()
{
    ++generation;
    timer->stop();
    next = count = 0;
    step = nullptr;
    done = nullptr;
}

void ListFiller::runSlice()
{
    QElapsedTimer clock;
    clock.start();
    const int sliceStart = next;
    const quint64 fill = generation;
    // A step may cancel or restart the fill (through the list's signals), replacing step while
    // it runs: the slice runs on its own copy and ends there.
    const auto current = step;
    while (next < count && (next - sliceStart < MinSlice || clock.elapsed() < SliceMs)) {
        const int index = next++;
        current(index);
        if (generation != fill)
            return;
    }
    if (next < count) {
        timer->start();
        return;
    }
    if (done) {
        const auto finish = std::move(done);
        done = nullptr;
        step = nullptr;
        finish();
    }
}
