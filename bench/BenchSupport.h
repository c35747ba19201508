#pragma once

// Timing and memory helpers the benchmarks share.
#include "ProcessMemory.h"

#include <QElapsedTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>

namespace BenchSupport {

struct Stats
{
    double median, best, p99, worst;
};

inline Stats stats(QVector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.first(), ms[ms.size() * 99 / 100], ms.last()};
}

template<typename F> double timeMs(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

// Runs f(0) .. f(runs - 1), each timed on its own.
template<typename F> Stats timeRuns(int runs, F &&f)
{
    QVector<double> ms;
    for (int i = 0; i < runs; ++i)
        ms << timeMs([&] { f(i); });
    return stats(ms);
}

using ProcessMemory::peakRssMb;

// Says whether the figures come from an optimised build; debugNote ends the line otherwise.
inline void printBuildKind(const char *debugNote = "figures are not comparable with the goals")
{
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    (void)debugNote;
    std::printf("(optimised build)\n");
#else
    std::printf("(debug or sanitizer build: %s)\n", debugNote);
#endif
}

} // namespace BenchSupport
