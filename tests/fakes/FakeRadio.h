#pragma once

#include "FakeHttpServer.h"

#include <QNetworkReply>
#include <QThread>

#include <functional>

// The fake Kelo radio: a FakeHttpServer that already answers discovery like a radio.
// Tests add or replace routes for the paths they exercise.
class FakeRadio : public FakeHttpServer
{
    Q_OBJECT
public:
    explicit FakeRadio(QObject *parent = nullptr);

    void setInfo(const QString &network, const QString &model);
    void setSerialBody(const QByteArray &body);
};

// A FakeRadio on a thread of its own, on loopback: it goes on sending while the test's thread
// is busy, as a real radio does, so a flood that outruns the reader shows. Everything the test
// asks of it runs on its thread.
class ThreadedFakeRadio
{
public:
    explicit ThreadedFakeRadio(const std::function<void(FakeRadio &)> &setup);
    ~ThreadedFakeRadio();

    bool isListening() const { return !addr.isEmpty(); }
    QString address() const { return addr; }
    int openConnections();
    int cutStreams();
    qint64 streamedBytes();
    int countFor(const QByteArray &path);
    // Drops every connection and stops listening.
    void close();

private:
    template<typename F> auto call(F f) -> decltype(f())
    {
        decltype(f()) result {};
        QMetaObject::invokeMethod(
            radio, [&]() { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }

    QThread thread;
    FakeRadio *radio;
    QString addr;
};

// One request sent by send() to radio, whose answer floods, until the reply finished: what it
// ended with, the most it held unread, how far this process's memory grew meanwhile, and
// whether the flood's connection was closed by the client. Should memory grow past cutMb, the
// radio is cut off so that a regression fails the test instead of exhausting the machine.
struct FloodOutcome
{
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    qint64 mostHeld = 0;
    qint64 growthMb = 0;
    bool connectionClosed = false;
    bool cutOff = false;
};
FloodOutcome floodOnce(ThreadedFakeRadio &radio, const std::function<QNetworkReply *()> &send,
                       long cutMb = 1024);
// floodOnce twenty times, each run held to the cut of an answer that is too large: the reply
// ended cancelled, tooLarge(reply) when it finished, its connection closed, at most 3 MiB
// held unread (1 MiB and the 2 MiB read window) and memory grown at most 256 MB. Fails the
// running test at the first run that falls short (check QTest::currentTestFailed()).
void checkFloodsAreCut(ThreadedFakeRadio &radio, const std::function<QNetworkReply *()> &send,
                       const std::function<bool(QNetworkReply *)> &tooLarge);
