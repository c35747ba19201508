#include "FakeAppStore.h"

FakeAppStore::FakeAppStore(QObject *parent)
    : FakeHttpServer(parent)
{
    setAnswer(FakeResponse::json(
        R"({"success":true,"submit_url":"https://store.example/submit?id=42"})"));
}

QString FakeAppStore::baseUrl() const
{
    return QStringLiteral("http://%1").arg(address());
}

static QByteArray filled(const QByteArray &head, const QByteArray &fill, const QByteArray &tail,
                         int bytes)
{
    QByteArray body = head;
    // Whole pieces of fill only: half an escape sequence would break the JSON.
    const int pieces = qMax(0, bytes - head.size() - tail.size()) / qMax(1, fill.size());
    return head + fill.repeated(pieces) + tail;
}

FakeResponse FakeAppStore::successOfSize(int bytes)
{
    return FakeResponse::json(
        filled(R"({"success":true,"submit_url":"https://store.example/submit?id=42","note":")", "x",
               "\"}", bytes));
}

FakeResponse FakeAppStore::refusalOfSize(int bytes, const QByteArray &reason, int status)
{
    return FakeResponse::json(filled(R"({"success":false,"error":")", reason, "\"}", bytes),
                              status);
}

FakeResponse FakeAppStore::endlessAnswer()
{
    return FakeResponse::endless(R"({"success":false,"error":")", "application/json");
}

FakeResponse FakeAppStore::trickledSuccess(int bytes, int ms, int bytesPerTick)
{
    return FakeResponse::trickle(successOfSize(bytes).body, ms, bytesPerTick);
}
