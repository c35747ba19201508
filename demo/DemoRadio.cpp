#include "DemoRadio.h"

#include "DemoFormats.h"
#include "DemoPictures.h"
#include "TestImages.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>

namespace {

const char *const ModelName = "Heli 450";
const char *const NetworkName = "Kelo Demo";
const char *const SerialBody = "{K1, 2406, 0042, 7A, 3C, 19}\n";
constexpr int TrailLimit = 200;

FakeResponse jsonList(const QJsonArray &list)
{
    return FakeResponse::json(
        QJsonDocument(QJsonObject {{QStringLiteral("list"), list}}).toJson(QJsonDocument::Compact));
}

FakeResponse png(const QImage &image)
{
    return FakeResponse::bytes(TestImages::png(image), "image/png");
}

QString decoded(const QByteArray &encoded)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
}

// The value of one parameter of a query, percent-decoded ("+" stays a plus).
std::optional<QString> queryValue(const QByteArray &query, const QByteArray &name)
{
    for (const QByteArray &pair : query.split('&')) {
        const int eq = pair.indexOf('=');
        if (eq > 0 && pair.left(eq) == name)
            return decoded(pair.mid(eq + 1));
    }
    return std::nullopt;
}

} // namespace

DemoRadio::DemoRadio(QObject *parent)
    : QObject(parent)
    , server(new FakeHttpServer(this))
    , debugServer(new QTcpServer(this))
    , debugTimer(new QTimer(this))
    , now([]() { return QDateTime::currentDateTime(); })
{
    server->setFallback([this](const FakeRequest &request) { return answer(request); });
    for (const auto &[name, image] : DemoPictures::images())
        pictures.append({name, TestImages::png(image)});
    const QVector<QStringList> demoApps = {
        {QStringLiteral("Clock"), QStringLiteral("A big clock with the date, on its own page."),
         QStringLiteral("1 2 0")},
        {QStringLiteral("Flight Timer"),
         QStringLiteral("Counts the flight time from the moment the motor spools up."),
         QStringLiteral("2 0 3")},
        {QStringLiteral("Telemetry"),
         QStringLiteral("Battery, current, headspeed and altitude from the receiver, live."),
         QStringLiteral("1 4 1")},
        {QStringLiteral("Battery Check"),
         QStringLiteral("Shows each cell of the flight pack before take-off."),
         QStringLiteral("0 9 5")},
        {QStringLiteral("Lap Counter"), QStringLiteral("Counts pylon laps and times each one."),
         QStringLiteral("1 0 0")},
    };
    for (const QStringList &a : demoApps) {
        const QImage icon = DemoPictures::appIcon(a[0]);
        apps.append({a[0], a[1], TestImages::png(icon), icon, a[2].toUtf8() + '\n'});
    }
    connect(debugServer, &QTcpServer::newConnection, this, &DemoRadio::onDebugConnection);
    connect(debugTimer, &QTimer::timeout, this, &DemoRadio::onDebugTick);
    debugTimer->start(1000);
    switchedOn = now();
}

void DemoRadio::setClock(std::function<QDateTime()> clock)
{
    now = std::move(clock);
    switchedOn = now();
}

bool DemoRadio::loadLogs(const QString &folder, QString *error)
{
    const QFileInfoList files
        = QDir(folder).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        *error = QStringLiteral("no *.log file in %1").arg(folder);
        return false;
    }
    QVector<Log> loaded;
    for (const QFileInfo &info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(info.filePath(), file.errorString());
            return false;
        }
        const QByteArray bytes = file.readAll();
        const qint64 tenths = DemoFormats::logLengthTenths(bytes);
        if (tenths < 0) {
            *error = QStringLiteral("%1 holds no flight-log record").arg(info.filePath());
            return false;
        }
        loaded.append({loaded.size() + 1, info.completeBaseName(), tenths, bytes});
    }
    logs = loaded;
    return true;
}

bool DemoRadio::listen(const QHostAddress &address, quint16 httpPort, quint16 debugPort,
                       QString *error)
{
    if (!server->listen(address, httpPort)) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(httpPort);
        return false;
    }
    if (!debugServer->listen(address, debugPort)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(address.toString())
                     .arg(debugPort)
                     .arg(debugServer->errorString());
        server->close();
        return false;
    }
    this->address = address.toString();
    return true;
}

quint16 DemoRadio::debugPort() const
{
    return debugServer->serverPort();
}

FakeResponse DemoRadio::answer(const FakeRequest &request)
{
    const QByteArray &path = request.path;
    FakeResponse response = FakeResponse::error(404, "not found");
    if (request.method == "POST") {
        response = path == "/upload.html" ? upload(request) : FakeResponse::error(405, "GET only");
    } else if (request.method != "GET") {
        response = FakeResponse::error(405, "GET or POST only");
    } else if (path == "/system/info") {
        response = systemInfo();
    } else if (path == "/system/serial") {
        response = FakeResponse::text(SerialBody);
    } else if (path == "/log/list") {
        QJsonArray list;
        for (const Log &log : logs)
            list << log.id << log.name << log.tenths;
        response = jsonList(list);
    } else if (path.startsWith("/log/get/")) {
        response = logGet(path);
    } else if (path == "/image/list") {
        QJsonArray list;
        for (const Picture &picture : pictures)
            list << picture.name;
        response = jsonList(list);
    } else if (path.startsWith("/media/image/")) {
        const QString name = decoded(path.mid(int(qstrlen("/media/image/"))));
        for (const Picture &picture : pictures) {
            if (picture.name == name)
                response = FakeResponse::bytes(picture.bytes, "image/png");
        }
    } else if (path == "/app/list") {
        QJsonArray list;
        for (const App &app : apps)
            list << app.name << app.detail;
        response = jsonList(list);
    } else if (path.startsWith("/media/apps/")) {
        response = appMedia(path);
    } else if (path == "/app/exec" || path == "/app/remove") {
        const auto name = queryValue(request.query, "app");
        if (!name)
            response = FakeResponse::error(400, "app= is missing");
        else
            response = path == "/app/exec" ? execApp(*name) : removeApp(*name);
    } else if (path == "/model/base/exec") {
        if (uploadedHomeScreen.isEmpty()) {
            response = FakeResponse::error(404, "no home screen has been uploaded");
        } else {
            homeScreen = uploadedHomeScreen;
            runningApp.clear();
            debugLine("qml: home screen " + homeScreen.toUtf8() + " applied");
            response = FakeResponse::text("OK");
        }
    } else if (path == "/model/base/delete") {
        homeScreen.clear();
        uploadedHomeScreen.clear();
        response = FakeResponse::text("OK");
    } else if (path == "/screenshot.png") {
        response = screenshot();
    } else if (path == "/touch/click") {
        response = touch(request.query);
    }
    ++requestCount;
    debugLine(
        DemoFormats::accessLogLine(now(), requestCount, request.requestLine, response.status));
    emit served(request.requestLine, response.status);
    return response;
}

FakeResponse DemoRadio::systemInfo() const
{
    QJsonObject info;
    info.insert(QStringLiteral("network"), QLatin1String(NetworkName));
    info.insert(QStringLiteral("ip"), address);
    info.insert(QStringLiteral("mdlcur"), QLatin1String(ModelName));
    return FakeResponse::json(QJsonDocument(info).toJson(QJsonDocument::Compact));
}

FakeResponse DemoRadio::logGet(const QByteArray &path) const
{
    const QList<QByteArray> parts = path.mid(int(qstrlen("/log/get/"))).split('-');
    bool ok = parts.size() == 2;
    const qint64 id = ok ? parts[0].toLongLong(&ok) : 0;
    if (!ok)
        return FakeResponse::error(400, "expected /log/get/ID-LENGTH");
    for (const Log &log : logs) {
        if (log.id == id)
            return FakeResponse::bytes(log.bytes, "application/octet-stream");
    }
    return FakeResponse::error(404, "no such log");
}

FakeResponse DemoRadio::upload(const FakeRequest &request)
{
    QString why;
    const auto file = DemoFormats::parseUpload(request.header("Content-Type"), request.body, &why);
    if (!file)
        return FakeResponse::error(400, why.toUtf8());
    const QString suffix = QFileInfo(file->fileName).suffix().toLower();
    if (suffix == QLatin1String("app") || suffix == QLatin1String("kbm"))
        return install(file->fileName, file->data, suffix == QLatin1String("kbm"));
    if (QImage::fromData(file->data).isNull())
        return FakeResponse::error(415, "neither a picture nor an app package");
    addPicture(file->fileName, file->data);
    return FakeResponse::text("OK");
}

void DemoRadio::addPicture(const QString &wanted, const QByteArray &bytes)
{
    const QFileInfo info(wanted);
    QString name = wanted;
    for (int n = 2;; ++n) {
        const bool taken = std::any_of(pictures.cbegin(), pictures.cend(),
                                       [&](const Picture &p) { return p.name == name; });
        if (!taken)
            break;
        name = QStringLiteral("%1-%2.%3").arg(info.completeBaseName()).arg(n).arg(info.suffix());
    }
    pictures.append({name, bytes});
}

FakeResponse DemoRadio::install(const QString &fileName, const QByteArray &archive,
                                bool isHomeScreen)
{
    QString why;
    const auto entries = DemoFormats::readTar(archive, &why);
    if (!entries)
        return FakeResponse::error(400, "not a package: " + why.toUtf8());
    QString root;
    QHash<QString, QByteArray> files; // by name below the root folder
    for (const DemoFormats::TarEntry &e : *entries) {
        const int slash = e.name.indexOf(QLatin1Char('/'));
        if (slash > 0 && root.isEmpty())
            root = e.name.left(slash);
        if (!e.name.endsWith(QLatin1Char('/')))
            files.insert(slash > 0 ? e.name.mid(slash + 1) : e.name, e.data);
    }
    const QString main = isHomeScreen ? QStringLiteral("screen.qml") : QStringLiteral("app.qml");
    if (!files.contains(main))
        return FakeResponse::error(400, "not a package: it holds no " + main.toUtf8());
    const QString baseName = QFileInfo(fileName).completeBaseName();
    if (isHomeScreen) {
        uploadedHomeScreen = baseName;
        return FakeResponse::text("OK");
    }
    const QString name = root.isEmpty() ? baseName : root;
    App app {
        name, QStringLiteral("Installed from %1.").arg(fileName), {}, {}, files.value("version")};
    app.iconImage = QImage::fromData(files.value(QStringLiteral("icon.png")));
    if (app.iconImage.isNull()) {
        app.iconImage = DemoPictures::appIcon(name);
        app.icon = TestImages::png(app.iconImage);
    } else {
        app.icon = files.value(QStringLiteral("icon.png"));
    }
    const int existing = appIndex(name);
    if (existing >= 0)
        apps[existing] = app;
    else
        apps.append(app);
    debugLine("qml: installed " + name.toUtf8());
    return FakeResponse::text("OK");
}

FakeResponse DemoRadio::appMedia(const QByteArray &path) const
{
    const QByteArray rest = path.mid(int(qstrlen("/media/apps/")));
    const int slash = rest.lastIndexOf('/');
    if (slash <= 0)
        return FakeResponse::error(404, "not found");
    const int index = appIndex(decoded(rest.left(slash)));
    const QByteArray file = rest.mid(slash + 1);
    if (index < 0)
        return FakeResponse::error(404, "no such app");
    if (file == "icon.png")
        return FakeResponse::bytes(apps[index].icon, "image/png");
    if (file == "version" && !apps[index].version.isEmpty())
        return FakeResponse::text(apps[index].version);
    return FakeResponse::error(404, "not found");
}

int DemoRadio::appIndex(const QString &name) const
{
    for (int i = 0; i < apps.size(); ++i) {
        if (apps[i].name == name)
            return i;
    }
    return -1;
}

FakeResponse DemoRadio::execApp(const QString &name)
{
    const int index = appIndex(name);
    if (index < 0)
        return FakeResponse::error(404, "no such app");
    startApp(index);
    return FakeResponse::text("OK");
}

void DemoRadio::startApp(int index)
{
    runningApp = apps[index].name;
    runningSince = now();
    const QByteArray version = apps[index].version.simplified().replace(' ', '.');
    debugLine("qml: " + runningApp.toUtf8() + " started"
              + (version.isEmpty() ? QByteArray() : " (version " + version + ')'));
}

FakeResponse DemoRadio::removeApp(const QString &name)
{
    const int index = appIndex(name);
    if (index < 0)
        return FakeResponse::error(404, "no such app");
    if (runningApp == name) {
        debugLine("qml: " + name.toUtf8() + " closed");
        runningApp.clear();
    }
    apps.remove(index);
    return FakeResponse::text("OK");
}

FakeResponse DemoRadio::touch(const QByteArray &query)
{
    bool xOk = false, yOk = false;
    const QPoint pos(queryValue(query, "x").value_or(QString()).toInt(&xOk),
                     queryValue(query, "y").value_or(QString()).toInt(&yOk));
    const QString op = queryValue(query, "op").value_or(QString());
    if (!xOk || !yOk
        || !QRect(0, 0, DemoPictures::ScreenWidth, DemoPictures::ScreenHeight).contains(pos)
        || (op != QLatin1String("press") && op != QLatin1String("move")
            && op != QLatin1String("release")))
        return FakeResponse::error(400, "expected x, y on the screen and op=press|move|release");
    lastTouch = now();
    if (op == QLatin1String("press")) {
        trail = {pos};
        touching = true;
        if (runningApp.isEmpty()) {
            const int tile = DemoPictures::tileAt(pos, apps.size());
            if (tile >= 0)
                startApp(tile);
        } else if (DemoPictures::backButton().contains(pos)) {
            debugLine("qml: " + runningApp.toUtf8() + " closed");
            runningApp.clear();
        }
    } else {
        if (trail.size() < TrailLimit)
            trail.append(pos);
        touching = op == QLatin1String("move");
    }
    if (!runningApp.isEmpty() && op != QLatin1String("move"))
        debugLine(QStringLiteral("qml: %1: %2 at %3,%4")
                      .arg(runningApp, op)
                      .arg(pos.x())
                      .arg(pos.y())
                      .toUtf8());
    return FakeResponse::text("OK");
}

FakeResponse DemoRadio::screenshot() const
{
    DemoPictures::Screen s;
    s.now = now();
    s.uptimeMs = switchedOn.msecsTo(s.now);
    s.model = QLatin1String(ModelName);
    for (const App &app : apps)
        s.apps.append({app.name, app.iconImage});
    s.homeScreen = homeScreen;
    const int running = appIndex(runningApp);
    if (running >= 0) {
        s.runningApp = runningApp;
        s.runningIcon = apps[running].iconImage;
        s.runningVersion = QString::fromUtf8(apps[running].version.simplified().replace(' ', '.'));
        s.runningMs = runningSince.msecsTo(s.now);
    }
    s.trail = trail;
    s.touching = touching;
    s.sinceTouchMs = lastTouch.isValid() ? lastTouch.msecsTo(s.now) : -1;
    return png(DemoPictures::screen(s));
}

void DemoRadio::debugLine(const QByteArray &line)
{
    for (QTcpSocket *client : qAsConst(debugClients))
        client->write(line + '\n');
}

void DemoRadio::onDebugConnection()
{
    while (QTcpSocket *client = debugServer->nextPendingConnection()) {
        debugClients.append(client);
        connect(client, &QTcpSocket::disconnected, this, [this, client]() {
            debugClients.removeOne(client);
            client->deleteLater();
        });
    }
}

// What the running app prints, once a second.
void DemoRadio::onDebugTick()
{
    if (runningApp.isEmpty() || debugClients.isEmpty())
        return;
    const QDateTime t = now();
    const qint64 s = runningSince.secsTo(t);
    QString text;
    if (runningApp == QLatin1String("Clock"))
        text = t.toString(QStringLiteral("HH:mm:ss"));
    else if (runningApp == QLatin1String("Flight Timer"))
        text = QStringLiteral("%1:%2 flown")
                   .arg(s / 60, 2, 10, QLatin1Char('0'))
                   .arg(s % 60, 2, 10, QLatin1Char('0'));
    else if (runningApp == QLatin1String("Telemetry"))
        text = QStringLiteral("battery %1 V, current %2 A")
                   .arg(23.9 - 0.004 * s + 0.3 * std::sin(double(s)), 0, 'f', 2)
                   .arg(12 + 4 * std::sin(s * 0.7), 0, 'f', 1);
    else
        text = QStringLiteral("frame %1").arg(s * 30);
    debugLine("qml: " + runningApp.toUtf8() + ": " + text.toUtf8());
}
