#include "LogGraph.h"

#include <QHash>
#include <QWeakPointer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

struct SeriesKey
{
    const double *times, *values;
    int size;
    bool operator==(const SeriesKey &o) const
    {
        return times == o.times && values == o.values && size == o.size;
    }
};

uint qHash(const SeriesKey &k, uint seed = 0)
{
    return ::qHash(quintptr(k.times), seed) ^ ::qHash(quintptr(k.values), seed) ^ uint(k.size);
}

// The series made so far, by the sample arrays they were made from. A series keeps its
// arrays alive, so an entry's address cannot be reused by other samples while it lives.
QHash<SeriesKey, QWeakPointer<const PlotSeries>> &madeSeries()
{
    static QHash<SeriesKey, QWeakPointer<const PlotSeries>> made;
    return made;
}

// The first index in [from, stop) whose time is not below limit, times ascending; guess is
// where it probably is (the last interval's length on: samples come at a steady rate).
int firstAtOrAfter(const double *t, int from, int stop, double limit, int guess)
{
    if (from >= stop || !(t[from] < limit))
        return from;
    // Galloping from the guess in the direction of the answer, then bisecting.
    int below = std::clamp(guess - 1, from, stop - 1);
    if (t[below] < limit) {
        int step = 1;
        while (stop - below > step && t[below + step] < limit) {
            below += step;
            step *= 2;
        }
        const int bound = stop - below > step ? below + step : stop;
        return int(
            std::partition_point(t + below + 1, t + bound, [limit](double x) { return x < limit; })
            - t);
    }
    int above = below; // t[above] >= limit
    int step = 1;
    while (above - from > step && !(t[above - step] < limit)) {
        above -= step;
        step *= 2;
    }
    const int low = above - from > step ? above - step : from;
    return int(std::partition_point(t + low + 1, t + above, [limit](double x) { return x < limit; })
               - t);
}

} // namespace

QSharedPointer<const PlotSeries> PlotSeries::of(const LogVariable &v)
{
    const SeriesKey key {v.times.constData(), v.values.constData(),
                         std::min(v.times.size(), v.values.size())};
    QHash<SeriesKey, QWeakPointer<const PlotSeries>> &made = madeSeries();
    if (QSharedPointer<const PlotSeries> existing = made.value(key).toStrongRef())
        return existing;
    for (auto it = made.begin(); it != made.end();) {
        if (it.value().isNull())
            it = made.erase(it);
        else
            ++it;
    }
    QSharedPointer<const PlotSeries> series(new PlotSeries(v));
    made.insert(key, series);
    return series;
}

PlotSeries::PlotSeries(const LogVariable &v)
    : source(v)
{
    count = std::min(v.times.size(), v.values.size());
    samples.name = v.name;
    samples.times = v.times;
    samples.values = v.values;
    if (!std::is_sorted(v.times.cbegin(), v.times.cbegin() + count)) {
        // Stable, so samples with equal stamps keep their file order.
        QVector<int> order(count);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&v](int a, int b) { return v.times[a] < v.times[b]; });
        samples.times.resize(count);
        samples.values.resize(count);
        for (int i = 0; i < count; ++i) {
            samples.times[i] = v.times[order[i]];
            samples.values[i] = v.values[order[i]];
        }
    }
    if (count == 0)
        return;

    const double *t = times(), *y = values();
    const int blocks = (count + BlockSize - 1) / BlockSize;
    blockMin.resize(blocks);
    blockMax.resize(blocks);
    const double inf = std::numeric_limits<double>::infinity();
    for (int b = 0; b < blocks; ++b) {
        // Comparisons with NaN are false, so NaN samples never enter a block's extremes.
        double lo = inf, hi = -inf;
        for (int i = b * BlockSize, end = std::min(i + BlockSize, count); i < end; ++i) {
            lo = y[i] < lo ? y[i] : lo;
            hi = y[i] > hi ? y[i] : hi;
        }
        blockMin[b] = lo;
        blockMax[b] = hi;
    }

    int first = 0, last = count - 1;
    while (first < count && std::isnan(y[first]))
        ++first;
    while (last >= 0 && std::isnan(y[last]))
        --last;
    hasKeyRange = hasValueRange = first < count;
    if (!hasValueRange)
        return;
    keyRange = QCPRange(t[first], t[last]);
    minMax(first, count, valueRange.lower, valueRange.upper);

    if (std::isfinite(valueRange.lower) && std::isfinite(valueRange.upper)) {
        finiteMin = valueRange.lower;
        finiteMax = valueRange.upper;
        hasFinite = true;
        return;
    }
    double lo = inf, hi = -inf;
    for (int i = 0; i < count; ++i) {
        if (std::isfinite(y[i])) {
            lo = std::min(lo, y[i]);
            hi = std::max(hi, y[i]);
        }
    }
    hasFinite = lo <= hi;
    if (hasFinite) {
        finiteMin = lo;
        finiteMax = hi;
    }
}

void PlotSeries::minMax(int first, int end, double &lowest, double &highest) const
{
    const double *y = values();
    double lo = y[first], hi = lo;
    // Without branches: a sample below the lowest cannot be above the highest, and NaN
    // compares false either way, so this is the sample-by-sample pass's result. Two chains
    // of comparisons run side by side (equal values are equal whichever wins).
    const auto scan = [&lo, &hi, y](int from, int to) {
        double lo2 = lo, hi2 = hi;
        int i = from;
        for (; i + 1 < to; i += 2) {
            lo = y[i] < lo ? y[i] : lo;
            hi = y[i] > hi ? y[i] : hi;
            lo2 = y[i + 1] < lo2 ? y[i + 1] : lo2;
            hi2 = y[i + 1] > hi2 ? y[i + 1] : hi2;
        }
        if (i < to) {
            lo = y[i] < lo ? y[i] : lo;
            hi = y[i] > hi ? y[i] : hi;
        }
        lo = lo2 < lo ? lo2 : lo;
        hi = hi2 > hi ? hi2 : hi;
    };
    if (end - first <= 2 * BlockSize) {
        scan(first + 1, end);
    } else {
        const int firstBlock = (first + BlockSize) / BlockSize, endBlock = end / BlockSize;
        scan(first + 1, firstBlock * BlockSize);
        const double *bMin = blockMin.constData(), *bMax = blockMax.constData();
        for (int b = firstBlock; b < endBlock; ++b) {
            lo = bMin[b] < lo ? bMin[b] : lo;
            hi = bMax[b] > hi ? bMax[b] : hi;
        }
        scan(endBlock * BlockSize, end);
    }
    lowest = lo;
    highest = hi;
}

LogGraph::LogGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{
}

void LogGraph::setSeries(const QSharedPointer<const PlotSeries> &s)
{
    series = s;
}

int LogGraph::dataCount() const
{
    return series ? series->size() : 0;
}

double LogGraph::dataMainKey(int index) const
{
    return index >= 0 && index < dataCount() ? series->times()[index] : 0;
}

double LogGraph::dataSortKey(int index) const
{
    return dataMainKey(index);
}

double LogGraph::dataMainValue(int index) const
{
    return index >= 0 && index < dataCount() ? series->values()[index] : 0;
}

QCPRange LogGraph::dataValueRange(int index) const
{
    const double value = dataMainValue(index);
    return QCPRange(value, value);
}

QPointF LogGraph::dataPixelPosition(int index) const
{
    if (index < 0 || index >= dataCount())
        return QPointF();
    return coordsToPixels(series->times()[index], series->values()[index]);
}

int LogGraph::findBegin(double sortKey, bool expandedRange) const
{
    const int n = dataCount();
    if (n == 0)
        return 0;
    const double *t = series->times();
    int i = int(std::lower_bound(t, t + n, sortKey) - t);
    if (expandedRange && i > 0)
        --i;
    return i;
}

int LogGraph::findEnd(double sortKey, bool expandedRange) const
{
    const int n = dataCount();
    if (n == 0)
        return 0;
    const double *t = series->times();
    int i = int(std::upper_bound(t, t + n, sortKey) - t);
    if (expandedRange && i < n)
        ++i;
    return i;
}

QCPGraphDataContainer LogGraph::copyOf(int begin, int end) const
{
    QVector<QCPGraphData> points(std::max(0, end - begin));
    for (int i = begin; i < end; ++i)
        points[i - begin] = QCPGraphData(series->times()[i], series->values()[i]);
    QCPGraphDataContainer container;
    container.set(points, true);
    return container;
}

QCPRange LogGraph::getKeyRange(bool &foundRange, QCP::SignDomain inSignDomain) const
{
    if (!series || series->size() == 0) {
        foundRange = false;
        return QCPRange();
    }
    if (inSignDomain == QCP::sdBoth) {
        foundRange = series->hasKeyRange;
        return series->keyRange;
    }
    return copyOf(0, series->size()).keyRange(foundRange, inSignDomain);
}

QCPRange LogGraph::getValueRange(bool &foundRange, QCP::SignDomain inSignDomain,
                                 const QCPRange &inKeyRange) const
{
    if (!series || series->size() == 0) {
        foundRange = false;
        return QCPRange();
    }
    if (inSignDomain == QCP::sdBoth && inKeyRange == QCPRange()) {
        foundRange = series->hasValueRange;
        return series->valueRange;
    }
    int begin = 0, end = series->size();
    if (inKeyRange != QCPRange()) {
        begin = findBegin(inKeyRange.lower, false);
        end = findEnd(inKeyRange.upper, false);
    }
    return copyOf(begin, end).valueRange(foundRange, inSignDomain, inKeyRange);
}

// The same points as QCustomPlot's adaptive sampling: the samples are cut into intervals of
// one pixel, each starting at the pixel of its first sample; an interval of one sample
// gives that sample, a longer one its minimum and maximum (with its first and last value
// where the line needs them to meet real samples). Only the way to an interval's end and
// its extremes differs: a search and the block summary instead of a step per sample.
void LogGraph::sampledPoints(QVector<QCPGraphData> *out, int begin, int end) const
{
    QCPAxis *keyAxis = mKeyAxis.data();
    const double *t = series->times(), *y = series->values();
    const double pixelSpan
        = qAbs(keyAxis->coordToPixel(t[begin]) - keyAxis->coordToPixel(t[end - 1]));
    // Fewer than two samples per pixel: every sample is drawn.
    if (!mAdaptiveSampling || !(2 * pixelSpan + 2 < double(std::numeric_limits<int>::max()))
        || end - begin < int(2 * pixelSpan + 2)) {
        out->reserve(end - begin + 2);
        for (int i = begin; i < end; ++i)
            out->append(QCPGraphData(t[i], y[i]));
        return;
    }
    if (keyAxis->scaleType() != QCPAxis::stLinear || keyAxis->pixelOrientation() != 1) {
        const QCPGraphDataContainer part = copyOf(begin, end);
        QCPGraph::getOptimizedLineData(out, part.constBegin(), part.constEnd());
        return;
    }
    out->reserve(4 * int(pixelSpan) + 8);
    int first = begin, length = 1;
    double startKey = keyAxis->pixelToCoord(int(keyAxis->coordToPixel(t[first])));
    const double epsilon
        = qAbs(startKey - keyAxis->pixelToCoord(keyAxis->coordToPixel(startKey) + 1.0));
    double lastEndKey = startKey;
    for (;;) {
        const int next = firstAtOrAfter(t, first + 1, end, startKey + epsilon, first + length);
        length = next - first;
        if (next - first >= 2) {
            if (lastEndKey < startKey - epsilon)
                out->append(QCPGraphData(startKey + epsilon * 0.2, y[first]));
            double lo, hi;
            series->minMax(first, next, lo, hi);
            out->append(QCPGraphData(startKey + epsilon * 0.25, lo));
            out->append(QCPGraphData(startKey + epsilon * 0.75, hi));
            if (next != end && t[next] > startKey + epsilon * 2)
                out->append(QCPGraphData(startKey + epsilon * 0.8, y[next - 1]));
        } else {
            out->append(QCPGraphData(t[first], y[first]));
        }
        if (next == end)
            return;
        lastEndKey = t[next - 1];
        first = next;
        startKey = keyAxis->pixelToCoord(int(keyAxis->coordToPixel(t[first])));
    }
}

QVector<QPointF> LogGraph::lineFor(const QCPDataRange &range) const
{
    QCPAxis *keyAxis = mKeyAxis.data();
    const int n = dataCount();
    if (!keyAxis || !mValueAxis || n == 0 || range.isEmpty())
        return QVector<QPointF>();
    // The visible samples and one beyond each edge, within range.
    QCPDataRange visible(findBegin(keyAxis->range().lower), findEnd(keyAxis->range().upper));
    visible = visible.bounded(range.bounded(QCPDataRange(0, n)));
    if (visible.isEmpty())
        return QVector<QPointF>();
    QVector<QCPGraphData> points;
    if (mLineStyle != lsNone)
        sampledPoints(&points, visible.begin(), visible.end());
    if (keyAxis->rangeReversed() != (keyAxis->orientation() == Qt::Vertical))
        std::reverse(points.begin(), points.end());
    switch (mLineStyle) {
    case lsNone:
        return QVector<QPointF>();
    case lsLine:
        return dataToLines(points);
    case lsStepLeft:
        return dataToStepLeftLines(points);
    case lsStepRight:
        return dataToStepRightLines(points);
    case lsStepCenter:
        return dataToStepCenterLines(points);
    case lsImpulse:
        return dataToImpulseLines(points);
    }
    return QVector<QPointF>();
}

void LogGraph::draw(QCPPainter *painter)
{
    // Drawn already, with the plot's other graphs, on threads of their own.
    if (auto *drawer = dynamic_cast<Drawer *>(mParentPlot)) {
        if (drawer->drawPrepared(this, painter))
            return;
    }
    const double inf = std::numeric_limits<double>::infinity();
    paintLines(painter, lines(), -inf, inf);
}

void LogGraph::paintOn(QCPPainter *painter, const Lines &lines, double left, double right) const
{
    applyDefaultAntialiasingHint(painter);
    paintLines(painter, lines, left, right);
}

LogGraph::Lines LogGraph::lines() const
{
    Lines out;
    if (!mKeyAxis || !mValueAxis || mKeyAxis.data()->range().size() <= 0 || dataCount() == 0
        || mLineStyle == lsNone)
        return out;
    QList<QCPDataRange> selectedSegments, unselectedSegments;
    getDataSegments(selectedSegments, unselectedSegments);
    // Unselected segments reach to the bordering selected samples, as QCustomPlot's do.
    for (const QCPDataRange &segment : qAsConst(unselectedSegments))
        out.parts << lineFor(segment.adjusted(-1, 1));
    out.firstSelected = out.parts.size();
    for (const QCPDataRange &segment : qAsConst(selectedSegments))
        out.parts << lineFor(segment);
    out.leftToRight.reserve(out.parts.size());
    for (const QVector<QPointF> &line : qAsConst(out.parts)) {
        bool ordered = true;
        for (int i = 1; i < line.size() && ordered; ++i)
            ordered = line[i - 1].x() <= line[i].x();
        out.leftToRight << ordered;
    }
    return out;
}

namespace {

// The part of a polyline whose points run left to right that reaches the pixel columns
// [left, right]: from the last point before left to the first after right. Every segment
// and join that touches the columns is kept; the ends it gets lie outside them, where the
// caller's clip hides them. The whole line when its points do not run left to right.
QVector<QPointF> partWithin(const QVector<QPointF> &line, bool leftToRight, double left,
                            double right)
{
    const int n = line.size();
    if (!leftToRight || n < 3 || (left <= line.first().x() && right >= line.last().x()))
        return line;
    const auto x = [](const QPointF &p, double v) {
        return p.x() < v;
    };
    const int first = int(std::lower_bound(line.cbegin(), line.cend(), left, x) - line.cbegin());
    const int end = int(std::upper_bound(line.cbegin(), line.cend(), right,
                                         [](double v, const QPointF &p) { return v < p.x(); })
                        - line.cbegin());
    const int from = std::max(0, first - 1), to = std::min(n, end + 1);
    return line.mid(from, to - from);
}

} // namespace

void LogGraph::paintLines(QCPPainter *painter, const Lines &lines, double left, double right) const
{
    for (int i = 0; i < lines.parts.size(); ++i) {
        const bool isSelected = i >= lines.firstSelected;
        QVector<QPointF> line = lines.parts.at(i);
        if (isSelected && mSelectionDecorator)
            mSelectionDecorator->applyBrush(painter);
        else
            painter->setBrush(mBrush);
        painter->setPen(Qt::NoPen);
        drawFill(painter, &line);
        if (isSelected && mSelectionDecorator)
            mSelectionDecorator->applyPen(painter);
        else
            painter->setPen(mPen);
        painter->setBrush(Qt::NoBrush);
        if (mLineStyle == lsImpulse) {
            drawImpulsePlot(painter, line);
        } else {
            // A dash pattern starts where the line starts: only solid lines are cut. The
            // caps of segments beyond the columns reach into them by up to the pen's width.
            if (painter->pen().style() == Qt::SolidLine) {
                const double reach = painter->pen().widthF() + 2;
                line = partWithin(line, lines.leftToRight.value(i, false), left - reach,
                                  right + reach);
            }
            drawLinePlot(painter, line);
        }
    }
    if (mSelectionDecorator)
        mSelectionDecorator->drawDecoration(painter, selection());
}

double LogGraph::selectTest(const QPointF &pos, bool onlySelectable, QVariant *details) const
{
    const int n = dataCount();
    if ((onlySelectable && mSelectable == QCP::stNone) || n == 0 || !mKeyAxis || !mValueAxis)
        return -1;
    if (!mKeyAxis.data()->axisRect()->rect().contains(pos.toPoint())
        && !mParentPlot->interactions().testFlag(QCP::iSelectPlottablesBeyondAxisRect))
        return -1;
    if (mLineStyle == lsNone) {
        if (details)
            details->setValue(QCPDataSelection(QCPDataRange(n, n + 1)));
        return -1;
    }
    // The nearest sample among those within the selection tolerance, then the nearest
    // point on the line as drawn.
    const double tolerance = mParentPlot->selectionTolerance();
    double keyMin, keyMax, unused;
    pixelsToCoords(pos - QPointF(tolerance, tolerance), keyMin, unused);
    pixelsToCoords(pos + QPointF(tolerance, tolerance), keyMax, unused);
    if (keyMin > keyMax)
        qSwap(keyMin, keyMax);
    double minDistSqr = std::numeric_limits<double>::max();
    int closest = n;
    for (int i = findBegin(keyMin, true), end = findEnd(keyMax, true); i < end; ++i) {
        const double d = QCPVector2D(coordsToPixels(series->times()[i], series->values()[i]) - pos)
                             .lengthSquared();
        if (d < minDistSqr) {
            minDistSqr = d;
            closest = i;
        }
    }
    const QVector<QPointF> lines = lineFor(QCPDataRange(0, n));
    const QCPVector2D p(pos);
    const int step = mLineStyle == lsImpulse ? 2 : 1;
    for (int i = 0; i < lines.size() - 1; i += step)
        minDistSqr = std::min(minDistSqr, p.distanceSquaredToLine(lines.at(i), lines.at(i + 1)));
    if (details)
        details->setValue(QCPDataSelection(QCPDataRange(closest, closest + 1)));
    return qSqrt(minDistSqr);
}

QCPDataSelection LogGraph::selectTestRect(const QRectF &rect, bool onlySelectable) const
{
    QCPDataSelection result;
    const int n = dataCount();
    if ((onlySelectable && mSelectable == QCP::stNone) || n == 0 || !mKeyAxis || !mValueAxis)
        return result;
    double key1, value1, key2, value2;
    pixelsToCoords(rect.topLeft(), key1, value1);
    pixelsToCoords(rect.bottomRight(), key2, value2);
    const QCPRange keys(key1, key2), values(value1, value2);
    int segmentBegin = -1;
    const int begin = findBegin(keys.lower, false), end = findEnd(keys.upper, false);
    for (int i = begin; i < end; ++i) {
        const bool inside
            = values.contains(series->values()[i]) && keys.contains(series->times()[i]);
        if (segmentBegin < 0 && inside) {
            segmentBegin = i;
        } else if (segmentBegin >= 0 && !inside) {
            result.addDataRange(QCPDataRange(segmentBegin, i), false);
            segmentBegin = -1;
        }
    }
    if (segmentBegin >= 0)
        result.addDataRange(QCPDataRange(segmentBegin, end), false);
    result.simplify();
    return result;
}
