#pragma once

#include <QByteArray>
#include <QThread>

#include <atomic>
#include <memory>

class JoystickBridge;
class VirtualJoystick;

// The joystick bridge's worker thread. Its stop flag is the only state it shares with
// the GUI thread: set once by the close handler, polled by the worker.
class SimThread : public QThread
{
    Q_OBJECT
public:
    explicit SimThread(QObject *parent = nullptr);
    ~SimThread() override;

    void requestStop() { stopFlag.store(true); }
    bool stopRequested() const { return stopFlag.load(); }

    // The UHID device the worker opens, "/dev/uhid". Code-only, for tests that stand a
    // plain file in for the kernel's device; takes effect at start().
    void setDevicePath(const QByteArray &path) { devicePath = path; }

signals:
    // A bridge status code, emitted on the worker thread.
    void statusReported(int status);

protected:
    void run() override;

private:
    std::atomic<bool> stopFlag {false};
    QByteArray devicePath = QByteArrayLiteral("/dev/uhid");
    // Kept after run() ends: the device and the listener last as long as the process.
    std::unique_ptr<VirtualJoystick> joystick;
    std::unique_ptr<JoystickBridge> bridge;
};
