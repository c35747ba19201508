#include "TestImages.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>

#include <zlib.h>

namespace TestImages {

QByteArray png(const QImage &image)
{
    return encoded(image, "PNG");
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage noise(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

static void appendChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    char word[4];
    qToBigEndian<quint32>(quint32(data.size()), word);
    out.append(word, 4);
    QByteArray typed = QByteArray(type, 4) + data;
    out.append(typed);
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))),
        word);
    out.append(word, 4);
}

QByteArray hugePng(int width, int height, bool pixels)
{
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(width), header.data());
    qToBigEndian<quint32>(quint32(height), header.data() + 4);
    header[8] = 8; // bits per sample
    header[9] = 0; // grey
    appendChunk(out, "IHDR", header);
    // Without pixels, the data stops after the first row: the header still declares it all.
    const int rows = pixels ? height : 1;
    z_stream z {};
    // Runs of one grey: run-length matching finds them at a fraction of level 9's cost.
    deflateInit2(&z, 9, Z_DEFLATED, 15, 8, Z_RLE);
    QByteArray line(width + 1, '\x40'); // dark grey
    line[0] = 0; // the row's filter: none
    QByteArray compressed;
    QByteArray buffer(1 << 16, '\0');
    for (int y = 0; y <= rows; ++y) {
        const bool last = y == rows;
        z.next_in = reinterpret_cast<Bytef *>(last ? nullptr : line.data());
        z.avail_in = last ? 0 : uInt(line.size());
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer.data());
            z.avail_out = uInt(buffer.size());
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            compressed.append(buffer.constData(), buffer.size() - int(z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    for (int at = 0; at < compressed.size(); at += 1 << 20)
        appendChunk(out, "IDAT", compressed.mid(at, 1 << 20));
    appendChunk(out, "IEND", QByteArray());
    return out;
}

} // namespace TestImages
