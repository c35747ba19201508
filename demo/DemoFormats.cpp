#include "DemoFormats.h"

#include <QtEndian>

#include <algorithm>

namespace DemoFormats {

namespace {

QByteArray boundaryOf(const QByteArray &contentTypeHeader)
{
    const QList<QByteArray> params = contentTypeHeader.split(';');
    if (params.isEmpty() || params.first().trimmed().toLower() != "multipart/form-data")
        return QByteArray();
    for (int i = 1; i < params.size(); ++i) {
        const QByteArray param = params[i].trimmed();
        if (!param.toLower().startsWith("boundary="))
            continue;
        QByteArray value = param.mid(int(qstrlen("boundary=")));
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return QByteArray();
}

// The value of name="..." in a Content-Disposition line; quotes are not escaped inside.
std::optional<QByteArray> dispositionParam(const QByteArray &line, const QByteArray &name)
{
    const QByteArray key = name + "=\"";
    int at = 0;
    while ((at = line.indexOf(key, at)) >= 0) {
        const bool wordStart = at == 0 || line[at - 1] == ' ' || line[at - 1] == ';';
        if (wordStart) {
            const int start = at + key.size();
            const int end = line.indexOf('"', start);
            if (end < 0)
                return std::nullopt;
            return line.mid(start, end - start);
        }
        at += key.size();
    }
    return std::nullopt;
}

std::optional<qint64> octal(const char *field, int width)
{
    qint64 value = 0;
    int i = 0;
    while (i < width && field[i] == ' ')
        ++i;
    bool any = false;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
        value = value * 8 + (field[i] - '0');
        any = true;
        if (value > (qint64(1) << 40))
            return std::nullopt;
    }
    for (; i < width; ++i) {
        if (field[i] != ' ' && field[i] != '\0')
            return std::nullopt;
    }
    if (!any)
        return std::nullopt;
    return value;
}

QByteArray cString(const char *field, int width)
{
    return QByteArray(field, int(qstrnlen(field, uint(width))));
}

bool safeEntryName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral(".."));
}

} // namespace

std::optional<UploadedFile> parseUpload(const QByteArray &contentTypeHeader, const QByteArray &body,
                                        QString *why)
{
    const QByteArray boundary = boundaryOf(contentTypeHeader);
    if (boundary.isEmpty()) {
        *why = QStringLiteral("not a multipart/form-data upload with a boundary");
        return std::nullopt;
    }
    const QByteArray delimiter = "--" + boundary;
    int at = body.startsWith(delimiter) ? 0 : body.indexOf("\r\n" + delimiter);
    if (at < 0) {
        *why = QStringLiteral("the body holds no part");
        return std::nullopt;
    }
    if (at > 0)
        at += 2;
    const QByteArray next = "\r\n" + delimiter;
    while (true) {
        at += delimiter.size();
        if (body.mid(at, 2) == "--")
            break; // the closing delimiter
        if (body.mid(at, 2) != "\r\n") {
            *why = QStringLiteral("a malformed part delimiter");
            return std::nullopt;
        }
        const int headerStart = at + 2;
        const int headerEnd = body.indexOf("\r\n\r\n", headerStart);
        const int partEnd = body.indexOf(next, headerStart);
        if (headerEnd < 0 || partEnd < 0 || headerEnd > partEnd) {
            *why = QStringLiteral("the body ends inside a part (truncated upload)");
            return std::nullopt;
        }
        QByteArray disposition;
        QByteArray type = "application/octet-stream";
        for (const QByteArray &line : body.mid(headerStart, headerEnd - headerStart).split('\n')) {
            const QByteArray h = line.trimmed();
            if (h.toLower().startsWith("content-disposition:"))
                disposition = h;
            else if (h.toLower().startsWith("content-type:"))
                type = h.mid(int(qstrlen("content-type:"))).trimmed();
        }
        const auto fileName = dispositionParam(disposition, "filename");
        if (fileName) {
            const QString name = QString::fromUtf8(*fileName);
            if (name.isEmpty() || name.contains(QLatin1Char('/'))
                || name.contains(QLatin1Char('\\')) || name == QLatin1String(".")
                || name == QLatin1String("..")) {
                *why = QStringLiteral("the file name \"%1\" is not a plain file name").arg(name);
                return std::nullopt;
            }
            const QByteArray after = body.mid(partEnd + next.size(), 2);
            if (after != "--" && after != "\r\n") {
                *why = QStringLiteral("a malformed part delimiter");
                return std::nullopt;
            }
            if (after != "--" && body.indexOf(next + "--", partEnd) < 0) {
                *why = QStringLiteral("the body does not end with the closing boundary");
                return std::nullopt;
            }
            return UploadedFile {name, type, body.mid(headerEnd + 4, partEnd - headerEnd - 4)};
        }
        at = partEnd + 2;
    }
    *why = QStringLiteral("the upload holds no file");
    return std::nullopt;
}

std::optional<QVector<TarEntry>> readTar(const QByteArray &archive, QString *why)
{
    QVector<TarEntry> entries;
    qint64 at = 0;
    const qint64 size = archive.size();
    while (at + 512 <= size) {
        const char *h = archive.constData() + at;
        if (std::all_of(h, h + 512, [](char c) { return c == 0; }))
            return entries;
        const auto stored = octal(h + 148, 8);
        quint32 sum = 0;
        for (int i = 0; i < 512; ++i)
            sum += (i >= 148 && i < 156) ? quint8(' ') : quint8(h[i]);
        if (!stored || *stored != sum) {
            *why = QStringLiteral("a damaged header at byte %1").arg(at);
            return std::nullopt;
        }
        const auto length = octal(h + 124, 12);
        if (!length || at + 512 + *length > size) {
            *why = QStringLiteral("an entry runs past the end of the archive");
            return std::nullopt;
        }
        QByteArray name = cString(h, 100);
        const QByteArray prefix = cString(h + 345, 155);
        if (qstrncmp(h + 257, "ustar", 5) == 0 && !prefix.isEmpty())
            name = prefix + '/' + name;
        const char type = h[156];
        const QByteArray data = archive.mid(int(at + 512), int(*length));
        at += 512 + (*length + 511) / 512 * 512;
        if (type == 'x' || type == 'g')
            continue; // pax attributes: nothing an app needs
        if (type != '0' && type != '\0' && type != '5') {
            *why = QStringLiteral("\"%1\" is a link or a device").arg(QString::fromUtf8(name));
            return std::nullopt;
        }
        QString entryName = QString::fromUtf8(name);
        if (type == '5' && !entryName.endsWith(QLatin1Char('/')))
            entryName += QLatin1Char('/');
        if (!safeEntryName(entryName)) {
            *why = QStringLiteral("the entry name \"%1\" leaves the app's folder").arg(entryName);
            return std::nullopt;
        }
        entries.append({entryName, type == '5' ? QByteArray() : data});
    }
    if (at != size) {
        *why = QStringLiteral("the archive is cut short");
        return std::nullopt;
    }
    return entries;
}

qint64 logLengthTenths(const QByteArray &log)
{
    const auto *bytes = reinterpret_cast<const uchar *>(log.constData());
    const qint64 size = log.size();
    qint64 last = -1;
    for (qint64 p = 0; p + 6 <= size;) {
        const qint64 next = p + 6 + bytes[p];
        if (next > size)
            break;
        last = qFromLittleEndian<quint32>(bytes + p + 2);
        p = next;
    }
    return last < 0 ? -1 : (last + 50) / 100;
}

QByteArray accessLogLine(const QDateTime &when, int connection, const QByteArray &requestLine,
                         int status)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + " ["
        + QByteArray::number(connection) + "] " + requestLine + " (" + QByteArray::number(status)
        + ')';
}

} // namespace DemoFormats
