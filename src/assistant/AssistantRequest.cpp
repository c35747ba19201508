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

QByteArray blockJson(const QJsonObject &block)
{
    return QJsonDocument(block).toJson(QJsonDocument::Compact);
}

// One value as compact JSON text (a string with its quotes and escapes).
static QByteArray valueJson(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The block's text with the cache mark. "cache_control" sorts before every key a block of the
// Messages API has, so the mark is its first member; other blocks are written again.
static QByteArray markedBlockJson(const QJsonObject &block, const QByteArray &unmarked)
{
    bool markFirst = !block.isEmpty();
    for (const QString &key : block.keys())
        markFirst = markFirst && key > CacheControl;
    if (!markFirst) {
        QJsonObject marked = block;
        marked.insert(CacheControl, cacheMark());
        return blockJson(marked);
    }
    return QByteArray("{\"cache_control\":{\"type\":\"ephemeral\"},") + unmarked.mid(1);
}

void BodyWriter::remember(const QJsonObject &block, const QByteArray &json)
{
    remembered.append({block, json});
}

void BodyWriter::forget(const QJsonObject &block)
{
    for (int i = 0; i < remembered.size(); ++i) {
        if (remembered.at(i).first == block) {
            remembered.removeAt(i);
            return;
        }
    }
}

void BodyWriter::clear()
{
    cache.clear();
    remembered.clear();
}

QByteArray BodyWriter::writtenBlock(const QJsonValue &block)
{
    if (!block.isObject())
        return valueJson(block);
    const QJsonObject object = block.toObject();
    for (const auto &known : qAsConst(remembered)) {
        if (known.first == object)
            return known.second;
    }
    return blockJson(object);
}

QByteArray BodyWriter::write(const QList<ChatMessage> &conversation, const QString &systemPrompt,
                             const QJsonArray &tools)
{
    // Everything but the messages through the JSON library; it starts {"max_tokens":4096, and
    // "messages" is the next key in sorted order.
    QJsonObject rest = buildBody({}, systemPrompt, tools);
    rest.remove(QStringLiteral("messages"));
    const QByteArray restJson = serialize(rest);
    const int afterMaxTokens = restJson.indexOf(',') + 1;

    while (cache.size() > conversation.size())
        cache.removeLast();
    qsizetype size = restJson.size() + 64 * (conversation.size() + 1);
    for (int i = 0; i < conversation.size(); ++i) {
        const ChatMessage &message = conversation.at(i);
        if (i >= cache.size())
            cache.append(Written());
        Written &written = cache[i];
        // Comparing shared JSON values is a pointer comparison: unchanged messages cost nothing.
        if (written.content != message.content) {
            written.content = message.content;
            written.blocks.clear();
            if (message.content.isArray()) {
                for (const QJsonValue &block : message.content.toArray())
                    written.blocks.append(writtenBlock(block));
            }
        }
        for (const QByteArray &block : qAsConst(written.blocks))
            size += block.size() + 1;
    }

    QByteArray out;
    out.reserve(size);
    out.append(restJson.constData(), afterMaxTokens);
    out.append("\"messages\":[");
    for (int i = 0; i < conversation.size(); ++i) {
        const ChatMessage &message = conversation.at(i);
        const bool last = i == conversation.size() - 1;
        const Written &written = cache.at(i);
        if (i > 0)
            out.append(',');
        out.append("{\"content\":");
        if (message.content.isArray()) {
            const QJsonArray blocks = message.content.toArray();
            out.append('[');
            for (int b = 0; b < blocks.size(); ++b) {
                if (b > 0)
                    out.append(',');
                if (last && b == blocks.size() - 1)
                    out.append(markedBlockJson(blocks.at(b).toObject(), written.blocks.at(b)));
                else
                    out.append(written.blocks.at(b));
            }
            out.append(']');
        } else if (last) {
            const QJsonObject text = textBlock(message.content.toString());
            out.append('[' + markedBlockJson(text, blockJson(text)) + ']');
        } else {
            out.append(valueJson(message.content));
        }
        out.append(",\"role\":");
        out.append(valueJson(message.role));
        out.append('}');
    }
    out.append("],");
    out.append(restJson.constData() + afterMaxTokens, restJson.size() - afterMaxTokens);
    return out;
}

} // namespace AssistantRequest
