#pragma once

#include "FakeHttpServer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QUrl>

// One tool call in a scripted answer; an empty id is made up ("toolu_1", "toolu_2", ...).
struct FakeToolCall
{
    FakeToolCall(const QString &name, const QJsonObject &input = {}, const QString &id = {})
        : name(name)
        , input(input)
        , id(id)
    {
    }
    QString name;
    QJsonObject input;
    QString id;
};

// The maker's AI service on 127.0.0.1, scripted: the messages endpoint answers from a queue,
// the usage endpoint from another; every request is recorded and every messages body is run
// through MessagesBodyValidator as it arrives.
//
//   FakeAiService service;
//   service.listen();
//   AiServiceApi::setBaseUrl(service.url());
//   service.queueToolCalls("Let me look.", {{"list_files", {}}});
//   service.queueText("Done.");
//   ... drive the panel ...
//   QVERIFY2(service.problems().isEmpty(), ...);   // also checkWithPython(service.bodies())
class FakeAiService : public QObject
{
    Q_OBJECT
public:
    explicit FakeAiService(QObject *parent = nullptr);

    bool listen(); // loopback, any free port
    QUrl url() const; // "http://127.0.0.1:PORT"
    FakeHttpServer &server() { return http; }

    // Answers of POST /v1/messages, in order; with none left the answer is the text "Done.".
    void queueAnswer(const FakeResponse &response);
    void queueText(const QString &text);
    // Returns the ids of the calls, in order.
    QStringList queueToolCalls(const QString &text, const QList<FakeToolCall> &calls,
                               const QByteArray &stopReason = "tool_use");
    // A successful answer body: {"id", "type":"message", "role":"assistant", "model",
    // "content", "stop_reason", "usage"} as the Messages API sends it.
    static QByteArray answerBody(const QJsonArray &content, const QByteArray &stopReason);
    static QJsonObject textBlock(const QString &text);
    static QJsonObject toolUseBlock(const QString &id, const QString &name,
                                    const QJsonObject &input);
    // A tool_result block's text, and its picture's bytes (empty when it has none).
    static QString toolResultText(const QJsonObject &result);
    static QByteArray toolResultImage(const QJsonObject &result);
    // An answer with exactly this content array, whatever its blocks.
    void queueContent(const QJsonArray &content, const QByteArray &stopReason = "end_turn");
    // A successful answer of the text, padded with white space after the JSON to exactly
    // bytes bytes (still valid JSON).
    static FakeResponse answerOfSize(const QString &text, qint64 bytes);
    // An answer that begins like a real one and never ends.
    static FakeResponse endlessAnswer();
    // The text's answer, announced truthfully, sent bytes at a time every ms.
    static FakeResponse trickledAnswer(const QString &text, int ms, int bytes = 1);
    // The Messages API's error object with this message.
    static FakeResponse errorAnswer(int status, const QString &message);
    int queuedAnswers() const { return answers.size(); }
    void clearAnswers() { answers.clear(); }

    // Answers of GET /v1/usage, in order; the last one is repeated ("{}" before any).
    void queueUsage(const FakeResponse &response);
    void clearUsage() { usageAnswers.clear(); }

    QList<FakeRequest> messagesRequests() const { return http.requestsFor("/v1/messages"); }
    QList<FakeRequest> usageRequests() const { return http.requestsFor("/v1/usage"); }
    QList<QByteArray> bodies() const;
    QJsonObject body(int index) const; // parsed messages body
    QJsonArray messages(int index) const { return body(index).value("messages").toArray(); }

    // What the validator found in the messages bodies so far, each line naming its request.
    QStringList problems() const { return found; }

signals:
    void messagesRequestReceived(int index);

private:
    FakeHttpServer http;
    QList<FakeResponse> answers;
    QList<FakeResponse> usageAnswers;
    QStringList found;
    int nextToolId = 0;
    int messagesSeen = 0;
};
