// Send, Stop and Clear, and the session's turn shown as bubbles, buttons and status.
#include "AiAssistantWidget.h"

#include "ConversationLogic.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

void AiAssistantWidget::connectSession()
{
    connect(session, &AssistantSession::busyChanged, this, &AiAssistantWidget::setBusy);
    connect(session, &AssistantSession::errorOccurred, this, &AiAssistantWidget::appendErrorBubble);
    connect(session, &AssistantSession::answerReceived, this,
            &AiAssistantWidget::startTypingReveal);
    connect(session, &AssistantSession::toolCallRequested, this,
            [this](const QString &id, const QString &name, const QJsonObject &callInput) {
                appendToolBubble(ConversationLogic::toolBubbleText(name, callInput));
                emit toolCallRequested(id, name, callInput);
            });
    connect(session, &AssistantSession::quotaExhausted, upgradeButton, &QWidget::setVisible);
    connect(session, &AssistantSession::usageReceived, this, &AiAssistantWidget::onUsageReceived);
    connect(session, &AssistantSession::limitCountdown, this, &AiAssistantWidget::onLimitCountdown);
}

QString AiAssistantWidget::systemPrompt() const
{
    return session->systemPrompt();
}

QJsonArray AiAssistantWidget::toolDefinitions() const
{
    return session->toolDefinitions();
}

void AiAssistantWidget::setReplyDeadlines(int messagesMs, int usageMs)
{
    session->setReplyDeadlines(messagesMs, usageMs);
}

void AiAssistantWidget::handleToolResult(const QString &toolUseId, const QString &text,
                                         const QByteArray &image)
{
    session->handleToolResult(toolUseId, text, image);
}

void AiAssistantWidget::onSendClicked()
{
    if (session->isBusy() || session->isWaiting() || preparingAttachments > 0)
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

    const QString refused = session->send(content);
    if (!refused.isEmpty()) {
        // Nothing is lost: the text and the images stay for the user to trim.
        appendErrorBubble(refused);
        return;
    }
    input->clear();
    clearAttachments();
    appendUserBubble(text, images, thumbnails);
}

void AiAssistantWidget::onStopClicked()
{
    session->stop();
}

void AiAssistantWidget::onClearClicked()
{
    if (!session->clear())
        return;
    clearAttachments();
    removeBubbles();
    statusLabel->clear();
}
