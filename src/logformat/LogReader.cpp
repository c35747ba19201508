#include "LogReader.h"

#include "LogNames.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(Q_OS_UNIX)
#include <cerrno>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Every variable the format can produce has a fixed slot, so the record loop indexes
// arrays instead of looking names up per sample.
constexpr int MaxWords = 127; // type-1 payload of 255 bytes
constexpr int SlotTx = MaxWords;
constexpr int SlotRx = SlotTx + 1;
constexpr int RxCount = 5;
constexpr int SlotEsc = SlotRx + RxCount;
constexpr int EscCount = 10;
constexpr int SlotGps = SlotEsc + EscCount;
constexpr int GpsCount = 6;
constexpr int SlotFc = SlotGps + GpsCount;
constexpr int FcCount = 12;
constexpr int SlotRate = SlotFc + FcCount;
constexpr int RateCount = 3;
constexpr int SlotCount = SlotRate + RateCount;

constexpr int FixedWords = 19;
constexpr int MaxSamples = (std::numeric_limits<int>::max() - 64) / int(sizeof(double));
constexpr int MinLenTx = 1;
constexpr int MinLenRx = 9;
constexpr int MinLenEsc = 18;
constexpr int MinLenGps = 16;
constexpr int MinLenFc = 15;

const char *const fixedWordNames[FixedWords]
    = {"Sensor X",  "Sensor Y",  "Stick LV",  "Stick LH",  "Stick RV",    "Stick RH",  "Switch LD",
       "Switch LU", "Switch LL", "Switch LR", "Switch RL", "Switch RR",   "Switch RD", "Switch RU",
       "Pot TL",    "Pot TR",    "Pot BL",    "Pot BR",    "Light Sensor"};

const char *const otherNames[SlotCount - SlotTx] = {"TX Signal [%]",
                                                    "RX BEC Volt [V]",
                                                    "RX Alarm",
                                                    "RX Signal [%]",
                                                    "RX TX Power [%]",
                                                    "RX Antenna",
                                                    LogNames::EscBattVolt,
                                                    LogNames::EscBattCurr,
                                                    "ESC BEC Volt [V]",
                                                    "ESC BEC Curr [A]",
                                                    "ESC FET Temp [C]",
                                                    "ESC Capacity [mAh]",
                                                    LogNames::EscRpm,
                                                    "ESC Input [%]",
                                                    "ESC Output [%]",
                                                    "ESC Alarm",
                                                    "GPS Lon",
                                                    "GPS Lat",
                                                    "GPS Speed",
                                                    "GPS Alt [m]",
                                                    "GPS Heading",
                                                    "GPS Sats",
                                                    "Varnek Bank",
                                                    LogNames::VarnekVibLevel,
                                                    "Varnek Alarm",
                                                    LogNames::VarnekRpm,
                                                    LogNames::VarnekAlt,
                                                    LogNames::VarnekPitch,
                                                    LogNames::VarnekRoll,
                                                    LogNames::VarnekYaw,
                                                    LogNames::VarnekQuatW,
                                                    LogNames::VarnekQuatX,
                                                    LogNames::VarnekQuatY,
                                                    LogNames::VarnekQuatZ,
                                                    LogNames::VarnekElevator,
                                                    LogNames::VarnekAileron,
                                                    LogNames::VarnekRudder};

QString slotName(int slot)
{
    if (slot < FixedWords)
        return QString::fromLatin1(fixedWordNames[slot]) + QLatin1String(" [%]");
    if (slot < MaxWords)
        return QLatin1String("Channel ") + QString::number(slot - (FixedWords - 1))
            + QLatin1String(" [%]");
    return QString::fromUtf8(otherNames[slot - SlotTx]);
}

inline unsigned u16(const uchar *p)
{
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}
inline int i16(const uchar *p)
{
    return int(qint16(quint16(u16(p))));
}
inline quint32 u32(const uchar *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
inline qint32 i32(const uchar *p)
{
    return qint32(u32(p));
}

struct Quat
{
    double w, x, y, z;
};

bool isNull(double w, double x, double y, double z)
{
    return std::sqrt(w * w + x * x + y * y + z * z) < 1e-12;
}

Quat normalised(double w, double x, double y, double z)
{
    if (isNull(w, x, y, z))
        return {1.0, 0.0, 0.0, 0.0};
    const double n = std::sqrt(w * w + x * x + y * y + z * z);
    return {w / n, x / n, y / n, z / n};
}

// Memory that is about to be written in full: taking all its pages from the kernel in one
// request costs about a third less than a page fault per page, which is much of the parse
// of a long log in a fresh process. Small blocks are left alone.
void populate(void *memory, size_t bytes)
{
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
    constexpr uintptr_t Page = 4096;
    if (bytes < 16 * Page)
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(memory) + Page - 1) & ~(Page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(memory) + bytes) & ~(Page - 1);
    // Older kernels refuse the request; the pages then come one fault at a time as before.
    // A megabyte per request: each holds the process's memory map, which the window's own
    // allocations wait for.
    constexpr uintptr_t Step = uintptr_t(1) << 20;
    for (uintptr_t at = begin; at < end; at += Step)
        madvise(reinterpret_cast<void *>(at), std::min(Step, end - at), MADV_POPULATE_WRITE);
#else
    (void)memory;
    (void)bytes;
#endif
}

// Whether the kernel gives huge pages to memory that asks for them: its transparent huge
// pages in "madvise" mode. In "always" mode every large block gets them anyway, in "never"
// mode none does.
bool hugePagesOnRequest()
{
#if defined(__linux__)
    static const bool onRequest = [] {
        QFile mode(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
        return mode.open(QIODevice::ReadOnly) && mode.read(128).contains("[madvise]");
    }();
    return onRequest;
#else
    return false;
#endif
}

// Memory of a long log's buffer or series, before anything touched it: asks for 2 MiB pages
// for the whole 2 MiB blocks inside it. On a virtual machine each fresh 4 KiB page can cost
// tens of microseconds, which made page faults most of the time a long log takes; a huge page
// costs about as much as one of them and serves 512. Only whole blocks: the ends stay in small
// pages, so the result takes no more memory than before. Refused or unsupported: the pages
// come as before.
void preferHugePages(void *memory, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t Huge = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(memory) + Huge - 1) & ~(Huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(memory) + bytes) & ~(Huge - 1);
    if (end > begin && hugePagesOnRequest())
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)memory;
    (void)bytes;
#endif
}

void populate(double *series, int from, int to)
{
    if (series && to > from)
        populate(series + from, size_t(to - from) * sizeof(double));
}

// A series of n samples whose every element the caller writes before anyone reads it:
// zero-filling first would cost a whole extra pass over the result. Its pages are taken
// by the threads that write them.
QVector<double> uninitializedSeries(int n)
{
    if (n <= 0)
        return QVector<double>();
    QTypedArrayData<double> *data = QTypedArrayData<double>::allocate(size_t(n));
    Q_CHECK_PTR(data);
    data->size = n;
    preferHugePages(data->data(), size_t(n) * sizeof(double));
    return QVector<double>(QArrayDataPointerRef<double> {data});
}

// 0: the sizes below; otherwise every part has this many bytes (tests and the fuzzer).
qint64 partBytesForTesting = 0;

// Long logs are read and parsed in parts, several at a time. Parts small enough that the
// threads stay busy to the end, large enough that each is worth a thread's start.
constexpr qint64 MinPartBytes = 512 * 1024;
constexpr int PartsPerThread = 4;

qint64 partBytes(qint64 total)
{
    if (partBytesForTesting > 0)
        return partBytesForTesting;
    return std::max(MinPartBytes,
                    total / (PartsPerThread * std::max(1, QThread::idealThreadCount())));
}

// Below this much work in all, the parts run one after another on the calling thread:
// waking threads would cost more than they save.
constexpr qint64 MinThreadedBytes = 256 * 1024;

// Runs f(0) ... f(parts - 1) on idle threads of the global pool and on the calling thread,
// at most one thread fewer than the machine has cores, and returns when all have run;
// bytes is the work in all. The calling thread takes parts
// too, so a pool without an idle thread only makes it slower; a helper that starts after
// the last part was taken leaves at once, without touching f.
template<typename F> void inParallel(int parts, qint64 bytes, F &&f)
{
    if (parts <= 1 || bytes < MinThreadedBytes) {
        for (int i = 0; i < parts; ++i)
            f(i);
        return;
    }
    struct State
    {
        std::atomic<int> next {0};
        int done = 0;
        QMutex mutex;
        QWaitCondition allDone;
    };
    const auto state = std::make_shared<State>();
    auto *const job = &f;
    const auto work = [state, parts, job] {
        for (int i; (i = state->next.fetch_add(1)) < parts;) {
            (*job)(i);
            const QMutexLocker lock(&state->mutex);
            if (++state->done == parts)
                state->allDone.wakeAll();
        }
    };
    // One core is left to the rest of the program: the window must keep answering.
    const int helpers = std::min(parts, QThread::idealThreadCount() - 1) - 1;
    for (int h = 0; h < helpers; ++h) {
        if (!QThreadPool::globalInstance()->tryStart(std::function<void()>(work)))
            break;
    }
    work();
    QMutexLocker lock(&state->mutex);
    while (state->done < parts)
        state->allDone.wait(&state->mutex);
}

// Whether a series' times ascend, pieced together from the parts that wrote them.
struct Order
{
    bool ascending = true;
    bool any = false;
    double first = 0, last = 0;

    void add(double t)
    {
        if (!any) {
            first = t;
            any = true;
        } else if (!(last <= t)) {
            ascending = false;
        }
        last = t;
    }
    void append(const Order &next)
    {
        if (!next.any)
            return;
        if (any && !(last <= next.first))
            ascending = false;
        ascending = ascending && next.ascending;
        if (!any)
            first = next.first;
        any = true;
        last = next.last;
    }
};

// Walks the records of data, calling f(type, len, payload, stamp) for each complete one
// while f returns true. Returns the offset where the walk stopped.
template<typename F> qint64 forEachRecord(const uchar *d, qint64 size, F &&f)
{
    if (size < 6)
        return 0;
    qint64 p = 0;
    for (;;) {
        const int len = d[p];
        if (p + 6 + len > size)
            return p;
        if (!f(int(d[p + 1]), len, d + p + 6, d + p + 2))
            return p;
        p += 6 + len;
        if (p + 6 > size)
            return p;
    }
}

// Polled once per 64 Ki records, so a cancelled parse of a long log ends within about a
// millisecond at little cost to one that runs to its end.
class CancelCheck
{
public:
    explicit CancelCheck(const std::atomic<bool> *flag)
        : flag(flag)
    {
    }
    bool operator()()
    {
        if (flag && (++records & 0xFFFF) == 0 && flag->load(std::memory_order_relaxed))
            hit = true;
        return hit;
    }
    // Polled now, whatever the count.
    bool now()
    {
        if (flag && flag->load(std::memory_order_relaxed))
            hit = true;
        return hit;
    }
    bool cancelled() const { return hit; }

private:
    const std::atomic<bool> *flag;
    unsigned records = 0;
    bool hit = false;
};

// The record kinds whose series share one times array each (type 1 has several, below).
enum Group { GroupTx, GroupRx, GroupEsc, GroupGps, GroupFc, GroupCount };
constexpr int groupFirstSlot[GroupCount] = {SlotTx, SlotRx, SlotEsc, SlotGps, SlotFc};
constexpr int groupSlots[GroupCount] = {1, RxCount, EscCount, GpsCount, FcCount};

// Records counted by pass 1: in the whole log, and before the start of each part.
struct Counts
{
    std::array<int, GroupCount> records {};
    // Type-1 records by their number of words (those with none count nowhere).
    std::array<int, MaxWords + 1> wordHist {};

    // Type-1 records holding word w.
    int withWord(int w) const
    {
        int n = 0;
        for (int k = w + 1; k <= MaxWords; ++k)
            n += wordHist[k];
        return n;
    }
};

struct Part
{
    qint64 begin = 0, end = 0; // whole records
    Counts before;
};

// Type-1 words with equal counts appear in exactly the same records and so share times.
struct WordRange
{
    int first, end; // words [first, end)
    double *times;
};

// Where pass 2 writes: every series allocated at its final size.
struct Output
{
    std::array<double *, SlotCount> values {};
    std::array<double *, GroupCount> times {};
    std::vector<WordRange> ranges;
};

// Pass 2 over one part of the log: fills that part's stretch of every series. The series
// are written column by column from blocks of records of one type: writing dozens of
// series in step, sample by sample, costs several times the memory traffic of writing
// each in runs.
class PartWriter
{
public:
    PartWriter(const Output &out, const Counts &before, const Counts &after,
               const std::atomic<bool> *cancelled)
        : rangeOrder(out.ranges.size())
        , out(out)
        , cancel(cancelled)
        , rangePos(out.ranges.size())
    {
        for (int g = 0; g < GroupCount; ++g)
            groups[g].pos = before.records[g];
        for (size_t r = 0; r < out.ranges.size(); ++r)
            rangePos[r] = before.withWord(out.ranges[r].first);
        // The part's pages, taken in a few requests instead of a fault each.
        for (int g = 0; g < GroupCount; ++g) {
            const int from = before.records[g], to = after.records[g];
            populate(out.times[g], from, to);
            for (int s = groupFirstSlot[g]; s < groupFirstSlot[g] + groupSlots[g]; ++s)
                populate(out.values[s], from, to);
        }
        for (size_t r = 0; r < out.ranges.size(); ++r) {
            const WordRange &range = out.ranges[r];
            const int from = rangePos[r], to = after.withWord(range.first);
            populate(range.times, from, to);
            for (int w = range.first; w < range.end; ++w)
                populate(out.values[w], from, to);
        }
    }

    // False when cancelled.
    bool write(const uchar *d, qint64 size);

    // How the times this part wrote run, per group and per word range.
    std::array<Order, GroupCount> groupOrder;
    std::vector<Order> rangeOrder;
    bool pitchFinite = true;

private:
    struct Pending
    {
        const uchar *v;
        double t;
        int words;
    };
    static constexpr int Block = 256;
    struct Pend
    {
        std::array<Pending, Block> recs;
        int n = 0;
        int pos = 0; // samples written so far
    };

    void flushSticks();
    void flush(int g);
    void flushFc();

    // Writes one column of a block: f(payload) for every pending record.
    template<typename F> void column(int slot, const Pend &p, F &&f)
    {
        double *dst = out.values[slot] + p.pos;
        for (int m = 0; m < p.n; ++m)
            dst[m] = f(p.recs[m].v);
    }
    void times(int g)
    {
        const Pend &p = groups[g];
        double *dst = out.times[g] + p.pos;
        Order &order = groupOrder[g];
        for (int m = 0; m < p.n; ++m) {
            dst[m] = p.recs[m].t;
            order.add(p.recs[m].t);
        }
    }

    const Output &out;
    CancelCheck cancel;
    Pend sticks;
    std::array<Pend, GroupCount> groups;
    std::vector<int> rangePos;
};

bool PartWriter::write(const uchar *d, qint64 size)
{
    if (cancel.now())
        return false;
    static constexpr int minLen[GroupCount] = {MinLenTx, MinLenRx, MinLenEsc, MinLenGps, MinLenFc};
    forEachRecord(d, size, [&](int type, int len, const uchar *v, const uchar *stamp) {
        if (cancel())
            return false;
        const double t = u32(stamp) / 1000.0;
        int g;
        switch (type) {
        case 1:
            if (len >= 2) {
                sticks.recs[sticks.n++] = {v, t, len / 2};
                if (sticks.n == Block)
                    flushSticks();
            }
            return true;
        case 2:
            g = GroupTx;
            break;
        case 10:
            g = GroupRx;
            break;
        case 11:
            g = GroupEsc;
            break;
        case 12:
            g = GroupGps;
            break;
        case 13:
            g = GroupFc;
            break;
        default:
            return true;
        }
        if (len >= minLen[g]) {
            Pend &p = groups[g];
            p.recs[p.n++] = {v, t, 0};
            if (p.n == Block)
                flush(g);
        }
        return true;
    });
    if (cancel.cancelled())
        return false;
    flushSticks();
    for (int g = 0; g < GroupCount; ++g)
        flush(g);
    return true;
}

void PartWriter::flushSticks()
{
    std::array<int, Block> rows;
    for (size_t r = 0; r < out.ranges.size(); ++r) {
        const WordRange &range = out.ranges[r];
        int k = 0;
        for (int m = 0; m < sticks.n; ++m) {
            if (sticks.recs[m].words > range.first)
                rows[k++] = m;
        }
        if (k == 0)
            break; // later ranges start at higher words still
        double *t = range.times + rangePos[r];
        for (int j = 0; j < k; ++j) {
            t[j] = sticks.recs[rows[j]].t;
            rangeOrder[r].add(t[j]);
        }
        for (int w = range.first; w < range.end; ++w) {
            double *dst = out.values[w] + rangePos[r];
            const double divisor = w < FixedWords ? 163.84 : 327.68;
            for (int j = 0; j < k; ++j)
                dst[j] = i16(sticks.recs[rows[j]].v + 2 * w) / divisor;
        }
        rangePos[r] += k;
    }
    sticks.n = 0;
}

void PartWriter::flush(int g)
{
    Pend &p = groups[g];
    if (p.n == 0)
        return;
    times(g);
    switch (g) {
    case GroupTx:
        column(SlotTx, p, [](const uchar *v) { return double(v[0]); });
        break;
    case GroupRx:
        column(SlotRx + 0, p, [](const uchar *v) { return u16(v + 1) / 1000.0; });
        column(SlotRx + 1, p, [](const uchar *v) { return double(v[3]); });
        column(SlotRx + 2, p, [](const uchar *v) { return double(v[4]); });
        column(SlotRx + 3, p, [](const uchar *v) { return double(v[5]); });
        column(SlotRx + 4, p, [](const uchar *v) { return double(v[6] & 1); });
        break;
    case GroupEsc:
        column(SlotEsc + 0, p, [](const uchar *v) { return u16(v + 1) / 100.0; });
        column(SlotEsc + 1, p, [](const uchar *v) { return u16(v + 3) / 100.0; });
        column(SlotEsc + 2, p, [](const uchar *v) { return u16(v + 5) / 10.0; });
        column(SlotEsc + 3, p, [](const uchar *v) { return u16(v + 7) / 10.0; });
        column(SlotEsc + 4, p, [](const uchar *v) { return u16(v + 9) / 10.0; });
        column(SlotEsc + 5, p, [](const uchar *v) { return double(u16(v + 11)); });
        column(SlotEsc + 6, p, [](const uchar *v) { return double(u16(v + 13)); });
        column(SlotEsc + 7, p, [](const uchar *v) { return double(v[15]); });
        column(SlotEsc + 8, p, [](const uchar *v) { return double(v[16]); });
        column(SlotEsc + 9, p, [](const uchar *v) { return double(v[17]); });
        break;
    case GroupGps:
        column(SlotGps + 0, p, [](const uchar *v) { return double(i32(v + 1)); });
        column(SlotGps + 1, p, [](const uchar *v) { return double(i32(v + 5)); });
        column(SlotGps + 2, p, [](const uchar *v) { return double(u16(v + 9)); });
        column(SlotGps + 3, p, [](const uchar *v) { return i16(v + 11) / 10.0; });
        column(SlotGps + 4, p, [](const uchar *v) { return double(i16(v + 13)); });
        column(SlotGps + 5, p, [](const uchar *v) { return double(v[15]); });
        break;
    case GroupFc:
        flushFc();
        break;
    default:
        break;
    }
    p.pos += p.n;
    p.n = 0;
}

void PartWriter::flushFc()
{
    const Pend &fc = groups[GroupFc];
    column(SlotFc + 0, fc, [](const uchar *v) { return double(v[0] & 7); });
    column(SlotFc + 1, fc, [](const uchar *v) { return double(v[1]); });
    column(SlotFc + 2, fc, [](const uchar *v) { return double(v[2]); });
    column(SlotFc + 3, fc, [](const uchar *v) { return double(u16(v + 3)); });
    column(SlotFc + 4, fc, [](const uchar *v) { return i16(v + 5) / 10.0; });
    double *pitchOut = out.values[SlotFc + 5] + fc.pos, *rollOut = out.values[SlotFc + 6] + fc.pos,
           *yawOut = out.values[SlotFc + 7] + fc.pos;
    for (int m = 0; m < fc.n; ++m) {
        const uchar *v = fc.recs[m].v;
        const double W = i16(v + 7) / 16384.0;
        const double X = i16(v + 9) / 16384.0;
        const double Y = i16(v + 11) / 16384.0;
        const double Z = i16(v + 13) / 16384.0;
        const double test = W * X + Y * Z;
        const double n = W * W + X * X + Y * Y + Z * Z;
        double pitch, roll, yaw;
        if (test > 0.4999999 * n) {
            yaw = 2 * std::atan2(Y, W);
            roll = 0;
            pitch = M_PI / 2;
        } else if (test < -0.4999999 * n) {
            yaw = -2 * std::atan2(Y, W);
            roll = 0;
            pitch = -M_PI / 2;
        } else {
            yaw = std::atan2(2 * (W * Z - X * Y), 1 - 2 * (X * X + Z * Z));
            pitch = std::asin(2 * test / n); // NaN for an all-zero quaternion
            roll = std::atan2(2 * (W * Y - X * Z), 1 - 2 * (X * X + Y * Y));
        }
        pitchFinite = pitchFinite && std::isfinite(pitch);
        pitchOut[m] = pitch * 180 / M_PI;
        rollOut[m] = roll * 180 / M_PI;
        yawOut[m] = yaw * 180 / M_PI;
    }
    for (int c = 0; c < 4; ++c)
        column(SlotFc + 8 + c, fc, [c](const uchar *v) { return i16(v + 7 + 2 * c) / 16384.0; });
}

// The body rates from consecutive attitude samples: the rate of samples i - 1 and i is
// worked out at index i - 1, in parts on several threads; the steps that give no rate are
// then squeezed out.
void appendBodyRates(QVector<LogVariable> &vars, const double *qw, const double *qx,
                     const double *qy, const double *qz, const double *ft, int samples)
{
    const int steps = samples - 1;
    QVector<double> rateTimes = uninitializedSeries(steps), elev = uninitializedSeries(steps),
                    ail = uninitializedSeries(steps), rud = uninitializedSeries(steps);
    double *rt = rateTimes.data(), *re = elev.data(), *ra = ail.data(), *rr = rud.data();
    // Eight bytes a step in each of the rate series.
    const int partSteps = int(std::max<qint64>(1, partBytes(qint64(steps) * 8) / 8));
    const int parts = (steps + partSteps - 1) / partSteps;
    std::vector<Order> orders(parts);
    std::vector<int> skipped(parts, 0);
    const double skip = std::numeric_limits<double>::quiet_NaN(); // a rate time is never NaN
    inParallel(parts, qint64(steps) * 8, [&](int part) {
        const int from = part * partSteps, to = std::min(steps, from + partSteps);
        for (double *series : {rt, re, ra, rr})
            populate(series, from, to);
        Order &order = orders[part];
        for (int j = from; j < to; ++j) {
            const int i = j + 1;
            const double t0 = ft[i - 1], t1 = ft[i];
            const double dt = t1 - t0;
            rt[j] = skip;
            if (dt <= 0)
                continue;
            const Quat a = normalised(qw[i - 1], qx[i - 1], qy[i - 1], qz[i - 1]);
            const Quat b = normalised(qw[i], qx[i], qy[i], qz[i]);
            Quat p {a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z,
                    a.w * b.x - a.x * b.w - a.y * b.z + a.z * b.y,
                    a.w * b.y + a.x * b.z - a.y * b.w - a.z * b.x,
                    a.w * b.z - a.x * b.y + a.y * b.x - a.z * b.w};
            if (p.w < 0)
                p = {-p.w, -p.x, -p.y, -p.z};
            const double s = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
            if (s < 1e-9) {
                // At rest the rate is 0; without a sample here the plot and the replay
                // would carry the last rate over, or interpolate across the pause. An
                // all-zero quaternion is no attitude, so a step from or to it gives none.
                if (isNull(qw[i - 1], qx[i - 1], qy[i - 1], qz[i - 1])
                    || isNull(qw[i], qx[i], qy[i], qz[i]))
                    continue;
                re[j] = ra[j] = rr[j] = 0.0;
            } else {
                const double k = 2 * std::atan2(s, p.w) / s / dt;
                re[j] = p.x * k * 180 / M_PI;
                ra[j] = p.y * k * 180 / M_PI;
                rr[j] = p.z * k * 180 / M_PI;
            }
            rt[j] = (t1 + t0) * 0.5;
            order.add(rt[j]);
        }
        for (int j = from; j < to; ++j)
            skipped[part] += std::isnan(rt[j]) ? 1 : 0;
    });
    Order order;
    int n = steps;
    for (int part = 0; part < parts; ++part) {
        order.append(orders[part]);
        n -= skipped[part];
    }
    if (n == 0)
        return;
    if (n < steps) {
        int kept = 0;
        for (int j = 0; j < steps; ++j) {
            if (std::isnan(rt[j]))
                continue;
            rt[kept] = rt[j];
            re[kept] = re[j];
            ra[kept] = ra[j];
            rr[kept] = rr[j];
            ++kept;
        }
    }
    rateTimes.resize(n);
    QVector<double> *series[RateCount] = {&elev, &ail, &rud};
    for (int i = 0; i < RateCount; ++i) {
        series[i]->resize(n);
        LogVariable var;
        var.name = slotName(SlotRate + i);
        var.times = rateTimes;
        var.values = std::move(*series[i]);
        var.timesAscending = order.ascending;
        vars.append(std::move(var));
    }
}

#if defined(Q_OS_UNIX)
// Reads size bytes of the file from its start into data, in parts on several threads: the
// copy out of the system's file cache and the pages it fills are the larger part of reading
// a long log. Returns the bytes read from the start on, fewer for a file that shrank
// meanwhile, or -1 on a read error.
qint64 readInParts(int fd, char *data, qint64 size)
{
    const qint64 partSize = partBytesForTesting > 0
        ? partBytesForTesting
        : std::max<qint64>(partBytes(size), 4 * 1024 * 1024);
    const int parts = int((size + partSize - 1) / partSize);
    std::vector<qint64> got(parts, 0);
    inParallel(parts, size, [&](int part) {
        const qint64 from = part * partSize, to = std::min(size, from + partSize);
        populate(data + from, size_t(to - from));
        qint64 at = from;
        while (at < to) {
            const ssize_t n = ::pread(fd, data + at, size_t(to - at), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                got[part] = -1;
                return;
            }
            if (n == 0)
                break;
            at += n;
        }
        got[part] = at - from;
    });
    qint64 total = 0;
    for (int part = 0; part < parts; ++part) {
        if (got[part] < 0)
            return -1;
        total += got[part];
        const qint64 expected = std::min(size, (part + 1) * partSize) - part * partSize;
        if (got[part] < expected)
            return total;
    }
    return total;
}
#endif

} // namespace

void LogReader::setPartBytesForTesting(qint64 bytes)
{
    partBytesForTesting = std::max<qint64>(bytes, 0);
}

bool LogReader::readFile(const QString &path, QByteArray &data, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("Cannot open file: %1").arg(path);
        return false;
    }
    // A byte array holds a little under 2 GiB; readAll() would give an empty one.
    if (file.size() > std::numeric_limits<int>::max() - 4096) {
        error = tr("The file is too large to load (2 GiB or more): %1").arg(path);
        return false;
    }
    QByteArray bytes;
    const qint64 size = file.size();
    bool failed = false;
    if (file.isSequential() || size == 0) {
        bytes = file.readAll();
    } else {
        bytes = QByteArray(int(size), Qt::Uninitialized);
        preferHugePages(bytes.data(), size_t(size));
#if defined(Q_OS_UNIX)
        const qint64 got = file.handle() >= 0 ? readInParts(file.handle(), bytes.data(), size)
                                              : file.read(bytes.data(), size);
        failed = got < 0;
        // Where a single read would have stopped, for a file that grows meanwhile.
        if (got == size)
            file.seek(size);
#else
        populate(bytes.data(), size_t(size));
        const qint64 got = file.read(bytes.data(), size);
#endif
        bytes.resize(int(std::max<qint64>(got, 0)));
        // A file that grew meanwhile is read to its end, as a whole read would.
        if (got == size && !file.atEnd())
            bytes += file.readAll();
    }
    // A failed read would otherwise parse as a shorter, seemingly valid log.
    if (failed || file.error() != QFileDevice::NoError) {
        error = tr("Cannot open file: %1").arg(path);
        return false;
    }
    data = std::move(bytes);
    return true;
}

bool LogReader::load(const QString &path, QVector<LogVariable> &variables, QString &error)
{
    QByteArray data;
    if (!readFile(path, data, error))
        return false;
    return parseData(data, variables, error);
}

bool LogReader::parseData(const QByteArray &data, QVector<LogVariable> &variables, QString &error)
{
    return parseData(data, variables, error, nullptr);
}

bool LogReader::parseData(const QByteArray &data, QVector<LogVariable> &variables, QString &error,
                          const std::atomic<bool> *cancelled)
{
    CancelCheck cancel(cancelled);
    const auto *d = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();

    // Pass 1: first-seen order, exact sample counts so that pass 2 allocates once, and
    // parts of the log that start at record boundaries, with the counts before each.
    std::array<int, SlotCount> index;
    index.fill(-1);
    int next = 0;
    int maxWords = 0;
    Counts counts;
    std::vector<Part> parts(1);
    const qint64 split = partBytes(size);
    qint64 nextPart = split;
    auto assign = [&](int first, int count) {
        if (index[first] < 0) {
            for (int i = 0; i < count; ++i)
                index[first + i] = next++;
        }
    };
    // A series cannot hold more than MaxSamples: a log that would exceed it (well over a
    // gigabyte) ends there, as if truncated, instead of failing to allocate.
    int nSticks = 0;
    const qint64 end
        = forEachRecord(d, size, [&](int type, int len, const uchar *v, const uchar *) {
              if (cancel())
                  return false;
              const qint64 at = v - d - 6;
              if (at >= nextPart) {
                  parts.back().end = at;
                  parts.push_back({at, at, counts});
                  nextPart = at + split;
              }
              int *count = nullptr;
              switch (type) {
              case 1:
                  count = len >= 2 ? &nSticks : nullptr;
                  break;
              case 2:
                  count = len >= MinLenTx ? &counts.records[GroupTx] : nullptr;
                  break;
              case 10:
                  count = len >= MinLenRx ? &counts.records[GroupRx] : nullptr;
                  break;
              case 11:
                  count = len >= MinLenEsc ? &counts.records[GroupEsc] : nullptr;
                  break;
              case 12:
                  count = len >= MinLenGps ? &counts.records[GroupGps] : nullptr;
                  break;
              case 13:
                  count = len >= MinLenFc ? &counts.records[GroupFc] : nullptr;
                  break;
              default:
                  break;
              }
              if (!count)
                  return true;
              if (*count == MaxSamples)
                  return false;
              ++*count;
              switch (type) {
              case 1: {
                  const int words = len / 2;
                  ++counts.wordHist[words];
                  for (; maxWords < words; ++maxWords)
                      index[maxWords] = next++;
                  break;
              }
              case 2:
                  assign(SlotTx, 1);
                  break;
              case 10:
                  assign(SlotRx, RxCount);
                  break;
              case 11:
                  assign(SlotEsc, EscCount);
                  break;
              case 12:
                  assign(SlotGps, GpsCount);
                  break;
              case 13:
                  assign(SlotFc, FcCount);
                  break;
              default:
                  break;
              }
              return true;
          });
    parts.back().end = end;
    if (cancel.cancelled())
        return false;

    // Allocate every series at its final size.
    QVector<LogVariable> vars(next);
    Output out;
    auto allocate = [&](int first, int count, int samples) {
        for (int i = 0; i < count; ++i) {
            const int idx = index[first + i];
            if (idx < 0)
                continue;
            vars[idx].name = slotName(first + i);
            vars[idx].values = uninitializedSeries(samples);
            out.values[first + i] = vars[idx].values.data();
        }
    };
    std::vector<QVector<double>> rangeTimes;
    for (int w = 0; w < maxWords; ++w) {
        const int withWord = counts.withWord(w);
        allocate(w, 1, withWord);
        if (w == 0 || withWord != counts.withWord(w - 1)) {
            rangeTimes.push_back(uninitializedSeries(withWord));
            out.ranges.push_back({w, w + 1, rangeTimes.back().data()});
        } else {
            out.ranges.back().end = w + 1;
        }
    }
    std::array<QVector<double>, GroupCount> groupTimes;
    for (int g = 0; g < GroupCount; ++g) {
        allocate(groupFirstSlot[g], groupSlots[g], counts.records[g]);
        groupTimes[g] = uninitializedSeries(counts.records[g]);
        out.times[g] = groupTimes[g].data();
    }

    // Pass 2, the parts side by side.
    struct PartResult
    {
        std::array<Order, GroupCount> groupOrder;
        std::vector<Order> rangeOrder;
        bool pitchFinite = true;
        bool written = false;
    };
    std::vector<PartResult> results(parts.size());
    inParallel(int(parts.size()), end, [&](int k) {
        const Counts &after = size_t(k) + 1 < parts.size() ? parts[k + 1].before : counts;
        PartWriter writer(out, parts[k].before, after, cancelled);
        PartResult &result = results[k];
        result.written = writer.write(d + parts[k].begin, parts[k].end - parts[k].begin);
        result.groupOrder = writer.groupOrder;
        result.rangeOrder = std::move(writer.rangeOrder);
        result.pitchFinite = writer.pitchFinite;
    });

    bool pitchFinite = true;
    std::array<Order, GroupCount> groupOrder;
    std::vector<Order> rangeOrder(out.ranges.size());
    for (const PartResult &result : results) {
        if (!result.written)
            return false; // cancelled
        pitchFinite = pitchFinite && result.pitchFinite;
        for (int g = 0; g < GroupCount; ++g)
            groupOrder[g].append(result.groupOrder[g]);
        for (size_t r = 0; r < out.ranges.size(); ++r)
            rangeOrder[r].append(result.rangeOrder[r]);
    }

    const auto share = [&](int first, int count, const QVector<double> &times, bool sorted) {
        for (int i = 0; i < count; ++i) {
            const int idx = index[first + i];
            if (idx >= 0) {
                vars[idx].times = times;
                vars[idx].timesAscending = sorted;
            }
        }
    };
    for (size_t r = 0; r < out.ranges.size(); ++r) {
        const WordRange &range = out.ranges[r];
        share(range.first, range.end - range.first, rangeTimes[r], rangeOrder[r].ascending);
    }
    for (int g = 0; g < GroupCount; ++g)
        share(groupFirstSlot[g], groupSlots[g], groupTimes[g], groupOrder[g].ascending);
    if (index[SlotFc] >= 0)
        vars[index[SlotFc + 5]].allFinite = pitchFinite;

    const int nFc = counts.records[GroupFc];
    if (nFc >= 2) {
        appendBodyRates(vars, out.values[SlotFc + 8], out.values[SlotFc + 9],
                        out.values[SlotFc + 10], out.values[SlotFc + 11], out.times[GroupFc], nFc);
    }

    variables.reserve(variables.size() + vars.size());
    for (LogVariable &var : vars)
        variables.append(std::move(var));

    if (variables.isEmpty()) {
        error = tr("No recognized log entries found in file");
        return false;
    }
    return true;
}
