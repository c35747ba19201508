// The conversation with the AI service: the request, Send, Stop, Clear, the answers and the
// tool-use loop.
#include "AiAssistantWidget.h"

#include "AiServiceApi.h"
#include "ConversationLogic.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

using namespace ConversationLogic;

static QString tooLargeText()
{
    return AiAssistantWidget::tr(
        "The request would be larger than the AI service accepts (32 MB). Remove some "
        "images, or press Clear to start a new conversation.");
}

QByteArray AiAssistantWidget::requestBody(const QList<ChatMessage> &messages)
{
    return bodyWriter.write(messages, systemPrompt(), toolDefinitions());
}

static QString tooManyImagesText(int count)
{
    return AiAssistantWidget::tr(
               "The request would carry %1 images; the AI service takes at most %2. Remove "
               "some, or press Clear to start a new conversation.")
        .arg(count)
        .arg(MaxImagesPerRequest);
}

void AiAssistantWidget::sendRequest()
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

void AiAssistantWidget::postBody(const QByteArray &body)
{
    currentReply
        = AiServiceApi::postOnce(networkManager, AiServiceApi::messagesRequest(radioSerial), body);
    currentReply->setParent(this);
    connect(currentReply, &QNetworkReply::finished, this, &AiAssistantWidget::onReplyFinished);
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

void AiAssistantWidget::boundReply(QNetworkReply *reply, qint64 maxBytes, int deadlineMs,
                                   const std::function<void(const QString &)> &exceeded)
{
    // Without both an answer could grow until memory runs out, or trickle on for ever.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [exceeded, deadlineMs]() {
        exceeded(tr("The AI service did not finish its answer within %n second(s).", nullptr,
                    deadlineMs / 1000));
    });
    deadline->start(deadlineMs);
    const auto check = [reply, maxBytes, exceeded, deadline](qint64 received, qint64 total) {
        if (!deadline->isActive())
            return; // already given up
        if (received > maxBytes || total > maxBytes || reply->bytesAvailable() > maxBytes) {
            deadline->stop();
            exceeded(tr("The AI service's answer is larger than %1 MB; it was dropped.")
                         .arg(maxBytes / (1024 * 1024)));
        }
    };
    connect(reply, &QNetworkReply::downloadProgress, this, check);
    connect(reply, &QNetworkReply::finished, deadline, &QTimer::stop);
}

void AiAssistantWidget::setReplyDeadlines(int messagesMs, int usageMs)
{
    messagesDeadlineMs = messagesMs;
    usageDeadlineMs = usageMs;
}

void AiAssistantWidget::endTurnWithError(const QString &message)
{
    setBusy(false);
    appendErrorBubble(message);
}

void AiAssistantWidget::onSendClicked()
{
    if (busy || currentReply || !pendingToolCalls.isEmpty() || preparingAttachments > 0)
        return;
    const QString text = input->toPlainText().trimmed();
    if (text.isEmpty() && attachments.isEmpty())
        return;

    QList<QByteArray> images;
    QList<QImage> thumbnails;
    QJsonArray blocks;
    for (const ImageAttachment &attachment : qAsConst(attachments)) {
        images.append(attachment.png);
        thumbnails.append(attachment.thumbnail);
        blocks.append(attachment.block);
    }
    QJsonValue content = text;
    if (!images.isEmpty()) {
        if (!text.isEmpty())
            blocks.append(AssistantRequest::textBlock(text));
        content = blocks;
    }

    QList<ChatMessage> next = conversation;
    appendUserContent(next, content, toolResults, QLatin1String(NotRunStopped));
    const int imagesInRequest = imageCount(next);
    if (imagesInRequest > MaxImagesPerRequest) {
        appendErrorBubble(tooManyImagesText(imagesInRequest));
        return;
    }
    const QByteArray body = requestBody(next);
    if (body.size() > AssistantRequest::MaxBodyBytes) {
        // Nothing is lost: the text and the images stay for the user to trim.
        appendErrorBubble(tooLargeText());
        return;
    }

    input->clear();
    clearAttachments();
    appendUserBubble(text, images, thumbnails);
    conversation = next;
    toolSteps = 0;
    stopRequested = false;
    setBusy(true);
    postBody(body);
}

void AiAssistantWidget::onStopClicked()
{
    stopRequested = true;
    if (!currentReply)
        return; // a running tool is not cancelled: the turn stops at its answer
    QNetworkReply *reply = currentReply;
    currentReply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    endTurnWithError(tr("Stopped."));
}

void AiAssistantWidget::onClearClicked()
{
    if (currentReply || !pendingToolCalls.isEmpty())
        return;
    conversation.clear();
    clearAttachments();
    bodyWriter.clear();
    removeBubbles();
    statusLabel->clear();
}

QStringList AiAssistantWidget::toolNames() const
{
    QStringList names;
    for (const QJsonValue &tool : toolDefinitions())
        names.append(tool.toObject().value(QStringLiteral("name")).toString());
    return names;
}

QString AiAssistantWidget::extractTextBlocks(const QJsonArray &content) const
{
    return ConversationLogic::extractTextBlocks(content);
}

void AiAssistantWidget::onReplyFinished()
{
    QNetworkReply *reply = currentReply;
    currentReply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    if (stopRequested) {
        endTurnWithError(tr("Stopped."));
        return;
    }

    ReplyFacts facts;
    facts.failed = reply->error() != QNetworkReply::NoError;
    facts.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The network layer would have sent the same request again: it is not, and this says why.
    facts.transportError = reply->error() == QNetworkReply::ContentReSendError
        ? tr("The connection to the AI service was lost before it answered; the request was "
             "not sent again.")
        : reply->errorString();
    facts.body = reply->readAll();
    const ReplyOutcome outcome = readReply(facts);
    if (!outcome.success) {
        if (outcome.quotaExhausted)
            upgradeButton->show();
        endTurnWithError(outcome.errorText);
        return;
    }

    upgradeButton->hide();
    fetchQuotaUsage();
    // Stored as the service sent it, a faulty block would make every later request fail.
    const KeptAnswer kept = keptAnswer(outcome.content, toolUseIds(conversation), toolNames());
    if (kept.content.isEmpty()) {
        endTurnWithError(tr("The AI service sent an answer without anything the program can use."));
        return;
    }
    conversation.append({QStringLiteral("assistant"), kept.content});
    const QString text = extractTextBlocks(kept.content);
    if (!text.isEmpty())
        startTypingReveal(text);

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
            tr("Stopped after %1 steps without finishing - ask me to continue if I'm not done.")
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

void AiAssistantWidget::processNextToolCall()
{
    if (stopRequested) {
        // The results collected so far stay in toolResults: the next Send answers the open
        // calls with them.
        pendingToolCalls.clear();
        modelNotes.clear();
        endTurnWithError(tr("Stopped."));
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
    const QString id = call.value(QStringLiteral("id")).toString();
    const QString name = call.value(QStringLiteral("name")).toString();
    const QJsonObject callInput = call.value(QStringLiteral("input")).toObject();
    appendToolBubble(toolBubbleText(name, callInput));
    emit toolCallRequested(id, name, callInput);
}

void AiAssistantWidget::handleToolResult(const QString &toolUseId, const QString &text,
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
