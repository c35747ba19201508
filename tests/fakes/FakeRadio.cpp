#include "FakeRadio.h"

#include <QJsonDocument>
#include <QJsonObject>

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
