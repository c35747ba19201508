#include "ImageWidget.h"

#include "ClickableImageLabel.h"
#include "ImageCropWidget.h"
#include "PageScrollArea.h"
#include "PlainMessageBox.h"
#include "RadioApi.h"
#include "RadioPictureQueue.h"
#include "RadioReply.h"
#include "RadioScanner.h"
#include "RadioTabSupport.h"
#include "RadioText.h"
#include "RadioUpload.h"
#include "Theme.h"

#include <QBuffer>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

static const char *const ImageFilenameProperty = "image_filename";

ImageWidget::ImageWidget(RadioScanner *radioScanner, QWidget *parent)
    : QWidget(parent)
    , scanner(radioScanner)
    , networkManager(radioScanner->networkManager)
    , pictureQueue(RadioPictureQueue::of(radioScanner->networkManager))
{
    notFoundLabel = RadioTabSupport::createNotFoundLabel(
        tr("Kelo radio not found.\nConnect to a Kelo radio to see its available images."), this);
    notFoundLabel->setObjectName(QStringLiteral("notFoundLabel"));

    contentWidget = new QWidget(this);
    contentWidget->setObjectName(QStringLiteral("contentWidget"));
    auto *contentLayout = new QVBoxLayout(contentWidget);

    auto *listBox = new QGroupBox(tr("Image List"), contentWidget);
    auto *listLayout = new QVBoxLayout(listBox);
    scrollArea = new QScrollArea(listBox);
    scrollArea->setWidgetResizable(true);
    scrollArea->setMinimumHeight(150);
    // The columns follow the width in view, so the grid never needs sideways scrolling; a
    // scroll bar there would cover the second row. One column always fits.
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setMinimumWidth(ThumbWidth + 2 * scrollArea->frameWidth()
                                + scrollArea->verticalScrollBar()->sizeHint().width());
    thumbContainer = new QWidget();
    thumbContainer->setObjectName(QStringLiteral("thumbContainer"));
    // One sheet for all thumbnails: a sheet per label costs thousands of parses.
    thumbContainer->setStyleSheet(
        QStringLiteral("ClickableImageLabel { border: 1px solid %1; border-radius: 6px; "
                       "background: %2; }")
            .arg(Theme::Border, Theme::Base));
    thumbGrid = new QGridLayout(thumbContainer);
    thumbGrid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    thumbGrid->setContentsMargins(0, 0, 0, 0);
    thumbGrid->setSpacing(ThumbSpacing);
    scrollArea->setWidget(thumbContainer);
    thumbContainer->installEventFilter(this);
    scrollArea->viewport()->installEventFilter(this);
    listLayout->addWidget(scrollArea);
    listNoteLabel = new QLabel(listBox);
    listNoteLabel->setObjectName(QStringLiteral("listNoteLabel"));
    listNoteLabel->setTextFormat(Qt::PlainText);
    listNoteLabel->setWordWrap(true);
    listNoteLabel->setStyleSheet(Theme::secondaryTextStyleSheet());
    listNoteLabel->hide();
    listLayout->addWidget(listNoteLabel);

    auto *uploadBox = new QGroupBox(tr("Upload Image (*.png, *.jpg)"), contentWidget);
    auto *uploadLayout = new QVBoxLayout(uploadBox);
    auto *selectRow = new QHBoxLayout();
    selectButton = new QPushButton(tr("Select Image..."), uploadBox);
    selectButton->setObjectName(QStringLiteral("selectButton"));
    fileLabel = new QLabel(tr("No file selected"), uploadBox);
    fileLabel->setObjectName(QStringLiteral("fileLabel"));
    fileLabel->setTextFormat(Qt::PlainText);
    fileLabel->setStyleSheet(Theme::secondaryTextStyleSheet());
    selectRow->addWidget(selectButton);
    selectRow->addWidget(fileLabel, 1);
    cropWidget = new ImageCropWidget(uploadBox);
    cropWidget->setObjectName(QStringLiteral("cropWidget"));
    auto *uploadRow = new QHBoxLayout();
    uploadButton = new QPushButton(tr("Upload Image"), uploadBox);
    uploadButton->setObjectName(QStringLiteral("uploadButton"));
    uploadButton->setEnabled(false);
    statusLabel = new QLabel(uploadBox);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setTextFormat(Qt::PlainText);
    uploadRow->addWidget(uploadButton);
    uploadRow->addWidget(statusLabel, 1);
    uploadLayout->addLayout(selectRow);
    uploadLayout->addWidget(cropWidget, 1);
    uploadLayout->addLayout(uploadRow);

    contentLayout->addWidget(listBox, 1);
    contentLayout->addWidget(uploadBox, 1);

    auto *layout = new QVBoxLayout(PageScrollArea::addTo(this));
    layout->addWidget(notFoundLabel, 1);
    layout->addWidget(contentWidget, 1);

    listRetryTimer = RadioTabSupport::createListRetryTimer(this);
    connect(listRetryTimer, &QTimer::timeout, this, &ImageWidget::onListRetryTimeout);
    pageTimer = new QTimer(this);
    pageTimer->setSingleShot(true);
    pageTimer->setInterval(0);
    connect(pageTimer, &QTimer::timeout, this, [this]() {
        if (nearGridEnd())
            addThumbnailPage();
    });
    connect(scrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &ImageWidget::onScrolled);
    connect(scrollArea->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &ImageWidget::onScrolled);

    connect(selectButton, &QPushButton::clicked, this, &ImageWidget::onSelectImageFile);
    connect(uploadButton, &QPushButton::clicked, this, &ImageWidget::onUploadButtonClicked);
    connect(scanner, &RadioScanner::deviceFound, this, &ImageWidget::onRadioDeviceFound);
    connect(scanner, &RadioScanner::deviceNotFound, this, &ImageWidget::onRadioDeviceNotFound);

    if (!scanner->ip.isEmpty())
        onRadioDeviceFound(scanner->ip, scanner->networkName, scanner->modelName);
    else
        onRadioDeviceNotFound();
}

int ImageWidget::columnsForWidth(int containerWidth)
{
    // Four pixels of slack: the last column needs no spacing after it.
    return qMax(1, (containerWidth + 4) / (ThumbWidth + ThumbSpacing));
}

QSize ImageWidget::viewerSize(const QSize &pixmapSize)
{
    return QSize(qMin(pixmapSize.width() + 40, 1000), qMin(pixmapSize.height() + 60, 800));
}

bool ImageWidget::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == thumbContainer || watched == scrollArea->viewport())
        && event->type() == QEvent::Resize)
        relayoutThumbnails();
    return QWidget::eventFilter(watched, event);
}

void ImageWidget::updateUploadButtonEnabled()
{
    uploadButton->setEnabled(!radioIp.isEmpty() && cropWidget->hasImage() && !uploadInFlight);
}

void ImageWidget::onRadioDeviceFound(const QString &ip, const QString &, const QString &modelName)
{
    const bool otherRadio = ip != radioIp;
    const bool otherModel = modelName != listModelName;
    radioIp = ip;
    listModelName = modelName;
    notFoundLabel->hide();
    contentWidget->show();
    updateUploadButtonEnabled();
    // The scanner repeats deviceFound every re-check; only a new model name (an empty one
    // too) or another radio under the same name needs a fresh list. A radio without a
    // model name gets none, and keeps nothing of another radio's.
    if (otherModel || (otherRadio && !modelName.isEmpty())) {
        fetchImageList(ip);
    } else if (otherRadio) {
        cancelImageList();
        clearImages();
    }
}

void ImageWidget::onRadioDeviceNotFound()
{
    radioIp.clear();
    listModelName.clear();
    listRetryTimer->stop();
    clearImages();
    updateUploadButtonEnabled();
    notFoundLabel->show();
    contentWidget->hide();
}

void ImageWidget::cancelImageList()
{
    listRetryTimer->stop();
    if (!listReply)
        return;
    QNetworkReply *old = listReply;
    listReply = nullptr;
    // Disconnected first: abort() emits finished at once.
    old->disconnect(this);
    old->abort();
    old->deleteLater();
}

void ImageWidget::fetchImageList(const QString &ip)
{
    // The newer request answers for both.
    cancelImageList();
    QNetworkReply *reply = RadioApi::get(
        networkManager, ip, QString::fromLatin1(RadioApi::ImageListPath), RadioApi::ShortTimeoutMs);
    listReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply]() { onImageListReply(reply); });
}

void ImageWidget::onListRetryTimeout()
{
    if (!radioIp.isEmpty())
        fetchImageList(radioIp);
}

void ImageWidget::onImageListReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (listReply == reply)
        listReply = nullptr;
    clearImages();
    if (radioIp.isEmpty())
        return;
    if (reply->error() != QNetworkReply::NoError) {
        listRetryTimer->start();
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(RadioReply::body(reply), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        listRetryTimer->start();
        return;
    }
    const QJsonArray list = doc.object().value(QStringLiteral("list")).toArray();
    bool cut = false;
    for (const QJsonValue &value : list) {
        const QString name = value.toString();
        // "." and ".." cannot name a file in a URL path: the URL layer resolves them away
        // and the request would reach /media or /media/image/ instead.
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (namesToShow.size() == RadioText::MaxListEntries) {
            cut = true;
            break;
        }
        namesToShow.append(name);
    }
    if (cut) {
        listNoteLabel->setText(RadioText::listCutNote());
        listNoteLabel->show();
    }
    thumbColumns = desiredThumbColumns();
    addThumbnailPage();
}

bool ImageWidget::nearGridEnd() const
{
    // A hidden grid has no size to go by: its next page waits until it is shown.
    if (namesToShow.isEmpty() || !scrollArea->isVisible())
        return false;
    const QScrollBar *bar = scrollArea->verticalScrollBar();
    return bar->value() >= bar->maximum() - bar->pageStep();
}

void ImageWidget::onScrolled()
{
    if (nearGridEnd())
        pageTimer->start();
}

void ImageWidget::addThumbnailPage()
{
    if (namesToShow.isEmpty())
        return;
    // Added with the grid's layout off: otherwise every label shown lays out all the others.
    thumbGrid->setEnabled(false);
    for (int i = 0; i < ThumbPage && !namesToShow.isEmpty(); ++i) {
        const QString name = namesToShow.takeFirst();
        const int k = thumbLabels.size();
        auto *label = new ClickableImageLabel(thumbContainer);
        label->setFixedSize(ThumbWidth, ThumbHeight);
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        label->setText(tr("Loading..."));
        label->setCursor(Qt::PointingHandCursor);
        label->setProperty(ImageFilenameProperty, name);
        connect(label, &ClickableImageLabel::clicked, this, &ImageWidget::onThumbnailClicked);
        thumbLabels.append(label);
        thumbGrid->addWidget(label, k / thumbColumns, k % thumbColumns);
        label->show();
        QPointer<ClickableImageLabel> target(label);
        if (pictureQueue)
            pictureQueue->fetch(this, radioIp, RadioApi::mediaImagePath(name),
                                RadioPicture::Use::Thumbnail, QSize(ThumbWidth, ThumbHeight),
                                [this, target](const RadioPictureQueue::Picture &picture) {
                                    if (target)
                                        onThumbnailLoaded(target, picture);
                                });
    }
    thumbGrid->setEnabled(true);
    thumbGrid->activate();
    // The scroll range follows later; a grid that still ends in view gets its next page then.
    if (nearGridEnd())
        pageTimer->start();
}

void ImageWidget::onThumbnailLoaded(ClickableImageLabel *label,
                                    const RadioPictureQueue::Picture &picture)
{
    const RadioPicture::Result &result = picture.result;
    if (!picture.downloaded) {
        label->setText(picture.tooLarge ? tr("Too large") : tr("Failed"));
        return;
    }
    if (result.status == RadioPicture::Status::TooLarge) {
        label->setText(tr("Too large"));
        return;
    }
    if (result.status != RadioPicture::Status::Ok) {
        label->setText(tr("Invalid"));
        return;
    }
    label->setText(QString());
    label->setPixmap(QPixmap::fromImage(result.image));
    // The viewer decodes from these bytes; past the budget a thumbnail opens no viewer.
    if (keptBytes + picture.data.size() <= MaxKeptBytes) {
        keptBytes += picture.data.size();
        label->imageData = picture.data;
        label->imageSize = result.declaredSize;
    }
}

void ImageWidget::clearImages()
{
    if (pictureQueue)
        pictureQueue->cancel(this);
    keptBytes = 0;
    namesToShow.clear();
    pageTimer->stop();
    listNoteLabel->hide();
    // Out of the grid first, from its end: each deletion then finds nothing to remove.
    for (int i = thumbGrid->count() - 1; i >= 0; --i)
        delete thumbGrid->takeAt(i);
    qDeleteAll(thumbLabels);
    thumbLabels.clear();
}

int ImageWidget::desiredThumbColumns() const
{
    // The container is held at least as wide as the grid laid out last: when a vertical
    // scroll bar narrows the view, only the view's width says the grid must fold.
    return columnsForWidth(qMin(thumbContainer->width(), scrollArea->viewport()->width()));
}

void ImageWidget::relayoutThumbnails()
{
    const int columns = desiredThumbColumns();
    if (columns == thumbColumns)
        return;
    thumbColumns = columns;
    thumbGrid->setEnabled(false);
    for (int i = thumbGrid->count() - 1; i >= 0; --i)
        delete thumbGrid->takeAt(i);
    for (int i = 0; i < thumbLabels.size(); ++i)
        thumbGrid->addWidget(thumbLabels[i], i / columns, i % columns);
    thumbGrid->setEnabled(true);
    thumbGrid->activate();
}

void ImageWidget::onThumbnailClicked()
{
    auto *thumb = qobject_cast<ClickableImageLabel *>(sender());
    if (!thumb || !thumb->hasImage() || viewerPending)
        return;
    const QString title = RadioText::forDisplay(thumb->property(ImageFilenameProperty).toString());
    viewerPending = true;
    RadioPicture::decodeLater(this, thumb->imageData, RadioPicture::Use::Viewer, QSize(),
                              [this, title](const RadioPicture::Result &result) {
                                  viewerPending = false;
                                  if (result.status == RadioPicture::Status::Ok)
                                      openViewer(title, QPixmap::fromImage(result.image));
                              });
}

void ImageWidget::openViewer(const QString &title, const QPixmap &pixmap)
{
    auto *dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *viewerArea = new QScrollArea(dialog);
    viewerArea->setWidgetResizable(false);
    auto *imageLabel = new QLabel();
    imageLabel->setPixmap(pixmap);
    imageLabel->resize(pixmap.size());
    viewerArea->setWidget(imageLabel);
    layout->addWidget(viewerArea);
    dialog->resize(viewerSize(pixmap.size()));
    dialog->exec();
}

void ImageWidget::onSelectImageFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Select Image"), QString(), tr("Images (*.png *.jpg *.jpeg *.PNG *.JPG *.JPEG)"));
    if (path.isEmpty())
        return;
    QImage image;
    if (!image.load(path)) {
        showPlainMessage(this, QMessageBox::Warning, tr("Select Image"),
                         tr("Cannot load image: %1").arg(path));
        return;
    }
    cropWidget->setImage(image);
    fileLabel->setText(QFileInfo(path).fileName());
    statusLabel->clear();
    updateUploadButtonEnabled();
}

void ImageWidget::showUploadFailure(const QString &reason)
{
    statusLabel->setText(tr("Upload failed: %1").arg(reason));
}

void ImageWidget::onUploadButtonClicked()
{
    if (!cropWidget->hasImage() || radioIp.isEmpty() || uploadInFlight)
        return;
    const QImage cropped = cropWidget->croppedImage();
    if (cropped.isNull()) {
        showUploadFailure(tr("the framed part of the image is empty."));
        return;
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !cropped.save(&buffer, "PNG") || png.isEmpty()) {
        showUploadFailure(tr("the image could not be encoded as PNG."));
        return;
    }
    QString refusal;
    QNetworkReply *reply
        = RadioUpload::post(networkManager, radioIp, QStringLiteral("upload.png"),
                            RadioUpload::PngType, png, RadioApi::ListTimeoutMs, &refusal);
    if (!reply) {
        showUploadFailure(refusal);
        return;
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply]() { onUploadReply(reply); });
    uploadInFlight = true;
    uploadButton->setEnabled(false);
    statusLabel->setText(tr("Uploading..."));
}

void ImageWidget::onUploadReply(QNetworkReply *reply)
{
    reply->deleteLater();
    uploadInFlight = false;
    if (reply->error() != QNetworkReply::NoError)
        showUploadFailure(RadioReply::errorString(reply));
    else
        statusLabel->setText(tr("Image uploaded"));
    updateUploadButtonEnabled();
    if (reply->error() == QNetworkReply::NoError && !radioIp.isEmpty())
        fetchImageList(radioIp);
}
