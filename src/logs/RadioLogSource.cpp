#include "RadioLogSource.h"

#include "ListFiller.h"
#include "RadioApi.h"
#include "RadioLogList.h"
#include "RadioScanner.h"
#include "RadioText.h"
#include "WelcomeScreenWidget.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QNetworkReply>

static const char *const LogLabelProperty = "log_label";
static const char *const ListModelProperty = "list_model";

RadioLogSource::RadioLogSource(RadioScanner *scanner, QListWidget *tabList,
                               WelcomeScreenWidget *welcome, QObject *parent)
    : QObject(parent)
    , networkManager(scanner->networkManager)
    , tabList(tabList)
    , welcome(welcome)
    , filler(new ListFiller(this))
{
    // One line per log: the views need not measure ten thousand items one by one.
    if (tabList)
        tabList->setUniformItemSizes(true);
    if (welcome)
        welcome->logList->setUniformItemSizes(true);
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
    shownLabel.clear();
    filler->cancel();
    if (tabList) {
        tabList->clear();
        tabList->hide();
    }
    if (welcome) {
        welcome->logList->clear();
        welcome->setRadioLogsAvailable(false);
        welcome->setRadioLogsNote(QString());
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
    // A list that arrives after the radio was lost, or after it switched model, is stale.
    if (ip.isEmpty() || reply->property(ListModelProperty).toString() != model)
        return;
    // A list shown before stays; the card says why no list came where it would be.
    if (reply->error() != QNetworkReply::NoError) {
        if (welcome)
            welcome->setRadioLogsNote(RadioReply::tooLarge(reply)
                                          ? tr("The radio's log list is too large to show.")
                                          : tr("The radio's log list could not be read: %1")
                                                .arg(RadioReply::errorString(reply)));
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(RadioReply::body(reply), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (welcome)
            welcome->setRadioLogsNote(tr("The radio's log list could not be read."));
        return;
    }
    if (welcome)
        welcome->setRadioLogsNote(QString());
    bool cut = false;
    const QVector<RadioLogList::Entry> entries
        = RadioLogList::parse(doc.object().value(QStringLiteral("list")).toArray(), &cut);
    fillLists(entries);
    if (cut)
        emit statusChanged(RadioText::listCutNote());
}

QListWidgetItem *RadioLogSource::listItem(const RadioLogList::Entry &entry)
{
    auto *item = new QListWidgetItem(itemText(entry.name, entry.length));
    item->setData(Qt::UserRole, QVariant::fromValue<qint64>(entry.id));
    item->setData(Qt::UserRole + 1, QVariant::fromValue<qint64>(entry.length));
    return item;
}

void RadioLogSource::showLog(const QString &label, bool fromRadio)
{
    shownLabel = fromRadio ? label : QString();
    markShownLog();
}

void RadioLogSource::markShownLog()
{
    if (!tabList)
        return;
    const QList<QListWidgetItem *> shown = shownLabel.isEmpty()
        ? QList<QListWidgetItem *>()
        : tabList->findItems(shownLabel, Qt::MatchExactly);
    if (!shown.isEmpty()) {
        tabList->setCurrentItem(shown.first());
        return;
    }
    // An explicit "none": otherwise the list makes its first item current when it gets the
    // focus, and draws it as chosen.
    tabList->setCurrentIndex(QModelIndex());
    tabList->clearSelection();
}

void RadioLogSource::fillLists(const QVector<RadioLogList::Entry> &entries)
{
    // A new list, of another model or after the radio was away: the shown log is not in it.
    shownLabel.clear();
    if (tabList)
        tabList->clear();
    if (welcome)
        welcome->logList->clear();
    const bool any = !entries.isEmpty();
    if (tabList)
        tabList->setVisible(any);
    if (welcome)
        welcome->setRadioLogsAvailable(any);
    filler->start(
        entries.size(),
        [this, entries](int i) {
            if (tabList)
                tabList->addItem(listItem(entries.at(i)));
            if (welcome)
                welcome->logList->addItem(listItem(entries.at(i)));
        },
        [this]() { markShownLog(); });
}

bool RadioLogSource::downloadLog(QListWidgetItem *item)
{
    if (!item || ip.isEmpty())
        return false;
    const qint64 id = item->data(Qt::UserRole).toLongLong();
    const qint64 length = item->data(Qt::UserRole + 1).toLongLong();
    dropDownloads();
    QNetworkReply *reply = RadioApi::get(networkManager, ip, RadioApi::logGetPath(id, length),
                                         RadioApi::ListTimeoutMs, RadioReply::Kind::Log);
    reply->setProperty(LogLabelProperty, item->text());
    connect(reply, &QNetworkReply::finished, this, &RadioLogSource::onLogDownloadReply);
    emit statusChanged(tr("Downloading log..."));
    downloads.append(reply);
    emit downloadsInFlightChanged();
    return true;
}

void RadioLogSource::cancelDownloads()
{
    if (dropDownloads())
        emit downloadsInFlightChanged();
}

bool RadioLogSource::dropDownloads()
{
    const QList<QNetworkReply *> dropped = downloads;
    downloads.clear();
    for (QNetworkReply *reply : dropped) {
        // abort() finishes the reply at once: nothing of it may reach this source.
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    return !dropped.isEmpty();
}

void RadioLogSource::onLogDownloadReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    downloads.removeOne(reply);
    emit downloadsInFlightChanged();
    if (reply->error() != QNetworkReply::NoError) {
        const QString error = RadioReply::errorString(reply);
        emit statusChanged(tr("Failed to download log: %1").arg(error));
        markShownLog();
        emit logDownloadFailed(error);
        return;
    }
    emit logDownloaded(RadioReply::body(reply), reply->property(LogLabelProperty).toString());
}

QString RadioLogSource::itemText(const QString &name, qint64 length)
{
    // One pass over both placeholders, so a "%2" inside the name stays as it is.
    return tr("%1  (%2)").arg(RadioText::forDisplay(name), RadioLogList::durationText(length));
}
