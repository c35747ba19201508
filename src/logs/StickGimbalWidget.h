#pragma once

#include <QWidget>

// One transmitter stick seen from above: an orange dot in a dark square with a faint
// cross. Values are percent, nominally -100..100, stored as given and clamped only
// when drawn.
class StickGimbalWidget : public QWidget
{
    Q_OBJECT
public:
    explicit StickGimbalWidget(QWidget *parent = nullptr);

    QSize sizeHint() const override;

    void setValues(double horizontal, double vertical);

    double horizontalValue() const { return horizontal; }
    double verticalValue() const { return vertical; }

    // Centre of the dot for the given size and values, in widget coordinates.
    static QPointF dotCentre(const QSizeF &size, double horizontal, double vertical);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double horizontal = 0.0;
    double vertical = 0.0;
};
