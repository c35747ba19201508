#pragma once

#include <QByteArray>
#include <QtGlobal>

class QImage;

namespace TestImages {

// The picture encoded as PNG, as the radio serves its pictures.
QByteArray png(const QImage &image);
// The picture in another format ("JPEG", "BMP", ...).
QByteArray encoded(const QImage &image, const char *format);

// Opaque random pixels, the same for the same seed: a picture PNG cannot compress.
QImage noise(int width, int height, quint32 seed);

// A grey PNG of width x height pixels, written row by row, so a picture of billions of
// pixels costs a few MB and no decoded copy. With pixels false, the data ends after the
// first row: a file of a few hundred bytes that declares that size.
QByteArray hugePng(int width, int height, bool pixels = true);

} // namespace TestImages
