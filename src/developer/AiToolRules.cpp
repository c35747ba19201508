#include "AiToolRules.h"

#include "DeveloperWorkspace.h"
#include "RadioReply.h"
#include "RadioText.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonValue>
#include <QNetworkReply>
#include <QXmlStreamReader>

#include <climits>
#include <cmath>

namespace AiToolRules {

QString stringInput(const QJsonObject &input, const QString &key)
{
    const QJsonValue value = input.value(key);
    return value.isString() ? value.toString() : QString();
}

int sizeInput(const QJsonObject &input, const QString &key)
{
    if (!input.contains(key))
        return 256;
    const QJsonValue value = input.value(key);
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (std::isnan(number) || std::floor(number) != number)
        return 0;
    // Held in floating point first: converting 1e10 to int straight away is undefined.
    return int(qBound(double(INT_MIN), number, double(INT_MAX)));
}

int clampImageSide(int side)
{
    return qBound(16, side, 1024);
}

bool projectFoldersAreOwn(const QString &project)
{
    const QString root = QFileInfo(DeveloperWorkspace::developerRootPath()).canonicalFilePath();
    const QString folder = root + QLatin1Char('/') + project;
    const QString paths[][2] = {
        {DeveloperWorkspace::projectPath(project), folder},
        {DeveloperWorkspace::sourcePath(project), folder + QStringLiteral("/src")},
    };
    for (const auto &path : paths) {
        const QFileInfo info(path[0]);
        if (!info.exists() && !info.isSymLink())
            return true; // nothing there to reach through
        if (root.isEmpty() || info.canonicalFilePath() != path[1])
            return false;
    }
    return true;
}

QString projectFilePath(const QString &project, const QString &name)
{
    if (project.isEmpty() || !DeveloperWorkspace::isValidProjectFilename(name)
        || !projectFoldersAreOwn(project))
        return QString();
    const QString sourceFolder
        = QFileInfo(DeveloperWorkspace::sourcePath(project)).canonicalFilePath();
    if (sourceFolder.isEmpty())
        return QString();
    const QString path = DeveloperWorkspace::sourcePath(project) + QLatin1Char('/') + name;
    const QFileInfo entry(path);
    if (entry.isSymLink())
        return QString();
    // "." names src/ itself; the parent of any other bare name is src/.
    if (entry.exists() && entry.canonicalPath() != sourceFolder)
        return QString();
    return path;
}

namespace {

QStringRef localName(const QStringRef &qualifiedName)
{
    const int colon = qualifiedName.lastIndexOf(QLatin1Char(':'));
    return colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1);
}

// The SVG renderer decodes what follows the last "base64," of a data: URL with automatic
// format detection, so an embedded SVG would be rendered, and its own <image>s loaded.
bool isEmbeddedRasterImage(const QStringRef &href)
{
    if (!href.startsWith(QLatin1String("data:")))
        return false;
    const int base64 = href.lastIndexOf(QLatin1String("base64,"));
    if (base64 < 0)
        return true; // the renderer draws nothing for it
    QByteArray bytes = QByteArray::fromBase64(href.mid(base64 + 7).toLatin1());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return !QImageReader::imageFormat(&buffer).startsWith("svg");
}

} // namespace

bool svgIsSelfContained(const QByteArray &svg)
{
    QXmlStreamReader reader(svg);
    // Read as the renderer reads it: prefixes are kept as written.
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            if (!reader.entityDeclarations().isEmpty())
                return false;
            break;
        case QXmlStreamReader::EntityReference:
            return false;
        case QXmlStreamReader::StartElement:
            if (localName(reader.qualifiedName()) != QLatin1String("image"))
                break;
            for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                if (localName(attribute.qualifiedName()) == QLatin1String("href")
                    && !isEmbeddedRasterImage(attribute.value()))
                    return false;
            }
            break;
        default:
            break;
        }
    }
    return true;
}

bool hasPngSignature(const QByteArray &data)
{
    return data.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8));
}

bool isWholePngWithin(const QByteArray &data, qint64 maxPixels)
{
    if (!hasPngSignature(data))
        return false;
    QByteArray bytes = data; // shared, not copied
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() > maxPixels)
        return false;
    QImage image;
    return image.loadFromData(data, "PNG") && image.size() == size;
}

QString cut(const QString &text, int maxChars)
{
    return RadioText::forDisplay(text, maxChars);
}

QString radioErrorText(const QNetworkReply *reply)
{
    if (!reply)
        return QString();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!RadioReply::tooLarge(reply) && status.isValid() && status.toInt() >= 300)
        return QCoreApplication::translate("DeveloperWidget",
                                           "the radio answered with HTTP status %1")
            .arg(status.toInt());
    return cut(RadioReply::errorString(reply), ErrorTextChars);
}

QString withoutAbsolutePaths(const QString &text, const QString &project)
{
    const QString root = DeveloperWorkspace::developerRootPath();
    QStringList roots {root};
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (!canonicalRoot.isEmpty() && canonicalRoot != root)
        roots.append(canonicalRoot);
    QString out = text;
    for (const QString &folder : roots) {
        if (!project.isEmpty())
            out.replace(folder + QLatin1Char('/') + project + QLatin1Char('/'), QString());
        out.replace(folder + QLatin1Char('/'), QString());
        out.replace(folder,
                    QCoreApplication::translate("DeveloperWidget", "the Kelo Developer folder"));
    }
    const QString home = QDir::homePath();
    if (home.size() > 1) {
        out.replace(home + QLatin1Char('/'), QStringLiteral("~/"));
        out.replace(home, QStringLiteral("~"));
    }
    return out;
}

QString textTail(const QString &text, int maxBytes, bool *cut)
{
    const QByteArray utf8 = text.toUtf8();
    *cut = utf8.size() > maxBytes;
    if (!*cut)
        return text;
    QByteArray tail = utf8.right(maxBytes);
    if (utf8.at(utf8.size() - maxBytes - 1) == '\n')
        return QString::fromUtf8(tail); // already starts a line
    const int lineEnd = tail.indexOf('\n');
    if (lineEnd >= 0 && lineEnd + 1 < tail.size()) {
        tail.remove(0, lineEnd + 1);
    } else {
        // One long line: start at a whole character.
        int start = 0;
        while (start < tail.size() && (uchar(tail.at(start)) & 0xC0) == 0x80)
            ++start;
        tail.remove(0, start);
    }
    return QString::fromUtf8(tail);
}

} // namespace AiToolRules
