// The demo radio as the program meets it: every request goes through the program's own
// request, upload and parsing code to a DemoRadio on 127.0.0.1, with the clock fixed.
#include "DemoPictures.h"
#include "DemoRadio.h"
#include "LogGenerator.h"
#include "RadioApi.h"
#include "RadioDiscovery.h"
#include "RadioLogList.h"
#include "RadioUpload.h"
#include "TarWriter.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Answer
{
    int status = 0; // 0: no HTTP answer at all
    QByteArray body;
};

Answer finish(QNetworkReply *reply)
{
    std::unique_ptr<QNetworkReply> owned(reply);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(15000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

// A package as the program's workbench writes it: the files under the root folder.
QByteArray package(const QString &root, const QMap<QString, QByteArray> &files)
{
    QTemporaryDir dir;
    QStringList paths;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        paths << dir.filePath(it.key());
        if (!TestSupport::writeFile(paths.last(), it.value()))
            return QByteArray();
    }
    QString error;
    const QString out = dir.filePath(QStringLiteral("package.tar"));
    if (!TarWriter::writeTar(out, paths, error, root))
        return QByteArray();
    return TestSupport::readFile(out);
}

QStringList flatList(const QByteArray &json)
{
    QStringList out;
    for (const QJsonValue &v : QJsonDocument::fromJson(json).object().value("list").toArray())
        out << (v.isString() ? v.toString() : QString::number(v.toDouble()));
    return out;
}

const QDateTime Noon(QDate(2025, 6, 1), QTime(12, 0, 0));

} // namespace

class DemoRadioTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void identityAndLogs();
    void foldersWithoutLogsAreRefused_data();
    void foldersWithoutLogsAreRefused();
    void uploadedPictureJoinsTheList();
    void installedAppIsListedStartedAndRemoved();
    void refusedUploadsChangeNothing_data();
    void refusedUploadsChangeNothing();
    void homeScreenIsAppliedAfterItsUpload();
    void screenShowsTheClockTheTouchAndTheApp();
    void badTouchesAreRefused_data();
    void badTouchesAreRefused();
    void debugStreamEchoesWhatAnAppPrints();

private:
    Answer get(const QString &path);
    Answer upload(const QString &fileName, const QByteArray &data);
    QImage screen();

    QTemporaryDir logDir;
    QByteArray alphaLog;
    std::unique_ptr<DemoRadio> radio;
    std::unique_ptr<QNetworkAccessManager> nam;
    QString address;
    QDateTime clock;
};

void DemoRadioTest::initTestCase()
{
    TestSupport::unsetProxies();
    alphaLog = LogGenerator::flight(12);
    QVERIFY(TestSupport::writeFile(logDir.filePath(QStringLiteral("Alpha hover.log")), alphaLog));
    QVERIFY(TestSupport::writeFile(logDir.filePath(QStringLiteral("Beta.log")),
                                   LogGenerator::flight(61)));
    QVERIFY(TestSupport::writeFile(logDir.filePath(QStringLiteral("notes.txt")), "not a log"));
}

void DemoRadioTest::init()
{
    clock = Noon;
    radio = std::make_unique<DemoRadio>();
    radio->setClock([this]() { return clock; });
    QString error;
    QVERIFY2(radio->loadLogs(logDir.path(), &error), qPrintable(error));
    QVERIFY2(radio->listen(QHostAddress::LocalHost, 0, 0, &error), qPrintable(error));
    nam = std::make_unique<QNetworkAccessManager>();
    address = QStringLiteral("127.0.0.1:%1").arg(radio->httpPort());
}

void DemoRadioTest::cleanup()
{
    nam.reset();
    radio.reset();
}

Answer DemoRadioTest::get(const QString &path)
{
    return finish(RadioApi::get(nam.get(), address, path, 5000));
}

Answer DemoRadioTest::upload(const QString &fileName, const QByteArray &data)
{
    const QByteArray type
        = fileName.endsWith(QLatin1String(".png")) ? "image/png" : "application/octet-stream";
    QString refusal;
    QNetworkReply *reply
        = RadioUpload::post(nam.get(), address, fileName, type, data, 15000, &refusal);
    if (!reply)
        return {-1, refusal.toUtf8()};
    return finish(reply);
}

QImage DemoRadioTest::screen()
{
    const Answer a = get(RadioApi::screenshotPath(clock.toMSecsSinceEpoch()));
    return a.status == 200 ? QImage::fromData(a.body, "PNG") : QImage();
}

void DemoRadioTest::identityAndLogs()
{
    QString network, model, serial;
    QVERIFY(RadioDiscovery::parseSystemInfo(get(QStringLiteral("/system/info")).body, &network,
                                            &model));
    QCOMPARE(network, QStringLiteral("Kelo Demo"));
    QCOMPARE(model, QStringLiteral("Heli 450"));
    QVERIFY(RadioDiscovery::parseSerial(get(QStringLiteral("/system/serial")).body, &serial));
    QCOMPARE(serial, QStringLiteral("K1-2406-0042-7A-3C-19"));

    const Answer list = get(QStringLiteral("/log/list"));
    const auto entries
        = RadioLogList::parse(QJsonDocument::fromJson(list.body).object().value("list").toArray());
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].name, QStringLiteral("Alpha hover"));
    QCOMPARE(entries[0].length, 120); // the last record at 11.98 s
    QCOMPARE(entries[1].name, QStringLiteral("Beta"));
    QCOMPARE(RadioLogList::durationText(entries[1].length), QStringLiteral("1:01"));

    const Answer log = get(RadioApi::logGetPath(entries[0].id, entries[0].length));
    QCOMPARE(log.status, 200);
    QCOMPARE(log.body, alphaLog);
    QCOMPARE(get(RadioApi::logGetPath(99, 120)).status, 404);
}

void DemoRadioTest::foldersWithoutLogsAreRefused_data()
{
    QTest::addColumn<QByteArray>("content"); // of the folder's only *.log; null = none
    QTest::newRow("no log at all") << QByteArray();
    QTest::newRow("a log without one whole record") << QByteArray("\x20\x01\x00\x00", 4);
}

void DemoRadioTest::foldersWithoutLogsAreRefused()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    if (!content.isNull())
        QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("cut.log")), content));
    DemoRadio fresh;
    QString error;
    QVERIFY(!fresh.loadLogs(dir.path(), &error));
    QVERIFY(error.contains(dir.path()));
}

void DemoRadioTest::uploadedPictureJoinsTheList()
{
    QImage picture(490, 195, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QByteArray png = TestImages::png(picture);
    QCOMPARE(upload(QStringLiteral("upload.png"), png).status, 200);
    QCOMPARE(upload(QStringLiteral("upload.png"), png).status, 200);
    QCOMPARE(flatList(get(QStringLiteral("/image/list")).body),
             QStringList({QStringLiteral("heli-450.png"), QStringLiteral("club-field.png"),
                          QStringLiteral("night-flight.png"), QStringLiteral("upload.png"),
                          QStringLiteral("upload-2.png")}));
    QCOMPARE(get(RadioApi::mediaImagePath(QStringLiteral("upload-2.png"))).body, png);
    const QImage first = QImage::fromData(
        get(RadioApi::mediaImagePath(QStringLiteral("heli-450.png"))).body, "PNG");
    QCOMPARE(first.size(), QSize(490, 195));
}

void DemoRadioTest::installedAppIsListedStartedAndRemoved()
{
    QImage iconImage(64, 64, QImage::Format_ARGB32);
    iconImage.fill(Qt::magenta);
    const QByteArray icon = TestImages::png(iconImage);
    const QByteArray pkg = package(QStringLiteral("My App"),
                                   {{QStringLiteral("app.qml"), "import QtQuick 2.0\nItem {}\n"},
                                    {QStringLiteral("icon.png"), icon},
                                    {QStringLiteral("version"), "3 1 4\n"}});
    QVERIFY(!pkg.isEmpty());
    QCOMPARE(upload(QStringLiteral("My App.app"), pkg).status, 200);
    QCOMPARE(upload(QStringLiteral("My App.app"), pkg).status, 200); // an update, not a second app

    const QStringList list = flatList(get(QStringLiteral("/app/list")).body);
    QCOMPARE(list.size(), 12);
    QCOMPARE(list.first(), QStringLiteral("Clock"));
    QCOMPARE(list.mid(10),
             QStringList({QStringLiteral("My App"), QStringLiteral("Installed from My App.app.")}));
    QCOMPARE(get(RadioApi::appIconPath(QStringLiteral("My App"))).body, icon);
    QCOMPARE(get(RadioApi::appVersionPath(QStringLiteral("My App"))).body, QByteArray("3 1 4\n"));

    QCOMPARE(get(RadioApi::appExecPath(QStringLiteral("My App"))).status, 200);
    QCOMPARE(get(RadioApi::appRemovePath(QStringLiteral("My App"))).status, 200);
    QVERIFY(!flatList(get(QStringLiteral("/app/list")).body).contains(QStringLiteral("My App")));
    QCOMPARE(get(RadioApi::appExecPath(QStringLiteral("My App"))).status, 404);
    QCOMPARE(get(RadioApi::appRemovePath(QStringLiteral("My App"))).status, 404);
}

void DemoRadioTest::refusedUploadsChangeNothing_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("status");

    QTest::newRow("package without app.qml")
        << "Empty.app" << package(QStringLiteral("Empty"), {{QStringLiteral("version"), "1 0 0\n"}})
        << 400;
    QTest::newRow("home screen without screen.qml")
        << "Home.kbm" << package(QStringLiteral("base"), {{QStringLiteral("app.qml"), "Item {}"}})
        << 400;
    QTest::newRow("not an archive") << "Junk.app" << QByteArray(3000, 'j') << 400;
    QTest::newRow("not a picture") << "photo.png" << QByteArray("GIF89a, or so") << 415;
}

void DemoRadioTest::refusedUploadsChangeNothing()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, data);
    QFETCH(int, status);
    const QByteArray apps = get(QStringLiteral("/app/list")).body;
    const QByteArray images = get(QStringLiteral("/image/list")).body;
    QCOMPARE(upload(fileName, data).status, status);
    QCOMPARE(get(QStringLiteral("/app/list")).body, apps);
    QCOMPARE(get(QStringLiteral("/image/list")).body, images);
    QCOMPARE(get(QStringLiteral("/model/base/exec")).status, 404);
}

void DemoRadioTest::homeScreenIsAppliedAfterItsUpload()
{
    QCOMPARE(get(QStringLiteral("/model/base/exec")).status, 404);
    const QColor standard = screen().pixelColor(5, 300);
    QCOMPARE(upload(QStringLiteral("Sunset.kbm"),
                    package(QStringLiteral("base"), {{QStringLiteral("screen.qml"), "Item {}"}}))
                 .status,
             200);
    QCOMPARE(screen().pixelColor(5, 300), standard); // uploaded, not yet applied
    QCOMPARE(get(QStringLiteral("/model/base/exec")).status, 200);
    QVERIFY(screen().pixelColor(5, 300) != standard);
    QCOMPARE(get(QStringLiteral("/model/base/delete")).status, 200);
    QCOMPARE(screen().pixelColor(5, 300), standard);
    QCOMPARE(get(QStringLiteral("/model/base/exec")).status, 404);
}

void DemoRadioTest::screenShowsTheClockTheTouchAndTheApp()
{
    const QImage home = screen();
    QCOMPARE(home.size(), QSize(800, 480));
    QCOMPARE(screen(), home); // same time, same picture
    clock = Noon.addMSecs(500);
    QVERIFY(screen() != home); // the clock's tenths moved
    clock = Noon;

    // A press away from the tiles changes only the pixels around it.
    const QPoint at(700, 130);
    QCOMPARE(get(RadioApi::touchPath(at.x(), at.y(), QStringLiteral("press"))).status, 200);
    const QImage touched = screen();
    const QRect around(at - QPoint(32, 32), at + QPoint(32, 32));
    int changed = 0;
    for (int y = 0; y < home.height(); ++y) {
        for (int x = 0; x < home.width(); ++x) {
            if (touched.pixel(x, y) != home.pixel(x, y)) {
                QVERIFY2(around.contains(x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
                ++changed;
            }
        }
    }
    QVERIFY(changed > 100);
    // The mark fades once the finger is lifted.
    QCOMPARE(get(RadioApi::touchPath(at.x(), at.y(), QStringLiteral("release"))).status, 200);
    clock = Noon.addMSecs(60000 + 1600);
    QCOMPARE(screen().pixel(at + QPoint(26, 0)), home.pixel(at + QPoint(26, 0)));

    // The first tile starts the Clock app; its page has the app's coloured title bar.
    QCOMPARE(get(RadioApi::touchPath(76, 396, QStringLiteral("press"))).status, 200);
    QCOMPARE(screen().pixel(300, 72), qRgb(0x06, 0x53, 0x9f)); // the Clock icon's blue, darker
    QCOMPARE(get(RadioApi::touchPath(72, 72, QStringLiteral("press"))).status, 200);
    QCOMPARE(screen().pixel(300, 72), home.pixel(300, 72));
}

void DemoRadioTest::badTouchesAreRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("unknown op") << "/touch/click?x=10&y=10&op=tap";
    QTest::newRow("no number") << "/touch/click?x=ten&y=10&op=press";
    QTest::newRow("off the screen") << "/touch/click?x=800&y=10&op=press";
    QTest::newRow("negative") << "/touch/click?x=-1&y=10&op=press";
    QTest::newRow("missing y") << "/touch/click?x=10&op=press";
}

void DemoRadioTest::badTouchesAreRefused()
{
    QFETCH(QString, path);
    const QImage before = screen();
    QCOMPARE(get(path).status, 400);
    QCOMPARE(screen(), before);
}

void DemoRadioTest::debugStreamEchoesWhatAnAppPrints()
{
    QTcpSocket debug;
    debug.connectToHost(QHostAddress::LocalHost, radio->debugPort());
    QVERIFY(debug.waitForConnected(5000));
    QTRY_COMPARE(radio->debugClientCount(), 1);
    QByteArray received;
    connect(&debug, &QTcpSocket::readyRead, this, [&]() { received += debug.readAll(); });

    QCOMPARE(get(QStringLiteral("/app/list")).status, 200);
    QTRY_VERIFY(received.contains('\n'));
    QCOMPARE(received, QByteArray("2025-06-01 12:00:00 [1] GET /app/list HTTP/1.1 (200)\n"));

    received.clear();
    QCOMPARE(get(RadioApi::appExecPath(QStringLiteral("Clock"))).status, 200);
    QTRY_VERIFY(received.contains("qml: Clock started (version 1.2.0)\n"));
    QTRY_VERIFY_WITH_TIMEOUT(received.contains("qml: Clock: 12:00:00\n"), 5000); // once a second
    QCOMPARE(get(RadioApi::touchPath(300, 300, QStringLiteral("press"))).status, 200);
    QTRY_VERIFY(received.contains("qml: Clock: press at 300,300\n"));
    QCOMPARE(get(RadioApi::appRemovePath(QStringLiteral("Clock"))).status, 200);
    QTRY_VERIFY(received.contains("qml: Clock closed\n"));
}

int main(int argc, char **argv)
{
    // The radio draws its screen with text.
    QGuiApplication app(argc, argv);
    DemoRadioTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_demoradio.moc"
