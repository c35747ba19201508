#pragma once

#include <QByteArray>
#include <QFile>

namespace ProcessMemory {

// Peak resident memory of this process so far in MB, from the kernel; -1 when unknown.
inline long peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
    }
    return -1;
}

} // namespace ProcessMemory
