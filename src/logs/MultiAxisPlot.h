#pragma once

#include "LogGraph.h"

#include <qcustomplot.h>

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QRegion>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

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
    ~MultiAxisPlot() override;

    // Log graphs drawn in the background: a replot whose graphs need drawing anew returns
    // before they are drawn, the plot keeps showing its last whole picture, and it replots
    // itself once they are. The picture is the one a replot on the spot makes. Off at first.
    void setBackgroundDrawing(bool on);
    // A replot waits for its graphs drawn in the background.
    Q_INVOKABLE bool isDrawingPending() const { return pendingFrame != nullptr; }

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
    // What a graph's lines look like besides their points.
    struct Look
    {
        QPen pen, selectedPen;
        QBrush brush, selectedBrush;
        int lineStyle = 0;
        bool antialiased = false, decorated = false;
        QCPDataSelection selection;
        bool operator==(const Look &o) const;
    };
    // The stripes of one drawing of the log graphs, and what they were drawn from.
    struct Frame;
    static Look lookOf(const LogGraph *graph);
    // Draws one graph after another into the stripe: draw(painter, index, drawn).
    static void drawStripe(Stripe &stripe, double ratio, int graphCount,
                           const std::function<void(QCPPainter *, int, const QRect &)> &draw);
    // Starts drawing frame in the background, by copies of the graphs that nothing else
    // touches; the replot that finds the same graphs and lines shows it.
    void startFrame(std::unique_ptr<Frame> frame);
    void frameFinished(Frame *frame);
    void dropPendingFrame();
    void keepShownPicture();

    QVector<const LogGraph *> preparedGraphs;
    int nextPrepared = 0;
    bool preparedBlank = false; // the graphs are drawn later, in the background
    bool backgroundDrawing = false;
    std::unique_ptr<Frame> shownFrame; // the stripes the buffers show or are about to
    std::vector<std::unique_ptr<Frame>> runningFrames; // the last one is the newest
    Frame *pendingFrame = nullptr; // running or done, not shown yet
    bool showingFinished = false; // in the replot a finished drawing asked for
    QPixmap shownPicture; // shown while a frame is drawn

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
