// A stand-alone fake radio for whole-program runs inside the test network namespace:
//   fake_radio ADDRESS PORT [MODEL] [--fault NAME]
// --fault makes it a broken or hostile radio (see RadioFaults.h).
// Answers discovery, logs, images, apps, screenshots, touches, uploads and the app and home
// screen commands; prints each request. Streams debug output on ADDRESS:9022.
#include "FakeRadio.h"
#include "LogGenerator.h"
#include "RadioFaults.h"
#include "TestImages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

// No text anywhere: a core application has no fonts.
static QImage picture(int w, int h, const QColor &from, const QColor &to)
{
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    p.fillRect(image.rect(), gradient);
    p.setBrush(QColor(255, 255, 255, 90));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(w * 3 / 4, h / 3), h / 5, h / 5);
    return image;
}

static QImage icon(const QColor &color)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(color);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRect(4, 4, 56, 56), 14, 14);
    p.setBrush(Qt::white);
    p.drawEllipse(QPoint(32, 32), 12, 12);
    return image;
}

namespace {

// The radio's debug port: its web server's access log and the output of the app it runs,
// as lines to every connected client.
class DebugStream : public QObject
{
public:
    explicit DebugStream(FakeHttpServer *radio)
    {
        connect(&server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket *client = server.nextPendingConnection()) {
                clients.append(client);
                connect(client, &QTcpSocket::disconnected, this, [this, client]() {
                    clients.removeAll(client);
                    client->deleteLater();
                });
                client->write("Kelo debug console\r\n");
            }
        });
        connect(radio, &FakeHttpServer::requestReceived, this, [this](const FakeRequest &r) {
            const QString stamp
                = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            send(stamp.toUtf8() + " [1] New connection");
            send(stamp.toUtf8() + " [1] " + r.method + ' ' + r.target + " HTTP/1.1 (200)");
            if (r.path == "/app/exec")
                startApp(r.query.mid(r.query.indexOf('=') + 1));
            else if (r.path == "/model/base/exec")
                startApp("home screen");
        });
        connect(&ticker, &QTimer::timeout, this,
                [this]() { send("qml: " + running + " tick " + QByteArray::number(++ticks)); });
    }

    bool listen(const QHostAddress &address) { return server.listen(address, 9022); }

private:
    void startApp(const QByteArray &name)
    {
        running = QByteArray::fromPercentEncoding(name);
        ticks = 0;
        send("qml: " + running + " started");
        ticker.start(1000);
    }
    void send(const QByteArray &line)
    {
        for (QTcpSocket *client : qAsConst(clients))
            client->write(line + '\n');
    }

    QTcpServer server;
    QList<QTcpSocket *> clients;
    QTimer ticker;
    QByteArray running;
    int ticks = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QString fault;
    const int faultAt = args.indexOf(QStringLiteral("--fault"));
    if (faultAt > 0 && faultAt + 1 < args.size()) {
        fault = args.at(faultAt + 1);
        args.erase(args.begin() + faultAt, args.begin() + faultAt + 2);
    }
    if (args.size() < 3) {
        QTextStream(stderr) << "usage: fake_radio ADDRESS PORT [MODEL] [--fault "
                            << RadioFaults::names().join(QLatin1Char('|')) << "]\n";
        return 2;
    }
    FakeRadio radio;
    // Answers open at a link's pace, not loopback's (see setStreamPace).
    radio.setStreamPace(FakeHttpServer::WifiBytesPerSecond, FakeHttpServer::PacedStartMs);
    if (args.size() > 3)
        radio.setInfo(QStringLiteral("KeloNet"), args.at(3));

    radio.setResponse(
        "/log/list", FakeResponse::json(R"({"list":[1,"Morning hover",1800,2,"Aerobatics",605]})"));
    const QByteArray log = LogGenerator::flight(180);
    radio.setResponse("/image/list",
                      FakeResponse::json(R"({"list":["sunset.png","field.png","lake.png"]})"));
    const QByteArray images[] = {TestImages::png(picture(490, 195, "#ff7e38", "#5a1e6e")),
                                 TestImages::png(picture(490, 195, "#4caf50", "#0b3d1e")),
                                 TestImages::png(picture(490, 195, "#2196f3", "#0d1b3d"))};
    radio.setResponse("/app/list",
                      FakeResponse::json(R"({"list":["Clock","Shows the time",)"
                                         R"("Timer","A flight timer",)"
                                         R"("Telemetry","Live values"]})"));
    const QByteArray appIcons[]
        = {TestImages::png(icon("#0a84ff")), TestImages::png(icon("#ff9f0a")),
           TestImages::png(icon("#30d158"))};
    QImage screen = picture(480, 272, "#203040", "#101820");
    {
        QPainter p(&screen);
        p.fillRect(QRect(24, 24, 432, 48), QColor("#0a84ff"));
        p.fillRect(QRect(24, 96, 200, 150), QColor("#2a2a2c"));
        p.fillRect(QRect(256, 96, 200, 150), QColor("#2a2a2c"));
    }
    radio.setResponse("/screenshot.png", FakeResponse::bytes(TestImages::png(screen), "image/png"));
    radio.setResponse("/touch/click", FakeResponse::text("OK"));
    radio.setResponse("/upload.html", FakeResponse::text("OK"));
    radio.setResponse("/app/exec", FakeResponse::text("OK"));
    radio.setResponse("/model/base/exec", FakeResponse::text("OK"));
    radio.setResponse("/model/base/delete", FakeResponse::text("OK"));
    const FakeHttpServer::Handler sane = [&](const FakeRequest &r) {
        if (r.path.startsWith("/log/get/"))
            return FakeResponse::bytes(log, "application/octet-stream");
        if (r.path.startsWith("/media/image/")) {
            const QByteArray name = r.path.mid(int(qstrlen("/media/image/")));
            const int i = name == "sunset.png" ? 0 : name == "field.png" ? 1 : 2;
            return FakeResponse::bytes(images[i], "image/png");
        }
        if (r.path.startsWith("/media/apps/") && r.path.endsWith("/icon.png")) {
            const int i = r.path.contains("Clock") ? 0 : r.path.contains("Timer") ? 1 : 2;
            return FakeResponse::bytes(appIcons[i], "image/png");
        }
        if (r.path.startsWith("/media/apps/") && r.path.endsWith("/version"))
            return FakeResponse::text("2 1 0\n");
        return FakeResponse::error(404, "not found");
    };
    radio.setFallback(sane);
    if (!fault.isEmpty() && !RadioFaults::apply(radio, fault, sane)) {
        QTextStream(stderr) << "fake_radio: unknown fault " << fault << '\n';
        return 2;
    }

    QObject::connect(&radio, &FakeHttpServer::requestReceived, [](const FakeRequest &r) {
        QTextStream(stdout) << "fake_radio: " << r.requestLine << '\n' << Qt::flush;
    });
    if (!radio.listen(QHostAddress(args.at(1)), quint16(args.at(2).toUInt()))) {
        QTextStream(stderr) << "fake_radio: cannot listen on " << args.at(1) << ':' << args.at(2)
                            << '\n';
        return 1;
    }
    DebugStream debug(&radio);
    if (!debug.listen(QHostAddress(args.at(1))))
        QTextStream(stderr) << "fake_radio: no debug stream on " << args.at(1) << ":9022\n";
    QTextStream(stdout) << "fake_radio: listening on " << args.at(1) << ':' << radio.port() << '\n'
                        << Qt::flush;
    return app.exec();
}
