#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
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
QByteArray blockJson(const QJsonObject &block);

// Writes request bodies byte for byte as serialize(buildBody(...)) does, but keeps the text of
// every block it wrote: each request carries the whole conversation, and turning a picture's
// Base64 into JSON text again costs the GUI thread some 2 ms per MB at every step.
class BodyWriter
{
public:
    QByteArray write(const QList<ChatMessage> &conversation, const QString &systemPrompt,
                     const QJsonArray &tools);
    // A block whose text was written elsewhere (a dropped picture, off the GUI thread).
    void remember(const QJsonObject &block, const QByteArray &json);
    void forget(const QJsonObject &block);
    void clear();

private:
    QByteArray writtenBlock(const QJsonValue &block);

    struct Written
    {
        QJsonValue content; // as last written at this place of the conversation
        QList<QByteArray> blocks; // unmarked
    };
    QList<Written> cache;
    QList<QPair<QJsonObject, QByteArray>> remembered;
};

} // namespace AssistantRequest
