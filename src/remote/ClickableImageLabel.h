#pragma once

#include <QLabel>
#include <QPixmap>

// A thumbnail label that reports a left-button press; it keeps the image at full size
// for the viewer.
class ClickableImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickableImageLabel(QWidget *parent = nullptr);

    QPixmap fullPixmap;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
