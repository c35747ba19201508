#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <functional>

class QObject;

// Pictures from the radio, checked before they are decoded: the size is read from the
// header and a picture over its use's pixel budget is refused without decoding it, since
// a file of a few kB can declare billions of pixels. Pictures shown small are decoded
// straight to that size. Only raster formats whose header gives the size are taken.
namespace RadioPicture {

enum class Use {
    Thumbnail, // an image of the radio, decoded to its 150 x 100 cell
    Viewer, // the same image at full size
    Icon, // an app icon, decoded to 64 x 64
    Screenshot, // the radio's screen, 800 x 480
};

// Largest width x height decoded for a use.
qint64 maxPixels(Use use);

enum class Status { Ok, TooLarge, Invalid };

struct Result
{
    Status status = Status::Invalid;
    QImage image; // null unless Ok
    QSize declaredSize; // from the header, when it could be read
};

// Decodes data for a use. With a valid fitInto the picture is decoded to its size fitted
// into that box with the aspect ratio kept (smoothly, up or down).
Result decode(const QByteArray &data, Use use, const QSize &fitInto = QSize());

// The same on a worker thread (at most two at a time); done runs later on the thread of
// context, and never once context is gone.
void decodeLater(QObject *context, const QByteArray &data, Use use, const QSize &fitInto,
                 std::function<void(const Result &)> done);

} // namespace RadioPicture
