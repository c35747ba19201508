#include "AiServiceApi.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace AiServiceApi {

static QUrl &base()
{
    static QUrl url(QStringLiteral("https://ai.varnek.com"));
    return url;
}

QUrl baseUrl()
{
    return base();
}

void setBaseUrl(const QUrl &url)
{
    base() = url;
}

static QNetworkRequest identified(const char *path, const QString &radioSerial)
{
    QUrl url = base();
    url.setPath(url.path() + QLatin1String(path));
    QNetworkRequest req(url);
    req.setRawHeader(ClientAppHeader, ClientAppValue);
    if (!radioSerial.isEmpty())
        req.setRawHeader(RadioSerialHeader, radioSerial.toUtf8());
    return req;
}

QNetworkRequest messagesRequest(const QString &radioSerial)
{
    QNetworkRequest req = identified(MessagesPath, radioSerial);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    req.setTransferTimeout(0); // a long answer may take minutes
    return req;
}

QNetworkRequest usageRequest(const QString &radioSerial)
{
    return identified(UsagePath, radioSerial);
}

static std::optional<QJsonObject> parseObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

std::optional<QList<ContentBlock>> parseMessagesAnswer(const QByteArray &body)
{
    const auto obj = parseObject(body);
    if (!obj || !obj->value(QLatin1String("content")).isArray())
        return std::nullopt;
    QList<ContentBlock> blocks;
    const QJsonArray content = obj->value(QLatin1String("content")).toArray();
    for (const QJsonValue &v : content) {
        const QJsonObject b = v.toObject();
        ContentBlock block;
        block.type = b.value(QLatin1String("type")).toString();
        block.text = b.value(QLatin1String("text")).toString();
        block.id = b.value(QLatin1String("id")).toString();
        block.name = b.value(QLatin1String("name")).toString();
        block.input = b.value(QLatin1String("input")).toObject();
        blocks.append(block);
    }
    return blocks;
}

QString errorMessage(const QByteArray &body)
{
    const auto obj = parseObject(body);
    if (!obj)
        return QString();
    return obj->value(QLatin1String("error")).toObject().value(QLatin1String("message")).toString();
}

bool isQuotaExhausted(const QString &errorText)
{
    return errorText.contains(QLatin1String(QuotaExhaustedWords));
}

static bool wholeNumber(const QJsonValue &v, qint64 *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.0e15)
        return false;
    *out = static_cast<qint64>(d);
    return true;
}

std::optional<Usage> parseUsage(const QByteArray &body)
{
    const auto obj = parseObject(body);
    if (!obj)
        return std::nullopt;
    Usage u;
    if (!wholeNumber(obj->value(QLatin1String("fourHourTokens")), &u.fourHourTokens)
        || !wholeNumber(obj->value(QLatin1String("fourHourLimit")), &u.fourHourLimit)
        || !wholeNumber(obj->value(QLatin1String("weekTokens")), &u.weekTokens)
        || !wholeNumber(obj->value(QLatin1String("weekLimit")), &u.weekLimit))
        return std::nullopt;
    u.plan = obj->value(QLatin1String("plan")).toString();
    wholeNumber(obj->value(QLatin1String("fourHourResetAt")), &u.fourHourResetAt);
    return u;
}

} // namespace AiServiceApi
