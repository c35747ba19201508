#pragma once

#include "RadioPicture.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

class ClickableImageLabel;
class ImageCropWidget;
class QGridLayout;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QScrollArea;
class QTimer;
class RadioScanner;

// The "Image" tab: the radio's images as thumbnails, a viewer for one of them, and the
// upload of a picture framed to 490 x 195.
class ImageWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ImageWidget(RadioScanner *scanner, QWidget *parent = nullptr);

    static constexpr int ThumbWidth = 150;
    static constexpr int ThumbHeight = 100;
    static constexpr int ThumbSpacing = 8;
    // Thumbnail downloads in flight at once. Qt opens at most 6 connections per host and
    // the transfer time-out also runs while a request waits for one, so a long list
    // requested all at once fails at its tail on a slow radio. This leaves room for the
    // list request and an upload.
    static constexpr int MaxThumbRequests = 4;
    // Thumbnails made at a time; the next ones when the grid is scrolled near its end.
    static constexpr int ThumbPage = 100;
    // Picture bytes kept for the viewer, all thumbnails together.
    static constexpr qint64 MaxKeptBytes = qint64(256) * 1024 * 1024;

    static int columnsForWidth(int containerWidth);
    static QSize viewerSize(const QSize &pixmapSize);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void onRadioDeviceFound(const QString &ip, const QString &networkName,
                            const QString &modelName);
    void onRadioDeviceNotFound();
    void onThumbnailClicked();
    void onSelectImageFile();
    void onUploadButtonClicked();
    void onListRetryTimeout();

private:
    void onImageListReply(QNetworkReply *reply);
    void onImageDataReply(QNetworkReply *reply);
    void onUploadReply(QNetworkReply *reply);
    void updateUploadButtonEnabled();
    void fetchImageList(const QString &ip);
    void cancelImageList();
    void clearImages();
    int desiredThumbColumns() const;
    void relayoutThumbnails();
    void requestNextThumbnails();
    void addThumbnailPage();
    void onThumbnailDecoded(ClickableImageLabel *label, const QByteArray &data,
                            const RadioPicture::Result &result);
    void onScrolled();
    bool nearGridEnd() const;
    void openViewer(const QString &title, const QPixmap &pixmap);
    void showUploadFailure(const QString &reason);

    RadioScanner *scanner;
    QNetworkAccessManager *networkManager;
    QLabel *notFoundLabel = nullptr;
    QWidget *contentWidget = nullptr;
    QWidget *thumbContainer = nullptr;
    QScrollArea *scrollArea = nullptr;
    QLabel *listNoteLabel = nullptr;
    QGridLayout *thumbGrid = nullptr;
    QList<ClickableImageLabel *> thumbLabels;
    int thumbColumns = 1;
    QPushButton *selectButton = nullptr;
    QPushButton *uploadButton = nullptr;
    QLabel *fileLabel = nullptr;
    QLabel *statusLabel = nullptr;
    ImageCropWidget *cropWidget = nullptr;
    QString radioIp;
    QString listModelName;
    QList<QNetworkReply *> pendingThumbReplies;
    // Thumbnails whose download has not started yet, in grid order.
    QList<ClickableImageLabel *> queuedThumbs;
    // Pictures downloaded and still being decoded; they count as requests in flight.
    int decoding = 0;
    // Names of the list with no thumbnail yet.
    QStringList namesToShow;
    qint64 keptBytes = 0;
    // Bumped whenever the grid is cleared, so late decodes of its pictures are dropped.
    quint64 gridGeneration = 0;
    bool viewerPending = false;
    QTimer *pageTimer = nullptr;
    // At most one list request and one retry pending, however often a fetch is
    // triggered while the list keeps failing.
    QNetworkReply *listReply = nullptr;
    QTimer *listRetryTimer = nullptr;
    bool uploadInFlight = false;
};
