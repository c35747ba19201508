// What the program sends to the AI service and what it reads back, against a fake
// service on loopback.
#include "AiServiceApi.h"
#include "FakeHttpServer.h"
#include "TestSupport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

using namespace AiServiceApi;

class AiServiceApiTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::unsetProxies(); }
    void requestsCarryIdentificationOnly();
    void messagesAnswer_data();
    void messagesAnswer();
    void errorTexts_data();
    void errorTexts();
    void usage_data();
    void usage();
};

void AiServiceApiTest::requestsCarryIdentificationOnly()
{
    FakeHttpServer service;
    QVERIFY(service.listen());
    service.setResponse("/v1/messages", FakeResponse::json(R"({"content":[]})"));
    service.setResponse("/v1/usage", FakeResponse::json("{}"));
    setBaseUrl(QUrl(QStringLiteral("http://%1").arg(service.address())));

    QNetworkAccessManager manager;
    const QNetworkRequest withSerial = messagesRequest(QStringLiteral("12-AB-3-4-5-6"));
    QCOMPARE(withSerial.transferTimeout(), 0);
    QNetworkReply *post = manager.post(withSerial, QByteArray(R"({"model":"m"})"));
    QNetworkReply *usageNoSerial = manager.get(usageRequest(QString()));
    QTRY_VERIFY(post->isFinished() && usageNoSerial->isFinished());
    QCOMPARE(post->error(), QNetworkReply::NoError);
    QCOMPARE(usageNoSerial->error(), QNetworkReply::NoError);

    const FakeRequest m = service.requestsFor("/v1/messages").value(0);
    QCOMPARE(m.method, QByteArray("POST"));
    QCOMPARE(m.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(m.header("X-Client-App"), QByteArray("kelo-studio"));
    QCOMPARE(m.header("X-Radio-Serial"), QByteArray("12-AB-3-4-5-6"));
    QVERIFY(m.header("Authorization").isEmpty());
    QCOMPARE(m.body, QByteArray(R"({"model":"m"})"));

    const FakeRequest u = service.requestsFor("/v1/usage").value(0);
    QCOMPARE(u.method, QByteArray("GET"));
    QCOMPARE(u.header("X-Client-App"), QByteArray("kelo-studio"));
    bool hasSerial = false;
    for (const auto &h : u.headers)
        hasSerial |= h.first.compare("X-Radio-Serial", Qt::CaseInsensitive) == 0;
    QVERIFY(!hasSerial);
    delete post;
    delete usageNoSerial;
}

void AiServiceApiTest::messagesAnswer_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("blocks"); // -1 = not an answer
    QTest::addColumn<QString>("firstType");
    QTest::addColumn<QString>("stopReason");
    QTest::newRow("text and tool_use")
        << QByteArray(R"({"content":[{"type":"text","text":"Hi"},)"
                      R"({"type":"tool_use","id":"t1","name":"run_project","input":{"a":1}}],)"
                      R"("stop_reason":"tool_use"})")
        << 2 << "text"
        << "tool_use";
    QTest::newRow("empty content") << QByteArray(R"({"content":[]})") << 0 << ""
                                   << "";
    QTest::newRow("cut off") << QByteArray(
        R"({"content":[{"type":"text","text":"x"}],"stop_reason":"max_tokens"})")
                             << 1 << "text"
                             << "max_tokens";
    QTest::newRow("unknown block kept")
        << QByteArray(R"({"content":[{"type":"thinking"}]})") << 1 << "thinking"
        << "";
    QTest::newRow("content not an array") << QByteArray(R"({"content":"x"})") << -1 << ""
                                          << "";
    QTest::newRow("no content") << QByteArray(R"({"id":"m"})") << -1 << ""
                                << "";
    QTest::newRow("not JSON") << QByteArray("<html>") << -1 << ""
                              << "";
    QTest::newRow("truncated") << QByteArray(R"({"content":[{"type":"te)") << -1 << ""
                               << "";
}

void AiServiceApiTest::messagesAnswer()
{
    QFETCH(QByteArray, body);
    QFETCH(int, blocks);
    QFETCH(QString, firstType);
    const auto kept = readMessagesAnswer(body);
    QCOMPARE(kept.has_value(), blocks >= 0);
    if (kept) {
        QCOMPARE(kept->content.size(), blocks);
        QTEST(kept->stopReason, "stopReason");
    }
    const auto parsed = parseMessagesAnswer(body);
    QCOMPARE(parsed.has_value(), blocks >= 0);
    if (!parsed)
        return;
    QCOMPARE(parsed->size(), blocks);
    if (blocks > 0)
        QCOMPARE(parsed->first().type, firstType);
    if (blocks == 2) {
        QCOMPARE(parsed->at(0).text, QStringLiteral("Hi"));
        QCOMPARE(parsed->at(1).id, QStringLiteral("t1"));
        QCOMPARE(parsed->at(1).name, QStringLiteral("run_project"));
        QCOMPARE(parsed->at(1).input.value(QStringLiteral("a")).toInt(), 1);
    }
}

void AiServiceApiTest::errorTexts_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("quota");
    QTest::newRow("message") << QByteArray(R"({"error":{"message":"Bad request"}})")
                             << "Bad request" << false;
    QTest::newRow("quota") << QByteArray(
        R"({"error":{"message":"Your usage limit has been reached."}})")
                           << "Your usage limit has been reached." << true;
    QTest::newRow("error is text") << QByteArray(R"({"error":"x"})") << "" << false;
    QTest::newRow("no body") << QByteArray() << "" << false;
}

void AiServiceApiTest::errorTexts()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    QFETCH(bool, quota);
    QCOMPARE(errorMessage(body), message);
    QCOMPARE(isQuotaExhausted(errorMessage(body)), quota);
}

void AiServiceApiTest::usage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("fourHourTokens");
    QTest::addColumn<int>("fourHourLimit");
    QTest::addColumn<int>("weekTokens");
    QTest::addColumn<int>("weekLimit");
    QTest::addColumn<QString>("plan");
    QTest::addColumn<qint64>("resetAt");
    QTest::newRow("full") << QByteArray(
        R"({"fourHourTokens":10,"fourHourLimit":100,"weekTokens":20,)"
        R"("weekLimit":0,"plan":"Pro","fourHourResetAt":1765400000000})")
                          << 10 << 100 << 20 << 0 << "Pro" << Q_INT64_C(1765400000000);
    // Every key is optional: a partial answer keeps what it has.
    QTest::newRow("only the four-hour figures")
        << QByteArray(R"({"fourHourTokens":4250,"fourHourLimit":5000})") << 4250 << 5000 << 0 << 0
        << "" << Q_INT64_C(0);
    QTest::newRow("empty object") << QByteArray("{}") << 0 << 0 << 0 << 0 << "" << Q_INT64_C(0);
    QTest::newRow("not JSON reads as empty")
        << QByteArray("<html>") << 0 << 0 << 0 << 0 << "" << Q_INT64_C(0);
    QTest::newRow("array reads as empty")
        << QByteArray("[1,2]") << 0 << 0 << 0 << 0 << "" << Q_INT64_C(0);
    QTest::newRow("fraction counts as 0")
        << QByteArray(R"({"fourHourTokens":1.5,"fourHourLimit":7})") << 0 << 7 << 0 << 0 << ""
        << Q_INT64_C(0);
    QTest::newRow("text counts as 0") << QByteArray(R"({"weekTokens":"12","weekLimit":true})") << 0
                                      << 0 << 0 << 0 << "" << Q_INT64_C(0);
    QTest::newRow("32-bit bounds")
        << QByteArray(R"({"fourHourTokens":2147483647,"fourHourLimit":2147483648,)"
                      R"("weekTokens":-2147483648,"weekLimit":-2147483649})")
        << 2147483647 << 0 << -2147483647 - 1 << 0 << "" << Q_INT64_C(0);
    QTest::newRow("huge figure counts as 0")
        << QByteArray(R"({"weekTokens":1e300})") << 0 << 0 << 0 << 0 << "" << Q_INT64_C(0);
    QTest::newRow("reset time cut to whole ms")
        << QByteArray(R"({"fourHourResetAt":1765400000000.9})") << 0 << 0 << 0 << 0 << ""
        << Q_INT64_C(1765400000000);
    QTest::newRow("reset time as text is absent")
        << QByteArray(R"({"fourHourResetAt":"1765400000000"})") << 0 << 0 << 0 << 0 << ""
        << Q_INT64_C(0);
    QTest::newRow("plan not a string")
        << QByteArray(R"({"plan":3})") << 0 << 0 << 0 << 0 << "" << Q_INT64_C(0);
}

void AiServiceApiTest::usage()
{
    QFETCH(QByteArray, body);
    const Usage u = parseUsage(body);
    QTEST(u.fourHourTokens, "fourHourTokens");
    QTEST(u.fourHourLimit, "fourHourLimit");
    QTEST(u.weekTokens, "weekTokens");
    QTEST(u.weekLimit, "weekLimit");
    QTEST(u.plan, "plan");
    QTEST(u.fourHourResetAt, "resetAt");
}

QTEST_GUILESS_MAIN(AiServiceApiTest)
#include "tst_aiserviceapi.moc"
