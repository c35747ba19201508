#include "ScreenshotWidget.h"

#include "AspectImageLabel.h"
#include "PageScrollArea.h"
#include "PlainMessageBox.h"
#include "RadioApi.h"
#include "RadioPicture.h"
#include "RadioScanner.h"
#include "RadioTabSupport.h"
#include "SaveFileCommit.h"
#include "Theme.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

ScreenshotWidget::ScreenshotWidget(RadioScanner *scanner, QWidget *parent)
    : QWidget(parent)
    , scanner(scanner)
    , networkManager(scanner->networkManager)
{
    refreshTimer.setInterval(RefreshIntervalMs);

    auto *layout = new QVBoxLayout(PageScrollArea::addTo(this));
    notFoundLabel = RadioTabSupport::createNotFoundLabel(
        tr("Kelo radio not found.\nConnect to a Kelo radio to see its screen."), this);
    contentWidget = new QWidget(this);
    notFoundLabel->setObjectName(QStringLiteral("notFoundLabel"));
    contentWidget->setObjectName(QStringLiteral("contentWidget"));
    layout->addWidget(notFoundLabel, 1);
    layout->addWidget(contentWidget, 1);

    auto *contentLayout = new QVBoxLayout(contentWidget);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    imageLabel = new AspectImageLabel(contentWidget);
    imageLabel->setStyleSheet(Theme::imageFrameStyleSheet());
    // Where the picture would be, a word when the radio's picture was refused.
    imageLabel->setTextFormat(Qt::PlainText);
    imageLabel->setAlignment(Qt::AlignCenter);
    imageLabel->setWordWrap(true);
    contentLayout->addWidget(imageLabel, 1);

    auto *row = new QHBoxLayout();
    autoRefreshCheck = new QCheckBox(tr("Auto Refresh"), contentWidget);
    autoRefreshCheck->setChecked(true);
    saveButton = new QPushButton(tr("Save Screenshot"), contentWidget);
    saveButton->setEnabled(false);
    copyButton = new QPushButton(tr("Copy to Clipboard"), contentWidget);
    copyButton->setEnabled(false);
    statusLabel = new QLabel(contentWidget);
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setStyleSheet(Theme::secondaryTextStyleSheet());
    // The remote-control notice is long; wrapped, it cannot widen the main window.
    statusLabel->setWordWrap(true);
    imageLabel->setObjectName(QStringLiteral("imageLabel"));
    autoRefreshCheck->setObjectName(QStringLiteral("autoRefreshCheck"));
    saveButton->setObjectName(QStringLiteral("saveButton"));
    copyButton->setObjectName(QStringLiteral("copyButton"));
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    row->addWidget(autoRefreshCheck);
    row->addWidget(saveButton);
    row->addWidget(copyButton);
    row->addWidget(statusLabel, 1);
    contentLayout->addLayout(row);

    connect(autoRefreshCheck, &QCheckBox::toggled, this, &ScreenshotWidget::onAutoRefreshToggled);
    connect(&refreshTimer, &QTimer::timeout, this, &ScreenshotWidget::onRefreshTimer);
    connect(saveButton, &QPushButton::clicked, this, &ScreenshotWidget::onSaveButtonClicked);
    connect(copyButton, &QPushButton::clicked, this, &ScreenshotWidget::onCopyButtonClicked);
    connect(imageLabel, &AspectImageLabel::imagePressed, this, &ScreenshotWidget::onImagePressed);
    connect(imageLabel, &AspectImageLabel::imageMoved, this, &ScreenshotWidget::onImageMoved);
    connect(imageLabel, &AspectImageLabel::imageReleased, this, &ScreenshotWidget::onImageReleased);
    connect(scanner, &RadioScanner::deviceFound, this, &ScreenshotWidget::onRadioDeviceFound);
    connect(scanner, &RadioScanner::deviceNotFound, this, &ScreenshotWidget::onRadioDeviceNotFound);

    if (!scanner->ip.isEmpty()) {
        radioIp = scanner->ip;
        notFoundLabel->hide();
        contentWidget->show();
        updateAutoRefreshRunning();
    } else {
        onRadioDeviceNotFound();
    }
}

void ScreenshotWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateAutoRefreshRunning();
}

void ScreenshotWidget::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateAutoRefreshRunning();
}

void ScreenshotWidget::onRadioDeviceFound(const QString &ip, const QString &, const QString &)
{
    radioIp = ip;
    notFoundLabel->hide();
    contentWidget->show();
    updateAutoRefreshRunning();
}

void ScreenshotWidget::onRadioDeviceNotFound()
{
    radioIp.clear();
    refreshTimer.stop();
    stopFetching();
    imageLabel->setSourcePixmap(QPixmap());
    imageLabel->clear();
    saveButton->setEnabled(false);
    copyButton->setEnabled(false);
    lastPng.clear();
    lastImage = QImage();
    statusLabel->clear();
    notFoundLabel->show();
    contentWidget->hide();
}

void ScreenshotWidget::onAutoRefreshToggled(bool)
{
    updateAutoRefreshRunning();
}

void ScreenshotWidget::onRefreshTimer()
{
    fetchScreenshot();
}

void ScreenshotWidget::updateAutoRefreshRunning()
{
    const bool shouldRun = isVisible() && !radioIp.isEmpty() && autoRefreshCheck->isChecked();
    if (shouldRun) {
        if (refreshTimer.isActive())
            return;
        refreshTimer.start();
        fetchScreenshot();
        return;
    }
    refreshTimer.stop();
    stopFetching();
}

void ScreenshotWidget::fetchScreenshot()
{
    // A tick that finds a request still pending is skipped, so a slow radio is never
    // sent a pile of requests.
    if (radioIp.isEmpty() || pendingReply || decoding)
        return;
    QNetworkRequest request
        = RadioApi::request(radioIp, RadioApi::screenshotPath(QDateTime::currentMSecsSinceEpoch()),
                            RadioApi::ShortTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    pendingReply = RadioApi::get(networkManager, request, RadioReply::Kind::Picture);
    ++fetchGeneration;
    connect(pendingReply, &QNetworkReply::finished, this, &ScreenshotWidget::onScreenshotReply);
}

void ScreenshotWidget::stopFetching()
{
    ++fetchGeneration;
    decoding = false;
    if (!pendingReply)
        return;
    QNetworkReply *reply = pendingReply;
    pendingReply = nullptr;
    // Disconnected first: abort() emits finished at once.
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void ScreenshotWidget::onScreenshotReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply == pendingReply)
        pendingReply = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        if (RadioReply::tooLarge(reply))
            showRefusal();
        return;
    }
    // Checked against the screen's pixel budget and decoded off the GUI thread; until then
    // the next tick is skipped as if the request were still pending.
    const QByteArray body = RadioReply::body(reply);
    const quint64 fetch = fetchGeneration;
    decoding = true;
    RadioPicture::decodeLater(this, body, RadioPicture::Use::Screenshot, QSize(),
                              [this, fetch, body](const RadioPicture::Result &result) {
                                  if (fetch != fetchGeneration)
                                      return;
                                  decoding = false;
                                  if (result.status == RadioPicture::Status::Ok)
                                      showScreenshot(body, result.image);
                                  else if (result.status == RadioPicture::Status::TooLarge)
                                      showRefusal();
                              });
}

void ScreenshotWidget::showRefusal()
{
    // The last good picture stays; without one, the word goes where the picture would be.
    if (lastPng.isEmpty()) {
        imageLabel->setText(tr("The radio's screenshot is too large to show."));
    } else {
        statusLabel->setText(refusalNote());
    }
}

QString ScreenshotWidget::refusalNote() const
{
    return tr("The radio's latest screenshot was too large to show.");
}

void ScreenshotWidget::showScreenshot(const QByteArray &png, const QImage &image)
{
    lastPng = png;
    lastImage = image;
    imageLabel->clear();
    imageLabel->setSourcePixmap(QPixmap::fromImage(image));
    if (statusLabel->text() == refusalNote())
        statusLabel->clear();
    saveButton->setEnabled(true);
    copyButton->setEnabled(true);
}

void ScreenshotWidget::onSaveButtonClicked()
{
    if (lastPng.isEmpty())
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save Screenshot"), QStringLiteral("screenshot.png"), tr("PNG Image (*.png)"));
    if (path.isEmpty())
        return;
    // The bytes the radio sent, unconverted; a failed write leaves any old file whole.
    const QByteArray bytes = lastPng;
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
        && commitSaveFile(file);
    if (!saved) {
        file.cancelWriting();
        // The text holds the path: shown as typed, never as markup.
        showPlainMessage(this, QMessageBox::Warning, tr("Save Screenshot"),
                         tr("Cannot write file: %1").arg(path));
        return;
    }
    statusLabel->setText(tr("Saved to %1").arg(QFileInfo(path).fileName()));
}

void ScreenshotWidget::onCopyButtonClicked()
{
    // The picture decoded when it arrived: lastPng is set only with it.
    if (lastPng.isEmpty() || lastImage.isNull())
        return;
    QGuiApplication::clipboard()->setImage(lastImage, QClipboard::Clipboard);
    statusLabel->setText(tr("Copied to clipboard."));
}

void ScreenshotWidget::onImagePressed(const QPoint &pos)
{
    denialShown = false;
    lastTouchPos = pos;
    moveTimer.start();
    sendTouchEvent(pos, QStringLiteral("press"));
}

void ScreenshotWidget::onImageMoved(const QPoint &pos)
{
    if (pos == lastTouchPos)
        return;
    if (moveTimer.isValid() && moveTimer.elapsed() < MoveThrottleMs)
        return;
    lastTouchPos = pos;
    moveTimer.start();
    sendTouchEvent(pos, QStringLiteral("move"));
}

void ScreenshotWidget::onImageReleased(const QPoint &pos)
{
    sendTouchEvent(pos, QStringLiteral("release"));
}

void ScreenshotWidget::sendTouchEvent(const QPoint &pos, const QString &op)
{
    if (radioIp.isEmpty())
        return;
    QNetworkReply *reply
        = RadioApi::get(networkManager, radioIp, RadioApi::touchPath(pos.x(), pos.y(), op),
                        RadioApi::ShortTimeoutMs);
    connect(reply, &QNetworkReply::finished, this, [this, reply]() { onTouchReply(reply); });
}

void ScreenshotWidget::onTouchReply(QNetworkReply *reply)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 403) {
        if (!denialShown) {
            denialShown = true;
            statusLabel->setText(tr("Remote control is disabled on the radio (enable \"Allow "
                                    "control\" in its Local Share settings)."));
        }
        return;
    }
    // The picture follows the touch at once, also with Auto Refresh off.
    fetchScreenshot();
}
