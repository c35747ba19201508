#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

// The three tiny byte files in Documents: little-endian numbers, no header.
// A file of any other size than its own is treated as absent.
namespace SettingsFiles {

QString documentsPath();
QString scaleFilePath(); // 2 bytes: signed 16-bit display scale in percent
QString windowFilePath(); // 4 bytes: unsigned 16-bit width, then height
QString tabFilePath(); // 1 byte: unsigned 8-bit tab index

std::optional<qint16> decodeScale(const QByteArray &bytes);
std::optional<QSize> decodeWindowSize(const QByteArray &bytes);
std::optional<quint8> decodeTab(const QByteArray &bytes);

QByteArray encodeWindowSize(const QSize &size); // each side truncated to 16 bits
QByteArray encodeTab(int index); // low 8 bits

// The scale environment: 100 % turns on automatic scaling, anything else sets a factor.
struct ScaleEnvironment
{
    QByteArray name;
    QByteArray value;
};
ScaleEnvironment scaleEnvironment(qint16 percent);

// Reads a whole file if it exists; empty optional when absent or unreadable.
std::optional<QByteArray> readFile(const QString &path);
// Replaces the file, creating its folder first; silently does nothing when that fails.
void writeFile(const QString &path, const QByteArray &bytes);

} // namespace SettingsFiles
