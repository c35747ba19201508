// The conversation with the AI service: the request, Send, Stop, Clear, the answers, the
// tool-use loop and the radio's usage.
#include "AssistantSession.h"

#include "AiServiceApi.h"
#include "AssistantTexts.h"
#include "ConversationLogic.h"
#include "ReplyReadLimit.h"
#include "UsageQuota.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

using namespace ConversationLogic;

// The chat panel's texts, under the panel's name as they always were.
static QString panelText(const char *text, const char *disambiguation = nullptr, int n = -1)
{
    return QCoreApplication::translate("AiAssistantWidget", text, disambiguation, n);
}

static QString tooLargeText()
{
    return panelText("The request would be larger than the AI service accepts (32 MB). Remove some "
                     "images, or press Clear to start a new conversation.");
}

static QString tooManyImagesText(int count)
{
    return panelText("The request would carry %1 images; the AI service takes at most %2. Remove "
                     "some, or press Clear to start a new conversation.")
        .arg(count)
        .arg(MaxImagesPerRequest);
}

AssistantSession::AssistantSession(QNetworkAccessManager *networkManager, QObject *parent)
    : QObject(parent)
    , networkManager(networkManager)
    , countdownTimer(new QTimer(this))
    , clock([]() { return QDateTime::currentMSecsSinceEpoch(); })
{
    countdownTimer->setObjectName(QStringLiteral("countdownTimer"));
    connect(countdownTimer, &QTimer::timeout, this, &AssistantSession::countdownTick);
}

AssistantSession::~AssistantSession()
{
    // Replies are children of the session; they must not call back into a half-destroyed one.
    for (QNetworkReply *reply : findChildren<QNetworkReply *>()) {
        reply->disconnect(this);
        reply->abort();
    }
}

QString AssistantSession::systemPrompt() const
{
    return AssistantTexts::systemPrompt();
}

QJsonArray AssistantSession::toolDefinitions() const
{
    return AssistantTexts::toolDefinitions();
}

QByteArray AssistantSession::requestBody(const QList<ChatMessage> &messages)
{
    return bodyWriter.write(messages, systemPrompt(), toolDefinitions());
}

void AssistantSession::setBusy(bool on)
{
    busy = on;
    emit busyChanged(on);
}

void AssistantSession::endTurnWithError(const QString &message)
{
    setBusy(false);
    emit errorOccurred(message);
}

void AssistantSession::sendRequest()
{
    const int images = imageCount(conversation);
    if (images > MaxImagesPerRequest) {
        endTurnWithError(tooManyImagesText(images));
        return;
    }
    const QByteArray body = requestBody(conversation);
    if (body.size() > AssistantRequest::MaxBodyBytes) {
        endTurnWithError(tooLargeText());
        return;
    }
    postBody(body);
}

void AssistantSession::postBody(const QByteArray &body)
{
    currentReply
        = AiServiceApi::postOnce(networkManager, AiServiceApi::messagesRequest(serial), body);
    currentReply->setParent(this);
    connect(currentReply, &QNetworkReply::finished, this, &AssistantSession::onReplyFinished);
    QNetworkReply *reply = currentReply;
    boundReply(reply, AiServiceApi::MaxMessagesAnswerBytes, messagesDeadlineMs,
               [this, reply](const QString &why) {
                   if (reply != currentReply)
                       return;
                   currentReply = nullptr;
                   reply->disconnect(this);
                   reply->abort();
                   reply->deleteLater();
                   endTurnWithError(why);
               });
}

void AssistantSession::boundReply(QNetworkReply *reply, qint64 maxBytes, int deadlineMs,
                                  const std::function<void(const QString &)> &exceeded)
{
    // Without both an answer could grow until memory runs out, or trickle on for ever. Qt
    // buffers a little past the limit, so that passing it is seen.
    ReplyReadLimit::keep(reply, maxBytes + ReplyReadLimit::Slack);
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [exceeded, deadlineMs]() {
        exceeded(panelText("The AI service did not finish its answer within %n second(s).", nullptr,
                           deadlineMs / 1000));
    });
    deadline->start(deadlineMs);
    const auto check = [reply, maxBytes, exceeded, deadline](qint64 received, qint64 total) {
        if (!deadline->isActive())
            return; // already given up
        if (received > maxBytes || total > maxBytes || reply->bytesAvailable() > maxBytes) {
            deadline->stop();
            exceeded(panelText("The AI service's answer is larger than %1 MB; it was dropped.")
                         .arg(maxBytes / (1024 * 1024)));
        }
    };
    connect(reply, &QNetworkReply::downloadProgress, this, check);
    // Qt reports progress at most every 100 ms, and none once the window is full and the
    // reading stops: what has arrived is checked as well.
    connect(reply, &QNetworkReply::readyRead, this, [check]() { check(0, 0); });
    connect(reply, &QNetworkReply::finished, deadline, &QTimer::stop);
}

void AssistantSession::setReplyDeadlines(int messagesMs, int usageMs)
{
    messagesDeadlineMs = messagesMs;
    usageDeadlineMs = usageMs;
}

QString AssistantSession::send(const QJsonValue &content)
{
    QList<ChatMessage> next = conversation;
    appendUserContent(next, content, toolResults, QLatin1String(NotRunStopped));
    const int imagesInRequest = imageCount(next);
    if (imagesInRequest > MaxImagesPerRequest)
        return tooManyImagesText(imagesInRequest);
    const QByteArray body = requestBody(next);
    // Nothing is lost: the caller keeps the text and the images for the user to trim.
    if (body.size() > AssistantRequest::MaxBodyBytes)
        return tooLargeText();

    conversation = next;
    toolSteps = 0;
    stopRequested = false;
    setBusy(true);
    postBody(body);
    return QString();
}

void AssistantSession::stop()
{
    stopRequested = true;
    if (!currentReply)
        return; // a running tool is not cancelled: the turn stops at its answer
    QNetworkReply *reply = currentReply;
    currentReply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    endTurnWithError(panelText("Stopped."));
}

bool AssistantSession::clear()
{
    if (isWaiting())
        return false;
    conversation.clear();
    bodyWriter.clear();
    return true;
}

void AssistantSession::rememberBlock(const QJsonObject &block, const QByteArray &json)
{
    bodyWriter.remember(block, json);
}

void AssistantSession::forgetBlock(const QJsonObject &block)
{
    bodyWriter.forget(block);
}

QStringList AssistantSession::toolNames() const
{
    QStringList names;
    for (const QJsonValue &tool : toolDefinitions())
        names.append(tool.toObject().value(QStringLiteral("name")).toString());
    return names;
}

void AssistantSession::onReplyFinished()
{
    QNetworkReply *reply = currentReply;
    currentReply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    if (stopRequested) {
        endTurnWithError(panelText("Stopped."));
        return;
    }

    ReplyFacts facts;
    facts.failed = reply->error() != QNetworkReply::NoError;
    facts.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The network layer would have sent the same request again: it is not, and this says why.
    facts.transportError = reply->error() == QNetworkReply::ContentReSendError
        ? panelText("The connection to the AI service was lost before it answered; the request was "
                    "not sent again.")
        : reply->errorString();
    facts.body = reply->readAll();
    const ReplyOutcome outcome = readReply(facts);
    if (!outcome.success) {
        if (outcome.quotaExhausted)
            emit quotaExhausted(true);
        endTurnWithError(outcome.errorText);
        return;
    }

    emit quotaExhausted(false);
    fetchUsage();
    // Stored as the service sent it, a faulty block would make every later request fail.
    const KeptAnswer kept = keptAnswer(outcome.content, toolUseIds(conversation), toolNames());
    if (kept.content.isEmpty()) {
        endTurnWithError(
            panelText("The AI service sent an answer without anything the program can use."));
        return;
    }
    conversation.append({QStringLiteral("assistant"), kept.content});
    const QString text = extractTextBlocks(kept.content);
    if (!text.isEmpty())
        emit answerReceived(text);

    pendingToolCalls = toolUseBlocks(kept.content);
    modelNotes = kept.notes;
    if (pendingToolCalls.isEmpty() && modelNotes.isEmpty()) {
        setBusy(false);
        return;
    }
    if (toolSteps++ >= MaxToolSteps) {
        pendingToolCalls.clear();
        modelNotes.clear();
        endTurnWithError(
            panelText(
                "Stopped after %1 steps without finishing - ask me to continue if I'm not done.")
                .arg(MaxToolSteps));
        return;
    }
    toolResults = QJsonArray();
    if (outcome.stopReason == QLatin1String("max_tokens")) {
        // The last call may be cut off mid-input (a cut write_file would truncate a file):
        // none of them runs, and the model is told why.
        for (const QJsonObject &call : qAsConst(pendingToolCalls))
            toolResults.append(AssistantRequest::toolResultBlock(
                call.value(QStringLiteral("id")).toString(), QLatin1String(NotRunCutOff)));
        pendingToolCalls.clear();
    }
    processNextToolCall();
}

void AssistantSession::processNextToolCall()
{
    if (stopRequested) {
        // The results collected so far stay in toolResults: the next Send answers the open
        // calls with them.
        pendingToolCalls.clear();
        modelNotes.clear();
        endTurnWithError(panelText("Stopped."));
        return;
    }
    if (pendingToolCalls.isEmpty()) {
        thinScreenshots(conversation);
        QJsonArray message = toolResults;
        for (const QString &note : qAsConst(modelNotes))
            message.append(AssistantRequest::textBlock(note));
        modelNotes.clear();
        conversation.append({QStringLiteral("user"), message});
        sendRequest();
        return;
    }
    const QJsonObject call = pendingToolCalls.first();
    emit toolCallRequested(call.value(QStringLiteral("id")).toString(),
                           call.value(QStringLiteral("name")).toString(),
                           call.value(QStringLiteral("input")).toObject());
}

void AssistantSession::handleToolResult(const QString &toolUseId, const QString &text,
                                        const QByteArray &image)
{
    // Only the call last emitted is answered; anything else would send a stray request.
    if (pendingToolCalls.isEmpty()
        || pendingToolCalls.first().value(QStringLiteral("id")).toString() != toolUseId)
        return;
    pendingToolCalls.removeFirst();
    toolResults.append(AssistantRequest::toolResultBlock(toolUseId, text, image));
    processNextToolCall();
}

void AssistantSession::setRadioSerial(const QString &radioSerial)
{
    if (radioSerial != serial || radioSerial.isEmpty())
        ++serialGeneration;
    serial = radioSerial;
    if (!serial.isEmpty()) {
        fetchUsage();
        return;
    }
    fourHourResetAt = 0;
    expiryRefetchPending = false;
    countdownTick();
}

void AssistantSession::fetchUsage()
{
    if (serial.isEmpty())
        return;
    QNetworkReply *reply = networkManager->get(AiServiceApi::usageRequest(serial));
    reply->setParent(this);
    const quint64 generation = serialGeneration;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, generation]() { onUsageReplyFinished(reply, generation); });
    // A usage answer past its bounds is dropped like any failed one: the quota stays as shown.
    boundReply(reply, AiServiceApi::MaxUsageAnswerBytes, usageDeadlineMs,
               [this, reply](const QString &) {
                   reply->disconnect(this);
                   reply->abort();
                   reply->deleteLater();
               });
}

void AssistantSession::onUsageReplyFinished(QNetworkReply *reply, quint64 generation)
{
    reply->deleteLater();
    // An answer for a serial that has since changed or gone is not this radio's.
    if (generation != serialGeneration)
        return;
    if (reply->error() != QNetworkReply::NoError)
        return;
    const AiServiceApi::Usage usage = AiServiceApi::parseUsage(reply->readAll());
    emit usageReceived(usage);
    expiryRefetchPending = false;
    updateResetCountdown(usage.fourHourResetAt);
}

void AssistantSession::setClock(std::function<qint64()> clockFunction)
{
    clock = std::move(clockFunction);
}

void AssistantSession::updateResetCountdown(qint64 resetAt)
{
    fourHourResetAt = resetAt;
    if (resetAt > 0 && !countdownTimer->isActive())
        countdownTimer->start(UsageQuota::CountdownPeriodMs);
    countdownTick();
}

void AssistantSession::countdownTick()
{
    const qint64 now = clock();
    if (fourHourResetAt < 1 && !expiryRefetchPending) {
        countdownTimer->stop();
        emit limitCountdown(0);
        return;
    }
    if (fourHourResetAt >= 1 && now < fourHourResetAt) {
        emit limitCountdown(fourHourResetAt - now);
        return;
    }
    fourHourResetAt = 0;
    emit limitCountdown(0);
    if (serial.isEmpty()) {
        expiryRefetchPending = false;
        countdownTimer->stop();
        return;
    }
    // A service whose reset time is already past by our clock would be asked again at once,
    // over and over: such refetches wait for the next tick, 30 s after the last one.
    if (lastExpiryFetchAt != 0 && now - lastExpiryFetchAt < UsageQuota::CountdownPeriodMs) {
        expiryRefetchPending = true;
        if (!countdownTimer->isActive())
            countdownTimer->start(UsageQuota::CountdownPeriodMs);
        return;
    }
    expiryRefetchPending = false;
    countdownTimer->stop();
    lastExpiryFetchAt = now;
    fetchUsage();
}
