#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

// One request as it reached the fake, with the raw request line.
struct FakeRequest
{
    QByteArray method;
    QByteArray requestLine; // e.g. "GET /media/apps/My%20App/icon.png HTTP/1.1"
    QByteArray target; // path and query, still encoded
    QByteArray path; // target before "?"
    QByteArray query; // target after "?"
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    qint64 receivedMs = 0; // since the server started
    QHostAddress localAddress;
    quint16 localPort = 0;

    QByteArray header(const QByteArray &name) const;
};

// A scripted answer. Hang keeps the connection open without answering; Drop closes it
// as soon as the request has arrived.
struct FakeResponse
{
    enum Mode { Answer, Hang, Drop };
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/plain";
    int delayMs = 0;
    Mode mode = Answer;
    QList<QPair<QByteArray, QByteArray>> headers;

    static FakeResponse json(const QByteArray &body, int status = 200);
    static FakeResponse text(const QByteArray &body, int status = 200);
    static FakeResponse bytes(const QByteArray &body, const QByteArray &type);
    static FakeResponse error(int status, const QByteArray &body = QByteArray());
    static FakeResponse hang();
    static FakeResponse drop();
    FakeResponse delayed(int ms) const;
};

// An in-process HTTP/1.1 server for tests: answers per path from a script and records
// every request. Listens only where it is told (loopback unless a test LAN address is given).
class FakeHttpServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<FakeResponse(const FakeRequest &)>;

    explicit FakeHttpServer(QObject *parent = nullptr);
    ~FakeHttpServer() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const;
    // Stops listening and drops every open connection, like a radio switched off.
    void close();
    // "127.0.0.1:PORT", the form the tabs take as a radio address.
    QString address() const;

    // The answer for requests whose path (before "?") equals path. A handler wins over
    // a fixed answer; unknown paths get 404.
    void setResponse(const QByteArray &path, const FakeResponse &response);
    void setHandler(const QByteArray &path, Handler handler);
    void setFallback(Handler handler);
    void clearRoutes();

    QList<FakeRequest> requests() const { return received; }
    QList<FakeRequest> requestsFor(const QByteArray &path) const;
    int countFor(const QByteArray &path) const { return requestsFor(path).size(); }
    void clearRequests() { received.clear(); }

    // Requests received but not yet answered (or dropped), now and at the most.
    int inFlight() const { return pending; }
    int maxInFlight() const { return maxPending; }
    void resetMaxInFlight() { maxPending = pending; }

    // Waits, running the event loop, until at least n requests for path have arrived.
    bool waitForRequests(const QByteArray &path, int n, int timeoutMs = 5000);

signals:
    void requestReceived(const FakeRequest &request);

private:
    struct Connection
    {
        QByteArray buffer;
        bool busy = false; // a request of this connection is being answered
    };
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const FakeRequest &request);
    void finishRequest();
    FakeResponse responseFor(const FakeRequest &request) const;

    QTcpServer *server;
    QElapsedTimer clock;
    QHash<QByteArray, FakeResponse> fixed;
    QHash<QByteArray, Handler> handlers;
    Handler fallback;
    QHash<QTcpSocket *, Connection> connections;
    QList<FakeRequest> received;
    int pending = 0;
    int maxPending = 0;
};
