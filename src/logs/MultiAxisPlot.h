#pragma once

#include <qcustomplot.h>

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QVector>

class LogGraph;

// A QCustomPlot whose value axes can each be zoomed (wheel) and shifted (drag) on their
// own, and which tells a click on the data area apart from a drag.
class MultiAxisPlot : public QCustomPlot
{
    Q_OBJECT

public:
    // The time cursor's layer: the top layer "overlay", buffered apart from the rest, so
    // moving the cursor redraws only it: put the cursor items on it and call
    // replotCursorLayer().
    static constexpr const char *CursorLayerName = "overlay";

    explicit MultiAxisPlot(QWidget *parent = nullptr);

    // The visible left or right axis whose line, tick labels or label lie under pos.
    QCPAxis *yAxisUnderPos(const QPoint &pos) const;
    QCPLayer *cursorLayer() const;
    // Redraws the cursor layer and repaints only where its items were and are now (a
    // full replot when the plot's buffers need one first).
    void replotCursorLayer();

    // For LogGraph::draw: true when the graph was drawn ahead, with the plot's other log
    // graphs, by the threads of the replot in progress; painter then gets that drawing.
    bool drawPrepared(const LogGraph *graph, QCPPainter *painter);

signals:
    void plotClicked(double key);
    void arrowKeyPressed(int direction);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Fewer ticks on a time axis too narrow for the default count, so their labels never
    // print over each other; after the layout, which gives the axis its width.
    void fitTimeTicks();
    // The plot's least width: its axes and a data area of its own, at least as wide as the
    // legend that sits in it.
    void keepDataAreaWidth();
    // Once a replot has laid the plot out: the log graphs, one after another on their
    // layer, drawn into vertical stripes of the axis rect, a thread per stripe. Thick lines
    // over dense data are what a replot spends its time on.
    void prepareLogGraphs();

    struct Stripe
    {
        QRect rect; // kept, in the plot
        QRect drawn; // drawn, in the plot: a little wider
        QImage image; // of drawn; kept again for the next replot of the same size
    };
    QVector<Stripe> stripes;
    QVector<const LogGraph *> preparedGraphs;
    int nextPrepared = 0;

    // Where the cursor layer's items are drawn, in widget pixels; the whole plot for items
    // whose extent is not known.
    QRegion cursorLayerRegion() const;

    QRegion lastCursorRegion;
    bool draggingAxis = false;
    // Guarded: the owner may remove an axis while it is being dragged.
    QPointer<QCPAxis> dragAxis;
    QPoint dragStartPos;
    QCPRange dragStartRange;
    QPoint pressPos;
    bool movedSincePress = false;
};
