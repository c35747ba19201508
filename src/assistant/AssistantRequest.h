#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

// One element of the conversation: "user" or "assistant", and a JSON string (plain user
// text) or an array of content blocks.
struct ChatMessage
{
    QString role;
    QJsonValue content;
};

// The body of one messages request and the content blocks the conversation is built from,
// in the Anthropic Messages API format. No widget: the panel calls these.
namespace AssistantRequest {

inline const char *const ModelId = "claude-sonnet-5";
constexpr int MaxTokens = 4096;
// The service refuses a request body above 32 MB.
constexpr qint64 MaxBodyBytes = 32 * 1024 * 1024;

QJsonObject textBlock(const QString &text);
// The PNG file's bytes in standard Base64.
QJsonObject imageBlock(const QByteArray &png);
// A text block, then an image block when png is not empty.
QJsonObject toolResultBlock(const QString &toolUseId, const QString &text,
                            const QByteArray &png = QByteArray());

// The prompt-caching mark: {"type":"ephemeral"}.
QJsonObject cacheMark();

// The whole body: model, max_tokens, the system prompt as one marked text block, the
// conversation in order and the tools, the last tool marked. The last block of the last
// message is marked on a copy (a string content goes out as one text block); a last content
// that is an empty array goes out unchanged and unmarked.
QJsonObject buildBody(const QList<ChatMessage> &conversation, const QString &systemPrompt,
                      QJsonArray tools);

// Compact UTF-8 JSON, keys of every object in ascending order.
QByteArray serialize(const QJsonObject &body);

} // namespace AssistantRequest
