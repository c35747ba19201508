#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// What the program asks of the maker's AI service and what it reads in the answers,
// in one place. The messages endpoint speaks the Anthropic Messages API format.
namespace AiServiceApi {

inline const char *const MessagesPath = "/v1/messages";
inline const char *const UsagePath = "/v1/usage";
inline const char *const ClientAppHeader = "X-Client-App";
inline const char *const ClientAppValue = "kelo-studio";
inline const char *const RadioSerialHeader = "X-Radio-Serial";
inline const char *const QuotaExhaustedWords = "usage limit has been reached";

// Real answers are a few hundred kB at most (max_tokens 4096) and take up to a few minutes.
constexpr qint64 MaxMessagesAnswerBytes = 16 * 1024 * 1024;
constexpr int MessagesDeadlineMs = 5 * 60 * 1000;
constexpr qint64 MaxUsageAnswerBytes = 64 * 1024;
constexpr int UsageDeadlineMs = 30 * 1000;

// The service's root URL. Tests point it at a fake on loopback.
QUrl baseUrl();
void setBaseUrl(const QUrl &url);

// POST /v1/messages: JSON, identification headers, no transfer time-out.
QNetworkRequest messagesRequest(const QString &radioSerial);
// Posts body so that the network layer never sends it a second time: a connection dropped
// after the request went out is an error, not a silent repeat of a paid request.
QNetworkReply *postOnce(QNetworkAccessManager *manager, QNetworkRequest request,
                        const QByteArray &body);
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

// A successful answer as it is kept in the conversation: its "content" array unchanged, and
// "stop_reason" ("max_tokens" means the last block may be cut off).
struct MessagesAnswer
{
    QJsonArray content;
    QString stopReason;
};
std::optional<MessagesAnswer> readMessagesAnswer(const QByteArray &body);

// The text at "error" then "message" of a failed answer; empty when there is none.
QString errorMessage(const QByteArray &body);
bool isQuotaExhausted(const QString &errorText);

// Every key is optional: a token figure that is missing, not a number, or not a whole number
// within 32 bits counts as 0; a body that is not a JSON object reads as an empty one.
struct Usage
{
    int fourHourTokens = 0;
    int fourHourLimit = 0; // below 1: unlimited
    int weekTokens = 0;
    int weekLimit = 0; // below 1: unlimited
    QString plan; // empty: keep the plan shown
    qint64 fourHourResetAt = 0; // ms since the epoch, cut to whole ms; 0: no limit pending
};
Usage parseUsage(const QByteArray &body);

} // namespace AiServiceApi
