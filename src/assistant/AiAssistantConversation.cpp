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

void AiAssistantWidget::sendRequest()
{
    const QByteArray body = requestBody(conversation);
    if (body.size() > AssistantRequest::MaxBodyBytes) {
        endTurnWithError(tooLargeText());
        return;
    }
    postBody(body);
}

void AiAssistantWidget::postBody(const QByteArray &body)
{
    currentReply = networkManager->post(AiServiceApi::messagesRequest(radioSerial), body);
    currentReply->setParent(this);
    connect(currentReply, &QNetworkReply::finished, this, &AiAssistantWidget::onReplyFinished);
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
    facts.transportError = reply->errorString();
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
    conversation.append({QStringLiteral("assistant"), outcome.content});
    const QString text = extractTextBlocks(outcome.content);
    if (!text.isEmpty())
        startTypingReveal(text);

    pendingToolCalls = toolUseBlocks(outcome.content);
    if (pendingToolCalls.isEmpty()) {
        setBusy(false);
        return;
    }
    if (toolSteps++ >= MaxToolSteps) {
        pendingToolCalls.clear();
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
        endTurnWithError(tr("Stopped."));
        return;
    }
    if (pendingToolCalls.isEmpty()) {
        thinScreenshots(conversation);
        conversation.append({QStringLiteral("user"), toolResults});
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
