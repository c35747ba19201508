#include "StripeRenderer.h"

#include <QThread>
#include <QtConcurrent>

#include <atomic>
#include <cstring>
#include <numeric>
#include <typeinfo>

namespace {

// A pen works out its dash pattern when first asked, writing into data its copies share:
// asked here once, the drawing threads only read it.
void settleDashPatterns(const QCPGraph *graph)
{
    graph->pen().dashPattern();
    if (graph->selectionDecorator())
        graph->selectionDecorator()->pen().dashPattern();
}

constexpr int StripeMargin = 8;

} // namespace

struct StripeRenderer::Frame
{
    QVector<const LogGraph *> graphs; // compared, never used off the GUI thread
    QVector<Look> looks;
    QVector<LogGraph::Lines> lines;
    QVector<Stripe> stripes;
    double ratio = 1;
    QCP::PlottingHints hints;
    QCP::AntialiasedElements antialiased, notAntialiased;
    // Drawn in the background: copies of the graphs on a plot of their own, never shown.
    std::unique_ptr<QCustomPlot> twinPlot;
    QVector<LogGraph *> twins;
    QFutureWatcher<void> watcher;
    std::atomic<bool> cancelled {false};
    bool done = false;

    bool sameAs(const Frame &o) const
    {
        if (graphs != o.graphs || looks != o.looks || ratio != o.ratio || hints != o.hints
            || antialiased != o.antialiased || notAntialiased != o.notAntialiased
            || stripes.size() != o.stripes.size())
            return false;
        for (int i = 0; i < stripes.size(); ++i) {
            if (stripes[i].rect != o.stripes[i].rect || stripes[i].drawn != o.stripes[i].drawn)
                return false;
        }
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].firstSelected != o.lines[i].firstSelected
                || lines[i].parts.size() != o.lines[i].parts.size())
                return false;
            for (int k = 0; k < lines[i].parts.size(); ++k) {
                if (!sameBits(lines[i].parts[k], o.lines[i].parts[k]))
                    return false;
            }
        }
        return true;
    }
    // Bit for bit: a NaN point, a gap in a line, equals itself.
    static bool sameBits(const QVector<QPointF> &a, const QVector<QPointF> &b)
    {
        return a.size() == b.size()
            && (a.isEmpty()
                || std::memcmp(a.constData(), b.constData(), sizeof(QPointF) * size_t(a.size()))
                    == 0);
    }
};

bool StripeRenderer::Look::operator==(const Look &o) const
{
    return pen == o.pen && selectedPen == o.selectedPen && brush == o.brush
        && selectedBrush == o.selectedBrush && lineStyle == o.lineStyle
        && antialiased == o.antialiased && decorated == o.decorated && selection == o.selection;
}

StripeRenderer::Look StripeRenderer::lookOf(const LogGraph *graph)
{
    Look look;
    look.pen = graph->pen();
    look.brush = graph->brush();
    look.lineStyle = graph->lineStyle();
    look.antialiased = graph->antialiased();
    look.selection = graph->selection();
    if (const QCPSelectionDecorator *decorator = graph->selectionDecorator()) {
        look.decorated = true;
        look.selectedPen = decorator->pen();
        look.selectedBrush = decorator->brush();
    }
    return look;
}

StripeRenderer::StripeRenderer(QCustomPlot *plot)
    : plot(plot)
{
}

StripeRenderer::~StripeRenderer()
{
    for (const std::unique_ptr<Frame> &frame : runningFrames) {
        frame->cancelled = true;
        frame->watcher.waitForFinished();
    }
}

QVector<StripeRenderer::Stripe> StripeRenderer::layout(const QRect &clip, int threads, int margin)
{
    QVector<Stripe> stripes;
    if (clip.width() <= 0 || clip.height() <= 0)
        return stripes;
    const int count = std::max(1, std::min(threads, clip.width() / 64));
    stripes.resize(count);
    for (int i = 0; i < count; ++i) {
        const int left = clip.left() + clip.width() * i / count;
        const int right = clip.left() + clip.width() * (i + 1) / count;
        stripes[i].rect = QRect(left, clip.top(), right - left, clip.height());
        stripes[i].drawn = stripes[i].rect.adjusted(-margin, 0, margin, 0) & clip;
    }
    return stripes;
}

void StripeRenderer::drawStripe(Stripe &stripe, double ratio, int graphCount,
                                const std::function<void(QCPPainter *, int, const QRect &)> &draw)
{
    const QRect drawn = stripe.drawn;
    if (stripe.image.size() != drawn.size() * ratio
        || !qFuzzyCompare(stripe.image.devicePixelRatioF(), ratio)) {
        stripe.image = QImage(drawn.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        stripe.image.setDevicePixelRatio(ratio);
    }
    stripe.image.fill(Qt::transparent);
    QCPPainter painter(&stripe.image);
    // What QCustomPlot's paint buffers give their painters; the raster engine smooths
    // lines with it whatever a graph's own antialiasing says.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    painter.setRenderHint(QPainter::HighQualityAntialiasing);
    QT_WARNING_POP
    painter.translate(-drawn.topLeft());
    for (int i = 0; i < graphCount; ++i) {
        painter.save();
        painter.setClipRect(drawn);
        draw(&painter, i, drawn);
        painter.restore();
    }
}

bool StripeRenderer::prepare(bool replotting)
{
    preparedGraphs.clear();
    nextPrepared = 0;
    preparedBlank = false;
    // A layout for a picture of another kind (toPixmap, printing) draws the graphs directly.
    if (!replotting)
        return false;
    // The first run of log graphs on their layer, with nothing drawn between them.
    QCPLayer *graphLayer = nullptr;
    for (int i = 0; i < plot->plottableCount() && !graphLayer; ++i) {
        if (auto *graph = qobject_cast<LogGraph *>(plot->plottable(i)))
            graphLayer = graph->layer();
    }
    QVector<LogGraph *> graphs;
    if (graphLayer) {
        for (QCPLayerable *child : graphLayer->children()) {
            auto *graph = qobject_cast<LogGraph *>(child);
            if (!child->realVisibility())
                continue;
            if (!graph) {
                if (!graphs.isEmpty())
                    break;
                continue;
            }
            graphs.append(graph);
        }
    }
    if (graphs.isEmpty()) {
        dropPendingFrame();
        return false;
    }
    // As QCPLayer::draw clips each of them.
    QCPAxisRect *rect = graphs.first()->keyAxis() ? graphs.first()->keyAxis()->axisRect() : nullptr;
    // Smoothed lines laid over the buffer come out visibly unlike those drawn on it: such
    // graphs are drawn directly. (The plot's element settings win over a graph's own.)
    const auto smoothed = [this](const LogGraph *graph) {
        if (plot->notAntialiasedElements().testFlag(QCP::aePlottables))
            return false;
        return plot->antialiasedElements().testFlag(QCP::aePlottables) || graph->antialiased();
    };
    // Copies of a graph draw like it when only its pens tell lines apart.
    bool copiesDraw = backgroundDrawing;
    for (LogGraph *graph : qAsConst(graphs)) {
        if (!graph->keyAxis() || !graph->valueAxis() || graph->keyAxis()->axisRect() != rect
            || graph->valueAxis()->axisRect() != rect || smoothed(graph)) {
            dropPendingFrame();
            return false;
        }
        const QCPSelectionDecorator *decorator = graph->selectionDecorator();
        if (graph->brush().style() != Qt::NoBrush || graph->channelFillGraph()
            || (decorator
                && (typeid(*decorator) != typeid(QCPSelectionDecorator)
                    || !decorator->scatterStyle().isNone())))
            copiesDraw = false;
    }
    auto frame = std::make_unique<Frame>();
    // Drawn a little wider than kept: smoothed lines change at the edge of a clip.
    frame->stripes
        = layout(rect->rect().translated(0, -1), QThread::idealThreadCount(), StripeMargin);
    if (frame->stripes.isEmpty()) {
        dropPendingFrame();
        return false;
    }
    frame->ratio = plot->bufferDevicePixelRatio();
    frame->hints = plot->plottingHints();
    frame->antialiased = plot->antialiasedElements();
    frame->notAntialiased = plot->notAntialiasedElements();
    frame->lines.resize(graphs.size());
    for (const LogGraph *graph : qAsConst(graphs)) {
        frame->graphs.append(graph);
        frame->looks.append(lookOf(graph));
    }
    // Each graph's lines once, a thread per graph; every stripe draws the part of them that
    // reaches it.
    QVector<int> order(graphs.size());
    std::iota(order.begin(), order.end(), 0);
    QtConcurrent::blockingMap(order,
                              [&graphs, &frame](int i) { frame->lines[i] = graphs[i]->lines(); });
    const auto prepared = [this, &graphs](bool blank) {
        for (LogGraph *graph : qAsConst(graphs))
            preparedGraphs.append(graph);
        preparedBlank = blank;
        return blank;
    };
    // Drawn already (a replot that changed nothing of the graphs, or the replot that shows
    // what the background drew).
    if (shownFrame && shownFrame->sameAs(*frame)) {
        dropPendingFrame();
        return prepared(false);
    }
    if (pendingFrame && pendingFrame->sameAs(*frame)) {
        if (pendingFrame->done) {
            for (auto it = runningFrames.begin(); it != runningFrames.end(); ++it) {
                if (it->get() == pendingFrame) {
                    shownFrame = std::move(*it);
                    runningFrames.erase(it);
                    break;
                }
            }
            shownFrame->twinPlot.reset();
            shownFrame->twins.clear();
            pendingFrame = nullptr;
            emit drawingEnded();
            return prepared(false);
        }
        return prepared(true);
    }
    // The replot a finished drawing asked for draws on the spot if that drawing no longer
    // fits, so that drawings never chase each other.
    if (copiesDraw && !showingFinished) {
        if (!pendingFrame)
            emit drawingStarted();
        startFrame(std::move(frame));
        return prepared(true);
    }
    dropPendingFrame();
    for (const LogGraph *graph : qAsConst(graphs))
        settleDashPatterns(graph);
    // The last drawing's pictures, of the same size again most of the time.
    if (shownFrame && shownFrame->stripes.size() == frame->stripes.size()) {
        for (int i = 0; i < frame->stripes.size(); ++i)
            frame->stripes[i].image = std::move(shownFrame->stripes[i].image);
    }
    shownFrame = std::move(frame);
    Frame *f = shownFrame.get();
    QtConcurrent::blockingMap(f->stripes, [f, &graphs](Stripe &stripe) {
        drawStripe(stripe, f->ratio, graphs.size(),
                   [f, &graphs](QCPPainter *painter, int i, const QRect &drawn) {
                       graphs[i]->paintOn(painter, f->lines[i], drawn.left(), drawn.right() + 1);
                   });
    });
    return prepared(false);
}

void StripeRenderer::startFrame(std::unique_ptr<Frame> frame)
{
    if (pendingFrame)
        pendingFrame->cancelled = true;
    frame->twinPlot = std::make_unique<QCustomPlot>();
    QCustomPlot *twinPlot = frame->twinPlot.get();
    twinPlot->setPlottingHints(frame->hints);
    twinPlot->setAntialiasedElements(frame->antialiased);
    twinPlot->setNotAntialiasedElements(frame->notAntialiased);
    for (int i = 0; i < frame->graphs.size(); ++i) {
        const LogGraph *graph = frame->graphs[i];
        auto *twin = new LogGraph(twinPlot->xAxis, twinPlot->yAxis);
        twin->setPen(graph->pen());
        twin->setBrush(graph->brush());
        twin->setLineStyle(graph->lineStyle());
        twin->setAntialiased(graph->antialiased());
        twin->setSelectable(graph->selectable());
        if (const QCPSelectionDecorator *decorator = graph->selectionDecorator())
            twin->selectionDecorator()->copyFrom(decorator);
        else
            twin->setSelectionDecorator(nullptr);
        twin->setSelection(graph->selection());
        settleDashPatterns(twin);
        frame->twins.append(twin);
    }
    Frame *f = frame.get();
    pendingFrame = f;
    runningFrames.push_back(std::move(frame));
    connect(&f->watcher, &QFutureWatcher<void>::finished, this, [this, f] { frameFinished(f); });
    f->watcher.setFuture(QtConcurrent::map(f->stripes, [f](Stripe &stripe) {
        if (f->cancelled)
            return;
        drawStripe(
            stripe, f->ratio, f->twins.size(), [f](QCPPainter *painter, int i, const QRect &drawn) {
                if (!f->cancelled)
                    f->twins[i]->paintOn(painter, f->lines[i], drawn.left(), drawn.right() + 1);
            });
    }));
}

void StripeRenderer::frameFinished(Frame *frame)
{
    if (frame != pendingFrame || frame->cancelled) {
        // Not from inside its watcher's signal.
        QMetaObject::invokeMethod(
            this,
            [this, frame] {
                for (auto it = runningFrames.begin(); it != runningFrames.end(); ++it) {
                    if (it->get() == frame && frame->watcher.isFinished()) {
                        runningFrames.erase(it);
                        break;
                    }
                }
            },
            Qt::QueuedConnection);
        return;
    }
    frame->done = true;
    showingFinished = true;
    plot->replot(QCustomPlot::rpRefreshHint);
    showingFinished = false;
}

void StripeRenderer::dropPendingFrame()
{
    if (!pendingFrame)
        return;
    pendingFrame->cancelled = true;
    if (pendingFrame->done)
        frameFinished(pendingFrame);
    pendingFrame = nullptr;
    emit drawingEnded();
    plot->update();
}

bool StripeRenderer::drawPrepared(const LogGraph *graph, QCPPainter *painter)
{
    // The stripes were drawn as a replot draws into its buffers; a picture made otherwise
    // (toPixmap, printing: other painter modes or a scale) gets the graphs drawn directly.
    const bool sameWay = painter->modes() == QCPPainter::pmDefault
        && painter->transform().type() <= QTransform::TxTranslate
        && qFuzzyCompare(painter->device()->devicePixelRatioF(), plot->bufferDevicePixelRatio());
    if (!sameWay || nextPrepared >= preparedGraphs.size()
        || preparedGraphs.at(nextPrepared) != graph) {
        preparedGraphs.clear();
        return false;
    }
    if (nextPrepared == 0 && !preparedBlank && shownFrame) {
        for (const Stripe &stripe : qAsConst(shownFrame->stripes))
            painter->drawImage(
                QRectF(stripe.rect), stripe.image,
                QRectF(QPointF(stripe.rect.topLeft() - stripe.drawn.topLeft())
                           * stripe.image.devicePixelRatioF(),
                       QSizeF(stripe.rect.size()) * stripe.image.devicePixelRatioF()));
    }
    if (++nextPrepared == preparedGraphs.size()) {
        preparedGraphs.clear();
        nextPrepared = 0;
    }
    return true;
}
