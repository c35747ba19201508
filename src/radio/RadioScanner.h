#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Finds the radio on the local network and keeps track of whether it is still there.
// Owns the program's single network access manager. The constructor sends nothing;
// only startPeriodicScanning() sweeps.
class RadioScanner : public QObject
{
    Q_OBJECT
public:
    explicit RadioScanner(QObject *parent = nullptr);

    void startPeriodicScanning(int intervalMs);

    // Read by the tabs; written only by the scanner (and by tests that stand in for it).
    QNetworkAccessManager *networkManager = nullptr;
    QString ip;
    QString networkName;
    QString modelName;
    QString serial;

    // Concurrent /system/info requests during a sweep.
    static constexpr int MaxInFlight = 24;

signals:
    void scanStarted();
    void deviceFound(const QString &ip, const QString &networkName, const QString &modelName);
    void deviceNotFound();
    void serialFound(const QString &serial);

private slots:
    void beginScan();
    void onReplyFinished();
    void onQuickCheckFinished();

private:
    QNetworkReply *discoveryGet(const QString &address, const char *path);
    void startQuickCheck(const QString &address);
    QStringList computeCandidateIps() const;
    void issueNextRequests();
    bool tryParseDevice(const QByteArray &body, QString *network, QString *model) const;
    void fetchSerial(const QString &address);
    bool tryParseSerial(const QByteArray &body, QString *out) const;
    void applyDevice(const QString &address, const QString &network, const QString &model);

    QTimer *scanTimer = nullptr;
    QStringList candidates;
    QList<QNetworkReply *> pendingReplies;
    int inFlight = 0;
    bool found = false;
    QString lastIp;
};
