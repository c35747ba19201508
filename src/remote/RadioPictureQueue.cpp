#include "RadioPictureQueue.h"

#include "RadioApi.h"
#include "RadioReply.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <utility>

RadioPictureQueue::RadioPictureQueue(QNetworkAccessManager *manager)
    : QObject(manager)
    , manager(manager)
{
}

RadioPictureQueue *RadioPictureQueue::of(QNetworkAccessManager *manager)
{
    auto *queue = manager->findChild<RadioPictureQueue *>(QString(), Qt::FindDirectChildrenOnly);
    return queue ? queue : new RadioPictureQueue(manager);
}

void RadioPictureQueue::fetch(QObject *owner, const QString &address, const QString &path,
                              RadioPicture::Use use, const QSize &fitInto, Done done)
{
    if (!watched.contains(owner)) {
        watched.insert(owner);
        connect(owner, &QObject::destroyed, this, [this, owner]() {
            watched.remove(owner);
            cancel(owner);
        });
    }
    QList<Job> &jobs = waiting[owner];
    if (jobs.isEmpty())
        turns.append(owner);
    jobs.append({owner, address, path, use, fitInto, std::move(done)});
    startNext();
}

void RadioPictureQueue::startNext()
{
    while (running.size() < MaxInFlight && !turns.isEmpty()) {
        QObject *owner = turns.takeFirst();
        QList<Job> &jobs = waiting[owner];
        Job job = jobs.takeFirst();
        if (jobs.isEmpty())
            waiting.remove(owner);
        else
            turns.append(owner);
        start(std::move(job));
    }
}

void RadioPictureQueue::start(Job job)
{
    const quint64 id = nextId++;
    QNetworkReply *reply = RadioApi::get(manager, job.address, job.path, RadioApi::CommandTimeoutMs,
                                         RadioReply::Kind::Picture);
    running.insert(id, {std::move(job), reply});
    connect(reply, &QNetworkReply::finished, this, [this, id]() { onReplyFinished(id); });
}

void RadioPictureQueue::onReplyFinished(quint64 id)
{
    const auto it = running.find(id);
    if (it == running.end() || !it->reply)
        return;
    QNetworkReply *reply = std::exchange(it->reply, nullptr);
    reply->deleteLater();
    Picture picture;
    if (reply->error() != QNetworkReply::NoError) {
        picture.tooLarge = RadioReply::tooLarge(reply);
        finish(id, picture);
        return;
    }
    // Decoded off the GUI thread; until then the picture keeps its place, so no more than a
    // few downloaded pictures wait in memory.
    picture.downloaded = true;
    picture.data = RadioReply::body(reply);
    RadioPicture::decodeLater(this, picture.data, it->job.use, it->job.fitInto,
                              [this, id, picture](const RadioPicture::Result &result) mutable {
                                  if (!running.contains(id))
                                      return; // cancelled meanwhile
                                  picture.result = result;
                                  finish(id, picture);
                              });
}

void RadioPictureQueue::finish(quint64 id, const Picture &picture)
{
    const Job job = running.take(id).job;
    job.done(picture);
    startNext();
}

void RadioPictureQueue::cancel(QObject *owner)
{
    waiting.remove(owner);
    turns.removeAll(owner);
    QList<quint64> ids;
    for (auto it = running.cbegin(); it != running.cend(); ++it) {
        if (it->job.owner == owner)
            ids.append(it.key());
    }
    for (quint64 id : qAsConst(ids)) {
        QNetworkReply *reply = running.take(id).reply;
        if (!reply)
            continue;
        // Disconnected first: abort() emits finished at once.
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    startNext();
}
