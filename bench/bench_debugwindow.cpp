// The debug terminal under a flood: a thread writes to loopback as fast as the socket takes
// it. Each flood runs in a child process of its own (so its peak memory is its own), in turns
// with the same floods through another build of this benchmark (the code before a change):
//   bench_debugwindow [runs=N] [old=PATH] [only=NAME]
// Per flood: lines per second shown, the GUI thread's time per socket read (median and
// longest), the longest gap between ticks of a 1 ms timer on the GUI thread (the worst stall
// as the user sees it), peak memory; after a flood of 64 KiB lines, read_debug_log's tail:
// its time on the GUI thread and the bytes it copies. The platform is the one in
// QT_QPA_PLATFORM (offscreen when unset; xcb for a real window under Xvfb).
#include "AiToolRules.h"
#include "BenchSupport.h"
#include "DebugWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTextBlock>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

namespace {

// A flood is one pattern written again and again.
struct Flood
{
    const char *name;
    QByteArray pattern;
    int repeats;
    int linesPerPattern;
};

QByteArray shortPattern()
{
    QByteArray bytes;
    for (int i = 0; i < 10; ++i) {
        if (i == 9)
            bytes += "2025-01-31 08:15:02 [12] GET /system/info HTTP/1.1 (200)\r\n";
        else
            bytes += "qml: tick " + QByteArray::number(i) + " value 12.4 V ok\r\n";
    }
    return bytes;
}

QByteArray marksLine()
{
    QByteArray bytes("a");
    for (int i = 0; i < 65535; ++i)
        bytes += "\xcc\x81"; // U+0301 combining acute accent
    return bytes + '\n';
}

QList<Flood> floods()
{
    return {
        {"short", shortPattern(), 20000, 9},
        {"4kB", "qml: state " + QByteArray(4000, 'x') + "\n", 20000, 1},
        {"endless", QByteArray(64 * 1024, 'y'), 6000, 0},
        {"marks", marksLine(), 20, 1},
        {"64KiB+tail", QByteArray(64 * 1024 - 1, 'z') + "\n", 5200, 1},
    };
}

// Listens on a free loopback port; serve() accepts one client, writes the flood, closes.
class FloodServer
{
public:
    FloodServer()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
        ::listen(listener, 1);
        socklen_t len = sizeof sa;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&sa), &len);
        port = ntohs(sa.sin_port);
    }
    ~FloodServer() { ::close(listener); }

    void serve(const Flood &flood)
    {
        const int client = ::accept(listener, nullptr, nullptr);
        for (int i = 0; i < flood.repeats; ++i) {
            qint64 sent = 0;
            while (sent < flood.pattern.size()) {
                const ssize_t n = ::write(client, flood.pattern.constData() + sent,
                                          size_t(flood.pattern.size() - sent));
                if (n <= 0)
                    break;
                sent += n;
            }
        }
        ::close(client);
    }

    quint16 port = 0;

private:
    int listener = -1;
};

// Times every event the GUI thread handles at the top level; socket reads apart.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (depth++ > 0) {
            const bool done = QApplication::notify(receiver, event);
            --depth;
            return done;
        }
        QElapsedTimer timer;
        timer.start();
        const QEvent::Type type = event->type();
        const bool done = QApplication::notify(receiver, event);
        --depth;
        const double ms = timer.nsecsElapsed() / 1e6;
        if (recording) {
            if (type == QEvent::SockAct)
                reads << ms;
            if (ms > longestEvent) {
                longestEvent = ms;
                longestType = type;
            }
        }
        return done;
    }
    int depth = 0;
    bool recording = false;
    QVector<double> reads;
    double longestEvent = 0;
    int longestType = 0;
};

// read_debug_log's tail as the tool builds it; older builds copied the whole terminal.
template<typename W> auto terminalTail(const W &window, int) -> decltype(window.newestText(0))
{
    return window.newestText(64 * 1024);
}
template<typename W> QString terminalTail(const W &window, long)
{
    return window.outputText();
}

// One flood in this process; prints one line of key=value figures.
int runFlood(TimedApplication &app, const QString &name)
{
    const QList<Flood> all = floods();
    const auto flood = std::find_if(all.begin(), all.end(),
                                    [&](const Flood &f) { return name == QLatin1String(f.name); });
    if (flood == all.end())
        return 2;
    FloodServer server;
    DebugWindow window(nullptr, server.port);
    window.setRadioIp("127.0.0.1");
    window.show();
    auto *status = window.findChild<QLabel *>();
    const long rssBefore = BenchSupport::peakRssMb();

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    double worst = 0;
    int over50 = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = qMax(worst, (now - last) / 1e6);
        over50 += (now - last) > 50000000;
        last = now;
    });
    tick.start();
    app.recording = true;
    std::thread writer([&] { server.serve(*flood); });
    while (status->text() != QLatin1String("Disconnected"))
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    // The last drawing too.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    app.recording = false;
    writer.join();
    const double seconds = (clock.nsecsElapsed() / 1e9) - 0.2;
    tick.stop();
    const long rssFlood = BenchSupport::peakRssMb();

    QVector<double> reads = app.reads;
    std::sort(reads.begin(), reads.end());
    const double lines = double(flood->repeats) * flood->linesPerPattern;
    std::printf("RESULT lines_per_s=%.0f MB_per_s=%.1f reads=%d read_median_ms=%.2f "
                "read_max_ms=%.1f longest_event_ms=%.1f worst_stall_ms=%.1f stalls_over_50=%d "
                "longest_event_type=%d peak_rss_mb=%ld blocks=%d",
                lines / seconds, flood->pattern.size() * double(flood->repeats) / seconds / 1e6,
                reads.size(), reads.isEmpty() ? 0 : reads[reads.size() / 2],
                reads.isEmpty() ? 0 : reads.last(), app.longestEvent, worst, over50,
                app.longestType, rssFlood - rssBefore,
                window.findChild<QPlainTextEdit *>()->document()->blockCount());

    if (name == QLatin1String("64KiB+tail")) {
        QElapsedTimer timer;
        timer.start();
        const QString gathered = terminalTail(window, 0);
        bool cut = false;
        const QString tail = AiToolRules::textTail(gathered, 64 * 1024, &cut);
        const double ms = timer.nsecsElapsed() / 1e6;
        const long rssTail = BenchSupport::peakRssMb();
        // The gathered text in UTF-16, then its UTF-8 copy in textTail.
        const qint64 copied = gathered.size() * 2 + gathered.toUtf8().size();
        std::printf(" tail_ms=%.1f tail_copied_mb=%.2f tail_peak_rise_mb=%ld tail_chars=%d", ms,
                    copied / 1e6, rssTail - rssFlood, tail.size());
    }
    std::printf("\n");
    return 0;
}

struct Figures
{
    QMap<QString, QVector<double>> values;
};

QMap<QString, double> parse(const QByteArray &output)
{
    QMap<QString, double> figures;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        for (const QByteArray &pair : line.mid(7).split(' ')) {
            const int eq = pair.indexOf('=');
            if (eq > 0)
                figures.insert(QString::fromLatin1(pair.left(eq)), pair.mid(eq + 1).toDouble());
        }
    }
    return figures;
}

QString medianAndRange(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    const auto number = [](double x) {
        return QString::number(x, 'g', 4);
    };
    return QStringLiteral("%1 (%2-%3)")
        .arg(number(v[v.size() / 2]), number(v.first()), number(v.last()));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int row = args.indexOf(QStringLiteral("--flood"));
    if (row > 0 && row + 1 < args.size())
        return runFlood(app, args.at(row + 1));

    int runs = 5;
    QString old;
    QString only;
    for (const QString &arg : args.mid(1)) {
        if (arg.startsWith(QLatin1String("runs=")))
            runs = arg.mid(5).toInt();
        else if (arg.startsWith(QLatin1String("old=")))
            old = arg.mid(4);
        else if (arg.startsWith(QLatin1String("only=")))
            only = arg.mid(5);
    }
    BenchSupport::printBuildKind();
    std::printf("platform %s, %d runs in turns; goal: no GUI stall over 50 ms\n",
                qgetenv("QT_QPA_PLATFORM").constData(), runs);
    QVector<std::pair<QString, QString>> builds {
        {QStringLiteral("new"), app.applicationFilePath()}};
    if (!old.isEmpty())
        builds.prepend({QStringLiteral("old"), old});

    for (const Flood &flood : floods()) {
        if (!only.isEmpty() && !only.split(',').contains(QLatin1String(flood.name)))
            continue;
        QMap<QString, Figures> byBuild;
        for (int run = 0; run < runs; ++run) {
            for (const auto &build : builds) {
                QProcess child;
                child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                child.start(build.second, {QStringLiteral("--flood"), QLatin1String(flood.name)});
                child.waitForFinished(-1);
                const QMap<QString, double> figures = parse(child.readAllStandardOutput());
                for (auto f = figures.begin(); f != figures.end(); ++f)
                    byBuild[build.first].values[f.key()] << f.value();
            }
        }
        std::printf("%s:\n", flood.name);
        for (const auto &build : builds) {
            const Figures &figures = byBuild[build.first];
            std::printf("  %s:", qPrintable(build.first));
            for (auto f = figures.values.begin(); f != figures.values.end(); ++f)
                std::printf(" %s=%s", qPrintable(f.key()), qPrintable(medianAndRange(f.value())));
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
