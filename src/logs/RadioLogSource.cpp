#include "RadioLogSource.h"

#include "RadioApi.h"
#include "RadioLogList.h"
#include "RadioScanner.h"
#include "WelcomeScreenWidget.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QNetworkReply>

static const char *const LogLabelProperty = "log_label";
static const char *const ListModelProperty = "list_model";

RadioLogSource::RadioLogSource(RadioScanner *scanner, QListWidget *tabList,
                               WelcomeScreenWidget *welcome, QLabel *statusLabel, QObject *parent)
    : QObject(parent)
    , networkManager(scanner->networkManager)
    , tabList(tabList)
    , welcome(welcome)
    , statusLabel(statusLabel)
{
    connect(scanner, &RadioScanner::deviceFound, this, &RadioLogSource::onRadioDeviceFound);
    connect(scanner, &RadioScanner::deviceNotFound, this, &RadioLogSource::onRadioDeviceNotFound);
    if (!scanner->ip.isEmpty())
        onRadioDeviceFound(scanner->ip, scanner->networkName, scanner->modelName);
}

void RadioLogSource::onRadioDeviceFound(const QString &address, const QString &,
                                        const QString &modelName)
{
    ip = address;
    // deviceFound repeats on every re-check; only a new model means a new list. An empty
    // model equals the stored empty one, so such a radio gets no list.
    if (modelName != model) {
        model = modelName;
        fetchLogList(address);
    }
}

void RadioLogSource::onRadioDeviceNotFound()
{
    ip.clear();
    model.clear();
    if (tabList) {
        tabList->clear();
        tabList->hide();
    }
    if (welcome) {
        welcome->logList->clear();
        welcome->setRadioLogsAvailable(false);
    }
}

void RadioLogSource::fetchLogList(const QString &address)
{
    QNetworkReply *reply
        = RadioApi::get(networkManager, address, QString::fromLatin1(RadioApi::LogListPath),
                        RadioApi::ShortTimeoutMs);
    reply->setProperty(ListModelProperty, model);
    connect(reply, &QNetworkReply::finished, this, &RadioLogSource::onLogListReply);
}

void RadioLogSource::onLogListReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return;
    // A list that arrives after the radio was lost, or after it switched model, is stale.
    if (ip.isEmpty() || reply->property(ListModelProperty).toString() != model)
        return;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return;
    const QJsonArray list = doc.object().value(QStringLiteral("list")).toArray();
    if (tabList)
        populateLogListWidget(tabList, list);
    if (welcome)
        populateLogListWidget(welcome->logList, list);
    int count = tabList ? tabList->count() : welcome ? welcome->logList->count() : 0;
    if (tabList)
        tabList->setVisible(count > 0);
    if (welcome)
        welcome->setRadioLogsAvailable(count > 0);
}

bool RadioLogSource::downloadLog(QListWidgetItem *item)
{
    if (!item || ip.isEmpty())
        return false;
    const qint64 id = item->data(Qt::UserRole).toLongLong();
    const qint64 length = item->data(Qt::UserRole + 1).toLongLong();
    QNetworkReply *reply = RadioApi::get(networkManager, ip, RadioApi::logGetPath(id, length),
                                         RadioApi::ListTimeoutMs, RadioReply::Kind::Log);
    reply->setProperty(LogLabelProperty, item->text());
    connect(reply, &QNetworkReply::finished, this, &RadioLogSource::onLogDownloadReply);
    if (statusLabel)
        statusLabel->setText(tr("Downloading log..."));
    ++pendingDownloads;
    emit downloadsInFlightChanged();
    return true;
}

void RadioLogSource::onLogDownloadReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    --pendingDownloads;
    emit downloadsInFlightChanged();
    if (reply->error() != QNetworkReply::NoError) {
        if (statusLabel)
            statusLabel->setText(tr("Failed to download log: %1").arg(reply->errorString()));
        emit logDownloadFailed(reply->errorString());
        return;
    }
    emit logDownloaded(reply->readAll(), reply->property(LogLabelProperty).toString());
}

void RadioLogSource::populateLogListWidget(QListWidget *list, const QJsonArray &array)
{
    list->clear();
    for (const RadioLogList::Entry &entry : RadioLogList::parse(array)) {
        auto *item = new QListWidgetItem(itemText(entry.name, entry.length), list);
        item->setData(Qt::UserRole, QVariant::fromValue<qint64>(entry.id));
        item->setData(Qt::UserRole + 1, QVariant::fromValue<qint64>(entry.length));
    }
}

QString RadioLogSource::itemText(const QString &name, qint64 length)
{
    // One pass over both placeholders, so a "%2" inside the name stays as it is.
    return tr("%1  (%2)").arg(name, RadioLogList::durationText(length));
}
