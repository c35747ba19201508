#pragma once

#include "LogVariable.h"

#include <QSharedPointer>
#include <QVector>

#include <qcustomplot.h>

// One log variable made ready for plotting, once, and shared by every graph and tab that
// shows it. It holds the variable's own sample arrays (no copy, unless the stamps need
// sorting), a min/max summary of each block of samples, and the ranges a rescale or the
// value table asks for.
class PlotSeries
{
public:
    // The series of v, made on first use and shared while anyone holds it: the Log
    // Viewer and Replay showing the same log plot from one series. GUI thread only.
    static QSharedPointer<const PlotSeries> of(const LogVariable &v);

    // Samples per block of the summary.
    static constexpr int BlockSize = 64;

    int size() const { return count; }
    const double *times() const { return samples.times.constData(); }
    const double *values() const { return samples.values.constData(); }

    // The lowest and highest value of samples [first, end) as QCustomPlot's sampling finds
    // them going sample by sample from the first (NaN samples never win; a NaN first
    // sample gives NaN), from the block summary in far fewer steps.
    void minMax(int first, int end, double &lowest, double &highest) const;

    // QCustomPlot's ranges of the whole series (NaN values left out), as a rescale asks.
    QCPRange keyRange, valueRange;
    bool hasKeyRange = false, hasValueRange = false;
    // Lowest and highest finite value, for the value table.
    double finiteMin = 0, finiteMax = 0;
    bool hasFinite = false;

private:
    explicit PlotSeries(const LogVariable &v);

    LogVariable samples; // in time order; shares the log's arrays when they already are
    LogVariable source; // the arrays the series is found by, kept alive with it
    int count = 0;
    // Lowest and highest non-NaN value of each block (+inf and -inf for a block of NaN).
    QVector<double> blockMin, blockMax;
};

// A graph of a log variable: QCustomPlot's graph drawn straight from the shared series.
// Nothing is copied into a graph data container: the lines, ranges, hit test and data
// access read the series, and its adaptive sampling gives QCustomPlot's own points from
// the block summary at a cost per pixel instead of per sample. Draws lines only (no
// scatters); setData is not for this class.
class LogGraph : public QCPGraph
{
    Q_OBJECT
public:
    LogGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // A plot that may draw its log graphs ahead of its layers: a graph on it asks it first,
    // and draws itself when it says no.
    class Drawer
    {
    public:
        // True when graph was drawn ahead; painter then gets that drawing.
        virtual bool drawPrepared(const LogGraph *graph, QCPPainter *painter) = 0;

    protected:
        ~Drawer() = default;
    };

    void setSeries(const QSharedPointer<const PlotSeries> &series);
    QSharedPointer<const PlotSeries> plotSeries() const { return series; }

    double selectTest(const QPointF &pos, bool onlySelectable,
                      QVariant *details = nullptr) const override;
    QCPRange getKeyRange(bool &foundRange,
                         QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool &foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange &inKeyRange = QCPRange()) const override;

    int dataCount() const override;
    double dataMainKey(int index) const override;
    double dataSortKey(int index) const override;
    double dataMainValue(int index) const override;
    QCPRange dataValueRange(int index) const override;
    QPointF dataPixelPosition(int index) const override;
    QCPDataSelection selectTestRect(const QRectF &rect, bool onlySelectable) const override;
    int findBegin(double sortKey, bool expandedRange = true) const override;
    int findEnd(double sortKey, bool expandedRange = true) const override;

    // The pixel lines of the graph's data segments, unselected ones first, as it draws them.
    struct Lines
    {
        QVector<QVector<QPointF>> parts;
        int firstSelected = 0;
        // Per part: its points run left to right, so a part of it may stand for the whole
        // line in a few pixel columns.
        QVector<bool> leftToRight;
    };
    Lines lines() const;

    // Draws lines (made by lines() for the plot's present layout) on painter as the graph's
    // layer would, its antialiasing setting included, for a painter clipped to the pixel
    // columns [left, right]: a line that runs left to right is handed over only where it
    // reaches them, whose pixels are then those of the whole line. Reads only the graph's
    // settings, so the plot may have graphs drawn on threads of their own while the GUI
    // thread waits.
    void paintOn(QCPPainter *painter, const Lines &lines, double left, double right) const;

protected:
    void draw(QCPPainter *painter) override;
    void paintLines(QCPPainter *painter, const Lines &lines, double left, double right) const;

    // The pixel points of the line over the visible samples within range.
    QVector<QPointF> lineFor(const QCPDataRange &range) const;
    // The samples the line passes through for samples [begin, end), sampled as QCustomPlot
    // samples them.
    void sampledPoints(QVector<QCPGraphData> *out, int begin, int end) const;

private:
    // The series' samples [begin, end) as QCustomPlot data, for the rare cases the summary
    // does not serve (a reversed or logarithmic time axis, ranges of one sign).
    QCPGraphDataContainer copyOf(int begin, int end) const;

    QSharedPointer<const PlotSeries> series;
};
