#include "DemoRadio.h"

#include <QGuiApplication>
#include <QTextStream>

int demoRadioMain(int argc, char **argv)
{
    // The pictures are drawn with text, which needs a GUI application; it opens no window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 4) {
        err << "usage: fake_radio --demo ADDRESS LOGFOLDER\n";
        return 2;
    }
    DemoRadio radio;
    QString error;
    if (!radio.loadLogs(args[3], &error)
        || !radio.listen(QHostAddress(args[2]), 80, 9022, &error)) {
        err << "fake_radio: " << error << '\n';
        return 1;
    }
    QObject::connect(&radio, &DemoRadio::served, [](const QByteArray &requestLine, int status) {
        QTextStream(stdout) << "fake_radio: " << requestLine << " (" << status << ")\n"
                            << Qt::flush;
    });
    QTextStream(stdout) << "fake_radio: demo radio listening on " << args[2]
                        << " (HTTP port 80, debug port 9022)\n"
                        << Qt::flush;
    return app.exec();
}
