#pragma once

#include "RadioPicture.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// The radio's pictures (thumbnails, app icons) for every tab of one network manager: at most
// MaxInFlight downloading or decoding at a time, over all tabs together. Qt opens at most six
// connections to a host, and a request's time-out runs while it waits for one: pictures held
// by a slow radio must leave connections to the scanner's re-check (else the radio is
// reported lost), the list requests and the uploads. Tabs with pictures waiting take turns.
class RadioPictureQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxInFlight = 4;

    // What became of one picture.
    struct Picture
    {
        bool downloaded = false; // false: the request failed, timed out or was refused
        bool tooLarge = false; // refused for an answer past a picture's size limit
        QByteArray data; // the downloaded bytes
        RadioPicture::Result result; // decoded, when downloaded
    };
    using Done = std::function<void(const Picture &)>;

    // The manager's one queue, made on first use as its child.
    static RadioPictureQueue *of(QNetworkAccessManager *manager);

    // Downloads path from the radio at address and decodes it for use, fitted into fitInto.
    // done runs once, on this thread, unless owner cancels first or is destroyed.
    void fetch(QObject *owner, const QString &address, const QString &path, RadioPicture::Use use,
               const QSize &fitInto, Done done);
    // Forgets owner's pictures: those waiting are dropped, downloads aborted, decodes ignored;
    // their places go to the others at once.
    void cancel(QObject *owner);

    // Pictures downloading or decoding now.
    int inFlight() const { return running.size(); }

private:
    explicit RadioPictureQueue(QNetworkAccessManager *manager);

    struct Job
    {
        QObject *owner = nullptr;
        QString address;
        QString path;
        RadioPicture::Use use = RadioPicture::Use::Thumbnail;
        QSize fitInto;
        Done done;
    };
    struct Running
    {
        Job job;
        QNetworkReply *reply = nullptr; // null once downloaded, while decoding
    };

    void startNext();
    void start(Job job);
    void onReplyFinished(quint64 id);
    void finish(quint64 id, const Picture &picture);

    QNetworkAccessManager *manager;
    // Owners with pictures waiting, the next turn first.
    QList<QObject *> turns;
    QHash<QObject *, QList<Job>> waiting;
    QHash<quint64, Running> running;
    QSet<QObject *> watched;
    quint64 nextId = 1;
};
