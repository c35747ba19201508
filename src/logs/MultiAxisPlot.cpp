#include "MultiAxisPlot.h"

#include "LogGraph.h"
#include "TimeAxisTicker.h"

#include <QThread>
#include <QtConcurrent>

#include <atomic>
#include <cmath>
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

constexpr int ClickThresholdPx = 3;
constexpr double ZoomPerNotch = 0.85;
constexpr int MinDataAreaWidth = 200;
constexpr int LegendInset = 10;

QPoint roundedPos(const QPointF &p)
{
    return QPoint(int(std::floor(p.x() + 0.5)), int(std::floor(p.y() + 0.5)));
}

// QCustomPlot's buffered layer, which can also redraw its buffer without asking for a
// repaint of the whole plot.
class CursorLayer : public QCPLayer
{
public:
    CursorLayer(QCustomPlot *plot, const QString &name)
        : QCPLayer(plot, name)
    {
    }
    bool redrawBuffer()
    {
        const QSharedPointer<QCPAbstractPaintBuffer> buffer = mPaintBuffer.toStrongRef();
        if (mMode != lmBuffered || !buffer)
            return false;
        buffer->clear(Qt::transparent);
        drawToPaintBuffer();
        buffer->setInvalidated(false);
        return true;
    }
};

} // namespace

MultiAxisPlot::MultiAxisPlot(QWidget *parent)
    : QCustomPlot(parent)
{
    // QCustomPlot's own top layer, buffered by default, in place of its top layer of the same
    // name: its items (the selection rectangle) move onto it again.
    QCPLayer *overlay = layer(QLatin1String(CursorLayerName));
    const int at = overlay ? overlay->index() : mLayers.size();
    if (overlay)
        removeLayer(overlay);
    auto *cursor = new CursorLayer(this, QLatin1String(CursorLayerName));
    mLayers.insert(at, cursor);
    updateLayerIndices();
    cursor->setMode(QCPLayer::lmBuffered);
    if (selectionRect())
        selectionRect()->setLayer(cursor);
    // After a full replot everything is drawn where it is now.
    connect(this, &QCustomPlot::afterReplot, this,
            [this] { lastCursorRegion = cursorLayerRegion(); });
    connect(this, &QCustomPlot::afterLayout, this, &MultiAxisPlot::fitTimeTicks);
    connect(this, &QCustomPlot::afterLayout, this, &MultiAxisPlot::keepDataAreaWidth);
    connect(this, &QCustomPlot::afterLayout, this, &MultiAxisPlot::prepareLogGraphs);
}

void MultiAxisPlot::keepDataAreaWidth()
{
    // The value axes take their width from the data area: with many of them the graphs
    // would shrink to a sliver under a legend wider than they are.
    int dataWidth = MinDataAreaWidth;
    if (legend->visible())
        dataWidth = qMax(dataWidth, legend->minimumOuterSizeHint().width() + 2 * LegendInset);
    const int needed = width() - axisRect()->width() + dataWidth;
    if (minimumWidth() != needed)
        setMinimumWidth(needed);
}

void MultiAxisPlot::fitTimeTicks()
{
    const QSharedPointer<QCPAxisTicker> ticker = xAxis->ticker();
    if (!ticker.dynamicCast<TimeAxisTicker>())
        return;
    const int count
        = TimeAxisTicker::tickCountForWidth(axisRect()->width(), xAxis->tickLabelFont());
    if (count == ticker->tickCount())
        return;
    ticker->setTickCount(count);
    // The layout has made this replot's ticks already: make them again.
    axisRect()->update(QCPLayoutElement::upPreparation);
}

struct MultiAxisPlot::Frame
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

bool MultiAxisPlot::Look::operator==(const Look &o) const
{
    return pen == o.pen && selectedPen == o.selectedPen && brush == o.brush
        && selectedBrush == o.selectedBrush && lineStyle == o.lineStyle
        && antialiased == o.antialiased && decorated == o.decorated && selection == o.selection;
}

MultiAxisPlot::Look MultiAxisPlot::lookOf(const LogGraph *graph)
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

MultiAxisPlot::~MultiAxisPlot()
{
    for (const std::unique_ptr<Frame> &frame : runningFrames) {
        frame->cancelled = true;
        frame->watcher.waitForFinished();
    }
}

void MultiAxisPlot::setBackgroundDrawing(bool on)
{
    backgroundDrawing = on;
}

void MultiAxisPlot::drawStripe(Stripe &stripe, double ratio, int graphCount,
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

void MultiAxisPlot::prepareLogGraphs()
{
    preparedGraphs.clear();
    nextPrepared = 0;
    preparedBlank = false;
    // A layout for a picture of another kind (toPixmap, printing) draws the graphs directly.
    if (!mReplotting)
        return;
    // The first run of log graphs on their layer, with nothing drawn between them.
    QCPLayer *graphLayer = nullptr;
    for (int i = 0; i < plottableCount() && !graphLayer; ++i) {
        if (auto *graph = qobject_cast<LogGraph *>(plottable(i)))
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
        return;
    }
    // As QCPLayer::draw clips each of them.
    QCPAxisRect *rect = graphs.first()->keyAxis() ? graphs.first()->keyAxis()->axisRect() : nullptr;
    // Smoothed lines laid over the buffer come out visibly unlike those drawn on it: such
    // graphs are drawn directly. (The plot's element settings win over a graph's own.)
    const auto smoothed = [this](const LogGraph *graph) {
        if (notAntialiasedElements().testFlag(QCP::aePlottables))
            return false;
        return antialiasedElements().testFlag(QCP::aePlottables) || graph->antialiased();
    };
    // Copies of a graph draw like it when only its pens tell lines apart.
    bool copiesDraw = backgroundDrawing;
    for (LogGraph *graph : qAsConst(graphs)) {
        if (!graph->keyAxis() || !graph->valueAxis() || graph->keyAxis()->axisRect() != rect
            || graph->valueAxis()->axisRect() != rect || smoothed(graph)) {
            dropPendingFrame();
            return;
        }
        const QCPSelectionDecorator *decorator = graph->selectionDecorator();
        if (graph->brush().style() != Qt::NoBrush || graph->channelFillGraph()
            || (decorator
                && (typeid(*decorator) != typeid(QCPSelectionDecorator)
                    || !decorator->scatterStyle().isNone())))
            copiesDraw = false;
    }
    const QRect clip = rect->rect().translated(0, -1);
    if (clip.width() <= 0 || clip.height() <= 0) {
        dropPendingFrame();
        return;
    }
    auto frame = std::make_unique<Frame>();
    const int count = std::max(1, std::min(QThread::idealThreadCount(), clip.width() / 64));
    // Drawn a little wider than kept: smoothed lines change at the edge of a clip.
    const int margin = 8;
    frame->stripes.resize(count);
    for (int i = 0; i < count; ++i) {
        const int left = clip.left() + clip.width() * i / count;
        const int right = clip.left() + clip.width() * (i + 1) / count;
        frame->stripes[i].rect = QRect(left, clip.top(), right - left, clip.height());
        frame->stripes[i].drawn = frame->stripes[i].rect.adjusted(-margin, 0, margin, 0) & clip;
    }
    frame->ratio = bufferDevicePixelRatio();
    frame->hints = plottingHints();
    frame->antialiased = antialiasedElements();
    frame->notAntialiased = notAntialiasedElements();
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
    };
    // Drawn already (a replot that changed nothing of the graphs, or the replot that shows
    // what the background drew).
    if (shownFrame && shownFrame->sameAs(*frame)) {
        dropPendingFrame();
        prepared(false);
        return;
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
            shownPicture = QPixmap();
            prepared(false);
        } else {
            prepared(true);
        }
        return;
    }
    // The replot a finished drawing asked for draws on the spot if that drawing no longer
    // fits, so that drawings never chase each other.
    if (copiesDraw && !showingFinished) {
        if (!pendingFrame)
            keepShownPicture();
        startFrame(std::move(frame));
        prepared(true);
        return;
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
    prepared(false);
}

void MultiAxisPlot::startFrame(std::unique_ptr<Frame> frame)
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

void MultiAxisPlot::frameFinished(Frame *frame)
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
    replot(rpRefreshHint);
    showingFinished = false;
}

void MultiAxisPlot::dropPendingFrame()
{
    if (!pendingFrame)
        return;
    pendingFrame->cancelled = true;
    if (pendingFrame->done)
        frameFinished(pendingFrame);
    pendingFrame = nullptr;
    shownPicture = QPixmap();
    update();
}

void MultiAxisPlot::keepShownPicture()
{
    const double ratio = bufferDevicePixelRatio();
    shownPicture = QPixmap(viewport().size() * ratio);
    shownPicture.setDevicePixelRatio(ratio);
    shownPicture.fill(Qt::transparent);
    QCPPainter painter(&shownPicture);
    // As paintEvent draws the buffers.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    painter.setRenderHint(QPainter::HighQualityAntialiasing);
    QT_WARNING_POP
    if (mBackgroundBrush.style() != Qt::NoBrush)
        painter.fillRect(mViewport, mBackgroundBrush);
    drawBackground(&painter);
    for (const QSharedPointer<QCPAbstractPaintBuffer> &buffer : qAsConst(mPaintBuffers))
        buffer->draw(&painter);
}

void MultiAxisPlot::paintEvent(QPaintEvent *event)
{
    if (!pendingFrame || shownPicture.isNull()) {
        QCustomPlot::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (shownPicture.size() != viewport().size() * shownPicture.devicePixelRatioF())
        painter.fillRect(rect(), mBackgroundBrush);
    painter.drawPixmap(0, 0, shownPicture);
}

bool MultiAxisPlot::drawPrepared(const LogGraph *graph, QCPPainter *painter)
{
    // The stripes were drawn as a replot draws into its buffers; a picture made otherwise
    // (toPixmap, printing: other painter modes or a scale) gets the graphs drawn directly.
    const bool sameWay = painter->modes() == QCPPainter::pmDefault
        && painter->transform().type() <= QTransform::TxTranslate
        && qFuzzyCompare(painter->device()->devicePixelRatioF(), bufferDevicePixelRatio());
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

void MultiAxisPlot::replotCursorLayer()
{
    auto *cursor = static_cast<CursorLayer *>(cursorLayer());
    if (hasInvalidatedPaintBuffers() || !cursor->redrawBuffer()) {
        replot(rpRefreshHint);
        return;
    }
    const QRegion now = cursorLayerRegion();
    update(lastCursorRegion.united(now));
    lastCursorRegion = now;
}

QRegion MultiAxisPlot::cursorLayerRegion() const
{
    QRegion region;
    for (QCPLayerable *child : cursorLayer()->children()) {
        if (!child->realVisibility())
            continue;
        // Drawn only while the user drags one out.
        if (auto *selection = qobject_cast<QCPSelectionRect *>(child)) {
            if (!selection->isActive())
                continue;
        }
        if (auto *line = qobject_cast<QCPItemStraightLine *>(child)) {
            const QPointF a = line->point1->pixelPosition(), b = line->point2->pixelPosition();
            if (qAbs(a.x() - b.x()) < 0.5 && axisRectCount() > 0) {
                // A vertical line across the axis rect, dashes and pen width included.
                const int margin = int(std::ceil(line->pen().widthF())) + 2;
                const QRect rect = axisRect()->rect();
                region += QRect(int(std::floor(a.x())) - margin, rect.top() - margin,
                                2 * margin + 1, rect.height() + 2 * margin);
                continue;
            }
        } else if (auto *text = qobject_cast<QCPItemText *>(child)) {
            if (qFuzzyIsNull(text->rotation())) {
                const QRectF box
                    = QRectF(text->topLeft->pixelPosition(), text->bottomRight->pixelPosition())
                          .normalized();
                region += box.toAlignedRect().adjusted(-2, -2, 2, 2);
                continue;
            }
        }
        return QRegion(rect());
    }
    return region;
}

QCPLayer *MultiAxisPlot::cursorLayer() const
{
    return layer(QLatin1String(CursorLayerName));
}

QCPAxis *MultiAxisPlot::yAxisUnderPos(const QPoint &pos) const
{
    if (axisRectCount() < 1)
        return nullptr;
    const QList<QCPAxis *> axes = axisRect(0)->axes(QCPAxis::atLeft | QCPAxis::atRight);
    for (QCPAxis *axis : axes) {
        // A hidden axis keeps the hit boxes of its last drawing.
        if (axis->realVisibility() && axis->selectTest(QPointF(pos), false) >= 0)
            return axis;
    }
    return nullptr;
}

void MultiAxisPlot::wheelEvent(QWheelEvent *event)
{
    const QPoint pos = roundedPos(event->position());
    QCPAxis *axis = yAxisUnderPos(pos);
    if (!axis) {
        QCustomPlot::wheelEvent(event);
        return;
    }
    const double c = axis->pixelToCoord(pos.y());
    const double f = std::pow(ZoomPerNotch, event->angleDelta().y() / 120.0);
    const QCPRange old = axis->range();
    axis->setRange(c - (c - old.lower) * f, c + (old.upper - c) * f);
    replot(rpRefreshHint);
    event->accept();
}

void MultiAxisPlot::mousePressEvent(QMouseEvent *event)
{
    pressPos = roundedPos(event->localPos());
    movedSincePress = false;
    dragAxis = yAxisUnderPos(pressPos);
    if (!dragAxis) {
        QCustomPlot::mousePressEvent(event);
        return;
    }
    draggingAxis = true;
    dragStartPos = pressPos;
    dragStartRange = dragAxis->range();
    event->accept();
}

void MultiAxisPlot::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = roundedPos(event->localPos());
    if ((pos - pressPos).manhattanLength() > ClickThresholdPx)
        movedSincePress = true;
    if (draggingAxis && dragAxis) {
        const double d = dragAxis->pixelToCoord(dragStartPos.y()) - dragAxis->pixelToCoord(pos.y());
        dragAxis->setRange(dragStartRange.lower + d, dragStartRange.upper + d);
        replot(rpRefreshHint);
        event->accept();
        return;
    }
    QCustomPlot::mouseMoveEvent(event);
}

void MultiAxisPlot::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = roundedPos(event->localPos());
    const bool moved = movedSincePress;
    bool endedAxisDrag = false;
    if (draggingAxis && dragAxis) {
        endedAxisDrag = true;
        event->accept();
    } else {
        QCustomPlot::mouseReleaseEvent(event);
    }
    // A drag whose axis disappeared meanwhile must not leave the plot stuck in it.
    draggingAxis = false;
    dragAxis = nullptr;

    if (endedAxisDrag || moved || axisRectCount() < 1 || !xAxis)
        return;
    if (!axisRect(0)->rect().contains(pos))
        return;
    if (legend && legend->realVisibility() && legend->selectTest(QPointF(pos), false) >= 0)
        return;
    emit plotClicked(xAxis->pixelToCoord(pos.x()));
}

void MultiAxisPlot::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Right) {
        emit arrowKeyPressed(+1);
        event->accept();
    } else if (event->key() == Qt::Key_Left) {
        emit arrowKeyPressed(-1);
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}
