#include "RecordingJoystick.h"

#include <QDeadlineTimer>

#include <chrono>

bool RecordingJoystick::open(QString *error)
{
    QMutexLocker lock(&mutex);
    ++opens;
    if (failOpen.load()) {
        if (error)
            *error = openError;
        return false;
    }
    return true;
}

bool RecordingJoystick::createDevice(const VirtualJoystickIdentity &identity, QString *error)
{
    QMutexLocker lock(&mutex);
    ++creates;
    created = identity;
    if (failCreate.load()) {
        if (error)
            *error = QStringLiteral("refused");
        return false;
    }
    return true;
}

bool RecordingJoystick::sendReport(const quint8 *report, int size)
{
    const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    QMutexLocker lock(&mutex);
    recorded.append({QByteArray(reinterpret_cast<const char *>(report), size), now});
    count.store(recorded.size());
    reportArrived.wakeAll();
    return !failSend.load();
}

void RecordingJoystick::destroy()
{
    QMutexLocker lock(&mutex);
    ++destroys;
}

int RecordingJoystick::openCalls() const
{
    QMutexLocker lock(&mutex);
    return opens;
}

int RecordingJoystick::createCalls() const
{
    QMutexLocker lock(&mutex);
    return creates;
}

int RecordingJoystick::destroyCalls() const
{
    QMutexLocker lock(&mutex);
    return destroys;
}

VirtualJoystickIdentity RecordingJoystick::identity() const
{
    QMutexLocker lock(&mutex);
    return created;
}

QVector<RecordingJoystick::Report> RecordingJoystick::reports() const
{
    QMutexLocker lock(&mutex);
    return recorded;
}

bool RecordingJoystick::waitForReports(int n, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex);
    while (recorded.size() < n) {
        if (!reportArrived.wait(&mutex, deadline))
            return recorded.size() >= n;
    }
    return true;
}

void RecordingJoystick::clearReports()
{
    QMutexLocker lock(&mutex);
    recorded.clear();
    count.store(0);
}
