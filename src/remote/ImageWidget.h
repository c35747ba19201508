#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QWidget>

class ClickableImageLabel;
class ImageCropWidget;
class QGridLayout;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
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
    void showUploadFailure(const QString &reason);

    RadioScanner *scanner;
    QNetworkAccessManager *networkManager;
    QLabel *notFoundLabel = nullptr;
    QWidget *contentWidget = nullptr;
    QWidget *thumbContainer = nullptr;
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
    // At most one list request and one retry pending, however often a fetch is
    // triggered while the list keeps failing.
    QNetworkReply *listReply = nullptr;
    QTimer *listRetryTimer = nullptr;
    bool uploadInFlight = false;
};
