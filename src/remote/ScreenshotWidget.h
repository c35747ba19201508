#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

class AspectImageLabel;
class QCheckBox;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class RadioScanner;

// The "Screen" tab: the radio's screen live while the tab is on screen, saved or copied
// on request, and mouse presses and drags on it sent to the radio as touches.
class ScreenshotWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ScreenshotWidget(RadioScanner *scanner, QWidget *parent = nullptr);

    static constexpr int RefreshIntervalMs = 500;
    static constexpr int MoveThrottleMs = 30;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void onRadioDeviceFound(const QString &ip, const QString &networkName,
                            const QString &modelName);
    void onRadioDeviceNotFound();
    void onAutoRefreshToggled(bool checked);
    void onRefreshTimer();
    void onScreenshotReply();
    void onSaveButtonClicked();
    void onCopyButtonClicked();
    void onImagePressed(const QPoint &pos);
    void onImageMoved(const QPoint &pos);
    void onImageReleased(const QPoint &pos);

private:
    void updateAutoRefreshRunning();
    void fetchScreenshot();
    void stopFetching();
    void sendTouchEvent(const QPoint &pos, const QString &op);
    void onTouchReply(QNetworkReply *reply);
    void showScreenshot(const QByteArray &png, const QImage &image);
    // The radio's picture was refused as too large: said where it would be, or under the
    // last good one.
    void showRefusal();
    QString refusalNote() const;

    RadioScanner *scanner;
    QNetworkAccessManager *networkManager;
    QTimer refreshTimer;
    QNetworkReply *pendingReply = nullptr;
    QString radioIp;
    QByteArray lastPng;
    QImage lastImage; // lastPng decoded
    // A screenshot being decoded; counts as the request in flight.
    bool decoding = false;
    // Bumped by every fetch and stop, so a decode that ends late is dropped.
    quint64 fetchGeneration = 0;
    QElapsedTimer moveTimer;
    QPoint lastTouchPos;
    bool denialShown = false;

    QLabel *notFoundLabel;
    QWidget *contentWidget;
    AspectImageLabel *imageLabel;
    QCheckBox *autoRefreshCheck;
    QPushButton *saveButton;
    QPushButton *copyButton;
    QLabel *statusLabel;
};
