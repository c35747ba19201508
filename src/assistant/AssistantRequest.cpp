#include "AssistantRequest.h"

#include <QJsonDocument>

namespace AssistantRequest {

QJsonObject textBlock(const QString &text)
{
    return QJsonObject {{QStringLiteral("type"), QStringLiteral("text")},
                        {QStringLiteral("text"), text}};
}

QJsonObject imageBlock(const QByteArray &png)
{
    const QJsonObject source {{QStringLiteral("type"), QStringLiteral("base64")},
                              {QStringLiteral("media_type"), QStringLiteral("image/png")},
                              {QStringLiteral("data"), QString::fromLatin1(png.toBase64())}};
    return QJsonObject {{QStringLiteral("type"), QStringLiteral("image")},
                        {QStringLiteral("source"), source}};
}

QJsonObject toolResultBlock(const QString &toolUseId, const QString &text, const QByteArray &png)
{
    QJsonArray content {textBlock(text)};
    if (!png.isEmpty())
        content.append(imageBlock(png));
    return QJsonObject {{QStringLiteral("type"), QStringLiteral("tool_result")},
                        {QStringLiteral("tool_use_id"), toolUseId},
                        {QStringLiteral("content"), content}};
}

QJsonObject cacheMark()
{
    return QJsonObject {{QStringLiteral("type"), QStringLiteral("ephemeral")}};
}

static const QString CacheControl = QStringLiteral("cache_control");

QJsonObject buildBody(const QList<ChatMessage> &conversation, const QString &systemPrompt,
                      QJsonArray tools)
{
    QJsonArray messages;
    for (const ChatMessage &m : conversation)
        messages.append(
            QJsonObject {{QStringLiteral("role"), m.role}, {QStringLiteral("content"), m.content}});

    QJsonObject system = textBlock(systemPrompt);
    system.insert(CacheControl, cacheMark());

    if (!tools.isEmpty()) {
        QJsonObject last = tools.last().toObject();
        last.insert(CacheControl, cacheMark());
        tools.replace(tools.size() - 1, last);
    }

    if (!messages.isEmpty()) {
        QJsonObject last = messages.last().toObject();
        const QJsonValue content = last.value(QStringLiteral("content"));
        QJsonArray blocks
            = content.isArray() ? content.toArray() : QJsonArray {textBlock(content.toString())};
        if (!blocks.isEmpty()) {
            QJsonObject block = blocks.last().toObject();
            block.insert(CacheControl, cacheMark());
            blocks.replace(blocks.size() - 1, block);
            last.insert(QStringLiteral("content"), blocks);
            messages.replace(messages.size() - 1, last);
        }
    }

    return QJsonObject {{QStringLiteral("model"), QString::fromLatin1(ModelId)},
                        {QStringLiteral("max_tokens"), MaxTokens},
                        {QStringLiteral("system"), QJsonArray {system}},
                        {QStringLiteral("messages"), messages},
                        {QStringLiteral("tools"), tools}};
}

QByteArray serialize(const QJsonObject &body)
{
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace AssistantRequest
