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
// as soon as the request has arrived. Stream sends body followed by filler bytes up to
// streamLength bytes in all (-1: without end), as fast as the client reads or
// trickleBytes every trickleMs, with announcedLength as Content-Length (-1: none, the body ends
// when the connection closes), or in chunked transfer encoding when chunked is set.
struct FakeResponse
{
    enum Mode { Answer, Hang, Drop, Stream };
    int status = 200;
    // The status line's reason phrase; empty: the usual one for the status.
    QByteArray reason;
    QByteArray body;
    QByteArray contentType = "text/plain";
    int delayMs = 0;
    Mode mode = Answer;
    QList<QPair<QByteArray, QByteArray>> headers;
    qint64 streamLength = -1;
    qint64 announcedLength = -1;
    int trickleMs = 0;
    int trickleBytes = 1;
    bool chunked = false;
    // When set, the answer waits until this returns true (asked every 10 ms).
    std::function<bool()> readyWhen;

    static FakeResponse json(const QByteArray &body, int status = 200);
    static FakeResponse text(const QByteArray &body, int status = 200);
    static FakeResponse bytes(const QByteArray &body, const QByteArray &type);
    static FakeResponse error(int status, const QByteArray &body = QByteArray());
    static FakeResponse hang();
    static FakeResponse drop();
    // A body that never ends, starting with prefix.
    static FakeResponse endless(const QByteArray &prefix = QByteArray(),
                                const QByteArray &type = "application/octet-stream");
    // The same in chunks of 64 KiB (Transfer-Encoding: chunked), never the last chunk.
    static FakeResponse endlessChunked(const QByteArray &prefix = QByteArray(),
                                       const QByteArray &type = "application/octet-stream");
    // length bytes, announced truthfully, starting with prefix.
    static FakeResponse oversized(qint64 length, const QByteArray &prefix = QByteArray(),
                                  const QByteArray &type = "application/octet-stream");
    // Announces length bytes, then sends without end.
    static FakeResponse hugeLength(qint64 announced = Q_INT64_C(1000000000000));
    // body, announced truthfully, bytes at a time every ms.
    static FakeResponse trickle(const QByteArray &body, int ms, int bytes = 1,
                                const QByteArray &type = "application/json");
    FakeResponse delayed(int ms) const;
    // Held until ready() returns true: a test orders the answer after something it awaits.
    FakeResponse heldUntil(std::function<bool()> ready) const;
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
    // Streams open as a radio's Wi-Fi link carries them, then go as fast as the socket takes
    // them. Qt hands a reply's read-buffer size to its network thread only once the request
    // has started there: an answer flooding in before that keeps the thread reading until the
    // socket is empty, which on loopback it never is, past every limit and every abort.
    static constexpr qint64 WifiBytesPerSecond = 8 * 1000 * 1000;
    static constexpr int PacedStartMs = 1000;
    // Each stream's first forMs at no more than bytesPerSecond; 0: no pace.
    void setStreamPace(qint64 bytesPerSecond, int forMs)
    {
        paceBytesPerSecond = qMax<qint64>(bytesPerSecond, 0);
        paceMs = qMax(forMs, 0);
    }

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
    // The clock of FakeRequest::receivedMs.
    qint64 elapsedMs() const { return clock.elapsed(); }

    // Requests received but not yet answered (or dropped), now and at the most.
    int inFlight() const { return pending; }
    int maxInFlight() const { return maxPending; }
    void resetMaxInFlight() { maxPending = pending; }

    // Bytes written by Stream answers so far.
    qint64 streamedBytes() const { return streamed; }
    // Connections open now, and Stream answers the client cut off by closing its connection.
    int openConnections() const { return connections.size(); }
    int cutStreams() const { return cut; }

    // Waits, running the event loop, until at least n requests for path have arrived.
    bool waitForRequests(const QByteArray &path, int n, int timeoutMs = 5000);

signals:
    void requestReceived(const FakeRequest &request);

private:
    struct Stream
    {
        QByteArray prefix;
        qint64 sent = 0;
        qint64 length = -1;
        bool announced = false;
        int trickleMs = 0;
        int trickleBytes = 1;
        bool chunked = false;
        QElapsedTimer clock; // since the stream began, for its pace
        bool wakeQueued = false;
    };
    struct Connection
    {
        QByteArray buffer;
        bool busy = false; // a request of this connection is being answered
        bool streaming = false;
        Stream stream;
    };
    void onNewConnection();
    void pump(QTcpSocket *socket, bool tick);
    void endStream(QTcpSocket *socket);
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
    qint64 streamed = 0;
    qint64 paceBytesPerSecond = 0;
    int paceMs = 0;
    int cut = 0;
};
