// Opening a large QML file in the Developer tab: how long the open takes until the editor has
// painted, and the longest the window then stays unresponsive, for 1 MB, 8 MB and 50 MB files.
// Run inside a network namespace (scripts/netns.sh) with a display, one size per process for
// its own peak memory: bench_developeropen 50.
#include "AiServiceApi.h"
#include "BenchSupport.h"
#include "DeveloperWidget.h"
#include "KeloResources.h"
#include "RadioScanner.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QByteArray qmlOfSize(qint64 bytes)
{
    QByteArray text = "import QtQuick 2.12\n\nItem {\n";
    int i = 0;
    while (text.size() < bytes - 4) {
        text += "    Rectangle { id: r" + QByteArray::number(i)
            + "; x: " + QByteArray::number(i % 700) + "; width: 20; color: \"#33aaff\" } // item "
            + QByteArray::number(i) + "\n";
        ++i;
    }
    text += "}\n";
    return text;
}

struct Figures
{
    double openMs = 0;
    double longestStallMs = 0;
};

// Selects the project, whose first file is the big one, and watches the event loop for 3 s.
Figures openOnce(DeveloperWidget &tab, const QString &project)
{
    auto *projects = tab.findChild<QListWidget *>(QStringLiteral("projectList"));
    projects->setCurrentItem(nullptr);
    QCoreApplication::processEvents();
    Figures figures;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&]() {
        const qint64 now = clock.nsecsElapsed();
        figures.longestStallMs = qMax(figures.longestStallMs, (now - lastTick) / 1e6);
        lastTick = now;
    });
    clock.start();
    ticker.start();
    projects->setCurrentItem(projects->findItems(project, Qt::MatchExactly).value(0));
    tab.repaint();
    QCoreApplication::processEvents();
    figures.openMs = clock.nsecsElapsed() / 1e6;
    while (clock.elapsed() < figures.openMs + 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + "/Documents").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QApplication app(argc, argv);
    initKeloResources();
    AiServiceApi::setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:1")));
    BenchSupport::printBuildKind();

    QList<int> sizesMb {1, 8, 50};
    if (argc > 1) {
        sizesMb.clear();
        for (int i = 1; i < argc; ++i)
            sizesMb << QByteArray(argv[i]).toInt();
    }
    std::printf("%8s %12s %18s %12s\n", "size", "open (ms)", "longest stall (ms)", "peak RSS MB");
    for (const int mb : sizesMb) {
        const QString src
            = QDir(home.path())
                  .filePath(QStringLiteral("Documents/Kelo Developer/bench%1/src").arg(mb));
        QDir().mkpath(src);
        QFile file(src + QStringLiteral("/app.qml"));
        file.open(QIODevice::WriteOnly);
        file.write(qmlOfSize(qint64(mb) * 1024 * 1024));
        file.close();
        RadioScanner scanner;
        DeveloperWidget tab(&scanner);
        tab.resize(1100, 700);
        tab.show();
        QCoreApplication::processEvents();
        const Figures figures = openOnce(tab, QStringLiteral("bench%1").arg(mb));
        std::printf("%6d MB %12.0f %18.0f %12ld\n", mb, figures.openMs, figures.longestStallMs,
                    BenchSupport::peakRssMb());
        QDir(src).removeRecursively();
        QDir().rmdir(QFileInfo(src).path());
    }
    return 0;
}
