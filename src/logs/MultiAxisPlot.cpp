#include "MultiAxisPlot.h"

#include <cmath>

namespace {

constexpr int ClickThresholdPx = 3;
constexpr double ZoomPerNotch = 0.85;

QPoint roundedPos(const QPointF &p)
{
    return QPoint(int(std::floor(p.x() + 0.5)), int(std::floor(p.y() + 0.5)));
}

} // namespace

MultiAxisPlot::MultiAxisPlot(QWidget *parent)
    : QCustomPlot(parent)
{
    // Already buffered by QCustomPlot's default; a layer of its own would add one more
    // full-size buffer to every repaint.
    if (QCPLayer *cursor = cursorLayer())
        cursor->setMode(QCPLayer::lmBuffered);
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
