#include "LogReader.h"

#include "LogNames.h"

#include <QFile>

#include <array>
#include <cmath>

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

Quat normalised(double w, double x, double y, double z)
{
    const double n = std::sqrt(w * w + x * x + y * y + z * z);
    if (n < 1e-12)
        return {1.0, 0.0, 0.0, 0.0};
    return {w / n, x / n, y / n, z / n};
}

bool ascending(const QVector<double> &v)
{
    for (int i = 1; i < v.size(); ++i) {
        if (!(v[i - 1] <= v[i]))
            return false;
    }
    return true;
}

// Walks the records of data, calling f(type, len, payload, stampMs) for each complete one.
template<typename F> void forEachRecord(const uchar *d, qint64 size, F &&f)
{
    if (size < 6)
        return;
    qint64 p = 0;
    for (;;) {
        const int len = d[p];
        if (p + 6 + len > size)
            return;
        f(int(d[p + 1]), len, d + p + 6, d + p + 2);
        p += 6 + len;
        if (p + 6 > size)
            return;
    }
}

} // namespace

bool LogReader::load(const QString &path, QVector<LogVariable> &variables, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("Cannot open file: %1").arg(path);
        return false;
    }
    const QByteArray data = file.readAll();
    // A failed read would otherwise parse as a shorter, seemingly valid log.
    if (file.error() != QFileDevice::NoError) {
        error = tr("Cannot open file: %1").arg(path);
        return false;
    }
    return parseData(data, variables, error);
}

bool LogReader::parseData(const QByteArray &data, QVector<LogVariable> &variables, QString &error)
{
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
    forEachRecord(d, size, [&](int type, int len, const uchar *, const uchar *) {
        switch (type) {
        case 1: {
            const int words = len / 2;
            ++wordHist[words];
            for (; maxWords < words; ++maxWords)
                index[maxWords] = next++;
            break;
        }
        case 2:
            if (len >= MinLenTx) {
                ++nTx;
                assign(SlotTx, 1);
            }
            break;
        case 10:
            if (len >= MinLenRx) {
                ++nRx;
                assign(SlotRx, RxCount);
            }
            break;
        case 11:
            if (len >= MinLenEsc) {
                ++nEsc;
                assign(SlotEsc, EscCount);
            }
            break;
        case 12:
            if (len >= MinLenGps) {
                ++nGps;
                assign(SlotGps, GpsCount);
            }
            break;
        case 13:
            if (len >= MinLenFc) {
                ++nFc;
                assign(SlotFc, FcCount);
            }
            break;
        default:
            break;
        }
    });

    // Pass 2: allocate every series at its final size and fill through raw pointers.
    // Variables of one record type share a single times vector (implicitly shared data).
    QVector<LogVariable> vars(next);
    std::array<double *, SlotCount> out {};
    auto allocate = [&](int first, int count, int samples) {
        for (int i = 0; i < count; ++i) {
            const int idx = index[first + i];
            if (idx < 0)
                continue;
            vars[idx].name = slotName(first + i);
            vars[idx].values.resize(samples);
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
        int first;
        QVector<double> times;
        double *out;
    };
    QVector<WordRange> wordRanges;
    for (int w = 0; w < maxWords; ++w) {
        allocate(w, 1, wordCount[w]);
        if (w == 0 || wordCount[w] != wordCount[w - 1])
            wordRanges.append({w, QVector<double>(wordCount[w]), nullptr});
    }
    for (WordRange &r : wordRanges)
        r.out = r.times.data();

    allocate(SlotTx, 1, nTx);
    allocate(SlotRx, RxCount, nRx);
    allocate(SlotEsc, EscCount, nEsc);
    allocate(SlotGps, GpsCount, nGps);
    allocate(SlotFc, FcCount, nFc);
    QVector<double> txTimes(nTx), rxTimes(nRx), escTimes(nEsc), gpsTimes(nGps), fcTimes(nFc);
    double *txT = txTimes.data(), *rxT = rxTimes.data(), *escT = escTimes.data(),
           *gpsT = gpsTimes.data(), *fcT = fcTimes.data();
    bool pitchFinite = true;

    forEachRecord(d, size, [&](int type, int len, const uchar *v, const uchar *stamp) {
        const double t = u32(stamp) / 1000.0;
        switch (type) {
        case 1: {
            const int words = len / 2;
            for (int r = 0; r < wordRanges.size() && wordRanges[r].first < words; ++r)
                *wordRanges[r].out++ = t;
            const int fixed = qMin(words, FixedWords);
            for (int w = 0; w < fixed; ++w)
                *out[w]++ = i16(v + 2 * w) / 163.84;
            for (int w = FixedWords; w < words; ++w)
                *out[w]++ = i16(v + 2 * w) / 327.68;
            break;
        }
        case 2:
            if (len >= MinLenTx) {
                *txT++ = t;
                *out[SlotTx]++ = v[0];
            }
            break;
        case 10:
            if (len >= MinLenRx) {
                *rxT++ = t;
                double **o = &out[SlotRx];
                *o[0]++ = u16(v + 1) / 1000.0;
                *o[1]++ = v[3];
                *o[2]++ = v[4];
                *o[3]++ = v[5];
                *o[4]++ = v[6] & 1;
            }
            break;
        case 11:
            if (len >= MinLenEsc) {
                *escT++ = t;
                double **o = &out[SlotEsc];
                *o[0]++ = u16(v + 1) / 100.0;
                *o[1]++ = u16(v + 3) / 100.0;
                *o[2]++ = u16(v + 5) / 10.0;
                *o[3]++ = u16(v + 7) / 10.0;
                *o[4]++ = u16(v + 9) / 10.0;
                *o[5]++ = u16(v + 11);
                *o[6]++ = u16(v + 13);
                *o[7]++ = v[15];
                *o[8]++ = v[16];
                *o[9]++ = v[17];
            }
            break;
        case 12:
            if (len >= MinLenGps) {
                *gpsT++ = t;
                double **o = &out[SlotGps];
                *o[0]++ = i32(v + 1);
                *o[1]++ = i32(v + 5);
                *o[2]++ = u16(v + 9);
                *o[3]++ = i16(v + 11) / 10.0;
                *o[4]++ = i16(v + 13);
                *o[5]++ = v[15];
            }
            break;
        case 13:
            if (len >= MinLenFc) {
                *fcT++ = t;
                double **o = &out[SlotFc];
                *o[0]++ = v[0] & 7;
                *o[1]++ = v[1];
                *o[2]++ = v[2];
                *o[3]++ = u16(v + 3);
                *o[4]++ = i16(v + 5) / 10.0;
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
                *o[5]++ = pitch * 180 / M_PI;
                *o[6]++ = roll * 180 / M_PI;
                *o[7]++ = yaw * 180 / M_PI;
                *o[8]++ = W;
                *o[9]++ = X;
                *o[10]++ = Y;
                *o[11]++ = Z;
            }
            break;
        default:
            break;
        }
    });

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
    for (int r = 0; r < wordRanges.size(); ++r) {
        const int end = r + 1 < wordRanges.size() ? wordRanges[r + 1].first : maxWords;
        share(wordRanges[r].first, end - wordRanges[r].first, wordRanges[r].times);
    }
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
        QVector<double> rateTimes(nFc - 1), elev(nFc - 1), ail(nFc - 1), rud(nFc - 1);
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
            if (s < 1e-9)
                continue;
            const double k = 2 * std::atan2(s, p.w) / s / dt;
            rateTimes[n] = (t1 + t0) * 0.5;
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
