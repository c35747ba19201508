#include "TarWriter.h"
#include "SaveFileCommit.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

constexpr int BlockSize = 512;
constexpr int NameFieldSize = 100;
// Eleven octal digits of the size field.
constexpr qint64 MaxEntrySize = 077777777777;

QString entryTooLong(const QString &path, const QByteArray &entryName)
{
    return TarWriter::tr("Cannot package %1: its name in the package, \"%2\", is longer than "
                         "100 bytes.")
        .arg(path, QString::fromUtf8(entryName));
}

} // namespace

bool TarWriter::writeTar(const QString &outputPath, const QStringList &files, QString &error,
                         const QString &rootFolder)
{
    const QByteArray prefix = rootFolder.isEmpty() ? QByteArray() : rootFolder.toUtf8() + '/';
    if (prefix.size() > NameFieldSize) {
        error = entryTooLong(rootFolder, prefix);
        return false;
    }

    // Every name and every file is checked before the output is touched.
    QVector<QByteArray> names;
    names.reserve(files.size());
    for (const QString &path : files) {
        const QByteArray name = prefix + QFileInfo(path).fileName().toUtf8();
        if (name.size() > NameFieldSize) {
            error = entryTooLong(path, name);
            return false;
        }
        QFile file;
        // Never a link, and never a FIFO or device, which would block the read.
        if (!openRegularFile(path, file)) {
            error = tr("Cannot read %1").arg(path);
            return false;
        }
        if (file.size() > MaxEntrySize) {
            error = tr("Cannot package %1: it is 8 GiB or larger.").arg(path);
            return false;
        }
        names.append(name);
    }

    // The old archive is replaced only by a complete new one, and never through a link at
    // the package or at its folder.
    SafeFileWriter out(outputPath);
    if (!out.open()) {
        error = out.refused() ? tr("Cannot write %1: %2").arg(outputPath, out.errorString())
                              : tr("Cannot write %1").arg(outputPath);
        return false;
    }
    bool written = true;
    if (!prefix.isEmpty())
        written = out.write(makeTarHeader(prefix, 0, '5', 0755));

    for (int i = 0; written && i < files.size(); ++i) {
        QFile file;
        if (!openRegularFile(files.at(i), file)) {
            error = tr("Cannot read %1").arg(files.at(i));
            return false;
        }
        const qint64 size = file.size();
        written = out.write(makeTarHeader(names.at(i), size, '0', 0644));
        if (!written)
            break;
        const CopyResult copied = copyData(file, out, size);
        if (copied == CopyResult::ReadFailed) {
            // The file shrank, grew or failed while it was read.
            error = tr("Cannot read %1").arg(files.at(i));
            return false;
        }
        written = copied == CopyResult::Copied;
        if (!written)
            break;
        const int padding = int((BlockSize - size % BlockSize) % BlockSize);
        if (padding > 0)
            written = out.write(QByteArray(padding, '\0'));
    }
    if (written)
        written = out.write(QByteArray(2 * BlockSize, '\0'));
    if (!written || !out.commit()) {
        error = out.refused() ? tr("Cannot write %1: %2").arg(outputPath, out.errorString())
                              : tr("Cannot write %1").arg(outputPath);
        return false;
    }
    return true;
}

TarWriter::CopyResult TarWriter::copyData(QIODevice &from, SafeFileWriter &to, qint64 size)
{
    QByteArray buffer(64 * 1024, '\0');
    for (qint64 left = size; left > 0;) {
        const qint64 got = from.read(buffer.data(), qMin<qint64>(left, buffer.size()));
        if (got <= 0)
            return CopyResult::ReadFailed;
        if (!to.write(buffer.constData(), got))
            return CopyResult::WriteFailed;
        left -= got;
    }
    char extra;
    return from.read(&extra, 1) == 0 ? CopyResult::Copied : CopyResult::ReadFailed;
}

QByteArray TarWriter::makeTarHeader(const QByteArray &name, qint64 size, char typeflag, int mode)
{
    QByteArray header(BlockSize, '\0');
    char *h = header.data();
    std::memcpy(h, name.constData(), size_t(qMin(name.size(), NameFieldSize)));
    writeOctalField(h + 100, 8, mode);
    writeOctalField(h + 108, 8, 0);
    writeOctalField(h + 116, 8, 0);
    writeOctalField(h + 124, 12, size);
    writeOctalField(h + 136, 12, QDateTime::currentSecsSinceEpoch());
    std::memset(h + 148, ' ', 8);
    h[156] = typeflag;
    std::memcpy(h + 257, "ustar\0", 6);
    std::memcpy(h + 263, "00", 2);

    unsigned sum = 0;
    for (int i = 0; i < BlockSize; ++i)
        sum += static_cast<unsigned char>(h[i]);
    const QByteArray digits = QByteArray::number(sum, 8).rightJustified(6, '0');
    std::memcpy(h + 148, digits.constData(), 6);
    h[154] = '\0';
    h[155] = ' ';
    return header;
}

void TarWriter::writeOctalField(char *destination, int width, qint64 value)
{
    const QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0', true);
    std::memcpy(destination, digits.constData(), size_t(width - 1));
    destination[width - 1] = '\0';
}
