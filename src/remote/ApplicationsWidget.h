#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class ListFiller;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTimer;
class RadioScanner;

// The "Applications" tab: the apps on the radio with icons and versions; start,
// uninstall, and install a package (.app, or .kbm applied as the model's Home Screen).
class ApplicationsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ApplicationsWidget(RadioScanner *scanner, QWidget *parent = nullptr);

    static constexpr int RowHeight = 72;
    static constexpr int IconSize = 64;
    static constexpr int DetailIconSize = 96;
    // Icons downloaded or decoded at a time: as many as Qt sends to one host at once.
    static constexpr int MaxIconRequests = 6;
    // An item's full app name, for requests; its display text may be cut.
    static constexpr int FullNameRole = Qt::UserRole + 1;

    // The version text as the radio gives it ("1 2 3\n"), shown as "1.2.3"; empty when
    // there is nothing to show.
    static QString versionText(const QByteArray &body);

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void onRadioDeviceFound(const QString &ip, const QString &networkName,
                            const QString &modelName);
    void onRadioDeviceNotFound();
    void onAppListReply();
    void onAppIconReply();
    void onAppSelectionChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void onExecuteButtonClicked();
    void onUninstallButtonClicked();
    void onExecReply();
    void onRemoveReply();
    void onVersionReply();
    void onInstallButtonClicked();
    void onInstallUploadReply();
    void onInstallExecReply();

private:
    void fetchAppList();
    void clearApps();
    void fetchVersion(const QString &name);
    void requestIcon(QListWidgetItem *item);
    void requestNextIcons();
    void cancelReply(QNetworkReply *reply);
    static QString fullName(const QListWidgetItem *item);

    RadioScanner *scanner;
    QNetworkAccessManager *networkManager;

    QLabel *notFoundLabel;
    QWidget *contentWidget;
    QListWidget *appList;
    QPushButton *installButton;
    QLabel *installStatusLabel;
    QLabel *iconLabel;
    QLabel *nameLabel;
    QLabel *versionLabel;
    QLabel *detailLabel;
    QPushButton *executeButton;
    QPushButton *uninstallButton;
    QLabel *statusLabel;
    QLabel *listNoteLabel;
    ListFiller *filler;

    QString radioIp;
    QString listModelName;
    bool listLoaded = false;
    QNetworkReply *listReply = nullptr;
    QNetworkReply *versionReply = nullptr;
    // At most one list request and one retry waiting, however often deviceFound comes
    // while the list keeps failing.
    QTimer *listRetryTimer = nullptr;
    QList<QNetworkReply *> pendingIconReplies;
    // Items whose icon has not been asked for yet, in list order.
    QList<QListWidgetItem *> queuedIcons;
    // Icons downloaded and still being decoded; they count as requests in flight.
    int decodingIcons = 0;
    // Bumped whenever the list is cleared, so late icons of its items are dropped.
    quint64 listGeneration = 0;
};
