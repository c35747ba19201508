#pragma once

#include "LogGraph.h"

#include <qcustomplot.h>

#include <QPixmap>
#include <QPointer>
#include <QRegion>

#include <memory>

class StripeRenderer;

// A QCustomPlot whose value axes can each be zoomed (wheel) and shifted (drag) on their
// own, and which tells a click on the data area apart from a drag. Its log graphs are drawn
// ahead by a StripeRenderer, on threads.
class MultiAxisPlot : public QCustomPlot, public LogGraph::Drawer
{
    Q_OBJECT

public:
    // The time cursor's layer: the top layer "overlay", buffered apart from the rest, so
    // moving the cursor redraws only it: put the cursor items on it and call
    // replotCursorLayer().
    static constexpr const char *CursorLayerName = "overlay";

    explicit MultiAxisPlot(QWidget *parent = nullptr);
    ~MultiAxisPlot() override;

    // Log graphs drawn in the background: a replot whose graphs need drawing anew returns
    // before they are drawn, the plot keeps showing its last whole picture, and it replots
    // itself once they are. The picture is the one a replot on the spot makes. Off at first.
    void setBackgroundDrawing(bool on);
    // A replot waits for its graphs drawn in the background.
    Q_INVOKABLE bool isDrawingPending() const;

    // The visible left or right axis whose line, tick labels or label lie under pos.
    QCPAxis *yAxisUnderPos(const QPoint &pos) const;
    QCPLayer *cursorLayer() const;
    // Redraws the cursor layer and repaints only where its items were and are now (a
    // full replot when the plot's buffers need one first).
    void replotCursorLayer();

    // True when the graph was drawn ahead, with the plot's other log graphs, by the threads
    // of the replot in progress; painter then gets that drawing.
    bool drawPrepared(const LogGraph *graph, QCPPainter *painter) override;

signals:
    void plotClicked(double key);
    void arrowKeyPressed(int direction);

protected:
    void paintEvent(QPaintEvent *event) override;
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
    // The buffers as they are, shown while the graphs are drawn in the background.
    void keepShownPicture();

    std::unique_ptr<StripeRenderer> stripes;
    QPixmap shownPicture;
    bool refreshHeld = false; // in a replot whose graphs are drawn in the background

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
