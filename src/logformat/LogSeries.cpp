#include "LogSeries.h"

#include <QHash>
#include <QPair>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace LogSeries {

int nearestIndex(const QVector<double> &times, double key, bool ascending)
{
    const int n = times.size();
    if (n == 0)
        return -1;
    if (!ascending) {
        int best = 0;
        for (int i = 1; i < n; ++i) {
            const double d = std::fabs(times[i] - key);
            const double bestD = std::fabs(times[best] - key);
            if (d < bestD || (d == bestD && times[i] > times[best]))
                best = i;
        }
        return best;
    }
    const int lower = int(std::lower_bound(times.cbegin(), times.cend(), key) - times.cbegin());
    if (lower == n)
        return n - 1;
    if (lower > 0 && std::fabs(times[lower - 1] - key) < std::fabs(times[lower] - key))
        return lower - 1;
    return lower;
}

double valueAt(const LogVariable &v, double t)
{
    const int count = std::min(v.times.size(), v.values.size());
    if (count == 0)
        return 0.0;
    if (count == 1)
        return v.values.at(0);
    const auto begin = v.times.begin();
    const int i = int(std::lower_bound(begin, begin + count, t) - begin);
    if (i == 0)
        return v.values.at(0);
    if (i == count)
        return v.values.at(count - 1);
    const double t0 = v.times.at(i - 1);
    const double t1 = v.times.at(i);
    const double y0 = v.values.at(i - 1);
    const double y1 = v.values.at(i);
    if (t0 >= t1)
        return y0;
    return y0 + (y1 - y0) * (t - t0) / (t1 - t0);
}

QVector<LogVariable> inTimeOrder(const QVector<LogVariable> &vars)
{
    // The variables of one record share their times: one order and one sorted copy serve
    // them all.
    struct Sorted
    {
        QVector<int> order;
        QVector<double> times;
    };
    QHash<QPair<const double *, int>, Sorted> sorted;
    QVector<LogVariable> result;
    result.reserve(vars.size());
    for (const LogVariable &v : vars) {
        if (v.timesAscending) {
            result.append(v);
            continue;
        }
        const int n = std::min(v.times.size(), v.values.size());
        const auto key = qMakePair(v.times.constData(), n);
        auto found = sorted.find(key);
        if (found == sorted.end()) {
            Sorted s;
            s.order.resize(n);
            std::iota(s.order.begin(), s.order.end(), 0);
            std::stable_sort(s.order.begin(), s.order.end(),
                             [&v](int a, int b) { return v.times.at(a) < v.times.at(b); });
            s.times.resize(n);
            for (int i = 0; i < n; ++i)
                s.times[i] = v.times.at(s.order[i]);
            found = sorted.insert(key, s);
        }
        const Sorted &s = *found;
        LogVariable inOrder;
        inOrder.name = v.name;
        inOrder.allFinite = v.allFinite;
        inOrder.times = s.times;
        inOrder.values.resize(n);
        for (int i = 0; i < n; ++i)
            inOrder.values[i] = v.values.at(s.order[i]);
        result.append(std::move(inOrder));
    }
    return result;
}

} // namespace LogSeries
