// The crop selector with camera-sized pictures: cutting out the framed part at 490x195,
// the first paint after a picture is set, a repaint while the frame is dragged and a
// repaint after the widget was resized.
#include "BenchSupport.h"
#include "ImageCropWidget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <cstdio>

namespace {

template<typename F> void report(const char *what, int runs, F &&f)
{
    const BenchSupport::Stats s = BenchSupport::timeRuns(runs, f);
    std::printf("  %-34s median %8.2f ms, best %8.2f ms, worst %8.2f ms (%d runs)\n", what,
                s.median, s.best, s.worst, runs);
}

QImage photo(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(x * 255 / w, y * 255 / h, (x ^ y) & 0xff);
    }
    return image;
}

void drag(ImageCropWidget &widget, QPoint from, QPoint to)
{
    QMouseEvent press(QEvent::MouseButtonPress, from, widget.mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
    QMouseEvent move(QEvent::MouseMove, to, widget.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, widget.mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &release);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchSupport::printBuildKind("figures are not comparable");
    struct Size
    {
        const char *name;
        int w, h;
    };
    for (const Size &s :
         {Size {"12 MP", 4000, 3000}, Size {"48 MP", 8000, 6000}, Size {"108 MP", 12000, 9000}}) {
        const QImage image = photo(s.w, s.h);
        ImageCropWidget widget;
        widget.resize(760, 300);
        widget.show();
        app.processEvents();
        std::printf("%s (%dx%d), widget %dx%d\n", s.name, s.w, s.h, widget.width(),
                    widget.height());

        widget.setImage(image);
        report("croppedImage", 5, [&](int) {
            if (widget.croppedImage().size() != QSize(490, 195))
                std::printf("  wrong crop size\n");
        });
        report("first paint after setImage", 3, [&](int) {
            widget.setImage(image);
            widget.repaint();
        });
        const QPoint centre(widget.width() / 2, widget.height() / 2);
        report("repaint while dragging", 50, [&](int i) {
            drag(widget, centre, centre + QPoint(i % 2 ? 7 : -7, i % 3 - 1));
            widget.repaint();
        });
        report("repaint after a resize", 10, [&](int i) {
            widget.resize(760 + (i % 2) * 40, 300 + (i % 2) * 20);
            widget.repaint();
        });
        std::printf("  peak resident memory so far: %ld MB (picture alone %lld MB)\n",
                    BenchSupport::peakRssMb(), qint64(image.sizeInBytes()) / (1024 * 1024));
    }
    return 0;
}
