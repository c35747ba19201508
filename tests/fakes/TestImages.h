#pragma once

#include <QByteArray>

class QImage;

namespace TestImages {

// The picture encoded as PNG, as the radio serves its pictures.
QByteArray png(const QImage &image);

} // namespace TestImages
