#pragma once

#include "AiServiceApi.h"
#include "AssistantRequest.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// One conversation with the maker's AI service, without a widget: the requests, Stop, the
// tool loop (the model's calls go out one at a time through toolCallRequested and come back
// through handleToolResult), the step limit and the usage of the radio. The chat panel shows
// what its signals say.
class AssistantSession : public QObject
{
    Q_OBJECT
public:
    explicit AssistantSession(QNetworkAccessManager *networkManager, QObject *parent = nullptr);
    ~AssistantSession() override;

    QString systemPrompt() const;
    QJsonArray toolDefinitions() const;

    // Sends the user's content (a string, or an array of blocks) as the next turn. Returns why
    // it cannot go (too many images, too large) and then changes nothing; empty: sent.
    QString send(const QJsonValue &content);
    // Ends the turn at once while a request is out; a running tool is not cancelled: the turn
    // stops at its answer.
    void stop();
    // Forgets the conversation; false while a turn is out (a request or a tool call).
    bool clear();

    // The owner's answer to the call last emitted by toolCallRequested, exactly once, at once
    // or later; an id that is not the pending call is ignored.
    void handleToolResult(const QString &toolUseId, const QString &text, const QByteArray &image);

    bool isBusy() const { return busy; }
    // A request or a tool call is out.
    bool isWaiting() const { return currentReply || !pendingToolCalls.isEmpty(); }
    const QList<ChatMessage> &messages() const { return conversation; }

    // A block whose request text was written elsewhere (a dropped picture, off the GUI thread).
    void rememberBlock(const QJsonObject &block, const QByteArray &json);
    void forgetBlock(const QJsonObject &block);

    // Empty: no radio. Fetches the usage for a serial.
    void setRadioSerial(const QString &serial);
    QString radioSerial() const { return serial; }
    void fetchUsage();
    // The countdown of a reached four-hour limit, and the refetch once its reset time passed,
    // on a clock of ms since the epoch (tests set their own).
    void setClock(std::function<qint64()> clockFunction);
    void countdownTick();

    // How long a messages or usage answer may take in all, in ms.
    int messagesReplyDeadline() const { return messagesDeadlineMs; }
    int usageReplyDeadline() const { return usageDeadlineMs; }
    void setReplyDeadlines(int messagesMs, int usageMs);

signals:
    void busyChanged(bool busy);
    // The turn ended with this error (after busyChanged(false)).
    void errorOccurred(const QString &message);
    // The text blocks of an answer, when it has any.
    void answerReceived(const QString &text);
    void toolCallRequested(const QString &toolUseId, const QString &toolName,
                           const QJsonObject &input);
    // True when the service refused for the radio's quota, false at every good answer.
    void quotaExhausted(bool exhausted);
    void usageReceived(const AiServiceApi::Usage &usage);
    // The time until the four-hour limit resets, in ms; 0: no limit is reached.
    void limitCountdown(qint64 msLeft);

private:
    void setBusy(bool on);
    void endTurnWithError(const QString &message);
    QByteArray requestBody(const QList<ChatMessage> &messages);
    void sendRequest();
    void postBody(const QByteArray &body);
    void onReplyFinished();
    void processNextToolCall();
    QStringList toolNames() const;
    void onUsageReplyFinished(QNetworkReply *reply, quint64 generation);
    void updateResetCountdown(qint64 resetAt);
    // Calls exceeded once, at most, when the answer passes maxBytes or deadlineMs.
    void boundReply(QNetworkReply *reply, qint64 maxBytes, int deadlineMs,
                    const std::function<void(const QString &)> &exceeded);

    QNetworkAccessManager *networkManager;
    QNetworkReply *currentReply = nullptr;
    QString serial;
    quint64 serialGeneration = 0; // bumped when the serial changes: late answers are dropped
    QList<ChatMessage> conversation;
    AssistantRequest::BodyWriter bodyWriter;
    QList<QJsonObject> pendingToolCalls;
    QJsonArray toolResults;
    QStringList modelNotes; // why calls of the last answer were left out, for the model
    int toolSteps = 0;
    int messagesDeadlineMs = AiServiceApi::MessagesDeadlineMs;
    int usageDeadlineMs = AiServiceApi::UsageDeadlineMs;
    bool stopRequested = false;
    bool busy = false;

    QTimer *countdownTimer;
    qint64 fourHourResetAt = 0;
    bool expiryRefetchPending = false;
    qint64 lastExpiryFetchAt = 0; // clock of the last refetch after a reset time passed
    std::function<qint64()> clock;
};
