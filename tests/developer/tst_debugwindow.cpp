#include "AiToolRules.h"
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

static QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

// The newest of the lines within the terminal's limits: 5000 blocks (the last one the empty
// block after the final line feed) and 1,048,576 characters, line feeds included.
static QStringList keptLines(const QStringList &sent)
{
    QStringList kept;
    int characters = 0;
    for (int i = sent.size() - 1; i >= 0 && kept.size() < 4999; --i) {
        if (characters + sent.at(i).size() + 1 > 1048576)
            break;
        characters += sent.at(i).size() + 1;
        kept.prepend(sent.at(i));
    }
    return kept;
}

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
    void neverHoldsMoreThanItsLimits_data();
    void neverHoldsMoreThanItsLimits();
    void controlsDoNotSplitLines();
    void newestTextIsTheEndOfTheWholeText_data();
    void newestTextIsTheEndOfTheWholeText();
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
    // A carriage return left in a line is shown, as U+240D, instead of starting a new line.
    QTest::newRow("two CRs keep one") << Chunks {"x\r\r\n"} << QStringList {"x\u240d"};
    QTest::newRow("lone CR inside kept") << Chunks {"a\rb\n"} << QStringList {"a\u240db"};
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
                   "2025-01-31 08:15:02 [12] New connection\r\r\n"
                   "2025-01-31 08:15:02 [12] GET /a\rb HTTP/1.1 (200)\n"}
        << QStringList {"> 2025-01-31 08:15:02 [12] New connection",
                        "2025-01-31 08:15:02 [12] New connection!",
                        "2025-01-31 08:15:02 [12] get /x HTTP/1.1 (200)",
                        "2025-01-31 08:15:02 [12] New connection\u240d",
                        "2025-01-31 08:15:02 [12] GET /a\u240db HTTP/1.1 (200)"};
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
    // A character that does not fit whole is not split: no lone surrogate on either side.
    QTest::newRow("cut before a non-BMP character")
        << Chunks {QByteArray(65535, 'x') + "\xf0\x9f\x98\x80\n"}
        << QStringList {QString(65535, 'x'), QString::fromUtf8("\xf0\x9f\x98\x80")};
    QTest::newRow("non-BMP character just inside the cut")
        << Chunks {QByteArray(65534, 'x') + "\xf0\x9f\x98\x80yz\n"}
        << QStringList {QString(65534, 'x') + QString::fromUtf8("\xf0\x9f\x98\x80"), "yz"};

    // Controls and format characters are shown, not applied.
    QTest::newRow("bidi controls shown inert")
        << Chunks {utf8(QString::fromUtf8("abc") + QChar(0x202e) + "def" + QChar(0x2066) + "g"
                        + QChar(0x2069) + QChar(0x200f) + QChar(0x061c) + "\n")}
        << QStringList {"abc<U+202E>def<U+2066>g<U+2069><U+200F><U+061C>"};
    QTest::newRow("invisible format characters shown")
        << Chunks {utf8(QString("a") + QChar(0x200b) + QChar(0x200d) + QChar(0xfeff) + QChar(0x00ad)
                        + "b\n")}
        << QStringList {"a<U+200B><U+200D><U+FEFF><U+00AD>b"};
    QTest::newRow("C0 controls and DEL as pictures, tab kept")
        << Chunks {"\x1b[31mred\x7f\x01\tend\n"}
        << QStringList {QString("\u241b[31mred\u2421\u2401\tend")};
    QTest::newRow("C1 control, line and paragraph separators")
        << Chunks {utf8(QString("a") + QChar(0x85) + QChar(0x2028) + "b" + QChar(0x2029) + "c\n")}
        << QStringList {"a<U+0085><U+2028>b<U+2029>c"};
    QTest::newRow("the text document's own marks")
        << Chunks {utf8(QString("a") + QChar(0xfdd0) + QChar(0xfdd1) + QChar(0xfffc) + "\n")}
        << QStringList {"a<U+FDD0><U+FDD1><U+FFFC>"};
    QTest::newRow("non-BMP format character")
        << Chunks {"tag \xf3\xa0\x81\x81!\n"} << QStringList {"tag <U+E0041>!"};
    // Spelled out, a line may pass the cap; it continues on the next line, cut at a whole
    // character.
    QTest::newRow("spelled-out line continues")
        << Chunks {utf8(QString(8191, QChar(0x200b)) + "xxxxxxx"
                        + QString::fromUtf8("\xf0\x9f\x98\x80") + "!\n")}
        << QStringList {QString("<U+200B>").repeated(8191) + "xxxxxxx",
                        QString::fromUtf8("\xf0\x9f\x98\x80!")};

    // A grapheme cluster keeps at most 32 UTF-16 code units, then one replacement character.
    const QString acute(QChar(0x0301));
    QTest::newRow("letter and 65535 combining marks")
        << Chunks {utf8("a" + acute.repeated(65535) + "\n")}
        << QStringList {"a" + acute.repeated(31) + QChar(0xfffd)};
    QTest::newRow("32-unit cluster kept whole") << Chunks {utf8("a" + acute.repeated(31) + "b\n")}
                                                << QStringList {"a" + acute.repeated(31) + "b"};
    QTest::newRow("33-unit cluster cut")
        << Chunks {utf8("a" + acute.repeated(32) + "b\n")}
        << QStringList {"a" + acute.repeated(31) + QChar(0xfffd) + "b"};
    // U+1D167, a combining mark beyond the BMP, across the 32nd code unit.
    QTest::newRow("cluster cut before a non-BMP mark")
        << Chunks {utf8("a" + acute.repeated(30) + QString::fromUtf8("\xf0\x9d\x85\xa7") + acute
                        + "\n")}
        << QStringList {"a" + acute.repeated(30) + QChar(0xfffd)};
    QTest::newRow("run of Hangul leading consonants")
        << Chunks {utf8(QString(100, QChar(0x1100)) + "\n")}
        << QStringList {QString(32, QChar(0x1100)) + QChar(0xfffd)};
    QTest::newRow("marks after a control")
        << Chunks {utf8("\t" + acute.repeated(40) + "\n")}
        << QStringList {"\t" + acute.repeated(32) + QChar(0xfffd)};
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

void DebugWindowTest::neverHoldsMoreThanItsLimits_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("length"); // characters per line, line feed left out
    QTest::addColumn<int>("firstLength"); // of the first line
    QTest::addColumn<int>("parts"); // writes, each shown before the next
    QTest::newRow("4999 lines, all kept") << 4999 << 9 << 9 << 1;
    QTest::newRow("5000 lines, the first dropped") << 5000 << 9 << 9 << 1;
    QTest::newRow("6000 lines") << 6000 << 9 << 9 << 1;
    QTest::newRow("5000 lines, then 1000 more") << 6000 << 9 << 9 << 6;
    // 1024 lines of 1024 characters with their line feeds: 1,048,576.
    QTest::newRow("exactly the character limit") << 1024 << 1023 << 1023 << 1;
    QTest::newRow("one character more") << 1024 << 1023 << 1024 << 1;
    QTest::newRow("one character more, in parts") << 1024 << 1023 << 1024 << 4;
    QTest::newRow("4 kB lines") << 2000 << 4000 << 4000 << 1;
    QTest::newRow("64 KiB lines") << 40 << 65536 << 65536 << 1;
}

// Not even for a moment: the document drops the oldest lines of a too large insertion itself,
// but walks there block by block, and a document past the limits costs the window seconds.
void DebugWindowTest::neverHoldsMoreThanItsLimits()
{
    QFETCH(int, lines);
    QFETCH(int, length);
    QFETCH(int, firstLength);
    QFETCH(int, parts);
    showAndConnect();
    QTextDocument *doc = view()->document();
    int mostBlocks = 0;
    int mostCharacters = 0;
    connect(doc, &QTextDocument::contentsChange, window, [&] {
        mostBlocks = qMax(mostBlocks, doc->blockCount());
        mostCharacters = qMax(mostCharacters, doc->characterCount() - 1);
    });
    QStringList sent;
    QByteArray bytes;
    for (int i = 0; i < lines; ++i) {
        QByteArray line = QByteArray::number(i) + ' ';
        line += QByteArray((i == 0 ? firstLength : length) - line.size(), 'x');
        sent << QString::fromLatin1(line);
        bytes += line + '\n';
        // The first part holds all but the last lines / parts.
        if (i + 1 == lines || (i + 1 >= lines - lines / parts && (i + 1) % (lines / parts) == 0)) {
            radio->send(bytes);
            bytes.clear();
            QTRY_COMPARE_WITH_TIMEOUT(doc->lastBlock().previous().text(), sent.last(), 20000);
        }
    }
    const QStringList kept = keptLines(sent);
    QCOMPARE(doc->blockCount(), kept.size() + 1);
    QCOMPARE(window->outputText(), kept.join('\n') + '\n');
    QVERIFY2(mostBlocks <= 5000, qPrintable(QString::number(mostBlocks)));
    QVERIFY2(mostCharacters <= 1048576, qPrintable(QString::number(mostCharacters)));
}

void DebugWindowTest::controlsDoNotSplitLines()
{
    showAndConnect();
    radio->send(
        utf8(QString("a\rb") + QChar(0x2029) + "c" + QChar(0x2028) + QChar(0x202e) + "d\n"));
    QTRY_COMPARE(window->outputText(), QString("a\u240db<U+2029>c<U+2028><U+202E>d\n"));
    QCOMPARE(view()->document()->blockCount(), 2);
}

void DebugWindowTest::newestTextIsTheEndOfTheWholeText_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("nothing") << QStringList {};
    QTest::newRow("a few lines") << QStringList {"one", "", "two"};
    QStringList many;
    for (int i = 0; i < 3000; ++i)
        many << QString("qml: line %1 ").arg(i) + QString(80, 'x');
    QTest::newRow("3000 lines") << many;
    // 65,536 bytes of UTF-8 with the line feeds: not cut; one byte more: cut.
    QTest::newRow("exactly 64 KiB") << QStringList {QString(32767, 'a'), QString(32767, 'b')};
    QTest::newRow("64 KiB and a byte") << QStringList {QString(32768, 'a'), QString(32767, 'b')};
    QTest::newRow("two-byte characters")
        << QStringList {"start", QString(40000, QChar(0xe9)), QString(30000, QChar(0xe9))};
    QTest::newRow("non-BMP characters")
        << QStringList {"start", QString::fromUtf8("\xf0\x9f\x98\x80").repeated(20000), "end"};
}

// read_debug_log cuts its answer from newestText; the answer is the one cut from the whole text.
void DebugWindowTest::newestTextIsTheEndOfTheWholeText()
{
    QFETCH(QStringList, lines);
    showAndConnect();
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + '\n';
    radio->send(bytes);
    if (!lines.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(view()->document()->lastBlock().previous().text(), lines.last(),
                                  20000);
    const QString whole = window->outputText();
    QCOMPARE(whole, lines.isEmpty() ? QString() : lines.join('\n') + '\n');
    const QString newest = window->newestText(65536);
    QVERIFY(whole.endsWith(newest));
    // The fewest lines: without its first line it would hold 65,536 bytes or less.
    const QString rest = newest.mid(newest.indexOf('\n') + 1);
    QVERIFY(newest == whole || (newest.toUtf8().size() > 65536 && rest.toUtf8().size() <= 65536));
    bool cutWhole = false;
    bool cutNewest = false;
    QCOMPARE(AiToolRules::textTail(newest, 65536, &cutNewest),
             AiToolRules::textTail(whole, 65536, &cutWhole));
    QCOMPARE(cutNewest, cutWhole);
}

void DebugWindowTest::followsTheNewestLine_data()
{
    QTest::addColumn<int>("length"); // characters per line
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("userAction"); // on the text before the second half arrives
    QTest::newRow("short lines") << 20 << 400 << "none";
    // Each wrapped over dozens of rows of the view.
    QTest::newRow("4 kB lines") << 4000 << 300 << "none";
    QTest::newRow("short lines past the block limit") << 100 << 5100 << "none";
    QTest::newRow("long lines past the character limit") << 1000 << 5100 << "none";
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

    const QStringList kept = keptLines(sent);
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
