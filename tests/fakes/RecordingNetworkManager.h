#pragma once

#include "RadioReply.h"

#include <QElapsedTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QStringList>

#include <memory>

// A network manager that notes every request the moment a widget makes it, so tests can
// see send times and request attributes, not only what reached the fake.
class RecordingNetworkManager : public QNetworkAccessManager
{
public:
    struct Sent
    {
        QNetworkRequest request;
        qint64 nsecs = 0; // since the manager was made
        QPointer<QNetworkReply> reply;
        bool finished = false;
        qint64 finishedNsecs = -1; // since the manager was made
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        // The most the reply held unread at any time, and whether it was refused for an
        // answer past its kind's limit.
        qint64 maxBuffered = 0;
        bool tooLarge = false;
    };

    explicit RecordingNetworkManager(QObject *parent = nullptr)
        : QNetworkAccessManager(parent)
    {
        clock.start();
    }

    QList<std::shared_ptr<Sent>> sent;

    QList<std::shared_ptr<Sent>> sentFor(const QString &path) const
    {
        QList<std::shared_ptr<Sent>> out;
        for (const auto &s : sent) {
            if (s->request.url().path() == path)
                out.append(s);
        }
        return out;
    }
    // What the finished requests for path did against the answer limits: refused as too
    // large when that was not expected or the other way round, or holding more than
    // maxBuffered bytes unread. Empty when all went as expected.
    QStringList limitProblems(const QString &path, bool tooLarge, qint64 maxBuffered) const
    {
        QStringList problems;
        for (const auto &s : sentFor(path)) {
            if (!s->finished)
                continue;
            if (s->tooLarge != tooLarge)
                problems << QStringLiteral("%1 %2 refused as too large")
                                .arg(path, tooLarge ? "not" : "was");
            if (s->maxBuffered > maxBuffered)
                problems << QStringLiteral("%1 held %2 bytes").arg(path).arg(s->maxBuffered);
        }
        return problems;
    }
    // For each request to path after the first, how long after the one before it finished it
    // was sent, in ms: what a retry timer decides, without the network's delivery times.
    QList<qint64> msAfterPreviousFinished(const QString &path) const
    {
        QList<qint64> out;
        const auto requests = sentFor(path);
        for (int i = 1; i < requests.size(); ++i) {
            const qint64 finished = requests[i - 1]->finishedNsecs;
            out.append(finished < 0 ? -1 : (requests[i]->nsecs - finished) / 1000000);
        }
        return out;
    }
    int unfinished() const
    {
        int n = 0;
        for (const auto &s : sent)
            n += s->finished ? 0 : 1;
        return n;
    }

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request,
                                 QIODevice *data) override
    {
        auto record = std::make_shared<Sent>();
        record->request = request;
        record->nsecs = clock.nsecsElapsed();
        QNetworkReply *reply = QNetworkAccessManager::createRequest(op, request, data);
        record->reply = reply;
        // Connected before the radio code's own handlers, so the bytes are seen before
        // anyone takes them.
        const auto noteBuffered = [record, reply]() {
            record->maxBuffered = qMax(record->maxBuffered, reply->bytesAvailable());
        };
        connect(reply, &QNetworkReply::readyRead, this, noteBuffered);
        connect(reply, &QNetworkReply::downloadProgress, this, noteBuffered);
        connect(reply, &QNetworkReply::finished, this, [this, record, reply, noteBuffered]() {
            noteBuffered();
            record->tooLarge = RadioReply::tooLarge(reply);
            record->finished = true;
            record->finishedNsecs = clock.nsecsElapsed();
            record->error = reply->error();
        });
        sent.append(record);
        return reply;
    }

private:
    QElapsedTimer clock;
};
