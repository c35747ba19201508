#include "FakeDebugPort.h"

#include <QTcpServer>
#include <QTcpSocket>

FakeDebugPort::FakeDebugPort(QObject *parent)
    : QObject(parent)
    , server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *client = server->nextPendingConnection()) {
            ++accepted;
            clients << client;
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            emit clientConnected();
        }
    });
}

bool FakeDebugPort::listen(const QHostAddress &address, quint16 port)
{
    return server->listen(address, port);
}

quint16 FakeDebugPort::port() const
{
    return server->serverPort();
}

int FakeDebugPort::openConnections() const
{
    int open = 0;
    for (const QPointer<QTcpSocket> &client : clients) {
        if (client && client->state() == QAbstractSocket::ConnectedState)
            ++open;
    }
    return open;
}

void FakeDebugPort::send(const QByteArray &bytes)
{
    for (const QPointer<QTcpSocket> &client : qAsConst(clients)) {
        if (client && client->state() == QAbstractSocket::ConnectedState)
            client->write(bytes);
    }
}

void FakeDebugPort::closeConnections()
{
    for (const QPointer<QTcpSocket> &client : qAsConst(clients)) {
        if (client)
            client->disconnectFromHost();
    }
}
