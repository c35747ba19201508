#include "AiServiceApi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

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

namespace {

// A body that can be read once: the network layer cannot rewind it to send it again.
class OneShotBody : public QIODevice
{
public:
    explicit OneShotBody(const QByteArray &bytes)
        : bytes(bytes)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return bytes.size() - offset + QIODevice::bytesAvailable();
    }
    bool reset() override { return false; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(bytes.size()) - offset);
        memcpy(data, bytes.constData() + offset, size_t(n));
        offset += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray bytes;
    qint64 offset = 0;
};

} // namespace

QNetworkReply *postOnce(QNetworkAccessManager *manager, QNetworkRequest request,
                        const QByteArray &body)
{
    // Unbuffered, with its length known, the body goes straight from the device.
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    auto *device = new OneShotBody(body);
    QNetworkReply *reply = manager->post(request, device);
    device->setParent(reply);
    return reply;
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

std::optional<MessagesAnswer> readMessagesAnswer(const QByteArray &body)
{
    const auto obj = parseObject(body);
    if (!obj || !obj->value(QLatin1String("content")).isArray())
        return std::nullopt;
    MessagesAnswer answer;
    answer.content = obj->value(QLatin1String("content")).toArray();
    answer.stopReason = obj->value(QLatin1String("stop_reason")).toString();
    return answer;
}

std::optional<QList<ContentBlock>> parseMessagesAnswer(const QByteArray &body)
{
    const auto answer = readMessagesAnswer(body);
    if (!answer)
        return std::nullopt;
    QList<ContentBlock> blocks;
    for (const QJsonValue &v : answer->content) {
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

static int tokenFigure(const QJsonValue &v)
{
    if (!v.isDouble())
        return 0;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
        return 0;
    return static_cast<int>(d);
}

static qint64 wholeMilliseconds(const QJsonValue &v)
{
    if (!v.isDouble())
        return 0;
    // Clamped first: a cast of an out-of-range double is undefined.
    const double d = qBound(-9.0e18, v.toDouble(), 9.0e18);
    return static_cast<qint64>(std::trunc(d));
}

Usage parseUsage(const QByteArray &body)
{
    const QJsonObject obj = parseObject(body).value_or(QJsonObject());
    Usage u;
    u.fourHourTokens = tokenFigure(obj.value(QLatin1String("fourHourTokens")));
    u.fourHourLimit = tokenFigure(obj.value(QLatin1String("fourHourLimit")));
    u.weekTokens = tokenFigure(obj.value(QLatin1String("weekTokens")));
    u.weekLimit = tokenFigure(obj.value(QLatin1String("weekLimit")));
    u.plan = obj.value(QLatin1String("plan")).toString();
    u.fourHourResetAt = wholeMilliseconds(obj.value(QLatin1String("fourHourResetAt")));
    return u;
}

} // namespace AiServiceApi
