// What the demo radio reads from the program: its upload bodies and app packages (built by
// the program's own writers and by GNU tar), the flight-log length it lists, and the
// access-log lines it writes to the debug stream.
#include "DemoFormats.h"
#include "LogGenerator.h"
#include "RadioUpload.h"
#include "TarWriter.h"
#include "TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using DemoFormats::TarEntry;

namespace {

QByteArray runTar(const QString &folder, const QStringList &arguments)
{
    QProcess tar;
    tar.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    tar.setProcessEnvironment(env);
    tar.start(QStringLiteral("tar"),
              QStringList {QStringLiteral("-cf"), QStringLiteral("-")} + arguments);
    if (!tar.waitForFinished(30000) || tar.exitStatus() != QProcess::NormalExit
        || tar.exitCode() != 0)
        return QByteArray();
    return tar.readAllStandardOutput();
}

QStringList names(const QVector<TarEntry> &entries)
{
    QStringList out;
    for (const TarEntry &e : entries)
        out << e.name;
    return out;
}

} // namespace

class DemoFormatsTest : public QObject
{
    Q_OBJECT
private slots:
    void uploadBody_data();
    void uploadBody();
    void packages_data();
    void packages();
    void hostilePackages_data();
    void hostilePackages();
    void logLength_data();
    void logLength();
    void accessLogLineIsWhatTheDebugTerminalDrops();
};

void DemoFormatsTest::uploadBody_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fileName"); // empty = refused
    QTest::addColumn<QByteArray>("data");

    const QByteArray header = RadioUpload::contentTypeHeader();
    const QByteArray tricky("\r\n--KeloStudio\r\n\0--\r\n", 20); // near-boundaries stay data
    QTest::newRow("program's image upload")
        << header << RadioUpload::buildBody(QStringLiteral("upload.png"), "image/png", "PNGDATA")
        << "upload.png" << QByteArray("PNGDATA");
    QTest::newRow("program's package, data that looks like boundaries")
        << header
        << RadioUpload::buildBody(QStringLiteral("My App.app"), "application/octet-stream", tricky)
        << "My App.app" << tricky;
    QTest::newRow("quoted boundary")
        << QByteArray("multipart/form-data; boundary=\"KeloStudioUploadBoundary\"")
        << RadioUpload::buildBody(QStringLiteral("a.png"), "image/png", "x") << "a.png"
        << QByteArray("x");
    QTest::newRow("a field before the file")
        << QByteArray("multipart/form-data; boundary=B")
        << QByteArray("--B\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n"
                      "--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"b.png\"\r\n"
                      "Content-Type: image/png\r\n\r\nDATA\r\n--B--\r\n")
        << "b.png" << QByteArray("DATA");
    const QByteArray full = RadioUpload::buildBody(QStringLiteral("c.png"), "image/png", "DATA");
    QTest::newRow("cut short") << header << full.left(full.size() - 8) << QString() << QByteArray();
    QTest::newRow("no boundary") << QByteArray("multipart/form-data") << full << QString()
                                 << QByteArray();
    QTest::newRow("not multipart")
        << QByteArray("image/png") << QByteArray("DATA") << QString() << QByteArray();
    QTest::newRow("a path as the file name")
        << QByteArray("multipart/form-data; boundary=B")
        << QByteArray("--B\r\nContent-Disposition: form-data; name=\"file\"; "
                      "filename=\"../../etc/x.png\"\r\n\r\nDATA\r\n--B--\r\n")
        << QString() << QByteArray();
    QTest::newRow("no file part")
        << QByteArray("multipart/form-data; boundary=B")
        << QByteArray("--B\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n--B--\r\n")
        << QString() << QByteArray();
}

void DemoFormatsTest::uploadBody()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, data);

    QString why;
    const auto file = DemoFormats::parseUpload(contentType, body, &why);
    if (fileName.isEmpty()) {
        QVERIFY(!file);
        QVERIFY(!why.isEmpty());
        return;
    }
    QVERIFY2(file, qPrintable(why));
    QCOMPARE(file->fileName, fileName);
    QCOMPARE(file->data, data);
}

void DemoFormatsTest::packages_data()
{
    QTest::addColumn<QString>("writer");
    QTest::newRow("program's package writer") << "TarWriter";
    QTest::newRow("GNU tar, ustar") << "ustar";
    QTest::newRow("GNU tar, pax headers") << "pax";
}

// The same project, packed three ways, reads back as the same files.
void DemoFormatsTest::packages()
{
    QFETCH(QString, writer);
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("My App"));
    QVERIFY(QDir().mkpath(src));
    const QByteArray icon(700, '\x89');
    QVERIFY(
        TestSupport::writeFile(src + QStringLiteral("/app.qml"), "import QtQuick 2.0\nItem {}\n"));
    QVERIFY(TestSupport::writeFile(src + QStringLiteral("/icon.png"), icon));
    QVERIFY(TestSupport::writeFile(src + QStringLiteral("/version"), "3 1 4\n"));

    QByteArray archive;
    if (writer == QLatin1String("TarWriter")) {
        QString error;
        const QString out = dir.filePath(QStringLiteral("pkg.tar"));
        QVERIFY2(TarWriter::writeTar(out,
                                     {src + QStringLiteral("/app.qml"),
                                      src + QStringLiteral("/icon.png"),
                                      src + QStringLiteral("/version")},
                                     error, QStringLiteral("My App")),
                 qPrintable(error));
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        archive = file.readAll();
    } else {
        archive
            = runTar(dir.path(), {QStringLiteral("--format=") + writer, QStringLiteral("My App")});
        QVERIFY(!archive.isEmpty());
    }

    QString why;
    const auto entries = DemoFormats::readTar(archive, &why);
    QVERIFY2(entries, qPrintable(why));
    // GNU tar stores the folder's files in directory order.
    QMap<QString, QByteArray> files;
    for (const TarEntry &e : *entries)
        files.insert(e.name, e.data);
    QCOMPARE(files.keys(),
             QStringList({QStringLiteral("My App/"), QStringLiteral("My App/app.qml"),
                          QStringLiteral("My App/icon.png"), QStringLiteral("My App/version")}));
    QCOMPARE(files.value(QStringLiteral("My App/icon.png")), icon);
    QCOMPARE(files.value(QStringLiteral("My App/version")), QByteArray("3 1 4\n"));
}

void DemoFormatsTest::hostilePackages_data()
{
    QTest::addColumn<QStringList>("tarArguments");
    QTest::addColumn<QString>("damage"); // what is done to the archive afterwards
    QTest::addColumn<QString>("reason"); // a word the refusal must hold; empty = accepted

    QTest::newRow("sound") << QStringList {QStringLiteral("--format=ustar"), QStringLiteral("app")}
                           << QString() << QString();
    QTest::newRow("climbs out") << QStringList {QStringLiteral("--format=ustar"),
                                                QStringLiteral("--transform=s,^app,../app,"),
                                                QStringLiteral("app")}
                                << QString() << "leaves";
    QTest::newRow("absolute") << QStringList {QStringLiteral("--format=ustar"),
                                              QStringLiteral("--transform=s,^app,/app,"),
                                              QStringLiteral("-P"), QStringLiteral("app")}
                              << QString() << "leaves";
    QTest::newRow("symbolic link") << QStringList {QStringLiteral("--format=ustar"),
                                                   QStringLiteral("app"), QStringLiteral("link")}
                                   << QString() << "link";
    QTest::newRow("cut inside a file")
        << QStringList {QStringLiteral("--format=ustar"), QStringLiteral("app")} << "cut"
        << "end";
    QTest::newRow("damaged header")
        << QStringList {QStringLiteral("--format=ustar"), QStringLiteral("app")} << "flip"
        << "damaged";
}

void DemoFormatsTest::hostilePackages()
{
    QFETCH(QStringList, tarArguments);
    QFETCH(QString, damage);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("app"))));
    QVERIFY(
        TestSupport::writeFile(dir.filePath(QStringLiteral("app/app.qml")), QByteArray(3000, 'q')));
    QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), dir.filePath(QStringLiteral("link"))));
    QByteArray archive = runTar(dir.path(), tarArguments);
    QVERIFY(!archive.isEmpty());
    if (damage == QLatin1String("cut"))
        archive.truncate(512 * 2 + 1000); // the folder, the file's header, part of its data
    else if (damage == QLatin1String("flip"))
        archive[512 + 3] = 'X'; // the file's name, covered by its header checksum

    QString why;
    const auto entries = DemoFormats::readTar(archive, &why);
    if (reason.isEmpty()) {
        QVERIFY2(entries, qPrintable(why));
        QCOMPARE(names(*entries),
                 QStringList({QStringLiteral("app/"), QStringLiteral("app/app.qml")}));
    } else {
        QVERIFY(!entries);
        QVERIFY2(why.contains(reason), qPrintable(why));
    }
}

void DemoFormatsTest::logLength_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<qint64>("tenths");

    QTest::newRow("empty") << QByteArray() << qint64(-1);
    QTest::newRow("one record at 0 ms") << LogGenerator().tx(0, 90).bytes() << qint64(0);
    QTest::newRow("12.349 s rounds down")
        << LogGenerator().tx(0, 90).tx(12349, 90).bytes() << qint64(123);
    QTest::newRow("12.350 s rounds up")
        << LogGenerator().tx(0, 90).tx(12350, 90).bytes() << qint64(124);
    QTest::newRow("a cut last record is not counted")
        << LogGenerator().tx(0, 90).tx(5000, 90).bytes() + QByteArray("\x09\x0b\x40\x9c\x00\x00", 6)
        << qint64(50);
    QTest::newRow("uninterpreted types count too")
        << LogGenerator().tx(0, 90).record(200, 90000, "xyz").bytes() << qint64(900);
}

void DemoFormatsTest::logLength()
{
    QFETCH(QByteArray, log);
    QFETCH(qint64, tenths);
    QCOMPARE(DemoFormats::logLengthTenths(log), tenths);
}

void DemoFormatsTest::accessLogLineIsWhatTheDebugTerminalDrops()
{
    const QByteArray line = DemoFormats::accessLogLine(
        QDateTime(QDate(2025, 1, 31), QTime(8, 15, 2)), 12, "GET /app/list HTTP/1.1", 200);
    QCOMPARE(line, QByteArray("2025-01-31 08:15:02 [12] GET /app/list HTTP/1.1 (200)"));
    const QRegularExpression filter(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \[\d+\] (New connection|Connection closed|[A-Z]+ \S+ HTTP/\d\.\d \(\d+\))$)"));
    QVERIFY(filter.match(QString::fromUtf8(line)).hasMatch());
}

QTEST_GUILESS_MAIN(DemoFormatsTest)
#include "tst_demoformats.moc"
