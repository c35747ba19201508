#include "TestImages.h"

#include <QBuffer>
#include <QImage>

namespace TestImages {

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace TestImages
