#pragma once

#include <qcustomplot.h>

#include <QPointer>

// A QCustomPlot whose value axes can each be zoomed (wheel) and shifted (drag) on their
// own, and which tells a click on the data area apart from a drag.
class MultiAxisPlot : public QCustomPlot
{
    Q_OBJECT

public:
    // The time cursor's layer: QCustomPlot's top layer "overlay", kept buffered, so moving
    // the cursor repaints only it: put the cursor items on it and call
    // cursorLayer()->replot().
    static constexpr const char *CursorLayerName = "overlay";

    explicit MultiAxisPlot(QWidget *parent = nullptr);

    // The visible left or right axis whose line, tick labels or label lie under pos.
    QCPAxis *yAxisUnderPos(const QPoint &pos) const;
    QCPLayer *cursorLayer() const;

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
    bool draggingAxis = false;
    // Guarded: the owner may remove an axis while it is being dragged.
    QPointer<QCPAxis> dragAxis;
    QPoint dragStartPos;
    QCPRange dragStartRange;
    QPoint pressPos;
    bool movedSincePress = false;
};
