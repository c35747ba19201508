#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class QIODevice;
class SafeFileWriter;

// Writes app packages: POSIX ustar archives the radio unpacks.
class TarWriter
{
    Q_DECLARE_TR_FUNCTIONS(TarWriter)

public:
    // Stores the files (full paths, in archive order) under rootFolder + "/" + their file
    // name, preceded by a directory entry for rootFolder; with an empty rootFolder there is
    // no directory entry and the bare file names are stored. Modes are 0755 (folder) and
    // 0644 (files), owners 0, and the archive ends with two zero blocks and nothing after.
    // Refuses, before writing anything, a name longer than the 100 bytes of a header's name
    // field (cutting it could make two entries collide). The output file is replaced only
    // when the whole archive was written; on false it stays as it was and error says why.
    static bool writeTar(const QString &outputPath, const QStringList &files, QString &error,
                         const QString &rootFolder);

private:
    static QByteArray makeTarHeader(const QByteArray &name, qint64 size, char typeflag, int mode);
    static void writeOctalField(char *destination, int width, qint64 value);
    enum class CopyResult { Copied, ReadFailed, WriteFailed };
    // Copies exactly size bytes; a source with fewer or more bytes is a read failure.
    static CopyResult copyData(QIODevice &from, SafeFileWriter &to, qint64 size);
};
