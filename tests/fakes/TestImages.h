#pragma once

#include <QByteArray>

class QImage;

namespace TestImages {

// The picture encoded as PNG, as the radio serves its pictures.
QByteArray png(const QImage &image);

// A grey PNG of width x height pixels, written row by row, so a picture of billions of
// pixels costs a few MB and no decoded copy. With pixels false, the data ends after the
// first row: a file of a few hundred bytes that declares that size.
QByteArray hugePng(int width, int height, bool pixels = true);

} // namespace TestImages
