#pragma once

#include "LogGraph.h"

#include <qcustomplot.h>

#include <QImage>
#include <QObject>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

// Draws a plot's log graphs ahead of its layers, once a replot has laid the plot out: the
// graphs, one after another on their layer, into vertical stripes of the axis rect, a thread
// per stripe. Thick lines over dense data are what a replot spends its time on. The plot's
// graphs then get that drawing from drawPrepared.
//
// With background drawing on, a replot whose graphs need drawing anew leaves them blank, the
// drawing goes on in the background, and the plot is replotted once it is done. The picture is
// the one a replot on the spot makes.
class StripeRenderer : public QObject
{
    Q_OBJECT

public:
    struct Stripe
    {
        QRect rect; // kept, in the plot
        QRect drawn; // drawn, in the plot: a little wider
        QImage image; // of drawn; kept again for the next replot of the same size
    };

    explicit StripeRenderer(QCustomPlot *plot);
    ~StripeRenderer() override;

    void setBackgroundDrawing(bool on) { backgroundDrawing = on; }
    // A replot waits for the graphs drawn in the background.
    bool isDrawingPending() const { return pendingFrame != nullptr; }

    // After the plot's layout: replotting is false for a layout of another kind (toPixmap,
    // printing), whose graphs draw themselves. True when the replot leaves the graphs blank,
    // to be drawn in the background.
    bool prepare(bool replotting);
    // True when graph was drawn ahead by the replot in progress; painter then gets that
    // drawing.
    bool drawPrepared(const LogGraph *graph, QCPPainter *painter);

    // The stripes of clip for at most threads threads: side by side, covering it, none
    // narrower than about 64 pixels; each drawn margin pixels wider on both sides, within clip.
    static QVector<Stripe> layout(const QRect &clip, int threads, int margin);

signals:
    // A drawing went to the background while the plot showed a whole picture: it should keep
    // showing that picture until drawingEnded.
    void drawingStarted();
    // No drawing is pending any more: shown by the replot in progress, or dropped.
    void drawingEnded();

private:
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

    QCustomPlot *plot;
    QVector<const LogGraph *> preparedGraphs;
    int nextPrepared = 0;
    bool preparedBlank = false; // the graphs are drawn later, in the background
    bool backgroundDrawing = false;
    std::unique_ptr<Frame> shownFrame; // the stripes the buffers show or are about to
    std::vector<std::unique_ptr<Frame>> runningFrames; // the last one is the newest
    Frame *pendingFrame = nullptr; // running or done, not shown yet
    bool showingFinished = false; // in the replot a finished drawing asked for
};
