#include "RadioPicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QMutex>
#include <QObject>
#include <QRunnable>
#include <QThreadPool>

#include <memory>

namespace RadioPicture {

qint64 maxPixels(Use use)
{
    switch (use) {
    case Use::Thumbnail:
    case Use::Viewer:
        return qint64(4096) * 4096; // a 12 MP photo still shows
    case Use::Icon:
        return qint64(1024) * 1024;
    case Use::Screenshot:
        return qint64(2048) * 2048;
    }
    return 0;
}

// Raster formats whose readers give the size from the header. Vector pictures are left
// out: their cost is not bounded by their pixels.
static bool acceptedFormat(const QByteArray &format)
{
    return format == "png" || format == "jpeg" || format == "jpg" || format == "gif"
        || format == "bmp";
}

Result decode(const QByteArray &data, Use use, const QSize &fitInto)
{
    Result result;
    QByteArray bytes = data; // shared, not copied
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return result;
    QImageReader reader(&buffer);
    if (!acceptedFormat(reader.format()))
        return result;
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return result;
    result.declaredSize = size;
    if (qint64(size.width()) * size.height() > maxPixels(use)) {
        result.status = Status::TooLarge;
        return result;
    }
    if (fitInto.isValid() && !fitInto.isEmpty())
        reader.setScaledSize(size.scaled(fitInto, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return result;
    result.status = Status::Ok;
    result.image = image;
    return result;
}

namespace {

// Hands a worker's result to the GUI side only while the receiver still exists: the
// receiver's destructor and the hand-over exclude each other.
struct Delivery
{
    QMutex mutex;
    QObject *receiver = nullptr;
};

class Receiver : public QObject
{
public:
    Receiver(QObject *parent, std::shared_ptr<Delivery> delivery)
        : QObject(parent)
        , delivery(std::move(delivery))
    {
        this->delivery->receiver = this;
    }
    ~Receiver() override
    {
        QMutexLocker lock(&delivery->mutex);
        delivery->receiver = nullptr;
    }

private:
    std::shared_ptr<Delivery> delivery;
};

QThreadPool *decodePool()
{
    // Never destroyed: a decode still running at exit must not be waited for.
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(2);
        return p;
    }();
    return pool;
}

} // namespace

void decodeLater(QObject *context, const QByteArray &data, Use use, const QSize &fitInto,
                 std::function<void(const Result &)> done)
{
    auto delivery = std::make_shared<Delivery>();
    new Receiver(context, delivery);
    decodePool()->start(QRunnable::create([delivery, data, use, fitInto, done]() {
        const Result result = decode(data, use, fitInto);
        QMutexLocker lock(&delivery->mutex);
        QObject *receiver = delivery->receiver;
        if (!receiver)
            return;
        QMetaObject::invokeMethod(
            receiver,
            [receiver, done, result]() {
                receiver->deleteLater();
                done(result);
            },
            Qt::QueuedConnection);
    }));
}

} // namespace RadioPicture
