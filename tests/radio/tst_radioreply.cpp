// The bounded reader against the in-process fake on loopback: every kind of answer is cut
// at its limit or its deadline, and the next good answer is read whole.
#include "FakeHttpServer.h"
#include "FakeRadio.h"
#include "RadioApi.h"
#include "RadioReply.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QtTest>

using Kind = RadioReply::Kind;
Q_DECLARE_METATYPE(Kind)

namespace {

enum class Fault {
    Endless,
    Oversized,
    HugeLength,
    Trickle,
    SteadyMegabyte,
    LateSteadyUnannounced,
    ExactLimit,
    ExactUnannounced,
    OneOver
};

struct Outcome
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    bool tooLarge = false;
    QString errorString;
    qint64 maxBuffered = 0; // the most the reply held unread at any time
    qint64 elapsedMs = 0;
    QByteArray body;
};

Outcome fetch(QNetworkAccessManager *manager, const QString &address, Kind kind, int timeoutMs)
{
    Outcome out;
    QElapsedTimer clock;
    clock.start();
    QNetworkReply *reply
        = RadioApi::get(manager, address, QStringLiteral("/answer"), timeoutMs, kind);
    auto note = [&out, reply]() {
        out.maxBuffered = qMax(out.maxBuffered, reply->bytesAvailable());
    };
    QObject::connect(reply, &QNetworkReply::readyRead, note);
    QObject::connect(reply, &QNetworkReply::downloadProgress, note);
    bool finished = false;
    QObject::connect(reply, &QNetworkReply::finished, [&]() {
        note();
        finished = true;
        out.error = reply->error();
        out.tooLarge = RadioReply::tooLarge(reply);
        out.errorString = RadioReply::errorString(reply);
        out.elapsedMs = clock.elapsed();
        out.body = RadioReply::body(reply);
    });
    if (!QTest::qWaitFor([&]() { return finished; }, 60000))
        qWarning("no end within 60 s");
    reply->deleteLater();
    return out;
}

} // namespace

class RadioReplyTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::unsetProxies(); }
    void cleanup();
    void limitsTable();
    void budgets_data();
    void budgets();
    void faultyAnswers_data();
    void faultyAnswers();
    void tooLargeSaysSo();
    void announcedLengthRefused_data();
    void announcedLengthRefused();
    void timeOutSaysSo_data();
    void timeOutSaysSo();
    void logTakenAsItArrives();
    void floodsAreCut_data();
    void floodsAreCut();
    void lateGuardStillFreesTheConnection();
};

void RadioReplyTest::cleanup()
{
    for (Kind kind : {Kind::Text, Kind::Picture, Kind::Log})
        RadioReply::setMaxBytesForTesting(kind, 0);
}

void RadioReplyTest::limitsTable()
{
    QCOMPARE(RadioReply::limit(Kind::Text).maxBytes, Q_INT64_C(1048576));
    QCOMPARE(RadioReply::limit(Kind::Picture).maxBytes, Q_INT64_C(33554432));
    QCOMPARE(RadioReply::limit(Kind::Log).maxBytes, Q_INT64_C(1073741824));
    QCOMPARE(RadioReply::limit(Kind::Text).minBytesPerSecond, Q_INT64_C(0));
    QCOMPARE(RadioReply::limit(Kind::Picture).minBytesPerSecond, Q_INT64_C(0));
    QCOMPARE(RadioReply::limit(Kind::Log).minBytesPerSecond, Q_INT64_C(65536));
}

void RadioReplyTest::budgets_data()
{
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("budgetMs");
    QTest::newRow("nothing announced") << 10000 << Q_INT64_C(0) << Q_INT64_C(10000);
    QTest::newRow("64 KiB adds a second") << 10000 << Q_INT64_C(65536) << Q_INT64_C(11000);
    // A 300 MB log may take 80 minutes at the slowest allowed rate.
    QTest::newRow("300 MiB log") << 10000 << Q_INT64_C(314572800) << Q_INT64_C(4810000);
    QTest::newRow("upload of 1 MiB") << 15000 << Q_INT64_C(1048576) << Q_INT64_C(31000);
}

void RadioReplyTest::budgets()
{
    QFETCH(int, timeoutMs);
    QFETCH(qint64, bytes);
    QFETCH(qint64, budgetMs);
    QCOMPARE(RadioReply::budgetMs(timeoutMs, bytes), budgetMs);
}

void RadioReplyTest::faultyAnswers_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<qint64>("maxBytes"); // 0: the table's
    QTest::addColumn<QString>("expected"); // "too large", "deadline" or "ok"

    const struct
    {
        const char *name;
        Kind kind;
    } kinds[] = {{"text", Kind::Text}, {"picture", Kind::Picture}, {"log", Kind::Log}};
    // Time-outs wide enough for a sanitized build on a busy machine to read 32 MiB.
    for (const auto &k : kinds) {
        const QByteArray n(k.name);
        // A log body of a gigabyte is not sent here: the endless log is cut at 4 MiB.
        const qint64 endlessLimit = k.kind == Kind::Log ? 4 * 1024 * 1024 : 0;
        QTest::newRow(n + ": endless body")
            << k.kind << int(Fault::Endless) << 30000 << endlessLimit << "too large";
        QTest::newRow(n + ": oversized body announced")
            << k.kind << int(Fault::Oversized) << 30000 << Q_INT64_C(0) << "too large";
        QTest::newRow(n + ": huge Content-Length")
            << k.kind << int(Fault::HugeLength) << 30000 << Q_INT64_C(0) << "too large";
        // A byte every 100 ms never trips the inactivity time-out; the deadline ends it.
        QTest::newRow(n + ": trickle")
            << k.kind << int(Fault::Trickle) << 700 << Q_INT64_C(0) << "deadline";
        QTest::newRow(n + ": exactly the limit")
            << k.kind << int(Fault::ExactLimit) << 30000 << endlessLimit << "ok";
        QTest::newRow(n + ": exactly the limit, unannounced")
            << k.kind << int(Fault::ExactUnannounced) << 30000 << endlessLimit << "ok";
        QTest::newRow(n + ": one byte over the limit, unannounced")
            << k.kind << int(Fault::OneOver) << 30000 << endlessLimit << "too large";
    }
    // 1 MiB in 64 KiB steps every 50 ms outlasts a 300 ms time-out: only a log's budget
    // grows with its length.
    QTest::newRow("text: steady megabyte past the time-out")
        << Kind::Text << int(Fault::SteadyMegabyte) << 300 << Q_INT64_C(0) << "deadline";
    QTest::newRow("log: steady megabyte past the time-out")
        << Kind::Log << int(Fault::SteadyMegabyte) << 300 << Q_INT64_C(0) << "ok";
    // The same unannounced, its first byte 300 ms into a 500 ms time-out: a log's budget grows
    // with the bytes received.
    QTest::newRow("text: starts late, then flows unannounced")
        << Kind::Text << int(Fault::LateSteadyUnannounced) << 500 << Q_INT64_C(0) << "deadline";
    QTest::newRow("log: starts late, then flows unannounced")
        << Kind::Log << int(Fault::LateSteadyUnannounced) << 500 << Q_INT64_C(0) << "ok";
}

void RadioReplyTest::faultyAnswers()
{
    QFETCH(Kind, kind);
    QFETCH(int, fault);
    QFETCH(int, timeoutMs);
    QFETCH(qint64, maxBytes);
    QFETCH(QString, expected);

    RadioReply::setMaxBytesForTesting(kind, maxBytes);
    const qint64 limit = RadioReply::limit(kind).maxBytes;

    FakeHttpServer server;
    QVERIFY(server.listen());
    QByteArray exactBody;
    switch (Fault(fault)) {
    case Fault::Endless:
        server.setResponse("/answer", FakeResponse::endless("{\"list\":[\""));
        break;
    case Fault::Oversized:
        server.setResponse("/answer", FakeResponse::oversized(limit + 1024 * 1024));
        break;
    case Fault::HugeLength:
        server.setResponse("/answer", FakeResponse::hugeLength());
        break;
    case Fault::Trickle:
        server.setResponse("/answer", FakeResponse::trickle(QByteArray(200, 'a'), 100));
        break;
    case Fault::SteadyMegabyte:
        server.setResponse("/answer",
                           FakeResponse::trickle(QByteArray(1024 * 1024, 'm'), 50, 64 * 1024));
        break;
    case Fault::LateSteadyUnannounced: {
        FakeResponse r = FakeResponse::trickle(QByteArray(1024 * 1024, 'm'), 50, 64 * 1024);
        r.announcedLength = -1;
        server.setResponse("/answer", r.delayed(300));
        break;
    }
    case Fault::ExactLimit:
        exactBody = QByteArray(int(limit), 'e');
        server.setResponse("/answer", FakeResponse::bytes(exactBody, "text/plain"));
        break;
    case Fault::ExactUnannounced: {
        FakeResponse r = FakeResponse::endless();
        r.streamLength = limit;
        server.setResponse("/answer", r);
        exactBody = QByteArray(int(limit), 'x');
        break;
    }
    case Fault::OneOver: {
        FakeResponse r = FakeResponse::endless();
        r.streamLength = limit + 1;
        server.setResponse("/answer", r);
        break;
    }
    }

    QNetworkAccessManager manager;
    const Outcome bad = fetch(&manager, server.address(), kind, timeoutMs);
    if (expected == QLatin1String("ok")) {
        QCOMPARE(bad.error, QNetworkReply::NoError);
        if (!exactBody.isEmpty())
            QCOMPARE(bad.body, exactBody);
        else
            QCOMPARE(bad.body.size(), 1024 * 1024);
    } else {
        QCOMPARE(bad.error, QNetworkReply::OperationCanceledError);
        QCOMPARE(bad.tooLarge, expected == QLatin1String("too large"));
        // Never much more than the limit held.
        QVERIFY2(bad.maxBuffered <= limit + 2 * 1024 * 1024,
                 qPrintable(QString::number(bad.maxBuffered)));
        if (expected == QLatin1String("deadline")) {
            QVERIFY2(bad.elapsedMs >= timeoutMs - 50, qPrintable(QString::number(bad.elapsedMs)));
            QVERIFY2(bad.elapsedMs < timeoutMs + 2000, qPrintable(QString::number(bad.elapsedMs)));
        }
    }

    // The same kind of request works again with a sane answer.
    server.setResponse("/answer", FakeResponse::json("{\"list\":[]}"));
    const Outcome good = fetch(&manager, server.address(), kind, timeoutMs);
    QCOMPARE(good.error, QNetworkReply::NoError);
    QCOMPARE(good.body, QByteArray("{\"list\":[]}"));
}

void RadioReplyTest::tooLargeSaysSo()
{
    FakeHttpServer server;
    QVERIFY(server.listen());
    server.setResponse("/answer", FakeResponse::hugeLength());
    QNetworkAccessManager manager;
    const Outcome bad = fetch(&manager, server.address(), Kind::Text, 3000);
    QVERIFY(bad.tooLarge);
    QCOMPARE(bad.errorString, QStringLiteral("The radio's answer was too large"));

    server.setResponse("/answer", FakeResponse::error(404));
    const Outcome missing = fetch(&manager, server.address(), Kind::Text, 3000);
    QVERIFY(!missing.tooLarge);
    QVERIFY(missing.errorString.contains(QStringLiteral("Not Found")));
}

void RadioReplyTest::announcedLengthRefused_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<qint64>("announced");
    QTest::addColumn<bool>("twice"); // the length in two Content-Length lines
    QTest::addColumn<bool>("refused");
    // The limits: texts 1 MiB, pictures 32 MiB, logs 1 GiB.
    QTest::newRow("text, 1 MiB + 1") << Kind::Text << Q_INT64_C(1048577) << false << true;
    QTest::newRow("text, 1 MiB") << Kind::Text << Q_INT64_C(1048576) << false << false;
    QTest::newRow("picture, 32 MiB + 1") << Kind::Picture << Q_INT64_C(33554433) << false << true;
    QTest::newRow("picture, 32 MiB") << Kind::Picture << Q_INT64_C(33554432) << false << false;
    QTest::newRow("log, 1 GiB + 1") << Kind::Log << Q_INT64_C(1073741825) << false << true;
    QTest::newRow("log, 1 GiB") << Kind::Log << Q_INT64_C(1073741824) << false << false;
    // Qt's reply header then reads "N, N", no number; its HTTP layer takes the first line,
    // and so does the progress total.
    QTest::newRow("text, 1 MiB + 1 twice") << Kind::Text << Q_INT64_C(1048577) << true << true;
    QTest::newRow("picture, 32 MiB + 1 twice")
        << Kind::Picture << Q_INT64_C(33554433) << true << true;
    QTest::newRow("log, 1 GiB + 1 twice") << Kind::Log << Q_INT64_C(1073741825) << true << true;
}

// The radio announces a length and then stalls after ten bytes (no byte at all with a single
// line): an announcement past the limit is refused at once, not after the time-out.
void RadioReplyTest::announcedLengthRefused()
{
    QFETCH(Kind, kind);
    QFETCH(qint64, announced);
    QFETCH(bool, twice);
    QFETCH(bool, refused);
    FakeHttpServer server;
    QVERIFY(server.listen());
    FakeResponse stall = FakeResponse::trickle(QByteArray(10, 'a'), 200, 10);
    stall.announcedLength = announced;
    if (twice)
        stall.headers.append({"Content-Length", QByteArray::number(announced)});
    else
        stall.streamLength = 0;
    server.setResponse("/answer", stall);
    QNetworkAccessManager manager;
    const Outcome out = fetch(&manager, server.address(), kind, 3000);
    QCOMPARE(out.error, QNetworkReply::OperationCanceledError);
    QCOMPARE(out.tooLarge, refused);
    if (refused)
        QVERIFY2(out.elapsedMs < 2000, qPrintable(QString::number(out.elapsedMs)));
    else
        QCOMPARE(out.errorString, QStringLiteral("The radio did not answer in time"));
}

void RadioReplyTest::timeOutSaysSo_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("timedOut");
    QTest::newRow("no answer: the inactivity time-out") << 0 << true;
    QTest::newRow("a byte every 100 ms: the deadline") << 1 << true;
    QTest::newRow("not found") << 2 << false;
    QTest::newRow("connection dropped") << 3 << false;
}

void RadioReplyTest::timeOutSaysSo()
{
    QFETCH(int, answer);
    QFETCH(bool, timedOut);
    FakeHttpServer server;
    QVERIFY(server.listen());
    const FakeResponse answers[]
        = {FakeResponse::hang(), FakeResponse::trickle(QByteArray(200, 'a'), 100),
           FakeResponse::error(404), FakeResponse::drop()};
    server.setResponse("/answer", answers[answer]);
    QNetworkAccessManager manager;
    const Outcome out = fetch(&manager, server.address(), Kind::Text, 600);
    QVERIFY(out.error != QNetworkReply::NoError);
    QVERIFY(!out.tooLarge);
    if (timedOut)
        QCOMPARE(out.errorString, QStringLiteral("The radio did not answer in time"));
    else
        QVERIFY2(!out.errorString.contains(QStringLiteral("in time")) && !out.errorString.isEmpty(),
                 qPrintable(out.errorString));
    QVERIFY(!out.errorString.contains(QStringLiteral("Operation canceled")));
}

void RadioReplyTest::logTakenAsItArrives()
{
    // Eight megabytes of a counting pattern: every byte must come through once, in order.
    QByteArray log(8 * 1024 * 1024, '\0');
    for (int i = 0; i < log.size(); ++i)
        log[i] = char(i * 7 + i / 251);
    FakeHttpServer server;
    QVERIFY(server.listen());
    server.setResponse("/answer", FakeResponse::bytes(log, "application/octet-stream"));
    QNetworkAccessManager manager;
    QNetworkReply *reply
        = RadioApi::get(&manager, server.address(), QStringLiteral("/answer"), 10000, Kind::Log);
    qint64 mostHeld = 0;
    connect(reply, &QNetworkReply::readyRead, this,
            [&]() { mostHeld = qMax(mostHeld, reply->bytesAvailable()); });
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 20000);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(mostHeld, Q_INT64_C(0)); // nothing left waiting in the reply
    QVERIFY(reply->readAll().isEmpty());
    QCOMPARE(RadioReply::body(reply), log);
    QVERIFY(RadioReply::body(reply).isEmpty()); // handed over once
    delete reply;

    // Other kinds leave the bytes in the reply.
    server.setResponse("/answer", FakeResponse::json("{\"list\":[]}"));
    reply = RadioApi::get(&manager, server.address(), QStringLiteral("/answer"), 3000, Kind::Text);
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
    QCOMPARE(RadioReply::body(reply), QByteArray("{\"list\":[]}"));
    delete reply;
}

void RadioReplyTest::floodsAreCut_data()
{
    QTest::addColumn<bool>("chunked");
    QTest::newRow("chunked") << true;
    QTest::newRow("until the connection closes") << false;
}

// A radio on a thread of its own floods the app list faster than it can be read, twenty
// times: each answer is refused at 1 MiB, the connection closed, memory bounded.
void RadioReplyTest::floodsAreCut()
{
    QFETCH(bool, chunked);
    ThreadedFakeRadio radio([chunked](FakeRadio &r) {
        r.setResponse("/app/list",
                      chunked ? FakeResponse::endlessChunked(R"({"list":[")")
                              : FakeResponse::endless(R"({"list":[")"));
        // A GET starts inside get(), before its window can be set: its first 100 ms come at a
        // link's pace (under the 1 MiB limit), so that a test thread slow to bind the guard
        // is not outrun before it. The flood past the limit is at full speed.
        r.setStreamPace(FakeHttpServer::WifiBytesPerSecond, 100);
    });
    QVERIFY(radio.isListening());
    QNetworkAccessManager manager;
    checkFloodsAreCut(
        radio,
        [&]() {
            return RadioApi::get(&manager, radio.address(), QStringLiteral("/app/list"), 10000,
                                 Kind::Text);
        },
        RadioReply::tooLarge);
}

// The guard is bound right after the request is sent, and the request may already have
// started on Qt's network thread. With the GUI thread held for a while in between, a flood on
// a kept connection arrives before the guard's read-buffer size does: the guard still refuses
// it at 1 MiB, and the next answer comes. The radio's answer opens at a link's pace; one from
// the same machine, outpacing Qt's reader from its first byte, would hold the network thread
// (which reads until the socket is empty) and with it every other request.
void RadioReplyTest::lateGuardStillFreesTheConnection()
{
    ThreadedFakeRadio radio([](FakeRadio &r) {
        r.setResponse("/ok", FakeResponse::json("{}"));
        r.setResponse("/flood", FakeResponse::endless(R"({"list":[")"));
        r.setStreamPace(FakeHttpServer::WifiBytesPerSecond, FakeHttpServer::PacedStartMs);
    });
    QVERIFY(radio.isListening());
    QNetworkAccessManager manager;
    auto fetchOk = [&]() {
        QScopedPointer<QNetworkReply> ok(
            RadioApi::get(&manager, radio.address(), QStringLiteral("/ok"), 10000, Kind::Text));
        return QTest::qWaitFor([&ok]() { return ok->isFinished(); }, 3000)
            && RadioReply::body(ok.data()) == "{}";
    };
    for (int round = 0; round < 5; ++round) {
        QVERIFY(fetchOk()); // leaves a kept connection for the flood
        QNetworkRequest request(QUrl(QStringLiteral("http://%1/flood").arg(radio.address())));
        request.setTransferTimeout(10000);
        QScopedPointer<QNetworkReply> flood(manager.get(request));
        QThread::msleep(20); // the GUI thread busy elsewhere
        RadioReply::bound(flood.data(), Kind::Text, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(flood->isFinished(), 10000);
        QVERIFY(RadioReply::tooLarge(flood.data()));
        flood.reset();
        QVERIFY2(fetchOk(), qPrintable(QStringLiteral("round %1").arg(round)));
        // Closed by the program, not read on and thrown away.
        QTRY_COMPARE_WITH_TIMEOUT(radio.cutStreams(), round + 1, 2000);
    }
}

QTEST_GUILESS_MAIN(RadioReplyTest)
#include "tst_radioreply.moc"
