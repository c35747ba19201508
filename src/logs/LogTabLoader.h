#pragma once

#include "LogLoader.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QFileDialog;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class RadioLogSource;
class RadioScanner;
class WelcomeScreenWidget;

// The loading half of a log tab, for files and downloads alike, and the one writer of its
// status line. Follows the radio's logs (RadioLogSource), parses on a worker thread
// (LogLoader) and shows meanwhile "Loading <name>..." in the status line and on the welcome
// card, with a busy bar, also while a download is under way. The tab stays usable; a newer
// open or download replaces a load or download still running, which is cancelled.
class LogTabLoader : public QObject
{
    Q_OBJECT
public:
    // radioLogList and welcome's list show the radio's logs (the scanner's current radio at
    // once). keepBytes: whether results carry the log's bytes (the Log Viewer saves them).
    LogTabLoader(RadioScanner *scanner, QListWidget *radioLogList, WelcomeScreenWidget *welcome,
                 QLabel *statusLabel, QProgressBar *busyBar, bool keepBytes, QObject *parent);

    void loadFile(const QString &path);
    // Asks for a log file with the open dialog and loads the one chosen. The
    // load starts as the dialog accepts: closing it writes the dialog's own settings to disk,
    // and the parse need not wait for that.
    void askForFile(QWidget *parent);
    // Downloads a radio list item's log, then parses it; false when no radio is known.
    bool downloadLog(QListWidgetItem *item);
    // Connected to the radio source's logDownloaded.
    void parseDownload(const QByteArray &data, const QString &label);
    // Reading, parsing or downloading.
    bool isLoading() const;
    // What the status line says, for the tab's own news (a log shown, a log saved).
    void setStatus(const QString &text);

signals:
    void loaded(const LogLoader::Result &result);
    // The status line is back to what it said before; the tab shows the warning.
    void fileFailed(const QString &error);

private:
    void onFinished(const LogLoader::Result &result);
    void startLoading(const QString &label);
    void updateBusy();
    void quietHiddenDialog();

    LogLoader *loader = nullptr;
    RadioLogSource *radioLogs = nullptr;
    QLabel *statusLabel = nullptr;
    QProgressBar *busyBar = nullptr;
    WelcomeScreenWidget *welcome = nullptr;
    bool keepBytes = false;
    QString status; // what statusLabel says
    QString statusBeforeLoading;
    QPointer<QFileDialog> fileDialog;
    QString hiddenDialogFolder; // what fileDialog showed, while it watches nothing
};
