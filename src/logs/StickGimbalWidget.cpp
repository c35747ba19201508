#include "StickGimbalWidget.h"

#include "Theme.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int Side = 150;
constexpr double DotRadius = 8.0;
constexpr double EdgeInset = 16.0; // the dot's centre at full deflection, from the frame

QPen solidPen(const QColor &colour, double width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}
} // namespace

StickGimbalWidget::StickGimbalWidget(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
}

QSize StickGimbalWidget::sizeHint() const
{
    return QSize(Side, Side);
}

void StickGimbalWidget::setValues(double newHorizontal, double newVertical)
{
    // Shifted by 1 so that a value of 0 compares sanely.
    if (qFuzzyCompare(1.0 + newHorizontal, 1.0 + horizontal)
        && qFuzzyCompare(1.0 + newVertical, 1.0 + vertical))
        return;
    horizontal = newHorizontal;
    vertical = newVertical;
    update();
}

QPointF StickGimbalWidget::dotCentre(const QSizeF &size, double h, double v)
{
    const double w = size.width();
    const double ht = size.height();
    const QPointF c(1.0 + (w - 2.0) / 2.0, 1.0 + (ht - 2.0) / 2.0);
    // NaN would otherwise slip through std::clamp and put the dot nowhere.
    const auto unit = [](double value) {
        return std::isnan(value) ? 0.0 : std::clamp(value / 100.0, -1.0, 1.0);
    };
    return QPointF(c.x() + unit(h) * ((w - 2.0) / 2.0 - EdgeInset),
                   c.y() - unit(v) * ((ht - 2.0) / 2.0 - EdgeInset));
}

void StickGimbalWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double w = width();
    const double h = height();
    const QPointF c(1.0 + (w - 2.0) / 2.0, 1.0 + (h - 2.0) / 2.0);

    painter.setPen(solidPen(QColor(Theme::Border), 1.0));
    painter.setBrush(QColor(0x18, 0x18, 0x1a));
    painter.drawRoundedRect(QRectF(1.0, 1.0, w - 2.0, h - 2.0), 10.0, 10.0, Qt::AbsoluteSize);

    painter.setPen(solidPen(QColor(255, 255, 255, 26), 1.0));
    painter.drawLine(QPointF(9.0, c.y()), QPointF(w - 9.0, c.y()));
    painter.drawLine(QPointF(c.x(), 9.0), QPointF(c.x(), h - 9.0));

    painter.setPen(solidPen(QColor(0xc6, 0x7d, 0x0e), 1.5));
    painter.setBrush(QColor(0xf5, 0xa6, 0x23));
    painter.drawEllipse(dotCentre(QSizeF(w, h), horizontal, vertical), DotRadius, DotRadius);
}
