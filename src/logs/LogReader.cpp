#include "LogReader.h"

#include "LogNames.h"

#include <QFile>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <array>
#include <atomic>
#include <cmath>
#include <limits>

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

// A series of n samples whose every element the caller writes before anyone reads it:
// zero-filling first would cost a whole extra pass over the result.
// Memory that is about to be written in full: taking all its pages from the kernel in one
// request costs about a third less than a page fault per page, which is most of the parse
// of a long log in a fresh process. Small blocks are left alone.
void populate(void *memory, size_t bytes)
{
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
    constexpr uintptr_t Page = 4096;
    if (bytes < (uintptr_t(1) << 20))
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(memory) + Page - 1) & ~(Page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(memory) + bytes) & ~(Page - 1);
    // Older kernels refuse the request; the pages then come one fault at a time as before.
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)memory;
    (void)bytes;
#endif
}

QVector<double> uninitializedSeries(int n)
{
    if (n <= 0)
        return QVector<double>();
    QTypedArrayData<double> *data = QTypedArrayData<double>::allocate(size_t(n));
    Q_CHECK_PTR(data);
    data->size = n;
    populate(data->data(), size_t(n) * sizeof(double));
    return QVector<double>(QArrayDataPointerRef<double> {data});
}

bool ascending(const QVector<double> &v)
{
    for (int i = 1; i < v.size(); ++i) {
        if (!(v[i - 1] <= v[i]))
            return false;
    }
    return true;
}

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
    bool cancelled() const { return hit; }

private:
    const std::atomic<bool> *flag;
    unsigned records = 0;
    bool hit = false;
};

} // namespace

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
    if (file.isSequential() || size == 0) {
        bytes = file.readAll();
    } else {
        bytes = QByteArray(int(size), Qt::Uninitialized);
        populate(bytes.data(), size_t(size));
        const qint64 got = file.read(bytes.data(), size);
        bytes.resize(int(std::max<qint64>(got, 0)));
        // A file that grew meanwhile is read to its end, as a whole read would.
        if (got == size && !file.atEnd())
            bytes += file.readAll();
    }
    // A failed read would otherwise parse as a shorter, seemingly valid log.
    if (file.error() != QFileDevice::NoError) {
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

    // Pass 1: first-seen order and exact sample counts, so that pass 2 allocates once.
    std::array<int, SlotCount> index;
    index.fill(-1);
    int next = 0;
    std::array<int, MaxWords + 1> wordHist {};
    int maxWords = 0;
    int nTx = 0, nRx = 0, nEsc = 0, nGps = 0, nFc = 0;
    auto assign = [&](int first, int count) {
        if (index[first] < 0) {
            for (int i = 0; i < count; ++i)
                index[first + i] = next++;
        }
    };
    // A series cannot hold more than MaxSamples: a log that would exceed it (well over a
    // gigabyte) ends there, as if truncated, instead of failing to allocate.
    int nSticks = 0;
    const qint64 end = forEachRecord(d, size, [&](int type, int len, const uchar *, const uchar *) {
        if (cancel())
            return false;
        int *count = nullptr;
        switch (type) {
        case 1:
            count = len >= 2 ? &nSticks : nullptr;
            break;
        case 2:
            count = len >= MinLenTx ? &nTx : nullptr;
            break;
        case 10:
            count = len >= MinLenRx ? &nRx : nullptr;
            break;
        case 11:
            count = len >= MinLenEsc ? &nEsc : nullptr;
            break;
        case 12:
            count = len >= MinLenGps ? &nGps : nullptr;
            break;
        case 13:
            count = len >= MinLenFc ? &nFc : nullptr;
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
            ++wordHist[words];
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

    // Pass 2: allocate every series at its final size, then fill it column by column from
    // blocks of records of one type: writing dozens of series in step, sample by sample,
    // costs several times the memory traffic of writing each in runs.
    QVector<LogVariable> vars(next);
    std::array<double *, SlotCount> out {};
    auto allocate = [&](int first, int count, int samples) {
        for (int i = 0; i < count; ++i) {
            const int idx = index[first + i];
            if (idx < 0)
                continue;
            vars[idx].name = slotName(first + i);
            vars[idx].values = uninitializedSeries(samples);
            out[first + i] = vars[idx].values.data();
        }
    };

    // Type-1 word w is present in the records with more than w words; words with equal
    // counts appear in exactly the same records and so share their times.
    std::array<int, MaxWords> wordCount {};
    for (int w = maxWords - 1, c = 0; w >= 0; --w) {
        c += wordHist[w + 1];
        wordCount[w] = c;
    }
    struct WordRange
    {
        int first, end; // words [first, end) appear in exactly the same records
        int pos;
        QVector<double> times;
    };
    QVector<WordRange> wordRanges;
    for (int w = 0; w < maxWords; ++w) {
        allocate(w, 1, wordCount[w]);
        if (w == 0 || wordCount[w] != wordCount[w - 1])
            wordRanges.append({w, w + 1, 0, uninitializedSeries(wordCount[w])});
        else
            wordRanges.last().end = w + 1;
    }

    allocate(SlotTx, 1, nTx);
    allocate(SlotRx, RxCount, nRx);
    allocate(SlotEsc, EscCount, nEsc);
    allocate(SlotGps, GpsCount, nGps);
    allocate(SlotFc, FcCount, nFc);
    QVector<double> txTimes = uninitializedSeries(nTx), rxTimes = uninitializedSeries(nRx),
                    escTimes = uninitializedSeries(nEsc), gpsTimes = uninitializedSeries(nGps),
                    fcTimes = uninitializedSeries(nFc);
    bool pitchFinite = true;
    double *const *const o = out.data();

    struct Pending
    {
        const uchar *v;
        double t;
        int words;
    };
    constexpr int Block = 256;
    struct Group
    {
        std::array<Pending, Block> recs;
        int n = 0;
        int pos = 0; // samples written so far
    };
    Group sticks, tx, rx, esc, gps, fc;

    // Writes one column of a block: f(payload) for every pending record.
    const auto column = [o](int slot, const Group &g, auto &&f) {
        double *dst = o[slot] + g.pos;
        for (int m = 0; m < g.n; ++m)
            dst[m] = f(g.recs[m].v);
    };
    const auto times = [](QVector<double> &series, const Group &g) {
        double *dst = series.data() + g.pos;
        for (int m = 0; m < g.n; ++m)
            dst[m] = g.recs[m].t;
    };

    const auto flushSticks = [&] {
        std::array<int, Block> rows;
        for (WordRange &r : wordRanges) {
            int k = 0;
            for (int m = 0; m < sticks.n; ++m) {
                if (sticks.recs[m].words > r.first)
                    rows[k++] = m;
            }
            if (k == 0)
                break; // later ranges start at higher words still
            double *t = r.times.data() + r.pos;
            for (int j = 0; j < k; ++j)
                t[j] = sticks.recs[rows[j]].t;
            for (int w = r.first; w < r.end; ++w) {
                double *dst = o[w] + r.pos;
                const double divisor = w < FixedWords ? 163.84 : 327.68;
                for (int j = 0; j < k; ++j)
                    dst[j] = i16(sticks.recs[rows[j]].v + 2 * w) / divisor;
            }
            r.pos += k;
        }
        sticks.n = 0;
    };
    const auto flushTx = [&] {
        times(txTimes, tx);
        column(SlotTx, tx, [](const uchar *v) { return double(v[0]); });
        tx.pos += tx.n;
        tx.n = 0;
    };
    const auto flushRx = [&] {
        times(rxTimes, rx);
        column(SlotRx + 0, rx, [](const uchar *v) { return u16(v + 1) / 1000.0; });
        column(SlotRx + 1, rx, [](const uchar *v) { return double(v[3]); });
        column(SlotRx + 2, rx, [](const uchar *v) { return double(v[4]); });
        column(SlotRx + 3, rx, [](const uchar *v) { return double(v[5]); });
        column(SlotRx + 4, rx, [](const uchar *v) { return double(v[6] & 1); });
        rx.pos += rx.n;
        rx.n = 0;
    };
    const auto flushEsc = [&] {
        times(escTimes, esc);
        column(SlotEsc + 0, esc, [](const uchar *v) { return u16(v + 1) / 100.0; });
        column(SlotEsc + 1, esc, [](const uchar *v) { return u16(v + 3) / 100.0; });
        column(SlotEsc + 2, esc, [](const uchar *v) { return u16(v + 5) / 10.0; });
        column(SlotEsc + 3, esc, [](const uchar *v) { return u16(v + 7) / 10.0; });
        column(SlotEsc + 4, esc, [](const uchar *v) { return u16(v + 9) / 10.0; });
        column(SlotEsc + 5, esc, [](const uchar *v) { return double(u16(v + 11)); });
        column(SlotEsc + 6, esc, [](const uchar *v) { return double(u16(v + 13)); });
        column(SlotEsc + 7, esc, [](const uchar *v) { return double(v[15]); });
        column(SlotEsc + 8, esc, [](const uchar *v) { return double(v[16]); });
        column(SlotEsc + 9, esc, [](const uchar *v) { return double(v[17]); });
        esc.pos += esc.n;
        esc.n = 0;
    };
    const auto flushGps = [&] {
        times(gpsTimes, gps);
        column(SlotGps + 0, gps, [](const uchar *v) { return double(i32(v + 1)); });
        column(SlotGps + 1, gps, [](const uchar *v) { return double(i32(v + 5)); });
        column(SlotGps + 2, gps, [](const uchar *v) { return double(u16(v + 9)); });
        column(SlotGps + 3, gps, [](const uchar *v) { return i16(v + 11) / 10.0; });
        column(SlotGps + 4, gps, [](const uchar *v) { return double(i16(v + 13)); });
        column(SlotGps + 5, gps, [](const uchar *v) { return double(v[15]); });
        gps.pos += gps.n;
        gps.n = 0;
    };
    const auto flushFc = [&] {
        times(fcTimes, fc);
        column(SlotFc + 0, fc, [](const uchar *v) { return double(v[0] & 7); });
        column(SlotFc + 1, fc, [](const uchar *v) { return double(v[1]); });
        column(SlotFc + 2, fc, [](const uchar *v) { return double(v[2]); });
        column(SlotFc + 3, fc, [](const uchar *v) { return double(u16(v + 3)); });
        column(SlotFc + 4, fc, [](const uchar *v) { return i16(v + 5) / 10.0; });
        double *pitchOut = o[SlotFc + 5] + fc.pos, *rollOut = o[SlotFc + 6] + fc.pos,
               *yawOut = o[SlotFc + 7] + fc.pos;
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
        for (int c = 0; c < 4; ++c) {
            column(SlotFc + 8 + c, fc,
                   [c](const uchar *v) { return i16(v + 7 + 2 * c) / 16384.0; });
        }
        fc.pos += fc.n;
        fc.n = 0;
    };

    if (cancel.cancelled())
        return false;

    forEachRecord(d, end, [&](int type, int len, const uchar *v, const uchar *stamp) {
        if (cancel())
            return false;
        const double t = u32(stamp) / 1000.0;
        switch (type) {
        case 1:
            if (len >= 2) {
                sticks.recs[sticks.n++] = {v, t, len / 2};
                if (sticks.n == Block)
                    flushSticks();
            }
            break;
        case 2:
            if (len >= MinLenTx) {
                tx.recs[tx.n++] = {v, t, 0};
                if (tx.n == Block)
                    flushTx();
            }
            break;
        case 10:
            if (len >= MinLenRx) {
                rx.recs[rx.n++] = {v, t, 0};
                if (rx.n == Block)
                    flushRx();
            }
            break;
        case 11:
            if (len >= MinLenEsc) {
                esc.recs[esc.n++] = {v, t, 0};
                if (esc.n == Block)
                    flushEsc();
            }
            break;
        case 12:
            if (len >= MinLenGps) {
                gps.recs[gps.n++] = {v, t, 0};
                if (gps.n == Block)
                    flushGps();
            }
            break;
        case 13:
            if (len >= MinLenFc) {
                fc.recs[fc.n++] = {v, t, 0};
                if (fc.n == Block)
                    flushFc();
            }
            break;
        default:
            break;
        }
        return true;
    });
    if (cancel.cancelled())
        return false;
    flushSticks();
    flushTx();
    flushRx();
    flushEsc();
    flushGps();
    flushFc();

    const auto share = [&](int first, int count, const QVector<double> &times) {
        const bool sorted = ascending(times);
        for (int i = 0; i < count; ++i) {
            const int idx = index[first + i];
            if (idx >= 0) {
                vars[idx].times = times;
                vars[idx].timesAscending = sorted;
            }
        }
    };
    for (const WordRange &r : wordRanges)
        share(r.first, r.end - r.first, r.times);
    share(SlotTx, 1, txTimes);
    share(SlotRx, RxCount, rxTimes);
    share(SlotEsc, EscCount, escTimes);
    share(SlotGps, GpsCount, gpsTimes);
    share(SlotFc, FcCount, fcTimes);
    if (index[SlotFc] >= 0)
        vars[index[SlotFc + 5]].allFinite = pitchFinite;

    // Body rates from consecutive attitude samples.
    if (nFc >= 2) {
        const double *qw = vars[index[SlotFc + 8]].values.constData();
        const double *qx = vars[index[SlotFc + 9]].values.constData();
        const double *qy = vars[index[SlotFc + 10]].values.constData();
        const double *qz = vars[index[SlotFc + 11]].values.constData();
        const double *ft = fcTimes.constData();
        QVector<double> rateTimes = uninitializedSeries(nFc - 1),
                        elev = uninitializedSeries(nFc - 1), ail = uninitializedSeries(nFc - 1),
                        rud = uninitializedSeries(nFc - 1);
        int n = 0;
        for (int i = 1; i < nFc; ++i) {
            const double t0 = ft[i - 1], t1 = ft[i];
            const double dt = t1 - t0;
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
            rateTimes[n] = (t1 + t0) * 0.5;
            if (s < 1e-9) {
                // At rest the rate is 0; without a sample here the plot and the replay
                // would carry the last rate over, or interpolate across the pause. An
                // all-zero quaternion is no attitude, so a step from or to it gives none.
                if (isNull(qw[i - 1], qx[i - 1], qy[i - 1], qz[i - 1])
                    || isNull(qw[i], qx[i], qy[i], qz[i]))
                    continue;
                elev[n] = ail[n] = rud[n] = 0.0;
                ++n;
                continue;
            }
            const double k = 2 * std::atan2(s, p.w) / s / dt;
            elev[n] = p.x * k * 180 / M_PI;
            ail[n] = p.y * k * 180 / M_PI;
            rud[n] = p.z * k * 180 / M_PI;
            ++n;
        }
        if (n > 0) {
            rateTimes.resize(n);
            const bool sorted = ascending(rateTimes);
            QVector<double> *series[RateCount] = {&elev, &ail, &rud};
            for (int i = 0; i < RateCount; ++i) {
                series[i]->resize(n);
                LogVariable var;
                var.name = slotName(SlotRate + i);
                var.times = rateTimes;
                var.values = std::move(*series[i]);
                var.timesAscending = sorted;
                vars.append(std::move(var));
            }
        }
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
