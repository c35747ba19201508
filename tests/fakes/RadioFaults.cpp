#include "RadioFaults.h"

#include "LogGenerator.h"
#include "TestImages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace RadioFaults {

QStringList names()
{
    return {"endless",     "oversized", "hugelength", "hugenames", "manyentries",
            "hugepicture", "hugelog",   "trickle",    "bidiserial"};
}

static QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

static QByteArray listOf(const QJsonArray &list)
{
    return json(QJsonObject {{"list", list}});
}

// One answer per kind of endpoint: what a fault does to each.
struct Answers
{
    FakeResponse serial, logList, logGet, imageList, image, appList, icon, version, screenshot;
};

static Answers streamed(FakeResponse (*make)(const QByteArray &prefix))
{
    const QByteArray png("\x89PNG\r\n\x1a\n", 8);
    return {make("{1,2,3"), make(R"({"list":[1,")"), make(QByteArray()), make(R"({"list":[")"),
            make(png),      make(R"({"list":[")"),   make(png),          make("1 2 3 "),
            make(png)};
}

bool apply(FakeHttpServer &radio, const QString &fault, FakeHttpServer::Handler sane)
{
    Answers a;
    bool routed = true; // the fault replaces every endpoint's answer
    if (fault == QLatin1String("endless")) {
        a = streamed([](const QByteArray &prefix) { return FakeResponse::endless(prefix); });
    } else if (fault == QLatin1String("oversized")) {
        a = streamed([](const QByteArray &prefix) {
            return FakeResponse::oversized(200 * 1024 * 1024, prefix);
        });
    } else if (fault == QLatin1String("hugelength")) {
        a = streamed([](const QByteArray &) { return FakeResponse::hugeLength(); });
    } else {
        routed = false;
    }
    if (routed) {
        radio.setResponse("/system/serial", a.serial);
        // An upload (Play, install, image) meets the endless answer in chunks, which Qt's
        // network thread reads in a loop of its own.
        if (fault == QLatin1String("endless"))
            radio.setResponse("/upload.html", FakeResponse::endlessChunked("OK"));
        // The log list of a 200 MB radio is refused; with the others it stays sane, so a log
        // can be asked for and meets the fault in its download.
        if (fault == QLatin1String("oversized"))
            radio.setResponse("/log/list", a.logList);
        radio.setResponse("/image/list", a.imageList);
        radio.setResponse("/app/list", a.appList);
        radio.setResponse("/screenshot.png", a.screenshot);
        radio.setFallback([a](const FakeRequest &r) {
            if (r.path.startsWith("/log/get/"))
                return a.logGet;
            if (r.path.startsWith("/media/image/"))
                return a.image;
            if (r.path.endsWith("/icon.png"))
                return a.icon;
            if (r.path.endsWith("/version"))
                return a.version;
            return FakeResponse::error(404, "not found");
        });
        return true;
    }

    if (fault == QLatin1String("hugenames")) {
        // Each answer just below the 1 MiB a text answer may have.
        const QString name(600 * 1024, QLatin1Char('M'));
        radio.setResponse(
            "/system/info",
            FakeResponse::json(json({{"network", QString(300 * 1024, QLatin1Char('N'))},
                                     {"ip", "10.77.0.2"},
                                     {"mdlcur", name}})));
        const QByteArray field(150 * 1024, 'S');
        radio.setResponse("/system/serial", FakeResponse::text("{" + field + ",2,3,4,5,6}"));
        radio.setResponse(
            "/log/list",
            FakeResponse::json(listOf({1, QString(900 * 1024, QLatin1Char('L')), 1800})));
        radio.setResponse(
            "/image/list",
            FakeResponse::json(listOf({QString(900 * 1024, QLatin1Char('I')) + ".png"})));
        radio.setResponse("/app/list",
                          FakeResponse::json(listOf({QString(500 * 1024, QLatin1Char('A')),
                                                     QString(400 * 1024, QLatin1Char('D'))})));
        radio.setFallback([sane](const FakeRequest &r) {
            if (r.path.endsWith("/version"))
                return FakeResponse::text(QByteArray(900 * 1024, '7'));
            return sane(r);
        });
        return true;
    }
    if (fault == QLatin1String("manyentries")) {
        // As many entries as fit into a text answer.
        QByteArray logs = R"({"list":[)";
        for (int i = 0; logs.size() < 1000 * 1000; ++i)
            logs += QByteArray::number(i) + R"(,"L",)" + QByteArray::number(i) + ',';
        logs.chop(1);
        radio.setResponse("/log/list", FakeResponse::json(logs + "]}"));
        QByteArray images = R"({"list":[)";
        for (int i = 0; images.size() < 1000 * 1000; ++i)
            images += "\"i" + QByteArray::number(i) + ".png\",";
        images.chop(1);
        radio.setResponse("/image/list", FakeResponse::json(images + "]}"));
        QByteArray apps = R"({"list":[)";
        for (int i = 0; apps.size() < 1000 * 1000; ++i)
            apps += "\"a" + QByteArray::number(i) + "\",\"d\",";
        apps.chop(1);
        radio.setResponse("/app/list", FakeResponse::json(apps + "]}"));
        radio.setFallback([sane](const FakeRequest &r) {
            // Thumbnails and icons of the first entries, then 404s.
            if (r.path.startsWith("/media/image/i") || r.path.startsWith("/media/apps/a"))
                return FakeResponse::error(404, "not found");
            return sane(r);
        });
        return true;
    }
    if (fault == QLatin1String("hugepicture")) {
        const FakeResponse huge
            = FakeResponse::bytes(TestImages::hugePng(20000, 20000), "image/png");
        radio.setResponse("/screenshot.png", huge);
        radio.setFallback([sane, huge](const FakeRequest &r) {
            if (r.path.startsWith("/media/image/") || r.path.endsWith("/icon.png"))
                return huge;
            return sane(r);
        });
        return true;
    }
    if (fault == QLatin1String("hugelog")) {
        const FakeResponse log = FakeResponse::bytes(LogGenerator::type1Flood(300 * 1024 * 1024),
                                                     "application/octet-stream");
        radio.setFallback([sane, log](const FakeRequest &r) {
            return r.path.startsWith("/log/get/") ? log : sane(r);
        });
        return true;
    }
    if (fault == QLatin1String("trickle")) {
        radio.setResponse(
            "/system/info",
            FakeResponse::trickle(R"({"network":"Trickle","ip":"x","mdlcur":"T"})", 1000));
        return true;
    }
    if (fault == QLatin1String("bidiserial")) {
        radio.setResponse("/system/serial",
                          FakeResponse::text("{\xe2\x80\xae"
                                             "EVIL,2,3,4,5,6}"));
        return true;
    }
    return false;
}

} // namespace RadioFaults
