#include "FakeRadio.h"
#include "RadioApi.h"
#include "RadioReply.h"
#include "RadioUpload.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Parses what the fake radio received with Python's email package, which knows nothing
// of our builder, and reports what a multipart reader sees in it.
static const char *const ParseScript = R"PY(
import sys, json, hashlib
from email.parser import BytesParser
from email import policy
raw = open(sys.argv[1], 'rb').read()
msg = BytesParser(policy=policy.HTTP).parsebytes(raw)
out = {'multipart': msg.is_multipart(), 'defects': len(msg.defects), 'parts': 0}
if msg.is_multipart():
    parts = list(msg.iter_parts())
    out['parts'] = len(parts)
    p = parts[0]
    payload = p.get_payload(decode=True) or b''
    out.update({
        'name': p.get_param('name', header='content-disposition'),
        'filename': p.get_filename(),
        'type': p.get_content_type(),
        'sha256': hashlib.sha256(payload).hexdigest(),
        'size': len(payload),
        'partDefects': len(p.defects),
    })
print(json.dumps(out))
)PY";

// A literal with embedded NUL bytes, whole.
template<int N> static QByteArray literal(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

class RadioUploadTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void parsedByEmailPackage_data();
    void parsedByEmailPackage();
    void goldenBytes_data();
    void goldenBytes();
    void refused_data();
    void refused();
    void otherNamesGoThrough_data();
    void otherNamesGoThrough();
    void failuresReachTheCaller();
    void answerFloodsAreCut_data();
    void answerFloodsAreCut();

private:
    FakeRequest postAndWait(const QString &name, const QByteArray &type, const QByteArray &data);
    QJsonObject parseWithPython(const FakeRequest &request);
    QJsonObject parseWithPython(const QByteArray &contentType, const QByteArray &body);

    FakeRadio *radio = nullptr;
    QNetworkAccessManager *manager = nullptr;
    QTemporaryDir dir;
};

void RadioUploadTest::initTestCase()
{
    TestSupport::unsetProxies();
    QVERIFY(dir.isValid());
}

void RadioUploadTest::init()
{
    delete radio;
    delete manager;
    radio = new FakeRadio(this);
    QVERIFY(radio->listen());
    radio->setResponse("/upload.html", FakeResponse::text("OK"));
    manager = new QNetworkAccessManager(this);
}

FakeRequest RadioUploadTest::postAndWait(const QString &name, const QByteArray &type,
                                         const QByteArray &data)
{
    QString refusal = "unset";
    QNetworkReply *reply = RadioUpload::post(manager, radio->address(), name, type, data,
                                             RadioApi::TransferTimeoutMs, &refusal);
    if (!reply) {
        qWarning() << "refused:" << refusal;
        return FakeRequest();
    }
    if (!refusal.isEmpty())
        qWarning() << "accepted but refusal text set";
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(20000))
        qWarning() << "upload did not finish";
    if (reply->error() != QNetworkReply::NoError)
        qWarning() << "upload failed:" << reply->errorString();
    reply->deleteLater();
    const QList<FakeRequest> got = radio->requestsFor("/upload.html");
    return got.isEmpty() ? FakeRequest() : got.last();
}

QJsonObject RadioUploadTest::parseWithPython(const FakeRequest &request)
{
    // The HTTP head the parser needs is the Content-Type the radio received.
    return parseWithPython(request.header("Content-Type"), request.body);
}

QJsonObject RadioUploadTest::parseWithPython(const QByteArray &contentType, const QByteArray &body)
{
    const QString path = dir.filePath("received.bin");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QJsonObject();
    file.write("Content-Type: " + contentType + "\r\n\r\n");
    file.write(body);
    file.close();
    QProcess python;
    python.start("python3", {"-c", QString::fromLatin1(ParseScript), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return QJsonObject();
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

void RadioUploadTest::parsedByEmailPackage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("data");

    QByteArray random(200 * 1024, '\0');
    QRandomGenerator gen(7);
    for (char &c : random)
        c = char(gen.bounded(256));
    // Line ends of every kind inside the file must survive, including one right
    // before the closing delimiter.
    const QByteArray lineEnds = "a\r\nb\nc\rd\r\n\r\n--Kelo\r\n-- x\r\r\n";

    QTest::newRow("binary package")
        << "Clock.app" << QByteArray(RadioUpload::OctetStreamType) << random;
    QTest::newRow("image") << "upload.png" << QByteArray(RadioUpload::PngType)
                           << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QTest::newRow("non-ASCII name") << QString::fromUtf8("Ünïcødé 名前 ✓.kbm")
                                    << QByteArray(RadioUpload::OctetStreamType) << random.left(999);
    QTest::newRow("spaces and punctuation")
        << "my app (v2); x=1, 100%&'y'.app" << QByteArray(RadioUpload::OctetStreamType)
        << QByteArray("data");
    QTest::newRow("line ends in data")
        << "lines.app" << QByteArray(RadioUpload::OctetStreamType) << lineEnds;
    // Only a delimiter at the start of a line cuts a part; elsewhere the text is data.
    QTest::newRow("boundary text mid-line")
        << "mid.app" << QByteArray(RadioUpload::OctetStreamType)
        << QByteArray("abc--KeloStudioUploadBoundary--\r\nKeloStudioUploadBoundary");
    QTest::newRow("empty data") << "empty.app" << QByteArray(RadioUpload::OctetStreamType)
                                << QByteArray();
}

void RadioUploadTest::parsedByEmailPackage()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, data);

    const FakeRequest got = postAndWait(name, type, data);
    QCOMPARE(got.method, QByteArray("POST"));
    QCOMPARE(got.target, QByteArray("/upload.html"));
    QCOMPARE(got.header("Content-Type"),
             QByteArray("multipart/form-data; boundary=KeloStudioUploadBoundary"));
    QCOMPARE(got.header("Content-Length").toLongLong(), qint64(got.body.size()));

    const QJsonObject parsed = parseWithPython(got);
    QVERIFY2(!parsed.isEmpty(), "python could not parse the body");
    QCOMPARE(parsed["multipart"].toBool(), true);
    QCOMPARE(parsed["parts"].toInt(), 1);
    QCOMPARE(parsed["defects"].toInt(), 0);
    QCOMPARE(parsed["partDefects"].toInt(), 0);
    QCOMPARE(parsed["name"].toString(), QString("file"));
    QCOMPARE(parsed["filename"].toString(), name);
    QCOMPARE(parsed["type"].toString(), QString::fromLatin1(type));
    QCOMPARE(parsed["size"].toInt(), data.size());
    QCOMPARE(
        parsed["sha256"].toString(),
        QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()));
}

void RadioUploadTest::goldenBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("image") << "upload.png" << QByteArray("image/png") << literal("\x89PNG\0\r\n")
                           << literal("--KeloStudioUploadBoundary\r\n"
                                      "Content-Disposition: form-data; name=\"file\"; "
                                      "filename=\"upload.png\"\r\n"
                                      "Content-Type: image/png\r\n"
                                      "\r\n"
                                      "\x89PNG\0\r\n"
                                      "\r\n--KeloStudioUploadBoundary--\r\n");
    // Empty data leaves three CR LF in a row after the content type line.
    QTest::newRow("empty, UTF-8 name")
        << QString::fromUtf8("é.kbm") << QByteArray("application/octet-stream") << QByteArray()
        << QByteArray("--KeloStudioUploadBoundary\r\n"
                      "Content-Disposition: form-data; name=\"file\"; filename=\"\xc3\xa9.kbm\"\r\n"
                      "Content-Type: application/octet-stream\r\n\r\n\r\n"
                      "--KeloStudioUploadBoundary--\r\n");
}

void RadioUploadTest::goldenBytes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, body);

    QCOMPARE(RadioUpload::buildBody(name, type, data), body);
    QCOMPARE(postAndWait(name, type, data).body, body);
}

void RadioUploadTest::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data");

    const QByteArray ok = "fine";
    QTest::newRow("quotation mark") << "a\"b.app" << ok;
    QTest::newRow("backslash") << "a\\b.app" << ok; // escapes the closing quote in some readers
    QTest::newRow("CR") << "a\rb.app" << ok;
    QTest::newRow("LF") << "a\nContent-Type: text/html.app" << ok;
    QTest::newRow("CR LF header injection") << "x.app\"\r\nX-Evil: 1\r\n" << ok;
    QTest::newRow("tab") << "a\tb.app" << ok;
    QTest::newRow("NUL") << QString(QChar(0)) + "a.app" << ok;
    QTest::newRow("DEL") << QString("a") + QChar(0x7f) + ".app" << ok;
    QTest::newRow("C1 next line") << QString("a") + QChar(0x85) + ".app" << ok;
    QTest::newRow("data starts with delimiter")
        << "a.app" << QByteArray("--KeloStudioUploadBoundary");
    QTest::newRow("delimiter line in data")
        << "a.app" << QByteArray("head\r\n--KeloStudioUploadBoundary\r\nmore");
    QTest::newRow("closing delimiter in data")
        << "a.app" << QByteArray("head\r\n--KeloStudioUploadBoundary--\r\n");
    QTest::newRow("delimiter line after a bare LF")
        << "a.app" << QByteArray("head\n--KeloStudioUploadBoundary\nmore");
    QTest::newRow("delimiter line after a bare CR")
        << "a.app" << QByteArray("head\r--KeloStudioUploadBoundary\rmore");
    QTest::newRow("delimiter with blanks after a bare LF")
        << "a.app" << QByteArray("head\n--KeloStudioUploadBoundary  \nmore");
    QTest::newRow("delimiter ends the data after a bare LF")
        << "a.app" << QByteArray("head\n--KeloStudioUploadBoundary");
}

void RadioUploadTest::refused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, data);

    const QString reason = RadioUpload::refusalReason(name, data);
    QVERIFY(!reason.isEmpty());
    QVERIFY2(!reason.contains('\r') && !reason.contains('\n'), qPrintable(reason));
    QVERIFY(reason.startsWith("Cannot upload"));

    QString refusal;
    QNetworkReply *reply = RadioUpload::post(manager, radio->address(), name,
                                             RadioUpload::OctetStreamType, data, 5000, &refusal);
    QVERIFY(reply == nullptr);
    QCOMPARE(refusal, reason);
    // Give anything that did go out time to arrive.
    QTest::qWait(200);
    QCOMPARE(radio->requests().size(), 0);

    // Refused data would indeed not arrive whole at a real multipart reader.
    if (name == QLatin1String("a.app")) {
        const QJsonObject parsed
            = parseWithPython(RadioUpload::contentTypeHeader(),
                              RadioUpload::buildBody(name, RadioUpload::OctetStreamType, data));
        QVERIFY2(!parsed.isEmpty(), "python could not parse the body");
        QVERIFY(parsed["parts"].toInt() != 1 || parsed["size"].toInt() != data.size());
    }
}

void RadioUploadTest::otherNamesGoThrough_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "Clock.app";
    QTest::newRow("apostrophe and semicolon") << "it's; ok.app";
    QTest::newRow("slash") << "a/b.app";
    QTest::newRow("emoji") << QString::fromUtf8("🚁 heli.kbm");
    QTest::newRow("right-to-left text") << QString::fromUtf8("שלום.app");
}

void RadioUploadTest::otherNamesGoThrough()
{
    QFETCH(QString, name);
    QCOMPARE(RadioUpload::refusalReason(name, "x"), QString());
    const QByteArray body = postAndWait(name, RadioUpload::OctetStreamType, "x").body;
    QVERIFY(body.contains("filename=\"" + name.toUtf8() + "\"\r\n"));
}

void RadioUploadTest::failuresReachTheCaller()
{
    // An error status and a stalled radio both end as reply errors.
    radio->setResponse("/upload.html", FakeResponse::error(500, "nope"));
    QNetworkReply *reply = RadioUpload::post(manager, radio->address(), "a.app",
                                             RadioUpload::OctetStreamType, "x", 15000);
    QVERIFY(reply);
    QCOMPARE(reply->request().transferTimeout(), 15000);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(20000));
    QVERIFY(reply->error() != QNetworkReply::NoError);
    delete reply;

    radio->setResponse("/upload.html", FakeResponse::hang());
    reply = RadioUpload::post(manager, radio->address(), "a.app", RadioUpload::OctetStreamType, "x",
                              300);
    QVERIFY(reply);
    QSignalSpy stalled(reply, &QNetworkReply::finished);
    QVERIFY(stalled.wait(20000));
    QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);
    delete reply;
}

void RadioUploadTest::answerFloodsAreCut_data()
{
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<int>("uploadBytes");
    QTest::newRow("chunked, small upload") << true << 1;
    QTest::newRow("chunked, 1 MiB upload") << true << 1024 * 1024;
    QTest::newRow("until the connection closes") << false << 1;
}

// The radio answers the upload with a flood faster than it can be read, twenty times: each
// answer is refused at 1 MiB, its connection closed, memory bounded.
void RadioUploadTest::answerFloodsAreCut()
{
    QFETCH(bool, chunked);
    QFETCH(int, uploadBytes);
    ThreadedFakeRadio flooding([chunked](FakeRadio &r) {
        r.setResponse("/upload.html",
                      chunked ? FakeResponse::endlessChunked("OK") : FakeResponse::endless("OK"));
    });
    QVERIFY(flooding.isListening());
    const QByteArray data(uploadBytes, 'u');
    checkFloodsAreCut(
        flooding,
        [&]() {
            return RadioUpload::post(manager, flooding.address(), "a.app",
                                     RadioUpload::OctetStreamType, data, 15000);
        },
        RadioReply::tooLarge);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(flooding.countFor("/upload.html"), 20);
}

QTEST_GUILESS_MAIN(RadioUploadTest)
#include "tst_radioupload.moc"
