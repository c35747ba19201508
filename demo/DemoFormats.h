#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

// What the demo radio reads from the program's requests and writes to its debug stream,
// without a server: upload bodies, app packages, flight-log lengths, access-log lines.
namespace DemoFormats {

struct UploadedFile
{
    QString fileName;
    QByteArray contentType;
    QByteArray data;
};

// The file of a multipart/form-data POST (the first part with a file name), as a radio
// takes it. The boundary comes from the request's Content-Type header. Refuses, with the
// reason in *why, a missing boundary, a body that does not end with the closing
// boundary, a part without a file name and a file name holding a path.
std::optional<UploadedFile> parseUpload(const QByteArray &contentTypeHeader, const QByteArray &body,
                                        QString *why);

struct TarEntry
{
    QString name; // as stored, e.g. "Clock/app.qml"; folders end with "/"
    QByteArray data;
};

// The entries of a ustar archive. Refuses a bad header checksum, an entry that runs past
// the end and a name that is absolute or climbs out with "..".
std::optional<QVector<TarEntry>> readTar(const QByteArray &archive, QString *why);

// The length a radio lists for a flight log: the last record's time stamp in tenths of a
// second (rounded), or -1 when the bytes hold no complete record.
qint64 logLengthTenths(const QByteArray &log);

// One line of the radio web server's access log, as its debug port writes it:
// "2025-01-31 08:15:02 [12] GET /app/list HTTP/1.1 (200)".
QByteArray accessLogLine(const QDateTime &when, int connection, const QByteArray &requestLine,
                         int status);

} // namespace DemoFormats
