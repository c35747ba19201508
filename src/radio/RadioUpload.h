#pragma once

#include <QByteArray>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// The radio takes files as one multipart/form-data POST to /upload.html with a single
// part named "file". Image uploads, package installs and the workbench's run step all
// go through here.
namespace RadioUpload {

inline constexpr char Boundary[] = "KeloStudioUploadBoundary";
inline constexpr char PngType[] = "image/png";
inline constexpr char OctetStreamType[] = "application/octet-stream";

// "multipart/form-data; boundary=KeloStudioUploadBoundary", unquoted.
QByteArray contentTypeHeader();

// The exact body: "--B" CRLF, the disposition line with the UTF-8 file name, the
// content type line, an empty line, the data, CRLF "--B--" CRLF.
QByteArray buildBody(const QString &fileName, const QByteArray &contentType,
                     const QByteArray &data);

// Why this upload cannot be sent, as a text for the user; empty when it can.
// Refused: a file name holding a quotation mark, a backslash or a control character
// (it would end or split the part's header line), and data holding a line that starts
// with the boundary, after CR LF, a bare LF or a bare CR (a multipart parser would cut
// the file there).
QString refusalReason(const QString &fileName, const QByteArray &data);

// Builds the body and POSTs it to http://address/upload.html with the given transfer
// time-out. Returns the reply (owned by the caller, who connects its finished signal),
// or nullptr with *refusal set when refusalReason() objects; then nothing is sent.
QNetworkReply *post(QNetworkAccessManager *manager, const QString &address, const QString &fileName,
                    const QByteArray &contentType, const QByteArray &data, int timeoutMs,
                    QString *refusal = nullptr);

} // namespace RadioUpload
