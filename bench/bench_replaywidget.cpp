// The Replay tab: one playback tick (seek: value lookups, gimbals, figures, model
// properties, cursor layer) on a log whose variables hold 10 M samples each, with two
// graphs plotted.
#include "BenchSupport.h"
#include "KeloResources.h"
#include "LogNames.h"
#include "RadioScanner.h"
#include "ReplayWidget.h"

#include <QApplication>
#include <QListWidget>

#include <qcustomplot.h>

#include <cmath>
#include <cstdio>

using BenchSupport::Stats;
using BenchSupport::stats;
using BenchSupport::timeMs;

int main(int argc, char **argv)
{
    // Offscreen without OpenGL unless a platform is given: under an X server with
    // QT_QPA_PLATFORM=xcb the tick also writes the 3D model's properties.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    }
    QApplication app(argc, argv);
    initKeloResources();
    BenchSupport::printBuildKind();
    RadioScanner scanner; // sends nothing
    ReplayWidget tab(&scanner);
    tab.resize(1400, 900);
    tab.show();

    // 10 M samples at 1 kHz (2:46:40). The series share their time vector, as the
    // parser's do; each has its own values so the lookups touch separate memory.
    const int n = 10000000;
    QVector<double> times(n);
    for (int i = 0; i < n; ++i)
        times[i] = i * 0.001;
    const char *names[]
        = {LogNames::StickLV,       LogNames::StickLH,        LogNames::StickRV,
           LogNames::StickRH,       LogNames::EscBattVolt,    LogNames::EscBattCurr,
           LogNames::EscRpm,        LogNames::VarnekElevator, LogNames::VarnekAileron,
           LogNames::VarnekRudder,  LogNames::VarnekAlt,      LogNames::VarnekQuatW,
           LogNames::VarnekQuatX,   LogNames::VarnekQuatY,    LogNames::VarnekQuatZ,
           LogNames::VarnekVibLevel};
    QVector<LogVariable> vars;
    int k = 0;
    for (const char *name : names) {
        LogVariable v;
        v.name = QString::fromUtf8(name);
        v.times = times;
        v.values.resize(n);
        for (int i = 0; i < n; ++i)
            v.values[i] = std::sin(i * 0.0001 * (k + 1)) * 50 + std::sin(i * 0.37);
        vars.append(v);
        ++k;
    }
    const double loadMs = timeMs([&] {
        tab.loadLog(vars, QStringLiteral("dense"));
        app.processEvents();
    });
    auto *list = tab.findChild<QListWidget *>(QStringLiteral("variableList"));
    const double checkMs = timeMs([&] {
        list->item(0)->setCheckState(Qt::Checked);
        list->item(4)->setCheckState(Qt::Checked);
        app.processEvents();
    });
    std::printf("16 variables of 10 M samples each, 2 graphs, 3D model %s:\n",
                tab.hasModelView() ? "driven" : "unavailable");
    std::printf("  %-46s %8.1f ms\n", "load (list, slider, first seek)", loadMs);
    std::printf("  %-46s %8.1f ms\n", "checking two variables (full replots)", checkMs);

    auto *plot = tab.findChild<QCustomPlot *>(QStringLiteral("plot"));
    int fullReplots = 0;
    QObject::connect(plot, &QCustomPlot::afterReplot, [&] { ++fullReplots; });
    QVector<double> ticks, painted;
    const double duration = tab.logDuration();
    for (int i = 0; i < 500; ++i) {
        const double t = std::fmod(37.0 + i * 19.73, duration);
        ticks << timeMs([&] { tab.seekTo(t); });
        painted << timeMs([&] {
            tab.seekTo(t + 0.04);
            tab.repaint();
        });
    }
    const Stats s = stats(ticks);
    const Stats p = stats(painted);
    std::printf("  %-46s median %6.3f ms, p99 %6.3f ms, worst %6.3f ms (goal <= 1 ms)\n",
                "one tick (seek to a new position)", s.median, s.p99, s.worst);
    std::printf("  %-46s median %6.3f ms, p99 %6.3f ms, worst %6.3f ms\n",
                "one tick and the repaint of the tab", p.median, p.p99, p.worst);
    std::printf("  full replots during 1000 ticks: %d\n", fullReplots);
    return 0;
}
