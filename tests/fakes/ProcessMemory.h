#pragma once

#include <QByteArray>
#include <QFile>

namespace ProcessMemory {

// A line of /proc/self/status in MB ("VmHWM", "VmRSS"); -1 when unknown.
inline long statusMb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key) && line.mid(int(qstrlen(key)), 1) == ":")
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').value(0).toLong() / 1024;
    }
    return -1;
}

// Peak resident memory of this process so far in MB, from the kernel; -1 when unknown.
inline long peakRssMb()
{
    return statusMb("VmHWM");
}

// Resident memory of this process now in MB; -1 when unknown.
inline long rssMb()
{
    return statusMb("VmRSS");
}

} // namespace ProcessMemory
