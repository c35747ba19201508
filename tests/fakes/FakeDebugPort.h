#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;

// The radio's debug port: a TCP server that writes what it is given to every connected
// client and counts the connections it accepted.
class FakeDebugPort : public QObject
{
    Q_OBJECT
public:
    explicit FakeDebugPort(QObject *parent = nullptr);

    // Port 0 picks a free one; see port().
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const;

    int connectionCount() const { return accepted; }
    int openConnections() const;

    void send(const QByteArray &bytes);
    void closeConnections();

signals:
    void clientConnected();

private:
    QTcpServer *server;
    QList<QPointer<QTcpSocket>> clients;
    int accepted = 0;
};
