// The debug terminal under a flood: a thread writes to loopback as fast as the socket takes
// it. Measured: lines per second shown and the longest gap between ticks of a 1 ms timer on
// the GUI thread (the worst stall). Short debug lines (one in ten an access-log line) for
// the line-at-a-time insert of the plain algorithm and for DebugWindow, in the same run;
// then, for DebugWindow only, long lines (wrapped in the view) and 16 MB without a line feed.
#include "BenchSupport.h"
#include "DebugLineReader.h"
#include "DebugWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

namespace {

struct Flood
{
    const char *name;
    int lines;
    QByteArray bytes;
};

Flood shortLines(int lines)
{
    QByteArray bytes;
    for (int i = 0; i < lines; ++i) {
        if (i % 10 == 9)
            bytes += "2025-01-31 08:15:02 [12] GET /system/info HTTP/1.1 (200)\r\n";
        else
            bytes += "qml: tick " + QByteArray::number(i) + " value 12.4 V ok\r\n";
    }
    return {"short lines", lines, bytes};
}

Flood longLines(int lines)
{
    QByteArray bytes;
    for (int i = 0; i < lines; ++i)
        bytes += "qml: state " + QByteArray::number(i) + QByteArray(4000, 'x') + "\n";
    return {"4 kB lines", lines, bytes};
}

Flood noLineFeed()
{
    return {"16 MB, no line feed", 256, QByteArray(16 << 20, 'y')};
}

// Listens on a free loopback port; serve() accepts one client, writes everything, closes.
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

    void serve(const QByteArray &bytes)
    {
        const int client = ::accept(listener, nullptr, nullptr);
        qint64 sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n
                = ::write(client, bytes.constData() + sent, size_t(bytes.size() - sent));
            if (n <= 0)
                break;
            sent += n;
        }
        ::close(client);
    }

    quint16 port = 0;

private:
    int listener = -1;
};

// The plain algorithm: every read decoded and split, each line inserted on its own.
class LineAtATimeTerminal : public QPlainTextEdit
{
public:
    explicit LineAtATimeTerminal(quint16 port)
    {
        setReadOnly(true);
        document()->setMaximumBlockCount(5000);
        resize(640, 420);
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            buffer += QString::fromUtf8(socket.readAll());
            int lf;
            while ((lf = buffer.indexOf('\n')) >= 0) {
                QString line = buffer.left(lf);
                buffer.remove(0, lf + 1);
                if (line.endsWith('\r'))
                    line.chop(1);
                if (DebugLineReader::isAccessLogLine(line))
                    continue;
                moveCursor(QTextCursor::End);
                textCursor().insertText(line + '\n');
                moveCursor(QTextCursor::End);
            }
        });
        connect(&socket, &QTcpSocket::disconnected, this, [this] { done = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    QTcpSocket socket;
    QString buffer;
    bool done = false;
};

struct Result
{
    double seconds;
    double worstStallMs;
    int stallsOver20Ms;
    QString lastLine;
};

template<typename Done> Result measure(Done &&done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    double worst = 0;
    int over20 = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = qMax(worst, (now - last) / 1e6);
        over20 += (now - last) > 20000000;
        last = now;
    });
    tick.start();
    while (!done())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return {clock.nsecsElapsed() / 1e9, worst, over20, QString()};
}

void print(const char *name, const Flood &flood, const Result &r)
{
    std::printf("  %-15s %-20s %9.0f lines/s, %6.1f MB/s, %6.2f s, worst GUI stall %6.1f ms "
                "(%d over 20 ms); last line %d chars\n",
                name, flood.name, flood.lines / r.seconds, flood.bytes.size() / r.seconds / 1e6,
                r.seconds, r.worstStallMs, r.stallsOver20Ms, r.lastLine.size());
}

Result runWindow(const Flood &flood)
{
    FloodServer server;
    DebugWindow window(nullptr, server.port);
    window.setRadioIp("127.0.0.1");
    window.show();
    auto *status = window.findChild<QLabel *>();
    std::thread writer([&] { server.serve(flood.bytes); });
    Result r = measure([&] { return status->text() == "Disconnected"; });
    writer.join();
    r.lastLine = window.findChild<QPlainTextEdit *>()->document()->lastBlock().previous().text();
    return r;
}

Result runLineAtATime(const Flood &flood)
{
    FloodServer server;
    LineAtATimeTerminal terminal(server.port);
    terminal.show();
    std::thread writer([&] { server.serve(flood.bytes); });
    Result r = measure([&] { return terminal.done; });
    writer.join();
    r.lastLine = terminal.document()->lastBlock().previous().text();
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchSupport::printBuildKind();
    std::printf("goal: >= 100000 lines/s with no GUI stall over 50 ms\n");
    // "window" leaves out the plain algorithm, which takes a minute; "long" runs the floods
    // of long lines alone (for a profiler).
    const bool windowOnly = app.arguments().contains("window");
    const bool longOnly = app.arguments().contains("long");
    if (!longOnly) {
        const Flood flood = shortLines(200000);
        for (int run = 0; run < 2; ++run) {
            if (!windowOnly)
                print("line at a time", flood, runLineAtATime(flood));
            print("DebugWindow", flood, runWindow(flood));
        }
        const Flood big = shortLines(2000000);
        print("DebugWindow", big, runWindow(big));
    }
    print("DebugWindow", longLines(20000), runWindow(longLines(20000)));
    print("DebugWindow", noLineFeed(), runWindow(noLineFeed()));
    return 0;
}
