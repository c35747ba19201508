#include "SettingsFiles.h"

#include "SaveFileCommit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtEndian>

namespace SettingsFiles {

QString documentsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString scaleFilePath()
{
    return documentsPath() + QStringLiteral("/.kelo-scale.cfg");
}

QString windowFilePath()
{
    return documentsPath() + QStringLiteral("/.kelo-window.cfg");
}

QString tabFilePath()
{
    return documentsPath() + QStringLiteral("/.kelo-tab.cfg");
}

std::optional<qint16> decodeScale(const QByteArray &bytes)
{
    if (bytes.size() != 2)
        return std::nullopt;
    return qFromLittleEndian<qint16>(bytes.constData());
}

std::optional<QSize> decodeWindowSize(const QByteArray &bytes)
{
    if (bytes.size() != 4)
        return std::nullopt;
    const quint16 w = qFromLittleEndian<quint16>(bytes.constData());
    const quint16 h = qFromLittleEndian<quint16>(bytes.constData() + 2);
    return QSize(w, h);
}

std::optional<quint8> decodeTab(const QByteArray &bytes)
{
    if (bytes.size() != 1)
        return std::nullopt;
    return static_cast<quint8>(bytes.at(0));
}

QByteArray encodeWindowSize(const QSize &size)
{
    QByteArray out(4, '\0');
    qToLittleEndian<quint16>(static_cast<quint16>(size.width()), out.data());
    qToLittleEndian<quint16>(static_cast<quint16>(size.height()), out.data() + 2);
    return out;
}

QByteArray encodeTab(int index)
{
    return QByteArray(1, static_cast<char>(index & 0xff));
}

ScaleEnvironment scaleEnvironment(qint16 percent)
{
    if (percent == 100)
        return {"QT_AUTO_SCREEN_SCALE_FACTOR", "1"};
    // Two decimals: one would turn 125 % into 1.2 or 1.3 depending on the formatter.
    QByteArray factor = QByteArray::number(percent / 100.0, 'f', 2);
    if (factor.endsWith('0'))
        factor.chop(1); // 1.50 -> 1.5, 2.00 -> 2.0
    return {"QT_SCALE_FACTOR", factor};
}

std::optional<QByteArray> readFile(const QString &path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    // Documents is often missing on Linux; without it nothing would ever be remembered.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        commitSaveFile(file);
}

} // namespace SettingsFiles
