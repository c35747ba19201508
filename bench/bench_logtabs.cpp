// The two log tabs as a pilot meets them: the real Log Viewer and Replay widgets, in a real
// window on the X server of $DISPLAY (Xvfb will do), open generated flight logs of 1, 4 and
// 8 hours through their file dialog and from a fake radio, then check variables one by one.
// A thread pings the GUI thread every 2 ms through its event loop, so the longest time the
// shown window could not answer is measured, not guessed. Each case runs in a fresh process,
// so its memory figure is its own and a Replay open is the first one of its program, the 3D
// view's set-up included.
//
//   bench_logtabs [--baseline OTHER_BUILD/bench_logtabs] [--hours 1,4,8] [--runs 5]
//                 [--kinds viewer,replay,...] [--offscreen]
//   bench_logtabs --replay3d [--baseline ...]     (needs an X server; use software OpenGL)
//
// With --baseline the same cases run in the other build too (older code built in a separate
// directory, with this same file), old and new in turns, so that both see the same load; the
// table shows the median and the range of the runs of each. The machine's load and the cost
// of a fresh memory page, measured between the runs, are printed beside them.
#include "BenchSupport.h"
#include "FakeHttpServer.h"
#include "KeloResources.h"
#include "LogGenerator.h"
#include "LogReader.h"
#include "PlotWidget.h"
#include "RadioScanner.h"
#include "ReplayWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPaintEvent>
#include <QProcess>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double nowMs()
{
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Posts an event to the GUI thread every 2 ms (one at a time) and remembers how late the
// latest answered one was: the longest stretch in which the window could not react.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        worker = std::thread([this] {
            while (!quit) {
                if (!outstanding.exchange(true))
                    QCoreApplication::postEvent(this, new Ping(nowMs()));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    ~StallProbe() override
    {
        quit = true;
        worker.join();
        QCoreApplication::removePostedEvents(this);
    }
    // The longest stall since the last call, including one still going on.
    double takeWorst()
    {
        QCoreApplication::sendPostedEvents(this);
        const double w = worst;
        worst = 0;
        return w;
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != Ping::Type)
            return QObject::event(e);
        const double late = nowMs() - static_cast<Ping *>(e)->sentMs;
        worst = std::max(worst, late);
        // BENCH_STALL_TRACE=ms: every stall longer than that, with when it began.
        static const int trace = qEnvironmentVariableIntValue("BENCH_STALL_TRACE");
        if (trace > 0 && late > trace)
            std::fprintf(stderr, "stall %.0f ms from %.0f\n", late, static_cast<Ping *>(e)->sentMs);
        outstanding = false;
        return true;
    }

private:
    struct Ping : QEvent
    {
        static constexpr QEvent::Type Type = QEvent::Type(QEvent::User + 77);
        explicit Ping(double ms)
            : QEvent(Type)
            , sentMs(ms)
        {
        }
        double sentMs;
    };
    std::thread worker;
    std::atomic<bool> quit {false};
    std::atomic<bool> outstanding {false};
    double worst = 0;
};

// Runs the event loop until done() or timeout; false on timeout. Sleeps between events
// (a 5 ms timer wakes it), so waiting costs no CPU of its own.
template<typename F> bool waitFor(F &&done, int timeoutMs = 60000)
{
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until the window has answered within 25 ms for half a second (at
// most 15 s), as a user would see it settle before choosing a log: what a tab prepares once
// shown is done by then. Returns the longest stall meanwhile.
template<typename Probe> double settle(Probe &probe)
{
    QElapsedTimer t;
    t.start();
    double worst = probe.takeWorst();
    for (;;) {
        idle(500);
        const double w = probe.takeWorst();
        worst = std::max(worst, w);
        if (w < 25 || t.elapsed() > 15000)
            return worst;
    }
}

// Results go to stdout as "key value" lines for the driver.
void put(const char *key, double value)
{
    std::printf("R %s %.3f\n", key, value);
    std::fflush(stdout);
}

QLabel *statusOf(QWidget *tab)
{
    return tab->findChild<QLabel *>(QStringLiteral("statusLabel"));
}

bool loaded(QWidget *tab)
{
    const QString s = statusOf(tab)->text();
    return s.startsWith(QLatin1String("Loaded"));
}

// The variables a pilot might look at, in list order when checked top to bottom.
QStringList checkNames()
{
    return {QStringLiteral("Stick LV [%]"),      QStringLiteral("Stick LH [%]"),
            QStringLiteral("Stick RV [%]"),      QStringLiteral("Stick RH [%]"),
            QStringLiteral("Channel 3 [%]"),     QString::fromUtf8(u8"Varnek Pitch [\u00B0]"),
            QStringLiteral("ESC Batt Volt [V]"), QString::fromUtf8(u8"Varnek Elevator [\u00B0/s]")};
}

// The open itself: through the tab's own dialog, or a click on a radio log.
// The Replay's 3D view, where it has one.
QQuickWindow *quickWindow()
{
    for (QWindow *w : QGuiApplication::allWindows()) {
        if (auto *q = qobject_cast<QQuickWindow *>(w))
            return q;
    }
    return nullptr;
}

struct OpenTiming
{
    double openMs = -1, stallMs = -1;
};

OpenTiming openThroughDialog(QWidget *tab, const QString &path, StallProbe &probe)
{
    OpenTiming r;
    double started = 0;
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answer.stop();
        dialog->selectFile(path);
        probe.takeWorst();
        started = nowMs();
        if (qEnvironmentVariableIsSet("BENCH_STALL_TRACE"))
            std::fprintf(stderr, "accept at %.0f\n", started);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    answer.start();
    QMetaObject::invokeMethod(tab, "openLogFile");
    if (!waitFor([&] { return started > 0 && loaded(tab); }))
        return r;
    if (qEnvironmentVariableIsSet("BENCH_STALL_TRACE"))
        std::fprintf(stderr, "loaded at %.0f\n", nowMs());
    tab->repaint();
    r.openMs = nowMs() - started;
    r.stallMs = probe.takeWorst();
    return r;
}

// A fake radio on loopback, answering from a thread of its own so that its work does not
// count as the tab's.
struct RadioThread
{
    QThread thread;
    FakeHttpServer *server = nullptr;
    QString address;

    explicit RadioThread(const QByteArray &log)
    {
        thread.start();
        server = new FakeHttpServer;
        server->moveToThread(&thread);
        QMetaObject::invokeMethod(
            server,
            [this, log] {
                server->setResponse("/log/list", FakeResponse::json(R"({"list":[1,"bench",100]})"));
                // Sent a slice at a time as the socket drains, with its length announced:
                // one whole copy of a long log into the socket's buffer would make the fake
                // radio, not the tab, the slower end of the download.
                server->setResponse(
                    "/log/get/1-100",
                    FakeResponse::oversized(log.size(), log, "application/octet-stream"));
                server->listen();
                address = server->address();
            },
            Qt::BlockingQueuedConnection);
    }
    ~RadioThread()
    {
        QMetaObject::invokeMethod(
            server, [this] { delete server; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
};

OpenTiming openFromRadio(QWidget *tab, RadioScanner &scanner, const QByteArray &log,
                         StallProbe &probe)
{
    OpenTiming r;
    RadioThread radio(log);
    scanner.ip = radio.address;
    scanner.modelName = QStringLiteral("Bench");
    emit scanner.deviceFound(radio.address, QStringLiteral("net"), QStringLiteral("Bench"));
    auto *list = tab->findChild<QListWidget *>(QStringLiteral("radioLogList"));
    if (!waitFor([&] { return list->count() == 1; }, 10000))
        return r;
    probe.takeWorst();
    const double started = nowMs();
    QMetaObject::invokeMethod(tab, "onLogItemClicked", Q_ARG(QListWidgetItem *, list->item(0)));
    if (!waitFor([&] { return loaded(tab); }))
        return r;
    tab->repaint();
    r.openMs = nowMs() - started;
    r.stallMs = probe.takeWorst();
    return r;
}

// The area the widgets repaint, summed over their paint events (BENCH_PAINT_DEBUG=1 lists
// each event).
class PaintMeter : public QObject
{
public:
    qint64 pixels = 0;
    PaintMeter() { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject *obj, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && obj->isWidgetType()) {
            qint64 area = 0;
            for (const QRect &part : static_cast<QPaintEvent *>(e)->region())
                area += qint64(part.width()) * part.height();
            pixels += area;
            static const bool debug = qEnvironmentVariableIsSet("BENCH_PAINT_DEBUG");
            if (debug)
                std::fprintf(stderr, "paint %s %s %lld\n", obj->metaObject()->className(),
                             qPrintable(obj->objectName()), area);
        }
        return false;
    }
};

void toggles(QWidget *tab, StallProbe &probe, long rssBefore)
{
    PaintMeter paints;
    auto *list = tab->findChild<QListWidget *>(QStringLiteral("variableList"));
    QVector<QListWidgetItem *> items;
    for (const QString &name : checkNames()) {
        const auto found = list->findItems(name, Qt::MatchExactly);
        if (!found.isEmpty())
            items << found.first();
    }
    std::sort(items.begin(), items.end(), [list](QListWidgetItem *a, QListWidgetItem *b) {
        return list->row(a) < list->row(b);
    });
    // A plot that draws its graphs in the background says so; until it has shown them the
    // toggle's picture is not on screen.
    QObject *plot = tab->findChild<QObject *>(QStringLiteral("plot"));
    if (plot && plot->metaObject()->indexOfMethod("isDrawingPending()") < 0)
        plot = nullptr;
    const auto drawing = [plot] {
        bool pending = false;
        if (plot)
            QMetaObject::invokeMethod(plot, "isDrawingPending", Q_RETURN_ARG(bool, pending));
        return pending;
    };
    double shownMs = 0;
    // The longest the GUI thread was busy, and (shownMs) when the new picture was on screen.
    const auto timed = [&](QListWidgetItem *item, Qt::CheckState state) {
        probe.takeWorst();
        const double t0 = nowMs();
        item->setCheckState(state);
        QCoreApplication::processEvents();
        tab->repaint();
        const double ms = nowMs() - t0;
        waitFor([&] { return !drawing(); });
        tab->repaint();
        shownMs = nowMs() - t0;
        return std::max(ms, probe.takeWorst());
    };
    for (int k = 0; k < items.size(); ++k) {
        put(qPrintable(QStringLiteral("check%1").arg(k + 1)), timed(items[k], Qt::Checked));
        put(qPrintable(QStringLiteral("check%1_shown").arg(k + 1)), shownMs);
    }
    put("mem_checked_mb", (rssKb() - rssBefore) / 1024.0);
    // With all eight shown: the last one off and on again, then the first one off.
    put("uncheck_last", timed(items.last(), Qt::Unchecked));
    put("uncheck_last_shown", shownMs);
    put("recheck_last", timed(items.last(), Qt::Checked));
    put("recheck_last_shown", shownMs);
    put("uncheck_first", timed(items.first(), Qt::Unchecked));
    put("uncheck_first_shown", shownMs);
    // The last and the first one off and on again, round after round: medians over rounds
    // hold still on a busy machine where single toggles do not.
    // BENCH_TOGGLE_ROUNDS sets the count (many rounds for a profile).
    const int rounds = qEnvironmentVariableIsSet("BENCH_TOGGLE_ROUNDS")
        ? qEnvironmentVariableIntValue("BENCH_TOGGLE_ROUNDS")
        : 7;
    if (rounds <= 0 || items.size() < 2)
        return;
    timed(items.first(), Qt::Checked);
    QVector<double> gui, shown;
    paints.pixels = 0;
    for (int r = 0; r < rounds; ++r) {
        for (QListWidgetItem *item : {items.last(), items.first()}) {
            for (Qt::CheckState state : {Qt::Unchecked, Qt::Checked}) {
                gui << timed(item, state);
                shown << shownMs;
            }
        }
    }
    const BenchSupport::Stats g = BenchSupport::stats(gui), s = BenchSupport::stats(shown);
    put("toggle8_gui_median", g.median);
    put("toggle8_gui_worst", g.worst);
    put("toggle8_shown_median", s.median);
    put("toggle8_shown_worst", s.worst);
    put("toggle8_kpixels_painted", paints.pixels / 1000.0 / gui.size());
}

// The same file opened in the Log Viewer, then in Replay: what the second tab adds.
int runBothTabs(const QString &path, double samples)
{
    qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    int argc = 1;
    char name[] = "bench_logtabs";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    initKeloResources();
    RadioScanner scanner;
    PlotWidget viewer(&scanner);
    ReplayWidget replay(&scanner);
    for (QWidget *tab : {static_cast<QWidget *>(&viewer), static_cast<QWidget *>(&replay)}) {
        tab->resize(1400, 900);
        tab->show();
    }
    idle(300);
    StallProbe probe;
    const long before = rssKb();
    if (openThroughDialog(&viewer, path, probe).openMs < 0)
        return 3;
    idle(300);
    const long first = rssKb();
    const OpenTiming second = openThroughDialog(&replay, path, probe);
    if (second.openMs < 0)
        return 3;
    idle(300);
    const long both = rssKb();
    put("mem_viewer_mb", (first - before) / 1024.0);
    put("mem_replay_added_mb", (both - first) / 1024.0);
    put("both_bytes_per_sample", (both - before) * 1024.0 / samples);
    put("replay_open_ms", second.openMs);
    return 0;
}

int runTabCase(const QString &kind, const QString &path, double samples)
{
    // Offscreen (--offscreen) without a 3D view: the Replay figures are then the tab's own.
    qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    int argc = 1;
    char name[] = "bench_logtabs";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    initKeloResources();
    RadioScanner scanner; // sends nothing
    QFile file(path);
    QByteArray download;
    const bool fromRadio = kind.endsWith(QLatin1String("-radio"));
    if (fromRadio) {
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        download = file.readAll();
    }
    QWidget *tab = kind.startsWith(QLatin1String("viewer"))
        ? static_cast<QWidget *>(new PlotWidget(&scanner))
        : static_cast<QWidget *>(new ReplayWidget(&scanner));
    StallProbe probe;
    tab->resize(1400, 900);
    tab->show();
    waitFor([tab] { return tab->windowHandle() && tab->windowHandle()->isExposed(); }, 10000);
    put("show_stall_ms", settle(probe));
    // A Replay open is over for its user once the 3D view (where there is one) has drawn.
    QQuickWindow *view = quickWindow();
    int viewFrames = 0;
    if (view)
        QObject::connect(view, &QQuickWindow::frameSwapped, [&viewFrames] { ++viewFrames; });
    const long before = rssKb();
    const OpenTiming t = fromRadio ? openFromRadio(tab, scanner, download, probe)
                                   : openThroughDialog(tab, path, probe);
    if (t.openMs < 0)
        return 3;
    const double openStarted = nowMs() - t.openMs;
    if (view) {
        // The first frame may take a few turns, and the model may come a few frames later:
        // the stalls until a second after the first frame count.
        if (!waitFor([&] { return viewFrames > 0; }, 10000))
            return 3;
        const double firstFrame = nowMs();
        idle(1000);
        put("view_frame_ms", firstFrame - openStarted);
        put("view_stall_ms", probe.takeWorst());
    }
    // Let a background parse thread and any deferred work finish before reading memory.
    idle(300);
    put("open_ms", t.openMs);
    put("open_stall_ms", t.stallMs);
    const long after = rssKb();
    put("mem_open_mb", (after - before) / 1024.0);
    put("bytes_per_sample", (after - before) * 1024.0 / samples);
    toggles(tab, probe, before);
    delete tab;
    return 0;
}

// Replay with the 3D view on: frames, CPU and the playback ticks, paused and playing.
// Times what the GUI thread does for the playback ticks, the window's repaints and the 3D
// view's frame starts, around the whole delivery (event filters included, so the view's
// frame pacer still works), and sums the area repainted.
class TickWatch
{
public:
    QVector<double> tickStarts, tickMs, updateMs, syncMs;
    qint64 paintedPixels = 0;
    int paints = 0;
    bool active = false;

    template<typename Deliver> bool deliver(QObject *obj, QEvent *e, Deliver &&base)
    {
        if (!active)
            return base();
        QVector<double> *into = nullptr;
        if (e->type() == QEvent::Timer) {
            auto *timer = qobject_cast<QTimer *>(obj);
            if (timer && timer->interval() == 40
                && static_cast<QTimerEvent *>(e)->timerId() == timer->timerId()) {
                tickStarts << nowMs();
                into = &tickMs;
            }
        } else if (e->type() == QEvent::UpdateRequest && obj->isWidgetType()
                   && static_cast<QWidget *>(obj)->isWindow()) {
            into = &updateMs;
        } else if (e->type() == QEvent::UpdateRequest && qobject_cast<QQuickWindow *>(obj)) {
            // The 3D view's frame start on the GUI thread: polish, sync and Qt 3D's jobs.
            into = &syncMs;
        } else if (e->type() == QEvent::Paint && obj->isWidgetType()) {
            const QRegion region = static_cast<QPaintEvent *>(e)->region();
            const QRect r = region.boundingRect();
            ++paints;
            qint64 area = 0;
            for (const QRect &part : region)
                area += qint64(part.width()) * part.height();
            paintedPixels += area;
            if (qEnvironmentVariableIsSet("BENCH_PAINT_DEBUG"))
                std::printf("paint %s %s %dx%d %lld\n", obj->metaObject()->className(),
                            qPrintable(obj->objectName()), r.width(), r.height(), area);
        }
        const double t0 = nowMs();
        const bool result = base();
        if (into)
            *into << nowMs() - t0;
        return result;
    }
};

TickWatch *tickWatch = nullptr;

class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *e) override
    {
        if (!tickWatch)
            return QApplication::notify(receiver, e);
        return tickWatch->deliver(receiver, e, [&] { return QApplication::notify(receiver, e); });
    }
};

double percentile(QVector<double> v, double p)
{
    if (v.isEmpty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(int(v.size() * p), v.size() - 1)];
}

int runReplay3d(const QString &path)
{
    int argc = 1;
    char name[] = "bench_logtabs";
    char *argv[] = {name, nullptr};
    BenchApplication app(argc, argv);
    initKeloResources();
    RadioScanner scanner;
    ReplayWidget tab(&scanner);
    tab.resize(1280, 900);
    tab.show();
    idle(500);
    if (!tab.hasModelView()) {
        std::printf("no 3D view (no OpenGL?)\n");
        return 4;
    }
    QQuickWindow *quick = quickWindow();
    int frames = 0;
    if (quick)
        QObject::connect(quick, &QQuickWindow::frameSwapped, [&frames] { ++frames; });
    StallProbe probe;
    if (openThroughDialog(&tab, path, probe).openMs < 0)
        return 3;
    auto *list = tab.findChild<QListWidget *>(QStringLiteral("variableList"));
    for (const QString &n : {QStringLiteral("Stick LV [%]"), QStringLiteral("ESC Batt Volt [V]")})
        list->findItems(n, Qt::MatchExactly).first()->setCheckState(Qt::Checked);
    idle(2000);

    TickWatch watch;
    const auto phase = [&](const char *prefix, int ms) {
        watch.tickStarts.clear();
        watch.tickMs.clear();
        watch.updateMs.clear();
        watch.syncMs.clear();
        watch.paints = 0;
        watch.paintedPixels = 0;
        frames = 0;
        probe.takeWorst();
        const double c0 = cpuSeconds(), t0 = nowMs();
        idle(ms);
        const double wall = (nowMs() - t0) / 1000.0;
        const QString p = QString::fromLatin1(prefix);
        put(qPrintable(p + QStringLiteral("_fps")), frames / wall);
        put(qPrintable(p + QStringLiteral("_cpu_pct")), 100 * (cpuSeconds() - c0) / wall);
        put(qPrintable(p + QStringLiteral("_stall_ms")), probe.takeWorst());
        if (!watch.syncMs.isEmpty()) {
            double total = 0;
            for (double v : qAsConst(watch.syncMs))
                total += v;
            put(qPrintable(p + QStringLiteral("_frame_gui_ms_per_s")), total / wall);
            put(qPrintable(p + QStringLiteral("_frame_gui_ms_max")), percentile(watch.syncMs, 1.0));
        }
        if (watch.tickStarts.size() > 1) {
            QVector<double> gaps;
            for (int i = 1; i < watch.tickStarts.size(); ++i)
                gaps << watch.tickStarts[i] - watch.tickStarts[i - 1];
            put(qPrintable(p + QStringLiteral("_ticks_per_s")), watch.tickStarts.size() / wall);
            put(qPrintable(p + QStringLiteral("_tick_gap_p95_ms")), percentile(gaps, 0.95));
            put(qPrintable(p + QStringLiteral("_tick_ms_median")), percentile(watch.tickMs, 0.5));
            double paintTotal = 0;
            for (double v : watch.updateMs)
                paintTotal += v;
            put(qPrintable(p + QStringLiteral("_paint_ms_per_tick")),
                paintTotal / watch.tickStarts.size());
            put(qPrintable(p + QStringLiteral("_kpixels_per_tick")),
                watch.paintedPixels / 1000.0 / watch.tickStarts.size());
        }
    };
    tickWatch = &watch;
    watch.active = true;
    phase("paused", 5000);
    auto *speedBox = tab.findChild<QComboBox *>(QStringLiteral("speedBox"));
    auto *play = tab.findChild<QToolButton *>(QStringLiteral("playButton"));
    speedBox->setCurrentIndex(5);
    play->click();
    phase("play5x", 8000);
    play->click();
    speedBox->setCurrentIndex(3);
    play->click();
    phase("play1x", 5000);
    play->click();
    idle(1000);
    phase("paused_again", 5000);
    // The tab hidden behind another page (here: the window minimised away).
    tab.hide();
    idle(500);
    phase("hidden", 3000);
    watch.active = false;
    tickWatch = nullptr;
    return 0;
}

// --- the driver ----------------------------------------------------------------------

using Results = std::map<std::string, double>;

// The machine's load averages over 1, 5 and 15 minutes, as uptime shows them.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

// Microseconds per 4 KiB that the first touch of fresh memory costs here, in small pages and
// with huge pages asked for (the same where the kernel gives none on request).
double freshPageUs(bool huge)
{
    constexpr size_t Bytes = size_t(64) << 20, Huge = size_t(2) << 20;
    void *map
        = mmap(nullptr, Bytes + Huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED)
        return -1;
    auto *begin = reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(map) + Huge - 1)
                                           & ~uintptr_t(Huge - 1));
    if (huge)
        madvise(begin, Bytes, MADV_HUGEPAGE);
    const double t0 = nowMs();
    for (size_t at = 0; at < Bytes; at += 4096)
        begin[at] = 1;
    const double us = (nowMs() - t0) * 1000.0 / (Bytes / 4096);
    munmap(map, Bytes + Huge);
    return us;
}

void printMachine(const char *when)
{
    std::printf("  [%s: load %s; fresh page %.2f us per 4 KiB, %.2f us with huge pages]\n", when,
                qPrintable(loadAverage()), freshPageUs(false), freshPageUs(true));
    std::fflush(stdout);
}

Results runChild(const QString &program, const QStringList &args, bool *ok, bool offscreen)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A real window on the X server (an older build's bench would go offscreen unless told),
    // its 3D view rendered by Mesa's software rasteriser.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (offscreen && args.value(1) != QLatin1String("replay3d")) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"), QStringLiteral("1"));
    }
    child.setProcessEnvironment(env);
    child.start(program, args);
    *ok = child.waitForFinished(600000) && child.exitStatus() == QProcess::NormalExit
        && child.exitCode() == 0;
    Results r;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 3 && f[0] == "R")
            r[f[1].toStdString()] = f[2].toDouble();
    }
    if (!*ok)
        std::fprintf(stderr, "case failed: %s %s (exit %d)\n", qPrintable(program),
                     qPrintable(args.join(QLatin1Char(' '))), child.exitCode());
    return r;
}

// "median (lowest-highest)" of one key over runs.
QString summary(const std::vector<Results> &runs, const std::string &key)
{
    QVector<double> v;
    for (const Results &r : runs) {
        const auto it = r.find(key);
        if (it != r.end())
            v << it->second;
    }
    if (v.isEmpty())
        return QStringLiteral("-");
    std::sort(v.begin(), v.end());
    return QStringLiteral("%1 (%2-%3)")
        .arg(v[v.size() / 2], 0, 'f', 1)
        .arg(v.first(), 0, 'f', 1)
        .arg(v.last(), 0, 'f', 1);
}

int drive(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QString baseline;
    QList<int> hours {1, 4, 8};
    QStringList kinds {QStringLiteral("viewer"), QStringLiteral("replay"),
                       QStringLiteral("viewer-radio"), QStringLiteral("replay-radio"),
                       QStringLiteral("both")};
    int runs = 5;
    bool replay3d = false, offscreen = false;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--baseline") && i + 1 < args.size())
            baseline = args[++i];
        else if (args[i] == QLatin1String("--hours") && i + 1 < args.size()) {
            hours.clear();
            for (const QString &h : args[++i].split(QLatin1Char(',')))
                hours << h.toInt();
        } else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--kinds") && i + 1 < args.size())
            kinds = args[++i].split(QLatin1Char(','));
        else if (args[i] == QLatin1String("--replay3d"))
            replay3d = true;
        else if (args[i] == QLatin1String("--offscreen"))
            offscreen = true;
    }
    BenchSupport::printBuildKind();
    if (!offscreen && qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr,
                     "bench_logtabs: no X server ($DISPLAY); start Xvfb or use "
                     "--offscreen\n");
        return 2;
    }
    std::printf("%s, %d run(s) of each case%s\n",
                offscreen ? "offscreen" : "real windows on the X server", runs,
                baseline.isEmpty() ? "" : ", old and new in turns");
    QTemporaryDir dir;
    const QString self = app.applicationFilePath();
    const bool haveOld = !baseline.isEmpty();
    if (replay3d) {
        hours = {1};
        kinds = QStringList {QStringLiteral("replay3d")};
    }
    for (int h : hours) {
        const QString path = dir.filePath(QStringLiteral("%1h.log").arg(h));
        double samples = 0;
        {
            const QByteArray bytes = LogGenerator::flight(h * 3600);
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return 1;
            QVector<LogVariable> vars;
            QString error;
            LogReader::parseData(bytes, vars, error);
            for (const LogVariable &v : vars)
                samples += v.values.size();
            std::printf("\n%d-hour log: %.1f MB, %.2f M samples\n", h, bytes.size() / 1e6,
                        samples / 1e6);
        }
        for (const QString &kind : kinds) {
            const QStringList caseArgs {QStringLiteral("--case"), kind, path,
                                        QString::number(samples, 'f', 0)};
            std::vector<Results> oldRuns, newRuns;
            printMachine("before");
            for (int run = 0; run < runs; ++run) {
                bool ok = true;
                // Which build goes first alternates too.
                if (haveOld && run % 2 == 0)
                    oldRuns.push_back(runChild(baseline, caseArgs, &ok, offscreen));
                newRuns.push_back(runChild(self, caseArgs, &ok, offscreen));
                if (haveOld && run % 2 == 1)
                    oldRuns.push_back(runChild(baseline, caseArgs, &ok, offscreen));
            }
            std::printf(" %s, median (range) of %d\n", qPrintable(kind), runs);
            if (haveOld)
                std::printf("  %-22s %-26s %-26s\n", "", "old", "new");
            std::map<std::string, bool> keys;
            for (const std::vector<Results> *side : {&oldRuns, &newRuns}) {
                for (const Results &r : *side) {
                    for (const auto &kv : r)
                        keys[kv.first] = true;
                }
            }
            for (const auto &kv : keys) {
                if (haveOld)
                    std::printf("  %-22s %-26s %-26s\n", kv.first.c_str(),
                                qPrintable(summary(oldRuns, kv.first)),
                                qPrintable(summary(newRuns, kv.first)));
                else
                    std::printf("  %-22s %-26s\n", kv.first.c_str(),
                                qPrintable(summary(newRuns, kv.first)));
            }
            printMachine("after");
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // For profiling one case by hand: bench_logtabs --write-log HOURS PATH.
    if (argc == 4 && qstrcmp(argv[1], "--write-log") == 0) {
        const QByteArray bytes = LogGenerator::flight(QByteArray(argv[2]).toInt() * 3600);
        QFile f(QString::fromLocal8Bit(argv[3]));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? 0 : 1;
    }
    if (argc >= 5 && qstrcmp(argv[1], "--case") == 0) {
        const QString kind = QString::fromLatin1(argv[2]);
        const QString path = QString::fromLocal8Bit(argv[3]);
        const double samples = QByteArray(argv[4]).toDouble();
        if (kind == QLatin1String("replay3d"))
            return runReplay3d(path);
        if (kind == QLatin1String("both")) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return runBothTabs(path, samples);
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return runTabCase(kind, path, samples);
    }
    return drive(argc, argv);
}
