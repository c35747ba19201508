// The demo radio that scripts/demo.sh starts beside the program:
//   demo_radio ADDRESS LOGFOLDER
// serves HTTP on ADDRESS:80 and the debug stream on ADDRESS:9022; prints each request.
#include "DemoRadio.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    // The pictures are drawn with text, which needs a GUI application; it opens no window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: demo_radio ADDRESS LOGFOLDER\n";
        return 2;
    }
    DemoRadio radio;
    QString error;
    if (!radio.loadLogs(args.at(2), &error)
        || !radio.listen(QHostAddress(args.at(1)), 80, 9022, &error)) {
        err << "demo_radio: " << error << '\n';
        return 1;
    }
    QObject::connect(&radio, &DemoRadio::served, [](const QByteArray &requestLine, int status) {
        QTextStream(stdout) << "demo_radio: " << requestLine << " (" << status << ")\n"
                            << Qt::flush;
    });
    QTextStream(stdout) << "demo_radio: listening on " << args.at(1)
                        << " (HTTP port 80, debug port 9022)\n"
                        << Qt::flush;
    return app.exec();
}
