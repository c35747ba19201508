// Flight-log parser speed and peak memory on an hour-long log and on a flood of the
// longest records, against the time to merely read the file.
#include "LogGenerator.h"
#include "LogReader.h"
#include "ReferenceParser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer owns malloc: no heap accounting in such a build.
#define KELO_COUNT_HEAP 0
#else
#define KELO_COUNT_HEAP 1
// Every heap block passes through these, so the peak of live heap bytes during one parse
// can be read exactly (QVector and QString allocate with malloc/realloc).
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

namespace {
std::atomic<long long> liveBytes {0};
std::atomic<long long> peakBytes {0};

void grew(long long delta)
{
    const long long now = liveBytes += delta;
    long long peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) { }
}
} // namespace

extern "C" void *malloc(size_t n)
{
    void *p = __libc_malloc(n);
    if (p)
        grew(static_cast<long long>(malloc_usable_size(p)));
    return p;
}
extern "C" void *calloc(size_t n, size_t m)
{
    void *p = __libc_calloc(n, m);
    if (p)
        grew(static_cast<long long>(malloc_usable_size(p)));
    return p;
}
extern "C" void *realloc(void *old, size_t n)
{
    const long long before = old ? static_cast<long long>(malloc_usable_size(old)) : 0;
    void *p = __libc_realloc(old, n);
    if (p)
        grew(static_cast<long long>(malloc_usable_size(p)) - before);
    else if (n == 0)
        grew(-before);
    return p;
}
extern "C" void free(void *p)
{
    if (p)
        grew(-static_cast<long long>(malloc_usable_size(p)));
    __libc_free(p);
}

#endif

namespace {

// Peak of live heap bytes above the level at the start of one parse; -1 when not counted.
long long parsePeakBytes(const QByteArray &data)
{
    QVector<LogVariable> vars;
    QString error;
#if KELO_COUNT_HEAP
    const long long base = liveBytes.load();
    peakBytes = base;
    LogReader::parseData(data, vars, error);
    return peakBytes.load() - base;
#else
    LogReader::parseData(data, vars, error);
    return -1;
#endif
}

template<typename F> double bestMs(int runs, F &&f)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

qint64 sampleCount(const QVector<LogVariable> &vars)
{
    qint64 n = 0;
    for (const LogVariable &v : vars)
        n += v.values.size();
    return n;
}

void measure(const char *title, const QByteArray &data, bool withReference)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.log"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
            std::printf("cannot write %s\n", qPrintable(path));
            return;
        }
    }
    const double readMs = bestMs(10, [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        Q_UNUSED(bytes);
    });
    QVector<LogVariable> vars;
    const double parseMs = bestMs(10, [&] {
        QVector<LogVariable> v;
        QString error;
        LogReader::parseData(data, v, error);
        vars = v;
    });
    const double loadMs = bestMs(10, [&] {
        QVector<LogVariable> v;
        QString error;
        LogReader::load(path, v, error);
    });
    const qint64 samples = sampleCount(vars);
    const double resultMb = samples * 16.0 / 1e6;
    const long long peak = parsePeakBytes(data);

    std::printf("%s\n", title);
    std::printf("  file %.1f MB, %d variables, %.2f M samples (16 B/sample = %.1f MB)\n",
                data.size() / 1e6, vars.size(), samples / 1e6, resultMb);
    std::printf("  read file only      %8.1f ms\n", readMs);
    std::printf("  parseData           %8.1f ms   (goal <= 100 ms)  %.1f x read\n", parseMs,
                parseMs / readMs);
    std::printf("  load (read + parse) %8.1f ms                      %.1f x read\n", loadMs,
                loadMs / readMs);
    if (peak >= 0) {
        std::printf("  peak heap of parse  %8.1f MB = %.2f x 16 B/sample (goal <= 1.5)\n",
                    peak / 1e6, peak / (samples * 16.0));
    } else {
        std::printf("  peak heap of parse: not counted in a sanitizer build\n");
    }
    if (withReference) {
        const double refMs = bestMs(1, [&] { ReferenceParser::parse(data); });
        std::printf("  plain parser (map lookup + name per sample) %8.1f ms = %.1f x parseData\n",
                    refMs, refMs / parseMs);
    }
}

} // namespace

int main()
{
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    std::printf("(optimised build)\n");
#else
    std::printf("(debug or sanitizer build: figures are not comparable with the goals)\n");
#endif
    measure("Hour-long flight log (type 1 and 13 at 50 Hz, ESC/RX/TX at 10 Hz, GPS at 5 Hz)",
            LogGenerator::flight(3600), true);
    measure("Flood of 255-byte type-1 records, 19.5 MB", LogGenerator::type1Flood(19500000), false);
    return 0;
}
