// Reference images dropped into the chat: shrunk off the GUI thread, shown as chips, sent
// with the next message.
#include "AiAssistantWidget.h"

#include "AssistantRequest.h"
#include "ChatPanelLogic.h"
#include "ConversationLogic.h"
#include "Theme.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

namespace {

struct PreparedImage
{
    ImageAttachment attachment; // id given on arrival
    QByteArray blockJson;
    QImage chip;
};

// Loading, scaling and PNG encoding of a large photo take far longer than a frame.
QList<PreparedImage> prepare(const QList<QImage> &images, const QStringList &files)
{
    QList<QImage> all = images;
    for (const QString &file : files)
        all.append(QImage(file));
    QList<PreparedImage> prepared;
    for (const QImage &image : qAsConst(all)) {
        if (image.isNull())
            continue;
        PreparedImage p;
        p.attachment.png = ChatPanelLogic::attachmentPng(image);
        p.attachment.block = AssistantRequest::imageBlock(p.attachment.png);
        p.attachment.thumbnail
            = image.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.blockJson = AssistantRequest::blockJson(p.attachment.block);
        p.chip = image.scaled(44, 44, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        prepared.append(p);
    }
    return prepared;
}

} // namespace

void AiAssistantWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasImage() || event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void AiAssistantWidget::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (data->hasUrls()) {
        QStringList files;
        for (const QUrl &url : data->urls()) {
            if (url.isLocalFile())
                files.append(url.toLocalFile());
        }
        if (!files.isEmpty())
            prepareAttachments({}, files);
    } else if (data->hasImage()) {
        addImageAttachment(qvariant_cast<QImage>(data->imageData()));
    }
    event->acceptProposedAction();
}

void AiAssistantWidget::addImageAttachment(const QImage &image)
{
    if (!image.isNull())
        prepareAttachments({image}, {});
}

void AiAssistantWidget::prepareAttachments(const QList<QImage> &images, const QStringList &files)
{
    ++preparingAttachments;
    updateSendAvailability();
    const quint64 generation = attachmentGeneration;
    auto *watcher = new QFutureWatcher<QList<PreparedImage>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation]() {
        const QList<PreparedImage> prepared = watcher->result();
        watcher->deleteLater();
        --preparingAttachments;
        if (generation == attachmentGeneration) {
            int refused = 0;
            for (const PreparedImage &image : prepared) {
                // The service takes no more in one request.
                if (attachments.size() >= ConversationLogic::MaxImagesPerRequest)
                    ++refused;
                else
                    addPreparedAttachment(image.attachment, image.blockJson, image.chip);
            }
            if (refused > 0)
                appendErrorBubble(tr("At most %1 images can go with one message; %n image(s) "
                                     "not added.",
                                     nullptr, refused)
                                      .arg(ConversationLogic::MaxImagesPerRequest));
        }
        updateSendAvailability();
    });
    // One worker: drops come out in the order they went in.
    watcher->setFuture(QtConcurrent::run(&attachmentPool, prepare, images, files));
}

void AiAssistantWidget::addPreparedAttachment(const ImageAttachment &prepared,
                                              const QByteArray &blockJson, const QImage &chipImage)
{
    const qint64 id = ++nextAttachmentId;
    ImageAttachment attachment = prepared;
    attachment.id = id;
    attachments.append(attachment);
    session->rememberBlock(attachment.block, blockJson);

    auto *chip = new QFrame(attachmentStrip);
    chip->setObjectName(QStringLiteral("attachmentChip"));
    chip->setFixedSize(48, 48);
    chip->setStyleSheet(
        QStringLiteral("QFrame { border: 1px solid %1; border-radius: 6px; background: %2; }")
            .arg(Theme::Border, Theme::Window));
    auto *picture = new QLabel(chip);
    picture->setGeometry(2, 2, 44, 44);
    picture->setAlignment(Qt::AlignCenter);
    // A label is a frame too: without this it draws the chip's border a second time inside.
    picture->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    picture->setPixmap(QPixmap::fromImage(chipImage));
    auto *remove = new QToolButton(chip);
    remove->setObjectName(QStringLiteral("removeAttachment"));
    remove->setAutoRaise(true);
    remove->setText(QStringLiteral("x"));
    remove->setStyleSheet(QStringLiteral(
        "QToolButton { color: white; background: rgba(0, 0, 0, 160); border-radius: 8px; }"));
    remove->setFixedSize(16, 16);
    remove->move(30, 0);
    remove->raise();
    attachmentLayout->insertWidget(attachmentLayout->count() - 1, chip);
    attachmentStrip->show();

    connect(remove, &QToolButton::clicked, this, [this, id, chip]() {
        for (int i = 0; i < attachments.size(); ++i) {
            if (attachments.at(i).id == id) {
                session->forgetBlock(attachments.at(i).block);
                attachments.removeAt(i);
                break;
            }
        }
        chip->deleteLater();
        attachmentStrip->setVisible(!attachments.isEmpty());
    });
}

void AiAssistantWidget::clearAttachments()
{
    // Sent pictures stay written in the body writer's record of the conversation.
    for (const ImageAttachment &attachment : qAsConst(attachments))
        session->forgetBlock(attachment.block);
    attachments.clear();
    ++attachmentGeneration;
    while (attachmentLayout->count() > 1) {
        QLayoutItem *item = attachmentLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
    attachmentStrip->hide();
}

void AiAssistantWidget::updateSendAvailability()
{
    const bool preparing = preparingAttachments > 0;
    sendButton->setEnabled(!preparing);
    if (!session->isBusy())
        statusLabel->setText(preparing ? tr("Preparing the image...") : QString());
}
