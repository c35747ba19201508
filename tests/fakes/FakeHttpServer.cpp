#include "FakeHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

QByteArray FakeRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

FakeResponse FakeResponse::json(const QByteArray &body, int status)
{
    FakeResponse r;
    r.status = status;
    r.body = body;
    r.contentType = "application/json";
    return r;
}

FakeResponse FakeResponse::text(const QByteArray &body, int status)
{
    FakeResponse r;
    r.status = status;
    r.body = body;
    return r;
}

FakeResponse FakeResponse::bytes(const QByteArray &body, const QByteArray &type)
{
    FakeResponse r;
    r.body = body;
    r.contentType = type;
    return r;
}

FakeResponse FakeResponse::error(int status, const QByteArray &body)
{
    FakeResponse r;
    r.status = status;
    r.body = body;
    return r;
}

FakeResponse FakeResponse::hang()
{
    FakeResponse r;
    r.mode = Hang;
    return r;
}

FakeResponse FakeResponse::drop()
{
    FakeResponse r;
    r.mode = Drop;
    return r;
}

FakeResponse FakeResponse::endless(const QByteArray &prefix, const QByteArray &type)
{
    FakeResponse r;
    r.mode = Stream;
    r.body = prefix;
    r.contentType = type;
    return r;
}

FakeResponse FakeResponse::endlessChunked(const QByteArray &prefix, const QByteArray &type)
{
    FakeResponse r = endless(prefix, type);
    r.chunked = true;
    return r;
}

FakeResponse FakeResponse::oversized(qint64 length, const QByteArray &prefix,
                                     const QByteArray &type)
{
    FakeResponse r = endless(prefix, type);
    r.streamLength = length;
    r.announcedLength = length;
    return r;
}

FakeResponse FakeResponse::hugeLength(qint64 announced)
{
    FakeResponse r = endless();
    r.announcedLength = announced;
    return r;
}

FakeResponse FakeResponse::trickle(const QByteArray &body, int ms, int bytes,
                                   const QByteArray &type)
{
    FakeResponse r = oversized(body.size(), body, type);
    r.trickleMs = ms;
    r.trickleBytes = qMax(1, bytes);
    return r;
}

FakeResponse FakeResponse::heldUntil(std::function<bool()> ready) const
{
    FakeResponse r = *this;
    r.readyWhen = std::move(ready);
    return r;
}

FakeResponse FakeResponse::delayed(int ms) const
{
    FakeResponse r = *this;
    r.delayMs = ms;
    return r;
}

static QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

FakeHttpServer::FakeHttpServer(QObject *parent)
    : QObject(parent)
    , server(new QTcpServer(this))
{
    clock.start();
    connect(server, &QTcpServer::newConnection, this, &FakeHttpServer::onNewConnection);
}

FakeHttpServer::~FakeHttpServer()
{
    for (QTcpSocket *socket : connections.keys()) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool FakeHttpServer::listen(const QHostAddress &address, quint16 port)
{
    return server->listen(address, port);
}

void FakeHttpServer::close()
{
    server->close();
    const auto sockets = connections.keys();
    for (QTcpSocket *socket : sockets)
        socket->abort();
}

quint16 FakeHttpServer::port() const
{
    return server->serverPort();
}

QString FakeHttpServer::address() const
{
    QString host = server->serverAddress().toString();
    if (server->serverAddress() == QHostAddress::Any
        || server->serverAddress() == QHostAddress::AnyIPv4)
        host = QStringLiteral("127.0.0.1");
    return QStringLiteral("%1:%2").arg(host).arg(port());
}

void FakeHttpServer::setResponse(const QByteArray &path, const FakeResponse &response)
{
    handlers.remove(path);
    fixed.insert(path, response);
}

void FakeHttpServer::setHandler(const QByteArray &path, Handler handler)
{
    fixed.remove(path);
    handlers.insert(path, std::move(handler));
}

void FakeHttpServer::setFallback(Handler handler)
{
    fallback = std::move(handler);
}

void FakeHttpServer::clearRoutes()
{
    fixed.clear();
    handlers.clear();
    fallback = nullptr;
}

QList<FakeRequest> FakeHttpServer::requestsFor(const QByteArray &path) const
{
    QList<FakeRequest> out;
    for (const FakeRequest &r : received) {
        if (r.path == path)
            out.append(r);
    }
    return out;
}

bool FakeHttpServer::waitForRequests(const QByteArray &path, int n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (countFor(path) < n) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void FakeHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        connections.insert(socket, Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket]() { pump(socket, false); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
            auto it = connections.find(socket);
            if (it != connections.end()) {
                if (it->busy)
                    finishRequest();
                if (it->streaming)
                    ++cut;
                connections.erase(it);
            }
            socket->deleteLater();
        });
    }
}

void FakeHttpServer::onReadyRead(QTcpSocket *socket)
{
    auto it = connections.find(socket);
    if (it == connections.end())
        return;
    it->buffer.append(socket->readAll());
    if (it->busy)
        return; // one request per connection at a time; the rest waits in the buffer

    const int headerEnd = it->buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = it->buffer.left(headerEnd).split('\n');
    FakeRequest req;
    req.requestLine = lines.value(0).trimmed();
    const QList<QByteArray> parts = req.requestLine.split(' ');
    req.method = parts.value(0);
    req.target = parts.value(1);
    const int q = req.target.indexOf('?');
    req.path = q < 0 ? req.target : req.target.left(q);
    req.query = q < 0 ? QByteArray() : req.target.mid(q + 1);
    qint64 contentLength = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        req.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    const qint64 total = headerEnd + 4 + contentLength;
    if (it->buffer.size() < total)
        return;
    req.body = it->buffer.mid(headerEnd + 4, int(contentLength));
    it->buffer.remove(0, int(total));
    req.receivedMs = clock.elapsed();
    req.localAddress = socket->localAddress();
    req.localPort = socket->localPort();
    it->busy = true;
    ++pending;
    maxPending = qMax(maxPending, pending);
    received.append(req);
    emit requestReceived(req);
    answer(socket, req);
}

FakeResponse FakeHttpServer::responseFor(const FakeRequest &request) const
{
    auto h = handlers.constFind(request.path);
    if (h != handlers.constEnd())
        return (*h)(request);
    auto f = fixed.constFind(request.path);
    if (f != fixed.constEnd())
        return *f;
    if (fallback)
        return fallback(request);
    return FakeResponse::error(404, "not found");
}

void FakeHttpServer::finishRequest()
{
    --pending;
}

void FakeHttpServer::answer(QTcpSocket *socket, const FakeRequest &request)
{
    FakeResponse response = responseFor(request);
    // A large body goes out as the client reads it: copied whole into the socket's buffer at
    // once, a 300 MB log kept a sanitized fake from sending its first byte for 10 s.
    if (response.mode == FakeResponse::Answer && response.body.size() > 8 * 1024 * 1024) {
        response.mode = FakeResponse::Stream;
        response.streamLength = response.announcedLength = response.body.size();
    }
    if (response.mode == FakeResponse::Hang)
        return; // stays busy until the client goes away
    QPointer<QTcpSocket> guard(socket);
    auto send = [this, guard, response]() {
        if (!guard)
            return;
        auto it = connections.find(guard.data());
        if (it == connections.end())
            return;
        it->busy = false;
        finishRequest();
        if (response.mode == FakeResponse::Drop) {
            guard->abort();
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
            + (response.reason.isEmpty() ? reasonPhrase(response.status) : response.reason)
            + "\r\n";
        head += "Content-Type: " + response.contentType + "\r\n";
        if (response.mode == FakeResponse::Stream) {
            if (response.chunked)
                head += "Transfer-Encoding: chunked\r\n";
            else if (response.announcedLength >= 0)
                head += "Content-Length: " + QByteArray::number(response.announcedLength) + "\r\n";
            for (const auto &h : response.headers)
                head += h.first + ": " + h.second + "\r\n";
            head += "Connection: close\r\n\r\n";
            it->busy = true;
            ++pending;
            it->streaming = true;
            it->stream.prefix = response.body;
            it->stream.length = response.streamLength;
            it->stream.announced = response.announcedLength >= 0;
            it->stream.trickleMs = response.trickleMs;
            it->stream.trickleBytes = response.trickleBytes;
            it->stream.chunked = response.chunked;
            it->stream.clock.start();
            guard->write(head);
            if (response.trickleMs > 0) {
                auto *tick = new QTimer(guard.data());
                connect(tick, &QTimer::timeout, this, [this, guard]() {
                    if (guard)
                        pump(guard.data(), true);
                });
                tick->start(response.trickleMs);
            } else {
                pump(guard.data(), false);
            }
            return;
        }
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        for (const auto &h : response.headers)
            head += h.first + ": " + h.second + "\r\n";
        head += "Connection: keep-alive\r\n\r\n";
        guard->write(head + response.body);
        // A pipelined or queued request may already wait in the buffer.
        if (!it->buffer.isEmpty())
            QTimer::singleShot(0, this, [this, guard]() {
                if (guard)
                    onReadyRead(guard.data());
            });
    };
    if (response.readyWhen) {
        auto *poll = new QTimer(socket);
        connect(poll, &QTimer::timeout, this, [poll, response, send]() {
            if (!response.readyWhen())
                return;
            poll->deleteLater();
            poll->stop();
            send();
        });
        poll->start(10);
    } else if (response.delayMs > 0) {
        QTimer::singleShot(response.delayMs, this, send);
    } else {
        send();
    }
}

void FakeHttpServer::pump(QTcpSocket *socket, bool tick)
{
    auto it = connections.find(socket);
    if (it == connections.end() || !it->streaming)
        return;
    Stream &s = it->stream;
    if (s.trickleMs > 0 && !tick)
        return;
    static const QByteArray filler(64 * 1024, 'x');
    // Trickling: a few bytes per tick. Otherwise: keep a few chunks queued, no more, so an
    // endless body costs the fake no memory.
    const qint64 perCall = s.trickleMs > 0 ? s.trickleBytes : Q_INT64_C(1) << 62;
    qint64 budget = perCall;
    if (paceBytesPerSecond > 0 && s.trickleMs == 0 && s.clock.elapsed() < paceMs) {
        // What the time since the start allows, the rest a moment later.
        budget = paceBytesPerSecond * s.clock.nsecsElapsed() / 1000000000 - s.sent;
        if (budget <= 0) {
            if (!s.wakeQueued) {
                s.wakeQueued = true;
                QPointer<QTcpSocket> guard(socket);
                QTimer::singleShot(2, Qt::PreciseTimer, this, [this, guard]() {
                    if (!guard)
                        return;
                    auto again = connections.find(guard.data());
                    if (again == connections.end())
                        return;
                    again->stream.wakeQueued = false;
                    pump(guard.data(), false);
                });
            }
            return;
        }
    }
    while (budget > 0 && (s.trickleMs > 0 || socket->bytesToWrite() < 256 * 1024)) {
        if (s.length >= 0 && s.sent >= s.length)
            break;
        qint64 n = filler.size();
        if (s.length >= 0)
            n = qMin(n, s.length - s.sent);
        n = qMin(n, budget);
        QByteArray chunk;
        if (s.sent < s.prefix.size()) {
            chunk = s.prefix.mid(int(s.sent), int(n));
        } else {
            chunk = filler.left(int(n));
        }
        if (s.chunked)
            socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        else
            socket->write(chunk);
        s.sent += chunk.size();
        streamed += chunk.size();
        budget -= chunk.size();
    }
    if (s.length >= 0 && s.sent >= s.length)
        endStream(socket);
}

void FakeHttpServer::endStream(QTcpSocket *socket)
{
    auto it = connections.find(socket);
    if (it == connections.end() || !it->streaming)
        return;
    it->streaming = false;
    it->busy = false;
    finishRequest();
    if (it->stream.chunked)
        socket->write("0\r\n\r\n");
    for (QTimer *tick : socket->findChildren<QTimer *>())
        tick->deleteLater();
    // Without a length the body ends with the connection.
    if (!it->stream.announced)
        socket->disconnectFromHost();
}
