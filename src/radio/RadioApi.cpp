#include "RadioApi.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

namespace RadioApi {

QByteArray percentEncodeName(const QString &name)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = name.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
            || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.append(static_cast<char>(c));
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 0x0f]);
        }
    }
    return out;
}

QString logGetPath(qint64 id, qint64 length)
{
    return QStringLiteral("/log/get/%1-%2").arg(id).arg(length);
}

QString mediaImagePath(const QString &fileName)
{
    return QStringLiteral("/media/image/%1").arg(QString::fromLatin1(percentEncodeName(fileName)));
}

QString appIconPath(const QString &appName)
{
    return QStringLiteral("/media/apps/%1/icon.png")
        .arg(QString::fromLatin1(percentEncodeName(appName)));
}

QString appVersionPath(const QString &appName)
{
    return QStringLiteral("/media/apps/%1/version")
        .arg(QString::fromLatin1(percentEncodeName(appName)));
}

QString appExecPath(const QString &appName)
{
    return QStringLiteral("/app/exec?app=%1").arg(QString::fromLatin1(percentEncodeName(appName)));
}

QString appRemovePath(const QString &appName)
{
    return QStringLiteral("/app/remove?app=%1")
        .arg(QString::fromLatin1(percentEncodeName(appName)));
}

QString screenshotPath(qint64 msSinceEpoch)
{
    return QStringLiteral("/screenshot.png?t=%1").arg(msSinceEpoch);
}

QString touchPath(int x, int y, const QString &op)
{
    return QStringLiteral("/touch/click?x=%1&y=%2&op=%3").arg(x).arg(y).arg(op);
}

QUrl url(const QString &address, const QString &path)
{
    return QUrl(QStringLiteral("http://%1").arg(address) + path, QUrl::TolerantMode);
}

QNetworkRequest request(const QString &address, const QString &path, int timeoutMs)
{
    QNetworkRequest req(url(address, path));
    req.setTransferTimeout(timeoutMs);
    return req;
}

QNetworkRequest discoveryRequest(const QString &address, const char *path)
{
    QNetworkRequest req = request(address, QString::fromLatin1(path), DiscoveryTimeoutMs);
    req.setPriority(QNetworkRequest::HighPriority);
    return req;
}

QNetworkReply *get(QNetworkAccessManager *manager, const QString &address, const QString &path,
                   int timeoutMs, RadioReply::Kind kind)
{
    return get(manager, request(address, path, timeoutMs), kind);
}

QNetworkReply *get(QNetworkAccessManager *manager, const QNetworkRequest &request,
                   RadioReply::Kind kind)
{
    QNetworkReply *reply = manager->get(request);
    RadioReply::bound(reply, kind, request.transferTimeout());
    return reply;
}

} // namespace RadioApi
