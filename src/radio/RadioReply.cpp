#include "RadioReply.h"

#include "ReplyReadLimit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>

#include <climits>

namespace RadioReply {

static const char TooLargeProperty[] = "radio_answer_too_large";
static const char TimedOutProperty[] = "radio_answer_timed_out";
static const char GuardName[] = "radio_reply_guard";

// Slowest average rate allowed beyond a transfer's time-out. A radio on Wi-Fi is far
// faster; a host that trickles a byte a second misses its deadline.
static constexpr qint64 MinBytesPerSecond = 64 * 1024;

static qint64 maxBytesOverride[3] = {0, 0, 0};

// A header alone must not claim a gigabyte before any byte came.
static constexpr qint64 MaxEarlyReserve = 64 * 1024 * 1024;

Limit limit(Kind kind)
{
    // Wide margins over what a radio sends: JSON and texts of a few hundred bytes,
    // pictures of a few hundred kB, logs of a few hundred MB. A log stays below 1 GiB
    // so that it still fits one QByteArray.
    Limit row;
    switch (kind) {
    case Kind::Text:
        row = {1024 * 1024, 0};
        break;
    case Kind::Picture:
        row = {32 * 1024 * 1024, 0};
        break;
    case Kind::Log:
        row = {qint64(1024) * 1024 * 1024, MinBytesPerSecond, true};
        break;
    }
    if (const qint64 forced = maxBytesOverride[int(kind)])
        row.maxBytes = forced;
    return row;
}

qint64 budgetMs(int timeoutMs, qint64 bytes)
{
    return qint64(timeoutMs) + qMax<qint64>(bytes, 0) * 1000 / MinBytesPerSecond;
}

namespace {

// Lives as a child of its reply and watches it until it finishes.
class ReplyGuard : public QObject
{
    Q_OBJECT
public:
    ReplyGuard(QNetworkReply *reply, Kind kind, int timeoutMs, qint64 uploadBytes)
        : QObject(reply)
        , reply(reply)
        , row(limit(kind))
        , timeoutMs(timeoutMs)
        , uploadBytes(uploadBytes)
    {
        setObjectName(QLatin1String(GuardName));
        // Past the limit by more than a read's worth, so the limit is always passed and seen.
        // An answer taken as it arrives keeps a small window instead: without one, the network
        // thread would queue the whole answer's pieces faster than the window takes them.
        ReplyReadLimit::keep(reply,
                             row.readAsItArrives ? ReplyReadLimit::Slack
                                                 : row.maxBytes + ReplyReadLimit::Slack);
        connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyGuard::onMetaDataChanged);
        connect(reply, &QNetworkReply::readyRead, this, &ReplyGuard::onReadyRead);
        connect(reply, &QNetworkReply::downloadProgress, this, &ReplyGuard::onDownloadProgress);
        connect(reply, &QNetworkReply::uploadProgress, this, [this](qint64 sent) {
            if (sent > uploaded) {
                uploaded = sent;
                activity.start();
            }
        });
        connect(reply, &QNetworkReply::finished, this, &ReplyGuard::onFinished);
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, this, &ReplyGuard::onDeadline);
        clock.start();
        activity.start();
        armDeadline();
    }

    bool collects() const { return row.readAsItArrives; }
    QByteArray takeCollected() { return std::move(collected); }

private:
    // Qt's own inactivity time-out also ends a reply as "Operation canceled": told apart by
    // the time the reply stood still.
    void onFinished()
    {
        if (!stopped && !reply->property(TooLargeProperty).toBool()) {
            const QNetworkReply::NetworkError error = reply->error();
            const qint64 idle = activity.elapsed();
            if (error == QNetworkReply::TimeoutError
                || (error == QNetworkReply::OperationCanceledError && timeoutMs > 0
                    && idle + qMax(50, timeoutMs / 10) >= timeoutMs))
                reply->setProperty(TimedOutProperty, true);
        }
        stop(true);
    }

    void onMetaDataChanged()
    {
        activity.start();
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!length.isValid())
            return;
        announced = qMax<qint64>(announced, length.toLongLong());
        if (announced > row.maxBytes) {
            refuse();
            return;
        }
        if (row.readAsItArrives && collected.isEmpty())
            collected.reserve(int(qMin<qint64>(announced, MaxEarlyReserve)));
        armDeadline();
    }

    void onReadyRead()
    {
        if (reply->bytesAvailable() > 0)
            activity.start();
        if (!row.readAsItArrives) {
            onBytes(reply->bytesAvailable());
            return;
        }
        if (stopped)
            return;
        // Taken as it comes, so no single copy of the whole answer is ever made, and read
        // straight into the answer: a piece of its own would be one more copy into fresh
        // memory.
        const qint64 available = reply->bytesAvailable();
        if (collected.size() + available > row.maxBytes) {
            refuse();
            return;
        }
        const int before = collected.size();
        if (before + available > collected.capacity()) {
            // Grown in at most two steps, never by doubling: each step copies the answer so
            // far (a sanitizer's allocator always does, for seconds at half a gigabyte), and
            // memory reserved but not yet written costs nothing. Up to the early reserve
            // first, past it straight to the limit.
            const qint64 wanted = before + available;
            collected.reserve(int(wanted <= MaxEarlyReserve ? qMin(MaxEarlyReserve, row.maxBytes)
                                                            : row.maxBytes));
        }
        collected.resize(before + int(available));
        const qint64 got = reply->read(collected.data() + before, available);
        collected.resize(before + int(qMax<qint64>(got, 0)));
        onBytes(collected.size());
    }

    // Its total is no news: Qt takes it from the Content-Length header, which
    // onMetaDataChanged has seen before any progress.
    void onDownloadProgress(qint64 received)
    {
        // Qt repeats the last progress as it ends a reply: only new bytes are a sign of life.
        if (received > downloaded) {
            downloaded = received;
            activity.start();
        }
        onBytes(received);
    }

    void onBytes(qint64 bytes)
    {
        if (stopped)
            return;
        if (bytes > row.maxBytes) {
            refuse();
            return;
        }
        if (bytes > received) {
            received = bytes;
            if (row.minBytesPerSecond > 0)
                armDeadline();
        }
    }

    void armDeadline()
    {
        if (stopped)
            return;
        qint64 length = uploadBytes;
        if (row.minBytesPerSecond > 0)
            length += qMax(announced, received);
        const qint64 left = budgetMs(timeoutMs, length) - clock.elapsed();
        deadline.start(int(qBound<qint64>(0, left, INT_MAX)));
    }

    void refuse()
    {
        if (stopped)
            return;
        stop(false);
        reply->setProperty(TooLargeProperty, true);
        // Finishes the reply at once with OperationCanceledError; its owner's handler runs.
        reply->abort();
    }

    void onDeadline()
    {
        if (stopped)
            return;
        stop(false);
        reply->setProperty(TimedOutProperty, true);
        // The same ending as the inactivity time-out.
        reply->abort();
    }

    // Giving back a gigabyte takes the system a while: done on a worker thread.
    void releaseCollected()
    {
        if (collected.size() >= 16 * 1024 * 1024)
            QThreadPool::globalInstance()->start(QRunnable::create(
                [dropped = std::move(collected)]() mutable { dropped = QByteArray(); }));
        collected = QByteArray();
    }

    // finished: the reply ended by itself, and a collected answer takes its last piece.
    void stop(bool finished)
    {
        if (finished && !stopped && row.readAsItArrives && reply->error() == QNetworkReply::NoError)
            collected.append(reply->readAll());
        else
            releaseCollected();
        stopped = true;
        deadline.stop();
        disconnect(reply, nullptr, this, nullptr);
    }

    QNetworkReply *reply;
    const Limit row;
    const int timeoutMs;
    const qint64 uploadBytes;
    qint64 announced = 0;
    qint64 received = 0;
    bool stopped = false;
    QByteArray collected;
    QElapsedTimer clock;
    // Since the reply last showed a sign of life.
    QElapsedTimer activity;
    qint64 downloaded = 0;
    qint64 uploaded = 0;
    QTimer deadline;
};

} // namespace

void bound(QNetworkReply *reply, Kind kind, int timeoutMs, qint64 uploadBytes)
{
    if (reply)
        new ReplyGuard(reply, kind, timeoutMs, uploadBytes);
}

QByteArray body(QNetworkReply *reply)
{
    if (!reply || reply->error() != QNetworkReply::NoError)
        return QByteArray();
    QObject *guard
        = reply->findChild<QObject *>(QLatin1String(GuardName), Qt::FindDirectChildrenOnly);
    if (guard && static_cast<ReplyGuard *>(guard)->collects())
        return static_cast<ReplyGuard *>(guard)->takeCollected();
    return reply->readAll();
}

bool tooLarge(const QNetworkReply *reply)
{
    return reply && reply->property(TooLargeProperty).toBool();
}

bool timedOut(const QNetworkReply *reply)
{
    return reply && reply->property(TimedOutProperty).toBool();
}

QString tooLargeText()
{
    return QCoreApplication::translate("RadioReply", "The radio's answer was too large");
}

QString timedOutText()
{
    return QCoreApplication::translate("RadioReply", "The radio did not answer in time");
}

QString errorString(const QNetworkReply *reply)
{
    if (!reply)
        return QString();
    if (tooLarge(reply))
        return tooLargeText();
    if (timedOut(reply))
        return timedOutText();
    return reply->errorString();
}

void setMaxBytesForTesting(Kind kind, qint64 maxBytes)
{
    maxBytesOverride[int(kind)] = qMax<qint64>(maxBytes, 0);
}

} // namespace RadioReply

#include "RadioReply.moc"
