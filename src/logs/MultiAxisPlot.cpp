#include "MultiAxisPlot.h"

#include "StripeRenderer.h"
#include "TimeAxisTicker.h"

#include <cmath>

namespace {

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
    , stripes(std::make_unique<StripeRenderer>(this))
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
    connect(this, &QCustomPlot::afterReplot, this, [this] {
        lastCursorRegion = cursorLayerRegion();
        if (refreshHeld) {
            setAttribute(Qt::WA_UpdatesDisabled, false);
            refreshHeld = false;
        }
    });
    connect(this, &QCustomPlot::afterLayout, this, &MultiAxisPlot::fitTimeTicks);
    connect(this, &QCustomPlot::afterLayout, this, &MultiAxisPlot::keepDataAreaWidth);
    connect(this, &QCustomPlot::afterLayout, this, [this] {
        // A replot that leaves its graphs to the background would only paint the picture on
        // screen once more: its closing repaint of the whole plot is held back (not through
        // setUpdatesEnabled, which repaints when enabled again). The drawing's own replot
        // paints once it is done.
        if (stripes->prepare(mReplotting) && updatesEnabled()) {
            setAttribute(Qt::WA_UpdatesDisabled, true);
            refreshHeld = true;
        }
    });
    connect(stripes.get(), &StripeRenderer::drawingStarted, this, &MultiAxisPlot::keepShownPicture);
    connect(stripes.get(), &StripeRenderer::drawingEnded, this,
            [this] { shownPicture = QPixmap(); });
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

MultiAxisPlot::~MultiAxisPlot() = default;

void MultiAxisPlot::setBackgroundDrawing(bool on)
{
    stripes->setBackgroundDrawing(on);
}

bool MultiAxisPlot::isDrawingPending() const
{
    return stripes->isDrawingPending();
}

bool MultiAxisPlot::drawPrepared(const LogGraph *graph, QCPPainter *painter)
{
    return stripes->drawPrepared(graph, painter);
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
    if (!stripes->isDrawingPending() || shownPicture.isNull()) {
        QCustomPlot::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (shownPicture.size() != viewport().size() * shownPicture.devicePixelRatioF())
        painter.fillRect(rect(), mBackgroundBrush);
    painter.drawPixmap(0, 0, shownPicture);
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
