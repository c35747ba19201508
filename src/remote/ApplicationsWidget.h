#pragma once

#include <QPointer>
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
class RadioPictureQueue;
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
    // Shared with the other tabs: the icons are fetched through it a few at a time.
    QPointer<RadioPictureQueue> pictureQueue;
};
