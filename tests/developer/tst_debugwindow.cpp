#include "DebugLineReader.h"
#include "DebugWindow.h"
#include "FakeDebugPort.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Chunks = QList<QByteArray>;

// A listener whose accept queue is full, so a further connection attempt stays in
// "connecting" until it is given up.
class StalledListener
{
public:
    bool listen(const char *address, quint16 port)
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        filler = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, address, &sa.sin_addr);
        const auto *addr = reinterpret_cast<const sockaddr *>(&sa);
        return ::bind(listener, addr, sizeof sa) == 0 && ::listen(listener, 0) == 0
            && ::connect(filler, addr, sizeof sa) == 0;
    }
    ~StalledListener()
    {
        ::close(filler);
        ::close(listener);
    }

private:
    int listener = -1;
    int filler = -1;
};

class DebugWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lines_data();
    void lines();

    void startsWaitingOnDefaultPort();
    void showsLinesAndStatusUntilTheRadioCloses();
    void keepsTheNewest5000Blocks_data();
    void keepsTheNewest5000Blocks();
    void followsTheNewestLine_data();
    void followsTheNewestLine();
    void sameAddressKeepsTheConnection();
    void newAddressWhileConnecting_data();
    void newAddressWhileConnecting();
    void hiddenWindowOnlyStoresTheAddress();
    void radioLostAndFoundAgain();
    void closeKeepsTextAndReopenConnects();
    void openAndConnectWithoutRadio();
    void refusedConnectionIsNotRetried();
    void endlessLineStaysBounded();

private:
    void makeWindow();
    QString status() const { return window->findChild<QLabel *>()->text(); }
    QString statusStyle() const { return window->findChild<QLabel *>()->styleSheet(); }
    QPlainTextEdit *view() const { return window->findChild<QPlainTextEdit *>(); }
    QTcpSocket *socket() const { return window->findChild<QTcpSocket *>(); }
    void showAndConnect();

    FakeDebugPort *radio = nullptr;
    DebugWindow *window = nullptr;
};

void DebugWindowTest::initTestCase()
{
    TestSupport::unsetProxies();
}

void DebugWindowTest::init()
{
    radio = new FakeDebugPort;
    QVERIFY(radio->listen());
}

void DebugWindowTest::cleanup()
{
    delete window;
    window = nullptr;
    delete radio;
    radio = nullptr;
}

void DebugWindowTest::makeWindow()
{
    window = new DebugWindow(nullptr, radio->port());
}

void DebugWindowTest::showAndConnect()
{
    makeWindow();
    window->setRadioIp("127.0.0.1");
    window->show();
    QTRY_COMPARE(status(), QString("Connected to 127.0.0.1"));
    QTRY_COMPARE(radio->openConnections(), 1);
}

void DebugWindowTest::lines_data()
{
    QTest::addColumn<Chunks>("reads");
    QTest::addColumn<QStringList>("lines"); // after the last read and the flush

    QTest::newRow("CR LF, last line flushed") << Chunks {"a\r\nb"} << QStringList {"a", "b"};
    QTest::newRow("two CRs keep one") << Chunks {"x\r\r\n"} << QStringList {"x\r"};
    QTest::newRow("lone CR inside kept") << Chunks {"a\rb\n"} << QStringList {"a\rb"};
    QTest::newRow("empty lines") << Chunks {"\n\n"} << QStringList {"", ""};
    QTest::newRow("line split over reads")
        << Chunks {"hel", "lo\nwor", "ld\n"} << QStringList {"hello", "world"};
    QTest::newRow("access log dropped")
        << Chunks {"2025-01-31 08:15:02 [12] New connection\n"
                   "2025-01-31 08:15:02 [12] Connection closed\n"
                   "2025-01-31 08:15:02 [12] GET /app/list HTTP/1.1 (200)\r\n"
                   "qml: started\n"}
        << QStringList {"qml: started"};
    QTest::newRow("access log as last partial line dropped")
        << Chunks {"2025-01-31 08:15:02 [7] POST /upload.html HTTP/1.0 (500)"} << QStringList {};
    QTest::newRow("access-log look-alikes kept")
        << Chunks {"> 2025-01-31 08:15:02 [12] New connection\n"
                   "2025-01-31 08:15:02 [12] New connection!\n"
                   "2025-01-31 08:15:02 [12] get /x HTTP/1.1 (200)\n"
                   "2025-01-31 08:15:02 [12] New connection\r\r\n"}
        << QStringList {"> 2025-01-31 08:15:02 [12] New connection",
                        "2025-01-31 08:15:02 [12] New connection!",
                        "2025-01-31 08:15:02 [12] get /x HTTP/1.1 (200)",
                        "2025-01-31 08:15:02 [12] New connection\r"};
    QTest::newRow("bytes after NUL in a read ignored")
        << Chunks {QByteArray("ab\0junk\n", 8), "cd\n"} << QStringList {"abcd"};
    // Reads end wherever TCP segments end; a character cut in two is still one character.
    QTest::newRow("UTF-8 character split over reads")
        << Chunks {"temp 21 \xc2",
                   "\xb0"
                   "C\n"}
        << QStringList {QString::fromUtf8("temp 21 \xc2\xb0"
                                          "C")};
    QTest::newRow("four-byte character split three ways")
        << Chunks {"\xf0\x9f", "\x98", "\x80!\n"}
        << QStringList {QString::fromUtf8("\xf0\x9f\x98\x80!")};
    QTest::newRow("invalid UTF-8 replaced") << Chunks {"a\xff"
                                                       "b\n"}
                                            << QStringList {QString("a\ufffd"
                                                                    "b")};
    QTest::newRow("64 KiB line kept whole")
        << Chunks {QByteArray(65536, 'x') + "\n"} << QStringList {QString(65536, 'x')};
    QTest::newRow("one more character cut off")
        << Chunks {QByteArray(65537, 'x') + "\n"} << QStringList {QString(65536, 'x'), "x"};
    QTest::newRow("cut the same over many reads")
        << Chunks {QByteArray(40000, 'x'), QByteArray(25537, 'x'), "\n"}
        << QStringList {QString(65536, 'x'), "x"};
    QTest::newRow("1 MB without line feed")
        << Chunks {QByteArray(1000000, 'y')}
        << (QStringList() << QVector<QString>(15, QString(65536, 'y')).toList()
                          << QString(1000000 - 15 * 65536, 'y'));
}

void DebugWindowTest::lines()
{
    QFETCH(Chunks, reads);
    QFETCH(QStringList, lines);
    DebugLineReader reader;
    QStringList got;
    for (const QByteArray &read : reads)
        got << reader.feed(read);
    got << reader.flush();
    QCOMPARE(got.size(), lines.size());
    QCOMPARE(got, lines);
    QVERIFY(reader.flush().isEmpty());
}

void DebugWindowTest::startsWaitingOnDefaultPort()
{
    DebugWindow debug;
    QCOMPARE(debug.port(), quint16(9022));
    QCOMPARE(debug.windowTitle(), QString("Kelo Studio - Debug"));
    QCOMPARE(debug.size(), QSize(640, 420));
    QVERIFY(debug.isWindow());
    QVERIFY(!debug.isVisible());
    auto *label = debug.findChild<QLabel *>();
    QCOMPARE(label->text(), QString("Waiting for radio..."));
    QCOMPARE(label->styleSheet(), QString("color: #b0b0b6;"));
    auto *output = debug.findChild<QPlainTextEdit *>();
    QVERIFY(output->isReadOnly());
    QCOMPARE(output->document()->maximumBlockCount(), 5000);
    QCOMPARE(debug.findChild<QToolButton *>()->text(), QString("Clear"));
    QCOMPARE(debug.outputText(), QString());
}

void DebugWindowTest::showsLinesAndStatusUntilTheRadioCloses()
{
    makeWindow();
    window->setRadioIp("127.0.0.1");
    window->show();
    QCOMPARE(status(), QString("Connecting to 127.0.0.1..."));
    QCOMPARE(statusStyle(), QString("color: #b0b0b6;"));
    QTRY_COMPARE(status(), QString("Connected to 127.0.0.1"));
    QCOMPARE(statusStyle(), QString("color: #5fd97f;"));
    QTRY_COMPARE(radio->openConnections(), 1);

    radio->send("2025-01-31 08:15:02 [12] GET /system/info HTTP/1.1 (200)\r\na\r\nb");
    QTRY_COMPARE(window->outputText(), QString("a\n"));
    radio->closeConnections();
    QTRY_COMPARE(status(), QString("Disconnected"));
    QCOMPARE(statusStyle(), QString("color: #b0b0b6;"));
    QCOMPARE(window->outputText(), QString("a\nb\n"));
    QCOMPARE(view()->textCursor().position(), view()->document()->characterCount() - 1);
}

void DebugWindowTest::keepsTheNewest5000Blocks_data()
{
    QTest::addColumn<int>("perWrite"); // lines per write; each write is shown before the next
    QTest::newRow("all at once") << 6000;
    QTest::newRow("2500 at a time") << 2500;
    QTest::newRow("100 at a time") << 100;
}

void DebugWindowTest::keepsTheNewest5000Blocks()
{
    QFETCH(int, perWrite);
    showAndConnect();
    for (int first = 1; first <= 6000; first += perWrite) {
        QByteArray bytes;
        const int last = qMin(6000, first + perWrite - 1);
        for (int i = first; i <= last; ++i)
            bytes += "line " + QByteArray::number(i) + "\n";
        radio->send(bytes);
        QTRY_COMPARE(view()->document()->lastBlock().previous().text(),
                     QString("line %1").arg(last));
    }
    const QTextDocument *doc = view()->document();
    QCOMPARE(doc->blockCount(), 5000);
    QCOMPARE(doc->firstBlock().text(), QString("line 1002"));
    QCOMPARE(doc->lastBlock().text(), QString());
    QString expected;
    for (int i = 1002; i <= 6000; ++i)
        expected += QString("line %1\n").arg(i);
    QCOMPARE(window->outputText(), expected);
}

void DebugWindowTest::followsTheNewestLine_data()
{
    QTest::addColumn<int>("length"); // characters per line
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("userAction"); // on the text before the second half arrives
    QTest::newRow("short lines") << 20 << 400 << "none";
    // Each wrapped over dozens of rows of the view.
    QTest::newRow("4 kB lines") << 4000 << 300 << "none";
    QTest::newRow("long lines past the limit") << 1000 << 5100 << "none";
    QTest::newRow("cursor clicked to the top") << 4000 << 300 << "click";
    QTest::newRow("text selected") << 4000 << 300 << "select";
}

void DebugWindowTest::followsTheNewestLine()
{
    QFETCH(int, length);
    QFETCH(int, lines);
    QFETCH(QString, userAction);
    showAndConnect();
    window->resize(640, 420);
    QStringList sent;
    auto sendLines = [&](int from, int to) {
        QByteArray bytes;
        for (int i = from; i < to; ++i) {
            const QByteArray line = "line " + QByteArray::number(i) + ' ';
            bytes += line + QByteArray(length - line.size(), 'x') + '\n';
            sent << QString::fromLatin1(bytes.mid(bytes.size() - length - 1, length));
        }
        radio->send(bytes);
        QTRY_COMPARE(view()->document()->lastBlock().previous().text(), sent.last());
    };
    sendLines(0, lines / 2);
    QTextCursor cursor = view()->textCursor();
    if (userAction == QLatin1String("click")) {
        cursor.setPosition(0);
        view()->setTextCursor(cursor);
    } else if (userAction == QLatin1String("select")) {
        cursor.setPosition(5);
        cursor.setPosition(15, QTextCursor::KeepAnchor);
        view()->setTextCursor(cursor);
    }
    sendLines(lines / 2, lines);

    const QStringList kept = sent.mid(qMax(0, sent.size() - 4999));
    QCOMPARE(window->outputText(), kept.join('\n') + '\n');
    QCOMPARE(view()->document()->blockCount(), kept.size() + 1);
    // The cursor at the end, and the end in view.
    QVERIFY(!view()->textCursor().hasSelection());
    QCOMPARE(view()->textCursor().position(), view()->document()->characterCount() - 1);
    QScrollBar *bar = view()->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY2(view()->viewport()->rect().contains(view()->cursorRect()),
             qPrintable(QStringLiteral("cursor at %1,%2, view %3 high")
                            .arg(view()->cursorRect().x())
                            .arg(view()->cursorRect().y())
                            .arg(view()->viewport()->height())));
}

void DebugWindowTest::sameAddressKeepsTheConnection()
{
    showAndConnect();
    for (int i = 0; i < 3; ++i)
        window->setRadioIp("127.0.0.1");
    radio->send("still here\n");
    QTRY_COMPARE(window->outputText(), QString("still here\n"));
    QCOMPARE(radio->connectionCount(), 1);
    QCOMPARE(status(), QString("Connected to 127.0.0.1"));
}

void DebugWindowTest::newAddressWhileConnecting_data()
{
    QTest::addColumn<bool>("closeFirst");
    QTest::newRow("address changes while visible") << false;
    QTest::newRow("closed, new address, reopened") << true;
}

void DebugWindowTest::newAddressWhileConnecting()
{
    QFETCH(bool, closeFirst);
    StalledListener stalled;
    QVERIFY(stalled.listen("127.0.0.2", radio->port()));
    makeWindow();
    window->setRadioIp("127.0.0.2");
    window->show();
    QCOMPARE(status(), QString("Connecting to 127.0.0.2..."));
    QCOMPARE(socket()->state(), QAbstractSocket::ConnectingState);

    if (closeFirst) {
        window->close();
        window->setRadioIp("127.0.0.1");
        window->show();
    } else {
        window->setRadioIp("127.0.0.1");
    }
    QTRY_COMPARE(radio->openConnections(), 1);
    QTRY_COMPARE(status(), QString("Connected to 127.0.0.1"));
    radio->send("hello\n");
    QTRY_COMPARE(window->outputText(), QString("hello\n"));
}

void DebugWindowTest::hiddenWindowOnlyStoresTheAddress()
{
    makeWindow();
    window->setRadioIp("127.0.0.1");
    QCOMPARE(socket()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(status(), QString("Waiting for radio..."));

    window->openAndConnect();
    QVERIFY(window->isVisible());
    QTRY_COMPARE(status(), QString("Connected to 127.0.0.1"));
    window->openAndConnect();
    radio->send("same connection\n");
    QTRY_COMPARE(window->outputText(), QString("same connection\n"));
    QCOMPARE(radio->connectionCount(), 1);
}

void DebugWindowTest::radioLostAndFoundAgain()
{
    showAndConnect();
    radio->send("before\n");
    QTRY_COMPARE(window->outputText(), QString("before\n"));

    window->setRadioIp(QString());
    QCOMPARE(status(), QString("Waiting for radio..."));
    QCOMPARE(statusStyle(), QString("color: #b0b0b6;"));
    QTRY_COMPARE(radio->openConnections(), 0);

    window->setRadioIp("127.0.0.1");
    QTRY_COMPARE(status(), QString("Connected to 127.0.0.1"));
    QTRY_COMPARE(radio->connectionCount(), 2);
    radio->send("after\n");
    QTRY_COMPARE(window->outputText(), QString("before\nafter\n"));
}

void DebugWindowTest::closeKeepsTextAndReopenConnects()
{
    showAndConnect();
    QSignalSpy closed(window, &DebugWindow::closed);
    radio->send("kept\n");
    QTRY_COMPARE(window->outputText(), QString("kept\n"));

    window->close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!window->isVisible());
    QTRY_COMPARE(radio->openConnections(), 0);

    window->show();
    QTRY_COMPARE(radio->connectionCount(), 2);
    QTRY_COMPARE(status(), QString("Connected to 127.0.0.1"));
    QCOMPARE(window->outputText(), QString("kept\n"));
    radio->send("new\n");
    QTRY_COMPARE(window->outputText(), QString("kept\nnew\n"));

    window->findChild<QToolButton *>()->click();
    QCOMPARE(window->outputText(), QString());
}

void DebugWindowTest::openAndConnectWithoutRadio()
{
    makeWindow();
    window->openAndConnect();
    QVERIFY(window->isVisible());
    QCOMPARE(status(), QString("Waiting for radio..."));
    QCOMPARE(socket()->state(), QAbstractSocket::UnconnectedState);
}

void DebugWindowTest::refusedConnectionIsNotRetried()
{
    QTcpServer closedPort;
    QVERIFY(closedPort.listen(QHostAddress::LocalHost));
    const quint16 port = closedPort.serverPort();
    closedPort.close();
    window = new DebugWindow(nullptr, port);
    window->setRadioIp("127.0.0.1");
    window->show();
    QTRY_COMPARE(status(), QString("Connection error: Connection refused"));
    QCOMPARE(statusStyle(), QString("color: #f5566a;"));

    // Nothing tries again by itself; a listener that appears now is not contacted.
    QTcpServer late;
    QVERIFY(late.listen(QHostAddress::LocalHost, port));
    QTest::qWait(300);
    QVERIFY(!late.hasPendingConnections());
    QCOMPARE(status(), QString("Connection error: Connection refused"));
}

void DebugWindowTest::endlessLineStaysBounded()
{
    showAndConnect();
    radio->send(QByteArray(1000000, 'z'));
    QTRY_COMPARE(view()->document()->blockCount(), 16);
    for (int i = 0; i < 15; ++i)
        QCOMPARE(view()->document()->findBlockByNumber(i).text().size(), 65536);
    radio->closeConnections();
    QTRY_COMPARE(status(), QString("Disconnected"));
    QCOMPARE(view()->document()->blockCount(), 17);
    QCOMPARE(view()->document()->findBlockByNumber(15).text().size(), 1000000 - 15 * 65536);
}

QTEST_MAIN(DebugWindowTest)
#include "tst_debugwindow.moc"
