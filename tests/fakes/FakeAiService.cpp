#include "FakeAiService.h"

#include "MessagesBodyValidator.h"

#include <QJsonDocument>

FakeAiService::FakeAiService(QObject *parent)
    : QObject(parent)
{
    http.setHandler("/v1/messages", [this](const FakeRequest &) {
        return answers.isEmpty() ? FakeResponse::json(answerBody({textBlock("Done.")}, "end_turn"))
                                 : answers.takeFirst();
    });
    http.setHandler("/v1/usage", [this](const FakeRequest &) {
        if (usageAnswers.isEmpty())
            return FakeResponse::json("{}");
        return usageAnswers.size() > 1 ? usageAnswers.takeFirst() : usageAnswers.first();
    });
    connect(&http, &FakeHttpServer::requestReceived, this, [this](const FakeRequest &request) {
        if (request.path != "/v1/messages")
            return;
        const int index = messagesSeen++;
        for (const QString &problem : MessagesBodyValidator::check(request.body))
            found.append(QStringLiteral("request %1: %2").arg(index).arg(problem));
        if (request.header("Content-Type") != "application/json")
            found.append(QStringLiteral("request %1: content type is not JSON").arg(index));
        if (request.header("X-Client-App") != "kelo-studio")
            found.append(QStringLiteral("request %1: no X-Client-App kelo-studio").arg(index));
        if (!request.header("Authorization").isEmpty() || !request.header("x-api-key").isEmpty())
            found.append(QStringLiteral("request %1: carries a credential").arg(index));
        emit messagesRequestReceived(index);
    });
}

bool FakeAiService::listen()
{
    return http.listen(QHostAddress::LocalHost, 0);
}

QUrl FakeAiService::url() const
{
    return QUrl(QStringLiteral("http://%1").arg(http.address()));
}

void FakeAiService::queueAnswer(const FakeResponse &response)
{
    answers.append(response);
}

void FakeAiService::queueText(const QString &text)
{
    queueAnswer(FakeResponse::json(answerBody({textBlock(text)}, "end_turn")));
}

QStringList FakeAiService::queueToolCalls(const QString &text, const QList<FakeToolCall> &calls,
                                          const QByteArray &stopReason)
{
    QJsonArray content;
    if (!text.isEmpty())
        content.append(textBlock(text));
    QStringList ids;
    for (const FakeToolCall &call : calls) {
        const QString id
            = call.id.isEmpty() ? QStringLiteral("toolu_%1").arg(++nextToolId) : call.id;
        content.append(toolUseBlock(id, call.name, call.input));
        ids.append(id);
    }
    queueAnswer(FakeResponse::json(answerBody(content, stopReason)));
    return ids;
}

QByteArray FakeAiService::answerBody(const QJsonArray &content, const QByteArray &stopReason)
{
    const QJsonObject answer {
        {"id", "msg_fake"},
        {"type", "message"},
        {"role", "assistant"},
        {"model", "claude-sonnet-5"},
        {"content", content},
        {"stop_reason", QString::fromLatin1(stopReason)},
        {"usage", QJsonObject {{"input_tokens", 100}, {"output_tokens", 20}}}};
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

void FakeAiService::queueContent(const QJsonArray &content, const QByteArray &stopReason)
{
    queueAnswer(FakeResponse::json(answerBody(content, stopReason)));
}

FakeResponse FakeAiService::answerOfSize(const QString &text, qint64 bytes)
{
    QByteArray body = answerBody({textBlock(text)}, "end_turn");
    body.append(QByteArray(int(qMax<qint64>(0, bytes - body.size())), ' '));
    return FakeResponse::json(body);
}

FakeResponse FakeAiService::endlessAnswer()
{
    return FakeResponse::endless(R"({"content":[{"type":"text","text":")", "application/json");
}

FakeResponse FakeAiService::trickledAnswer(const QString &text, int ms, int bytes)
{
    return FakeResponse::trickle(answerBody({textBlock(text)}, "end_turn"), ms, bytes);
}

QJsonObject FakeAiService::textBlock(const QString &text)
{
    return {{"type", "text"}, {"text", text}};
}

QJsonObject FakeAiService::toolUseBlock(const QString &id, const QString &name,
                                        const QJsonObject &input)
{
    return {{"type", "tool_use"}, {"id", id}, {"name", name}, {"input", input}};
}

QString FakeAiService::toolResultText(const QJsonObject &result)
{
    return result.value("content").toArray().at(0).toObject().value("text").toString();
}

QByteArray FakeAiService::toolResultImage(const QJsonObject &result)
{
    const QJsonObject image = result.value("content").toArray().at(1).toObject();
    return QByteArray::fromBase64(
        image.value("source").toObject().value("data").toString().toLatin1());
}

FakeResponse FakeAiService::errorAnswer(int status, const QString &message)
{
    const QJsonObject error {
        {"type", "error"},
        {"error", QJsonObject {{"type", "rate_limit_error"}, {"message", message}}}};
    return FakeResponse::json(QJsonDocument(error).toJson(QJsonDocument::Compact), status);
}

void FakeAiService::queueUsage(const FakeResponse &response)
{
    usageAnswers.append(response);
}

QList<QByteArray> FakeAiService::bodies() const
{
    QList<QByteArray> out;
    for (const FakeRequest &r : messagesRequests())
        out.append(r.body);
    return out;
}

QJsonObject FakeAiService::body(int index) const
{
    return QJsonDocument::fromJson(messagesRequests().value(index).body).object();
}
