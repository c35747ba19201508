#include "ConversationLogic.h"

#include "AiServiceApi.h"
#include "AssistantToolNames.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace ConversationLogic {

static const QString Type = QStringLiteral("type");

static QString tr(const char *text)
{
    return QCoreApplication::translate("AiAssistantWidget", text);
}

QString extractTextBlocks(const QJsonArray &content)
{
    QStringList texts;
    for (const QJsonValue &v : content) {
        const QJsonObject block = v.toObject();
        if (block.value(Type).toString() == QLatin1String("text"))
            texts.append(block.value(QStringLiteral("text")).toString());
    }
    return texts.join(QStringLiteral("\n\n")).trimmed();
}

QList<QJsonObject> toolUseBlocks(const QJsonArray &content)
{
    QList<QJsonObject> calls;
    for (const QJsonValue &v : content) {
        const QJsonObject block = v.toObject();
        if (block.value(Type).toString() == QLatin1String("tool_use"))
            calls.append(block);
    }
    return calls;
}

int thinScreenshots(QList<ChatMessage> &conversation)
{
    int replaced = 0;
    for (ChatMessage &message : conversation) {
        if (!message.content.isArray())
            continue;
        QJsonArray blocks = message.content.toArray();
        bool changed = false;
        for (int i = 0; i < blocks.size(); ++i) {
            QJsonObject block = blocks.at(i).toObject();
            if (block.value(Type).toString() != QLatin1String("tool_result"))
                continue;
            QJsonArray inner = block.value(QStringLiteral("content")).toArray();
            bool innerChanged = false;
            for (int j = 0; j < inner.size(); ++j) {
                if (inner.at(j).toObject().value(Type).toString() == QLatin1String("image")) {
                    inner.replace(j, AssistantRequest::textBlock(QLatin1String(ThinnedScreenshot)));
                    innerChanged = true;
                    ++replaced;
                }
            }
            if (innerChanged) {
                block.insert(QStringLiteral("content"), inner);
                blocks.replace(i, block);
                changed = true;
            }
        }
        if (changed)
            message.content = blocks;
    }
    return replaced;
}

static QJsonArray blocksOf(const QJsonValue &content)
{
    if (content.isArray())
        return content.toArray();
    return QJsonArray {AssistantRequest::textBlock(content.toString())};
}

static QJsonArray answersForOpenToolCalls(const QList<ChatMessage> &conversation,
                                          const QJsonArray &collected, const QString &notRunText)
{
    QJsonArray answers;
    if (conversation.isEmpty() || conversation.last().role != QLatin1String("assistant"))
        return answers;
    for (const QJsonObject &call : toolUseBlocks(conversation.last().content.toArray())) {
        const QString id = call.value(QStringLiteral("id")).toString();
        QJsonObject answer = AssistantRequest::toolResultBlock(id, notRunText);
        for (const QJsonValue &v : collected) {
            if (v.toObject().value(QStringLiteral("tool_use_id")).toString() == id) {
                answer = v.toObject();
                break;
            }
        }
        answers.append(answer);
    }
    return answers;
}

void appendUserContent(QList<ChatMessage> &conversation, const QJsonValue &content,
                       const QJsonArray &collectedResults, const QString &notRunText)
{
    QJsonArray answers = answersForOpenToolCalls(conversation, collectedResults, notRunText);
    if (!answers.isEmpty()) {
        for (const QJsonValue &block : blocksOf(content))
            answers.append(block);
        conversation.append({QStringLiteral("user"), answers});
        return;
    }
    if (!conversation.isEmpty() && conversation.last().role == QLatin1String("user")) {
        QJsonArray merged = blocksOf(conversation.last().content);
        for (const QJsonValue &block : blocksOf(content))
            merged.append(block);
        conversation.last().content = merged;
        return;
    }
    conversation.append({QStringLiteral("user"), content});
}

QString toolBubbleText(const QString &toolName, const QJsonObject &input)
{
    // The model may send a name of any length; a bubble of a megabyte stalls the window.
    const auto field = [&input](const char *key) {
        const QString value = input.value(QLatin1String(key)).toString();
        return value.size() > 80 ? value.left(79) + QChar(0x2026) : value;
    };
    if (toolName == AssistantToolNames::ListFiles)
        return tr("Listing project files...");
    if (toolName == AssistantToolNames::ReadFile)
        return tr("Reading %1...").arg(field("filename"));
    if (toolName == AssistantToolNames::WriteFile)
        return tr("Writing %1...").arg(field("filename"));
    if (toolName == AssistantToolNames::WriteImage)
        return tr("Drawing %1...").arg(field("filename"));
    if (toolName == AssistantToolNames::CheckRadio)
        return tr("Checking radio connection...");
    if (toolName == AssistantToolNames::CreateProject)
        return tr("Creating project \"%1\"...").arg(field("name"));
    if (toolName == AssistantToolNames::RunProject)
        return tr("Uploading and running the project...");
    if (toolName == AssistantToolNames::TakeScreenshot)
        return tr("Taking a screenshot...");
    if (toolName == AssistantToolNames::ReadDebugLog)
        return tr("Reading the Debug terminal...");
    if (toolName == AssistantToolNames::ReadDocs)
        return tr("Checking the docs...");
    return tr("Running %1...").arg(toolName);
}

static QString faultOf(const QJsonObject &call, const QSet<QString> &usedIds,
                       const QStringList &toolNames)
{
    static const QRegularExpression idPattern(QStringLiteral("^[a-zA-Z0-9_-]{1,256}$"));
    const QJsonValue id = call.value(QStringLiteral("id"));
    const QJsonValue name = call.value(QStringLiteral("name"));
    if (!id.isString() || !idPattern.match(id.toString()).hasMatch())
        return QStringLiteral("it had no usable id");
    if (usedIds.contains(id.toString()))
        return QStringLiteral("its id %1 was already used by an earlier call").arg(id.toString());
    if (!name.isString() || !toolNames.contains(name.toString())) {
        // The name goes back to the model: a long one is cut, as no tool is named so.
        const QString shown = name.toString();
        return QStringLiteral("\"%1\" is not one of the tools")
            .arg(shown.size() > 64 ? shown.left(63) + QChar(0x2026) : shown);
    }
    if (!call.value(QStringLiteral("input")).isObject())
        return QStringLiteral("its input was not a JSON object");
    return QString();
}

KeptAnswer keptAnswer(const QJsonArray &content, const QSet<QString> &usedIds,
                      const QStringList &toolNames)
{
    KeptAnswer kept;
    QSet<QString> ids = usedIds;
    for (const QJsonValue &v : content) {
        const QJsonObject block = v.toObject();
        const QString type = block.value(Type).toString();
        if (type == QLatin1String("text")) {
            const QString text = block.value(QStringLiteral("text")).toString();
            if (!text.isEmpty())
                kept.content.append(AssistantRequest::textBlock(text));
            continue;
        }
        if (type != QLatin1String("tool_use"))
            continue;
        const QString fault = faultOf(block, ids, toolNames);
        if (!fault.isEmpty()) {
            kept.notes.append(
                QStringLiteral("A tool call of your last answer was not run and was removed: "
                               "%1. Call the tool again if you still need it.")
                    .arg(fault));
            continue;
        }
        const QString id = block.value(QStringLiteral("id")).toString();
        ids.insert(id);
        kept.content.append(
            QJsonObject {{Type, QStringLiteral("tool_use")},
                         {QStringLiteral("id"), id},
                         {QStringLiteral("name"), block.value(QStringLiteral("name"))},
                         {QStringLiteral("input"), block.value(QStringLiteral("input"))}});
    }
    return kept;
}

QSet<QString> toolUseIds(const QList<ChatMessage> &conversation)
{
    QSet<QString> ids;
    for (const ChatMessage &message : conversation) {
        for (const QJsonObject &call : toolUseBlocks(message.content.toArray()))
            ids.insert(call.value(QStringLiteral("id")).toString());
    }
    return ids;
}

static int imagesIn(const QJsonArray &blocks)
{
    int count = 0;
    for (const QJsonValue &v : blocks) {
        const QJsonObject block = v.toObject();
        const QString type = block.value(Type).toString();
        if (type == QLatin1String("image"))
            ++count;
        else if (type == QLatin1String("tool_result"))
            count += imagesIn(block.value(QStringLiteral("content")).toArray());
    }
    return count;
}

int imageCount(const QList<ChatMessage> &conversation)
{
    int count = 0;
    for (const ChatMessage &message : conversation)
        count += imagesIn(message.content.toArray());
    return count;
}

ReplyOutcome readReply(const ReplyFacts &facts)
{
    ReplyOutcome out;
    const QString serviceMessage = AiServiceApi::errorMessage(facts.body);
    out.quotaExhausted = AiServiceApi::isQuotaExhausted(serviceMessage);
    if (facts.failed) {
        if (!serviceMessage.isEmpty())
            out.errorText = serviceMessage;
        else if (facts.httpStatus != 0)
            out.errorText
                = tr("%1 (HTTP status %2)").arg(facts.transportError).arg(facts.httpStatus);
        else
            out.errorText = facts.transportError;
        return out;
    }
    const auto answer = AiServiceApi::readMessagesAnswer(facts.body);
    if (!answer) {
        out.errorText = !serviceMessage.isEmpty()
            ? serviceMessage
            : tr("The AI service sent an answer that could not be read (HTTP status %1).")
                  .arg(facts.httpStatus);
        return out;
    }
    if (answer->content.isEmpty()) {
        out.errorText = tr("The AI service sent an empty answer.");
        out.quotaExhausted = false;
        return out;
    }
    out.success = true;
    out.quotaExhausted = false;
    out.content = answer->content;
    out.stopReason = answer->stopReason;
    return out;
}

} // namespace ConversationLogic
