#pragma once

#include "RadioPictureQueue.h"

#include <QList>
#include <QPointer>
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
    void onUploadReply(QNetworkReply *reply);
    void updateUploadButtonEnabled();
    void fetchImageList(const QString &ip);
    void cancelImageList();
    void clearImages();
    int desiredThumbColumns() const;
    void relayoutThumbnails();
    void addThumbnailPage();
    void onThumbnailLoaded(ClickableImageLabel *label, const RadioPictureQueue::Picture &picture);
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
    // Shared with the other tabs: the thumbnails are fetched through it a few at a time.
    QPointer<RadioPictureQueue> pictureQueue;
    // Names of the list with no thumbnail yet.
    QStringList namesToShow;
    qint64 keptBytes = 0;
    bool viewerPending = false;
    QTimer *pageTimer = nullptr;
    // At most one list request and one retry pending, however often a fetch is
    // triggered while the list keeps failing.
    QNetworkReply *listReply = nullptr;
    QTimer *listRetryTimer = nullptr;
    bool uploadInFlight = false;
};
