#include "RadioScanner.h"

#include "RadioApi.h"
#include "RadioDiscovery.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

static const char *const ScanIpProperty = "scan_ip";

RadioScanner::RadioScanner(QObject *parent)
    : QObject(parent)
    , networkManager(new QNetworkAccessManager(this))
    , scanTimer(new QTimer(this))
{
    connect(scanTimer, &QTimer::timeout, this, &RadioScanner::beginScan);
}

void RadioScanner::startPeriodicScanning(int intervalMs)
{
    scanTimer->start(intervalMs);
    beginScan();
}

void RadioScanner::beginScan()
{
    if (inFlight > 0)
        return;
    if (!lastIp.isEmpty()) {
        startQuickCheck(lastIp);
        return;
    }
    found = false;
    candidates = computeCandidateIps();
    if (candidates.isEmpty()) {
        emit deviceNotFound();
        return;
    }
    emit scanStarted();
    issueNextRequests();
}

QStringList RadioScanner::computeCandidateIps() const
{
    return RadioDiscovery::candidateAddresses(RadioDiscovery::systemInterfaces());
}

QNetworkReply *RadioScanner::discoveryGet(const QString &address, const char *path)
{
    // The time-out counts from the moment of asking, also while the request waits in the
    // manager's queue of six connections per host: behind a tab's burst the radio would be
    // declared lost though it answers. Discovery goes first in that queue, and the tabs'
    // pictures take at most four of the six connections.
    return RadioApi::get(networkManager, RadioApi::discoveryRequest(address, path),
                         RadioReply::Kind::Text);
}

void RadioScanner::issueNextRequests()
{
    while (inFlight < MaxInFlight && !candidates.isEmpty()) {
        const QString address = candidates.takeFirst();
        QNetworkReply *reply = discoveryGet(address, RadioApi::SystemInfoPath);
        reply->setProperty(ScanIpProperty, address);
        connect(reply, &QNetworkReply::finished, this, &RadioScanner::onReplyFinished);
        pendingReplies.append(reply);
        ++inFlight;
    }
}

void RadioScanner::onReplyFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    pendingReplies.removeOne(reply);
    --inFlight;
    const QString address = reply->property(ScanIpProperty).toString();
    reply->deleteLater();

    QString network, model;
    if (!found && reply->error() == QNetworkReply::NoError
        && tryParseDevice(RadioReply::body(reply), &network, &model)) {
        found = true;
        lastIp = address;
        candidates.clear();
        // Cancel the rest of the sweep. Deleted rather than aborted: a refused host's error
        // may already be queued for its reply, and would arrive after the abort's own.
        const QList<QNetworkReply *> rest = pendingReplies;
        pendingReplies.clear();
        for (QNetworkReply *other : rest) {
            delete other;
            --inFlight;
        }
        applyDevice(address, network, model);
        return;
    }

    if (found)
        return;
    if (!candidates.isEmpty())
        issueNextRequests();
    else if (inFlight == 0)
        emit deviceNotFound();
}

void RadioScanner::startQuickCheck(const QString &address)
{
    inFlight = 1;
    QNetworkReply *reply = discoveryGet(address, RadioApi::SystemInfoPath);
    reply->setProperty(ScanIpProperty, address);
    connect(reply, &QNetworkReply::finished, this, &RadioScanner::onQuickCheckFinished);
}

void RadioScanner::onQuickCheckFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    inFlight = 0;
    const QString address = reply->property(ScanIpProperty).toString();
    QString network, model;
    const bool ok = reply->error() == QNetworkReply::NoError
        && tryParseDevice(RadioReply::body(reply), &network, &model);
    reply->deleteLater();

    if (ok) {
        applyDevice(address, network, model);
        return;
    }
    lastIp.clear();
    ip.clear();
    networkName.clear();
    modelName.clear();
    serial.clear();
    beginScan();
}

void RadioScanner::applyDevice(const QString &address, const QString &network, const QString &model)
{
    const bool sameAddress = ip == address;
    ip = address;
    networkName = network;
    modelName = model;
    emit deviceFound(address, networkName, modelName);
    if (!sameAddress || serial.isEmpty())
        fetchSerial(address);
}

bool RadioScanner::tryParseDevice(const QByteArray &body, QString *network, QString *model) const
{
    return RadioDiscovery::parseSystemInfo(body, network, model);
}

void RadioScanner::fetchSerial(const QString &address)
{
    QNetworkReply *reply = discoveryGet(address, RadioApi::SystemSerialPath);
    connect(reply, &QNetworkReply::finished, this, [this, reply, address]() {
        reply->deleteLater();
        if (address != ip)
            return;
        QString parsed;
        if (reply->error() == QNetworkReply::NoError
            && tryParseSerial(RadioReply::body(reply), &parsed)) {
            serial = parsed;
            emit serialFound(serial);
        }
    });
}

bool RadioScanner::tryParseSerial(const QByteArray &body, QString *out) const
{
    return RadioDiscovery::parseSerial(body, out);
}
