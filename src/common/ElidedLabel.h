#pragma once

#include <QLabel>

// A one-line plain-text label that never asks for the width of its text: a long message or
// file name is cut with an ellipsis, and the whole text becomes the tool tip, instead of
// widening the page until its other parts scroll out of the window.
class ElidedLabel : public QLabel
{
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
