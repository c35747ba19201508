#pragma once

#include "FakeHttpServer.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reads a multipart/form-data request the way a server would, with Python's email package,
// which owes nothing to our builders.
namespace MultipartReader {

struct Part
{
    QString name; // the "name" parameter of Content-Disposition
    QString fileName; // the "filename" parameter; empty when there is none
    QString contentType; // empty when the part has no Content-Type header
    QByteArray data;
};

struct Result
{
    bool ok = false; // python ran and the body was multipart
    int defects = 0; // defects the parser noted in the message and its parts
    QList<Part> parts;
    QString failure;
};

Result parse(const FakeRequest &request);

} // namespace MultipartReader
