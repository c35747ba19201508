#pragma once

#include "JoystickBridge.h"
#include "RecordingJoystick.h"

#include <QByteArray>
#include <QMutex>
#include <QStringList>
#include <QVector>
#include <QWaitCondition>

#include <atomic>
#include <thread>

// Runs a bridge on its own thread, on 127.0.0.1 with the recording joystick, and keeps
// every status and console line it gives.
class BridgeHarness
{
public:
    explicit BridgeHarness(JoystickBridgeConfig config = shortWaits());
    ~BridgeHarness();

    static JoystickBridgeConfig shortWaits();

    void start();
    void requestStop() { stop.store(true); }
    bool waitFinished(int timeoutMs);
    bool finished() const { return done.load(); }

    // Waits until status has been reported count times in all.
    bool waitForStatus(int status, int count, int timeoutMs);
    bool waitForLine(const QString &line, int timeoutMs);
    // Waits until the listener is bound; 0 when it never is.
    quint16 waitForPort(int timeoutMs);

    QVector<int> statuses() const;
    QVector<qint64> statusTimesMs() const;
    QStringList lines() const;
    int statusCount(int status) const;
    std::thread::native_handle_type threadHandle() { return thread.native_handle(); }

    RecordingJoystick joystick;
    std::atomic<bool> stop {false};

private:
    JoystickBridgeConfig config;
    JoystickBridge bridge;
    std::thread thread;
    std::atomic<bool> done {false};
    mutable QMutex mutex;
    QWaitCondition changed;
    QVector<int> codes;
    QVector<qint64> codeTimes;
    QStringList printed;
};

// A radio of the test: a blocking TCP client on loopback.
class LoopbackClient
{
public:
    ~LoopbackClient();
    // Creates the socket ahead of connectTo, which then needs no new descriptor.
    bool openSocket();
    bool connectTo(quint16 port);
    bool send(const QByteArray &bytes);
    // Sends the bytes in pieces of the given sizes, pausing between them so that they
    // arrive as separate reads.
    bool sendChunks(const QByteArray &bytes, const QVector<int> &sizes, int pauseMs);
    // True when the peer has closed the connection within timeoutMs.
    bool waitClosedByPeer(int timeoutMs);
    void close();

private:
    int fd = -1;
};

QByteArray numberedPacket(int i);
QByteArray reportFor(const QByteArray &packet);
