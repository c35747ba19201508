#pragma once

#include <QByteArray>
#include <QLabel>
#include <QSize>

// A thumbnail label that reports a left-button press. It keeps the picture's bytes as the
// radio sent them, from which the viewer decodes it at full size.
class ClickableImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickableImageLabel(QWidget *parent = nullptr);

    QByteArray imageData; // empty while loading, after a failure, or when not kept
    QSize imageSize; // the picture's full size

    bool hasImage() const { return !imageData.isEmpty(); }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
