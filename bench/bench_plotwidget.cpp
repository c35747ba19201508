// The Log Viewer tab: opening a one-hour log and checking eight variables one by one, and
// moving the time cursor over a plot of 10 M samples (cursor layer only, no full replot).
#include "BenchSupport.h"
#include "KeloResources.h"
#include "LogGenerator.h"
#include "PlotWidget.h"
#include "RadioScanner.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <qcustomplot.h>

#include <cmath>
#include <cstdio>

using BenchSupport::Stats;
using BenchSupport::stats;
using BenchSupport::timeMs;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initKeloResources();
    BenchSupport::printBuildKind();
    RadioScanner scanner; // sends nothing
    QTemporaryDir dir;

    {
        PlotWidget tab(&scanner);
        tab.resize(1400, 900);
        tab.show();
        app.processEvents();
        const QByteArray bytes = LogGenerator::flight(3600);
        const QString path = dir.filePath(QStringLiteral("hour.log"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        file.close();

        const double openMs = timeMs([&] {
            tab.loadLogFile(path);
            while (tab.isLoading())
                app.processEvents(QEventLoop::WaitForMoreEvents);
            if (tab.logVariables().isEmpty())
                std::exit(2);
        });
        auto *list = tab.findChild<QListWidget *>(QStringLiteral("variableList"));
        std::printf("one-hour log: %.1f MB, %d variables listed\n", bytes.size() / 1e6,
                    list->count());
        std::printf("  %-44s %8.1f ms\n", "open (read and parse off the GUI thread, list)", openMs);

        QVector<double> checks;
        const int rows[] = {2, 3, 4, 5, 19, 40, 45, 60};
        for (int row : rows) {
            checks << timeMs([&] {
                list->item(row)->setCheckState(Qt::Checked);
                app.processEvents();
            });
        }
        double total = 0;
        for (double ms : checks)
            total += ms;
        std::printf("  %-44s %8.1f ms (last, with 8 graphs: %.1f ms)\n",
                    "checking 8 variables one by one, total", total, checks.last());
        QVector<double> unchecks;
        for (int row : rows) {
            unchecks << timeMs([&] {
                list->item(row)->setCheckState(Qt::Unchecked);
                app.processEvents();
            });
        }
        const Stats u = stats(unchecks);
        std::printf("  %-44s median %6.1f ms, worst %6.1f ms\n", "unchecking them", u.median,
                    u.worst);
    }

    {
        PlotWidget tab(&scanner);
        tab.resize(1400, 900);
        const int n = 10000000;
        LogVariable v;
        v.name = QStringLiteral("Dense [V]");
        v.times.resize(n);
        v.values.resize(n);
        for (int i = 0; i < n; ++i) {
            v.times[i] = i * 0.001;
            v.values[i] = std::sin(i * 0.0001) * 10 + std::sin(i * 0.37);
        }
        tab.setVariables({v});
        tab.show();
        app.processEvents();
        auto *list = tab.findChild<QListWidget *>(QStringLiteral("variableList"));
        const double checkMs = timeMs([&] {
            list->item(0)->setCheckState(Qt::Checked);
            app.processEvents();
        });
        auto *plot = tab.findChild<QCustomPlot *>(QStringLiteral("plot"));
        const double fullMs = timeMs([&] { plot->replot(); });
        std::printf("10 M samples, one graph:\n");
        std::printf("  %-44s %8.1f ms\n", "checking it (copy, rescale, full replot)", checkMs);
        std::printf("  %-44s %8.1f ms\n", "one full replot, for comparison", fullMs);

        QVector<double> moves, movesPainted;
        int fullReplots = 0;
        QObject::connect(plot, &QCustomPlot::afterReplot, [&] { ++fullReplots; });
        for (int i = 0; i < 300; ++i) {
            const double key = 100 + i * 29.3;
            moves << timeMs([&] { tab.updateCursor(key); });
            movesPainted << timeMs([&] {
                tab.updateCursor(key + 0.5);
                plot->repaint();
            });
        }
        const Stats m = stats(moves);
        const Stats p = stats(movesPainted);
        std::printf("  %-44s median %6.3f ms, worst %6.3f ms (goal <= 1 ms)\n",
                    "cursor move (lookup, table, layer replot)", m.median, m.worst);
        std::printf("  %-44s median %6.3f ms, worst %6.3f ms\n",
                    "cursor move and its repaint of the widget", p.median, p.worst);
        std::printf("  full replots during 600 moves: %d\n", fullReplots);
    }
    return 0;
}
