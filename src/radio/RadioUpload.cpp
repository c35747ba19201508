#include "RadioUpload.h"

#include "RadioApi.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace RadioUpload {

static bool breaksHeader(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control;
}

// The name as it may be shown in a message: whatever would break the header is
// replaced, so a CR or LF cannot reshape the status text either.
static QString printableName(const QString &fileName)
{
    QString out = fileName;
    for (QChar &c : out) {
        if (c.category() == QChar::Other_Control)
            c = QChar(0xFFFD);
    }
    return out;
}

// Multipart readers take a bare LF or a bare CR for a line end as well as CR LF.
static bool startsALine(const QByteArray &data, const QByteArray &text)
{
    for (int at = data.indexOf(text); at >= 0; at = data.indexOf(text, at + 1)) {
        if (at == 0 || data.at(at - 1) == '\n' || data.at(at - 1) == '\r')
            return true;
    }
    return false;
}

QByteArray contentTypeHeader()
{
    return QByteArray("multipart/form-data; boundary=") + Boundary;
}

QByteArray buildBody(const QString &fileName, const QByteArray &contentType, const QByteArray &data)
{
    const QByteArray name = fileName.toUtf8();
    QByteArray body;
    body.reserve(data.size() + name.size() + contentType.size() + 160);
    body.append("--").append(Boundary).append("\r\n");
    body.append("Content-Disposition: form-data; name=\"file\"; filename=\"");
    body.append(name).append("\"\r\n");
    body.append("Content-Type: ").append(contentType).append("\r\n");
    body.append("\r\n");
    body.append(data);
    body.append("\r\n--").append(Boundary).append("--\r\n");
    return body;
}

QString refusalReason(const QString &fileName, const QByteArray &data)
{
    for (const QChar c : fileName) {
        if (breaksHeader(c))
            return QCoreApplication::translate(
                       "RadioUpload",
                       "Cannot upload \"%1\": the file name contains a quotation mark, a "
                       "backslash or a control character. Rename the file and try again.")
                .arg(printableName(fileName));
    }
    const QByteArray delimiter = QByteArray("--") + Boundary;
    if (startsALine(data, delimiter))
        return QCoreApplication::translate("RadioUpload",
                                           "Cannot upload \"%1\": the file contains a line "
                                           "starting with \"%2\", which would cut the upload "
                                           "short.")
            .arg(printableName(fileName), QString::fromLatin1(delimiter));
    return QString();
}

QNetworkReply *post(QNetworkAccessManager *manager, const QString &address, const QString &fileName,
                    const QByteArray &contentType, const QByteArray &data, int timeoutMs,
                    QString *refusal)
{
    const QString reason = refusalReason(fileName, data);
    if (refusal)
        *refusal = reason;
    if (!reason.isEmpty())
        return nullptr;
    QNetworkRequest request
        = RadioApi::request(address, QString::fromLatin1(RadioApi::UploadPath), timeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentTypeHeader());
    const QByteArray body = buildBody(fileName, contentType, data);
    QNetworkReply *reply = manager->post(request, body);
    // The radio may take its time to store a large file: the deadline grows with it.
    RadioReply::bound(reply, RadioReply::Kind::Text, timeoutMs, body.size());
    return reply;
}

} // namespace RadioUpload
