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
