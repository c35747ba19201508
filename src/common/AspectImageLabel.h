#pragma once

#include <QLabel>
#include <QPixmap>
#include <QPoint>
#include <QRect>

// Shows one picture as large as the label allows, aspect ratio kept and centred, and
// reports left-button presses, drags and releases in pixels of the unscaled picture.
class AspectImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit AspectImageLabel(QWidget *parent = nullptr);

    void setSourcePixmap(const QPixmap &pixmap);
    QPixmap sourceImage() const { return sourcePixmap; }
    void updateScaledPixmap();

    // Where the scaled picture lies in the label, and where it is drawn: fitted into and
    // centred in the area inside the label's frame. Empty without a picture.
    QRect displayedImageRect() const;
    // Converts a label position into a picture position. With clamp, positions outside
    // the picture are pulled onto its edge; without, they are refused.
    bool mapToSourcePoint(const QPoint &pos, QPoint &out, bool clamp) const;

    // The fitted size of a sw x sh picture in a W x H box, in integer steps, so that
    // drawing and mapping agree to the pixel.
    static QSize fittedSize(const QSize &box, const QSize &source);
    // The label's inner area: its contents rectangle less its margin.
    QRect pictureArea() const;

signals:
    void imagePressed(const QPoint &sourcePos);
    void imageMoved(const QPoint &sourcePos);
    void imageReleased(const QPoint &sourcePos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPixmap sourcePixmap;
    bool pressed = false;
};
