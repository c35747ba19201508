// A stand-alone fake radio for whole-program runs inside the test network namespace:
//   fake_radio ADDRESS PORT [MODEL]
// Answers discovery, a log list, an image list and a screenshot; prints each request.
#include "FakeRadio.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        QTextStream(stderr) << "usage: fake_radio ADDRESS PORT [MODEL]\n";
        return 2;
    }
    FakeRadio radio;
    if (args.size() > 3)
        radio.setInfo(QStringLiteral("KeloNet"), args.at(3));
    radio.setResponse("/log/list",
                      FakeResponse::json(R"({"list":[1,"Flight 1",1234,2,"Hover",605]})"));
    radio.setResponse("/image/list", FakeResponse::json(R"({"list":[]})"));
    radio.setResponse("/app/list",
                      FakeResponse::json(R"({"list":["Clock","A clock","Timer","Stopwatch"]})"));
    QImage screen(480, 272, QImage::Format_RGB32);
    screen.fill(QColor("#203040"));
    {
        QPainter p(&screen);
        // No text: a core application has no fonts.
        p.fillRect(QRect(40, 40, 400, 60), QColor("#0a84ff"));
        p.fillRect(QRect(40, 140, 180, 90), QColor("#eaeaea"));
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    screen.save(&buffer, "PNG");
    radio.setResponse("/screenshot.png", FakeResponse::bytes(png, "image/png"));

    QObject::connect(&radio, &FakeHttpServer::requestReceived, [](const FakeRequest &r) {
        QTextStream(stdout) << "fake_radio: " << r.requestLine << '\n' << Qt::flush;
    });
    if (!radio.listen(QHostAddress(args.at(1)), quint16(args.at(2).toUInt()))) {
        QTextStream(stderr) << "fake_radio: cannot listen on " << args.at(1) << ':' << args.at(2)
                            << '\n';
        return 1;
    }
    QTextStream(stdout) << "fake_radio: listening on " << args.at(1) << ':' << radio.port() << '\n'
                        << Qt::flush;
    return app.exec();
}
