#include "MultipartReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>

namespace MultipartReader {

static const char *const Script = R"PY(
import sys, json, base64
from email.parser import BytesParser
from email import policy
raw = open(sys.argv[1], 'rb').read()
msg = BytesParser(policy=policy.HTTP).parsebytes(raw)
out = {'multipart': msg.is_multipart(), 'defects': len(msg.defects), 'parts': []}
if msg.is_multipart():
    for p in msg.iter_parts():
        out['defects'] += len(p.defects)
        out['parts'].append({
            'name': p.get_param('name', header='content-disposition') or '',
            'filename': p.get_filename() or '',
            'type': p.get('content-type') and p.get_content_type() or '',
            'data': base64.b64encode(p.get_payload(decode=True) or b'').decode(),
        })
print(json.dumps(out))
)PY";

Result parse(const FakeRequest &request)
{
    Result result;
    QTemporaryFile file;
    if (!file.open()) {
        result.failure = QStringLiteral("cannot write a temporary file");
        return result;
    }
    // The parser needs the head the server got: the request's Content-Type.
    file.write("Content-Type: " + request.header("Content-Type") + "\r\n\r\n");
    file.write(request.body);
    file.close();
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(Script), file.fileName()});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        result.failure = QString::fromLocal8Bit(python.readAllStandardError());
        return result;
    }
    const QJsonObject out = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    result.ok = out.value(QStringLiteral("multipart")).toBool();
    result.defects = out.value(QStringLiteral("defects")).toInt();
    for (const QJsonValue &value : out.value(QStringLiteral("parts")).toArray()) {
        const QJsonObject p = value.toObject();
        result.parts.append(
            {p.value(QStringLiteral("name")).toString(),
             p.value(QStringLiteral("filename")).toString(),
             p.value(QStringLiteral("type")).toString(),
             QByteArray::fromBase64(p.value(QStringLiteral("data")).toString().toLatin1())});
    }
    if (!result.ok)
        result.failure = QStringLiteral("not multipart");
    return result;
}

} // namespace MultipartReader
