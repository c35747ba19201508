#include "FakeRadio.h"

#include "ProcessMemory.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QtTest>

FakeRadio::FakeRadio(QObject *parent)
    : FakeHttpServer(parent)
{
    setInfo(QStringLiteral("KeloNet"), QStringLiteral("Heli 450"));
    setSerialBody("{12, AB ,3,4,5, 6}\n");
}

void FakeRadio::setInfo(const QString &network, const QString &model)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("network"), network);
    obj.insert(QStringLiteral("ip"), QStringLiteral("10.77.0.2"));
    obj.insert(QStringLiteral("mdlcur"), model);
    setResponse("/system/info", FakeResponse::json(QJsonDocument(obj).toJson()));
}

void FakeRadio::setSerialBody(const QByteArray &body)
{
    setResponse("/system/serial", FakeResponse::text(body));
}

ThreadedFakeRadio::ThreadedFakeRadio(const std::function<void(FakeRadio &)> &setup)
    : radio(new FakeRadio)
{
    setup(*radio);
    radio->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, radio, &QObject::deleteLater);
    thread.start();
    addr = call([this]() { return radio->listen() ? radio->address() : QString(); });
}

ThreadedFakeRadio::~ThreadedFakeRadio()
{
    thread.quit();
    thread.wait();
}

int ThreadedFakeRadio::openConnections()
{
    return call([this]() { return radio->openConnections(); });
}

int ThreadedFakeRadio::cutStreams()
{
    return call([this]() { return radio->cutStreams(); });
}

qint64 ThreadedFakeRadio::streamedBytes()
{
    return call([this]() { return radio->streamedBytes(); });
}

int ThreadedFakeRadio::countFor(const QByteArray &path)
{
    return call([this, path]() { return radio->countFor(path); });
}

void ThreadedFakeRadio::close()
{
    call([this]() {
        radio->close();
        return true;
    });
}

FloodOutcome floodOnce(ThreadedFakeRadio &radio, const std::function<QNetworkReply *()> &send,
                       long cutMb)
{
    FloodOutcome out;
    const int cutBefore = radio.cutStreams();
    const long before = ProcessMemory::rssMb();
    QNetworkReply *reply = send();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        out.mostHeld = qMax(out.mostHeld, reply->bytesAvailable());
        out.growthMb = qMax<qint64>(out.growthMb, ProcessMemory::rssMb() - before);
        if (out.growthMb > cutMb && !out.cutOff) {
            out.cutOff = true;
            radio.close();
        }
    });
    watch.start(5);
    QObject::connect(reply, &QNetworkReply::finished, [&]() {
        out.finished = true;
        out.error = reply->error();
        out.mostHeld = qMax(out.mostHeld, reply->bytesAvailable());
    });
    (void)QTest::qWaitFor([&]() { return out.finished; }, 60000);
    // The client's side of the connection goes once the reply is done with it.
    (void)QTest::qWaitFor([&]() { return radio.cutStreams() > cutBefore; }, 10000);
    watch.stop();
    out.growthMb = qMax<qint64>(out.growthMb, ProcessMemory::rssMb() - before);
    out.connectionClosed = radio.cutStreams() > cutBefore && !out.cutOff;
    delete reply;
    return out;
}

void checkFloodsAreCut(ThreadedFakeRadio &radio, const std::function<QNetworkReply *()> &send,
                       const std::function<bool(QNetworkReply *)> &tooLarge)
{
    for (int run = 1; run <= 20; ++run) {
        bool refused = false;
        const FloodOutcome out = floodOnce(radio, [&]() {
            QNetworkReply *reply = send();
            QObject::connect(reply, &QNetworkReply::finished, reply,
                             [&refused, &tooLarge, reply]() { refused = tooLarge(reply); });
            return reply;
        });
        const QByteArray what = QByteArray("run ") + QByteArray::number(run) + ": held "
            + QByteArray::number(out.mostHeld) + " bytes, grew " + QByteArray::number(out.growthMb)
            + " MB";
        QVERIFY2(!out.cutOff, what.constData());
        QVERIFY2(out.finished, what.constData());
        QCOMPARE(out.error, QNetworkReply::OperationCanceledError);
        QVERIFY2(refused, what.constData());
        QVERIFY2(out.connectionClosed, what.constData());
        QVERIFY2(out.mostHeld <= 3 * 1024 * 1024, what.constData());
        QVERIFY2(out.growthMb <= 256, what.constData());
        if (run == 1 || run == 20)
            qInfo("%s", what.constData());
    }
}
