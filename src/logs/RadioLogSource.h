#pragma once

#include "RadioLogList.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class ListFiller;
class QListWidget;
class QListWidgetItem;
class QNetworkAccessManager;
class QNetworkReply;
class RadioScanner;
class WelcomeScreenWidget;

// The radio-log half of a log tab: follows the scanner, fetches /log/list when a new model
// answers, fills the tab's list and the welcome card's list, clears them when the radio is
// lost, and downloads the log of a clicked item. What to do with a downloaded log is the
// tab's business (logDownloaded).
class RadioLogSource : public QObject
{
    Q_OBJECT
public:
    // tabList is hidden while empty; statusChanged tells the download progress and failures.
    // Connects to the scanner and applies its current identity at once.
    RadioLogSource(RadioScanner *scanner, QListWidget *tabList, WelcomeScreenWidget *welcome,
                   QObject *parent = nullptr);

    QString radioIp() const { return ip; }
    QString modelName() const { return model; }

    void fetchLogList(const QString &address);

    // Starts the download of a list item's log; false (and nothing sent) for a null item or
    // while no radio is known. A download still under way is cancelled: the newest wins.
    bool downloadLog(QListWidgetItem *item);
    // The tab shows this log now: the tab's list marks its item, or none for a file from disk,
    // so the list never claims a log that is not the one shown.
    void showLog(const QString &label, bool fromRadio);
    // Marks the shown log's item again: a click selected another whose log did not load.
    void markShownLog();
    // Downloads sent and not yet answered.
    int downloadsInFlight() const { return downloads.size(); }
    // Drops the download under way, if any: it is never reported.
    void cancelDownloads();

    // The list item of a radio log: its text, and its id and length as 64-bit integers
    // (Qt::UserRole and Qt::UserRole + 1). The lists are filled with these a slice at a time.
    static QListWidgetItem *listItem(const RadioLogList::Entry &entry);
    // "name  (m:ss)", the name cut for display.
    static QString itemText(const QString &name, qint64 length);

signals:
    // label is the clicked item's text.
    void logDownloaded(const QByteArray &data, const QString &label);
    void logDownloadFailed(const QString &errorString);
    // What the tab's status line should say now: a download started or failed, or the
    // radio's list was cut.
    void statusChanged(const QString &text);
    // A download started or ended (before its logDownloaded or logDownloadFailed).
    void downloadsInFlightChanged();

private slots:
    void onRadioDeviceFound(const QString &address, const QString &networkName,
                            const QString &modelName);
    void onRadioDeviceNotFound();
    void onLogListReply();
    void onLogDownloadReply();

private:
    void fillLists(const QVector<RadioLogList::Entry> &entries);
    // Aborts the downloads under way without a word; true if there were any.
    bool dropDownloads();

    QNetworkAccessManager *networkManager = nullptr;
    QListWidget *tabList = nullptr;
    WelcomeScreenWidget *welcome = nullptr;
    ListFiller *filler = nullptr;
    QString ip;
    QString model; // the model the list was last fetched for
    QList<QNetworkReply *> downloads;
    QString shownLabel; // the item text of the shown log, when it came from this list
};
