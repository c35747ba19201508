#include "ReplyReadLimit.h"

#include <QMetaMethod>
#include <QNetworkReply>

namespace {

class ReadLimitKeeper : public QObject
{
    Q_OBJECT
public:
    ReadLimitKeeper(QNetworkReply *reply, qint64 bytes)
        : QObject(reply)
        , reply(reply)
        , bytes(bytes)
    {
        apply();
        const int started = reply->metaObject()->indexOfSignal("startHttpRequest()");
        if (started >= 0)
            connect(reply, reply->metaObject()->method(started), this,
                    metaObject()->method(metaObject()->indexOfSlot("onRequestStarting()")));
        onRequestStarting();
    }

private slots:
    // The request is about to start on the network thread: the size goes there after it.
    void onRequestStarting()
    {
        QMetaObject::invokeMethod(this, &ReadLimitKeeper::apply, Qt::QueuedConnection);
    }

private:
    void apply()
    {
        if (!reply->isFinished())
            reply->setReadBufferSize(bytes);
    }

    QNetworkReply *reply;
    qint64 bytes;
};

} // namespace

namespace ReplyReadLimit {

void keep(QNetworkReply *reply, qint64 bytes)
{
    new ReadLimitKeeper(reply, bytes);
}

} // namespace ReplyReadLimit

#include "ReplyReadLimit.moc"
