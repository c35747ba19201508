#pragma once

#include <QThread>

#include <atomic>

// The joystick bridge's worker thread. Its stop flag is the only state it shares with
// the GUI thread: set once by the close handler, polled by the worker.
class SimThread : public QThread
{
    Q_OBJECT
public:
    explicit SimThread(QObject *parent = nullptr);

    void requestStop() { stopFlag.store(true); }
    bool stopRequested() const { return stopFlag.load(); }

signals:
    // A bridge status code, emitted on the worker thread.
    void statusReported(int status);

protected:
    void run() override;

private:
    std::atomic<bool> stopFlag {false};
};
