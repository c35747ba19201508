#pragma once

#include "VirtualJoystick.h"

#include <QByteArray>
#include <QMutex>
#include <QVector>
#include <QWaitCondition>

#include <atomic>

// A virtual joystick that records what the bridge asks of it, with a time stamp per
// report, and can be told to fail any step. Safe to read while the bridge runs.
class RecordingJoystick : public VirtualJoystick
{
public:
    struct Report
    {
        QByteArray bytes;
        qint64 steadyNs = 0; // std::chrono::steady_clock
    };

    std::atomic<bool> failOpen {false};
    std::atomic<bool> failCreate {false};
    std::atomic<bool> failSend {false};
    QString openError = QStringLiteral("no such driver");

    bool open(QString *error) override;
    bool createDevice(const VirtualJoystickIdentity &identity, QString *error) override;
    bool sendReport(const quint8 *report, int size) override;
    void destroy() override;

    int openCalls() const;
    int createCalls() const;
    int destroyCalls() const;
    VirtualJoystickIdentity identity() const;
    QVector<Report> reports() const;
    int reportCount() const { return count.load(); }
    // True once at least n reports (sent or refused) have come in.
    bool waitForReports(int n, int timeoutMs) const;
    void clearReports();

private:
    mutable QMutex mutex;
    mutable QWaitCondition reportArrived;
    int opens = 0;
    int creates = 0;
    int destroys = 0;
    VirtualJoystickIdentity created;
    QVector<Report> recorded;
    std::atomic<int> count {0};
};
