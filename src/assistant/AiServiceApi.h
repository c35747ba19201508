#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <optional>

// What the program asks of the maker's AI service and what it reads in the answers,
// in one place. The messages endpoint speaks the Anthropic Messages API format.
namespace AiServiceApi {

inline const char *const MessagesPath = "/v1/messages";
inline const char *const UsagePath = "/v1/usage";
inline const char *const ClientAppHeader = "X-Client-App";
inline const char *const ClientAppValue = "kelo-studio";
inline const char *const RadioSerialHeader = "X-Radio-Serial";
inline const char *const QuotaExhaustedWords = "usage limit has been reached";

// The service's root URL. Tests point it at a fake on loopback.
QUrl baseUrl();
void setBaseUrl(const QUrl &url);

// POST /v1/messages: JSON, identification headers, no transfer time-out.
QNetworkRequest messagesRequest(const QString &radioSerial);
// GET /v1/usage: the same identification headers.
QNetworkRequest usageRequest(const QString &radioSerial);

struct ContentBlock
{
    QString type; // "text" or "tool_use"; other types are kept but not read
    QString text;
    QString id;
    QString name;
    QJsonObject input;
};

// The "content" array of a successful answer; nullopt when the body is not an object
// holding a "content" array.
std::optional<QList<ContentBlock>> parseMessagesAnswer(const QByteArray &body);

// The text at "error" then "message" of a failed answer; empty when there is none.
QString errorMessage(const QByteArray &body);
bool isQuotaExhausted(const QString &errorText);

struct Usage
{
    qint64 fourHourTokens = 0;
    qint64 fourHourLimit = 0; // below 1: unlimited
    qint64 weekTokens = 0;
    qint64 weekLimit = 0; // below 1: unlimited
    QString plan;
    qint64 fourHourResetAt = 0; // ms since the epoch
};
std::optional<Usage> parseUsage(const QByteArray &body);

} // namespace AiServiceApi
