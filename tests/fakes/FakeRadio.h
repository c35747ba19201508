#pragma once

#include "FakeHttpServer.h"

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
