#include "LogTabLoader.h"

#include "RadioLogSource.h"
#include "WelcomeScreenWidget.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QProgressBar>

LogTabLoader::LogTabLoader(RadioScanner *scanner, QListWidget *radioLogList,
                           WelcomeScreenWidget *welcome, QLabel *statusLabel, QProgressBar *busyBar,
                           bool keepBytes, QObject *parent)
    : QObject(parent)
    , loader(new LogLoader(this))
    , radioLogs(new RadioLogSource(scanner, radioLogList, welcome, this))
    , statusLabel(statusLabel)
    , busyBar(busyBar)
    , welcome(welcome)
    , keepBytes(keepBytes)
{
    connect(loader, &LogLoader::finished, this, &LogTabLoader::onFinished);
    connect(radioLogs, &RadioLogSource::downloadsInFlightChanged, this, &LogTabLoader::updateBusy);
    connect(radioLogs, &RadioLogSource::logDownloaded, this, &LogTabLoader::parseDownload);
    connect(radioLogs, &RadioLogSource::statusChanged, this, &LogTabLoader::setStatus);
}

void LogTabLoader::setStatus(const QString &text)
{
    status = text;
    statusLabel->setText(text);
}

bool LogTabLoader::isLoading() const
{
    return loader->isBusy() || radioLogs->downloadsInFlight() > 0;
}

void LogTabLoader::loadFile(const QString &path)
{
    startLoading(QFileInfo(path).fileName());
    radioLogs->cancelDownloads();
    loader->loadFile(path, keepBytes);
    updateBusy();
}

void LogTabLoader::askForFile(QWidget *parent)
{
    // What QFileDialog::getOpenFileName does, with a hand on the moment of the choice. One
    // dialog, kept from one open to the next: destroying it wrote its settings to disk and
    // waited for its file system thread, a stall just as the chosen log started loading.
    if (!fileDialog || fileDialog->parentWidget() != parent) {
        delete fileDialog;
        fileDialog = new QFileDialog(parent, tr("Open Log File"), QString(), tr("All Files (*)"));
        fileDialog->setFileMode(QFileDialog::ExistingFile);
        connect(fileDialog, &QFileDialog::fileSelected, this, &LogTabLoader::loadFile);
        connect(fileDialog, &QDialog::finished, this, &LogTabLoader::quietHiddenDialog);
    } else if (auto *model = fileDialog->findChild<QFileSystemModel *>()) {
        // Listed afresh: what came or went while it was hidden shows.
        model->setOption(QFileSystemModel::DontWatchForChanges, false);
        fileDialog->setDirectory(hiddenDialogFolder);
    }
    fileDialog->exec();
}

void LogTabLoader::quietHiddenDialog()
{
    // Hidden, the dialog still followed its folder: each file coming or going there (a busy
    // /tmp, a download folder) had the GUI thread list and sort the whole folder again.
    auto *model = fileDialog ? fileDialog->findChild<QFileSystemModel *>() : nullptr;
    if (!model)
        return;
    hiddenDialogFolder = fileDialog->directory().absolutePath();
    {
        // Leaving the folder drops its watch and marks it for a new listing; blocked, the
        // dialog does not put the empty root into its back/forward history.
        const QSignalBlocker quiet(model);
        model->setRootPath(QString());
    }
    model->setOption(QFileSystemModel::DontWatchForChanges, true);
}

bool LogTabLoader::downloadLog(QListWidgetItem *item)
{
    const bool wasLoading = isLoading();
    const QString before = status;
    if (!radioLogs->downloadLog(item))
        return false;
    if (!wasLoading)
        statusBeforeLoading = before;
    loader->cancel();
    updateBusy();
    return true;
}

void LogTabLoader::parseDownload(const QByteArray &data, const QString &label)
{
    startLoading(label);
    loader->parseDownload(data, label, keepBytes);
    updateBusy();
}

void LogTabLoader::startLoading(const QString &label)
{
    // What a failed open puts back: the status from before the tab got busy.
    if (!isLoading())
        statusBeforeLoading = status;
    setStatus(tr("Loading %1...").arg(label));
}

void LogTabLoader::updateBusy()
{
    const bool busy = isLoading();
    busyBar->setVisible(busy);
    welcome->setLoadingText(busy ? status : QString());
}

void LogTabLoader::onFinished(const LogLoader::Result &result)
{
    updateBusy();
    if (result.ok) {
        radioLogs->showLog(result.label, !result.fromFile);
        emit loaded(result);
    } else if (result.fromFile) {
        setStatus(statusBeforeLoading);
        radioLogs->markShownLog();
        emit fileFailed(result.error);
    } else {
        setStatus(tr("Failed to parse downloaded log: %1").arg(result.error));
        radioLogs->markShownLog();
    }
}
