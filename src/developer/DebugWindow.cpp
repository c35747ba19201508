#include "DebugWindow.h"

#include "Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

static const char *const Grey = Theme::SecondaryText;
static const char *const Green = "#5fd97f";
static const char *const Red = "#f5566a";

// A flood arrives in reads of at most this much, so one read never stalls the window.
static const qint64 ReadChunk = 64 * 1024;
// Under a flood the view shows new lines this often (ms), at most InsertSlice characters at a
// time; a line after a quiet spell at once.
static const int InsertInterval = 25;
static const int InsertSlice = 256 * 1024;

DebugWindow::DebugWindow(QWidget *parent, quint16 port)
    : QWidget(parent, Qt::Window)
    , debugPort(port)
{
    setWindowTitle(tr("Kelo Studio - Debug"));
    resize(640, 420);

    socket = new QTcpSocket(this);
    socket->setReadBufferSize(ReadChunk);
    insertTimer = new QTimer(this);
    insertTimer->setInterval(InsertInterval);

    statusLabel = new QLabel(this);
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setStyleSheet(Theme::secondaryTextStyleSheet());
    clearButton = new QToolButton(this);
    clearButton->setText(tr("Clear"));
    clearButton->setAutoRaise(true);

    outputView = new QPlainTextEdit(this);
    outputView->setReadOnly(true);
    outputView->document()->setMaximumBlockCount(MaximumBlockCount);
    // Wrapped at the edge like a terminal: breaking a long run without blanks at a word
    // takes the layout hundreds of milliseconds per line.
    outputView->setWordWrapMode(QTextOption::WrapAnywhere);
    outputView->setStyleSheet(
        QStringLiteral("background-color: %1; color: %2; border: 1px solid %3;")
            .arg(Theme::Window, Theme::Text, Theme::Border));
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::Monospace);
    outputView->setFont(font);

    auto *row = new QHBoxLayout;
    row->addWidget(statusLabel, 1);
    row->addWidget(clearButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(outputView, 1);

    setStatus(tr("Waiting for radio..."), Grey);

    connect(socket, &QTcpSocket::connected, this, &DebugWindow::onSocketConnected);
    connect(socket, &QTcpSocket::disconnected, this, &DebugWindow::onSocketDisconnected);
    connect(socket, &QTcpSocket::readyRead, this, &DebugWindow::onSocketReadyRead);
    connect(socket, &QTcpSocket::errorOccurred, this, &DebugWindow::onSocketError);
    connect(clearButton, &QToolButton::clicked, this, &DebugWindow::onClearClicked);
    connect(insertTimer, &QTimer::timeout, this, [this] {
        if (queuedLines.isEmpty())
            insertTimer->stop();
        else
            insertQueuedLines();
    });
}

DebugWindow::~DebugWindow()
{
    // The socket outlives this part of the object and reports its closing on the way out.
    socket->disconnect(this);
}

void DebugWindow::setStatus(const QString &text, const QString &colour)
{
    statusLabel->setText(text);
    statusLabel->setStyleSheet(QStringLiteral("color: %1;").arg(colour));
}

void DebugWindow::connectToRadio()
{
    lineReader.reset();
    setStatus(tr("Connecting to %1...").arg(radioIp), Grey);
    socket->connectToHost(radioIp, debugPort, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void DebugWindow::disconnectFromRadio()
{
    // A graceful disconnect while connecting only marks the attempt to be closed later and
    // makes the next connectToHost fail; abort ends it at once. Nothing is ever written, so
    // nothing is lost.
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
}

void DebugWindow::setRadioIp(const QString &ip)
{
    if (ip == radioIp)
        return;
    radioIp = ip;
    if (!isVisible())
        return;
    disconnectFromRadio();
    if (!radioIp.isEmpty())
        connectToRadio();
    else
        setStatus(tr("Waiting for radio..."), Grey);
}

void DebugWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (socket->state() != QAbstractSocket::UnconnectedState)
        return;
    if (!radioIp.isEmpty())
        connectToRadio();
    else
        setStatus(tr("Waiting for radio..."), Grey);
}

void DebugWindow::openAndConnect()
{
    if (!isVisible()) {
        show();
        raise();
    } else if (socket->state() == QAbstractSocket::UnconnectedState && !radioIp.isEmpty()) {
        connectToRadio();
    }
}

void DebugWindow::closeEvent(QCloseEvent *event)
{
    disconnectFromRadio();
    QWidget::closeEvent(event);
    emit closed();
}

QString DebugWindow::outputText() const
{
    return outputView->toPlainText();
}

static int utf8Size(const QString &text)
{
    int bytes = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        // A surrogate pair is four bytes, two for each half; the terminal holds no lone ones.
        bytes += u < 0x80 ? 1 : u < 0x800 || QChar::isSurrogate(u) ? 2 : 3;
    }
    return bytes;
}

QString DebugWindow::newestText(int minUtf8Bytes) const
{
    // Every kept line is followed by a block of its own; the last block is the empty one after
    // the last line feed.
    const QTextDocument *document = outputView->document();
    QStringList lines;
    qint64 bytes = 0;
    for (QTextBlock block = document->lastBlock().previous(); block.isValid();
         block = block.previous()) {
        lines.append(block.text());
        bytes += utf8Size(lines.last()) + 1;
        if (bytes > minUtf8Bytes)
            break;
    }
    QString text;
    text.reserve(int(qMin<qint64>(bytes, MaximumCharacters)));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        text += *line;
        text += QLatin1Char('\n');
    }
    return text;
}

void DebugWindow::onSocketConnected()
{
    setStatus(tr("Connected to %1").arg(radioIp), Green);
}

void DebugWindow::onSocketDisconnected()
{
    flushLineBuffer();
    setStatus(tr("Disconnected"), Grey);
}

void DebugWindow::onSocketError(QAbstractSocket::SocketError)
{
    setStatus(tr("Connection error: %1").arg(socket->errorString()), Red);
}

void DebugWindow::onClearClicked()
{
    queuedLines.clear();
    queuedCharacters = 0;
    outputView->clear();
}

void DebugWindow::onSocketReadyRead()
{
    queueLines(lineReader.feed(socket->readAll()));
}

void DebugWindow::flushLineBuffer()
{
    queueLines(lineReader.flush());
    if (!queuedLines.isEmpty())
        insertQueuedLines();
}

void DebugWindow::queueLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    queuedLines += lines;
    for (const QString &line : lines)
        queuedCharacters += line.size() + 1;
    // Twice what the terminal holds is more than enough: older lines would drop off the top
    // as soon as they were shown. appendLines keeps the exact limits.
    while (queuedLines.size() > 2 * MaximumBlockCount || queuedCharacters > 2 * MaximumCharacters)
        queuedCharacters -= queuedLines.takeFirst().size() + 1;
    if (!insertTimer->isActive())
        insertQueuedLines();
}

void DebugWindow::insertQueuedLines()
{
    int count = 0;
    int characters = 0;
    while (count < queuedLines.size()
           && (count == 0 || characters + queuedLines.at(count).size() + 1 <= InsertSlice))
        characters += queuedLines.at(count++).size() + 1;
    queuedCharacters -= characters;
    appendLines(queuedLines.mid(0, count));
    queuedLines.erase(queuedLines.begin(), queuedLines.begin() + count);
    insertTimer->start();
}

void DebugWindow::appendLines(QStringList lines)
{
    if (lines.isEmpty())
        return;
    // Lines that would drop off the top at once are not inserted at all; the empty block
    // after the last line feed takes one place. A slice holds far fewer characters than the
    // terminal.
    if (lines.size() > MaximumBlockCount - 1)
        lines.erase(lines.begin(), lines.end() - (MaximumBlockCount - 1));
    int characters = 0;
    for (const QString &line : qAsConst(lines))
        characters += line.size() + 1;
    QString text = lines.join(QLatin1Char('\n'));
    text += QLatin1Char('\n');

    // The view's cursor stays at the end, where the insertion carries it along. Moving it
    // there again would make the view lay out every long line from its old top to the end.
    const QTextCursor viewCursor = outputView->textCursor();
    if (viewCursor.hasSelection() || !viewCursor.atEnd())
        outputView->moveCursor(QTextCursor::End);

    // With the view's updates off while the text changes and the view moves to the newest
    // line, the view jumps there at once: it would otherwise lay out every long line from
    // its old top onwards, at each step. The update afterwards draws the new bottom.
    QWidget *viewport = outputView->viewport();
    viewport->setUpdatesEnabled(false);

    // Room first, so the document never holds more than its limits: past its block limit it
    // would drop the oldest lines itself, walking there one block at a time. Cutting up to a
    // position is cheap.
    QTextDocument *document = outputView->document();
    const QTextBlock last = document->lastBlock();
    int cut = 0;
    const int excessBlocks = document->blockCount() + lines.size() - MaximumBlockCount;
    if (excessBlocks > 0)
        cut = document->findBlockByNumber(excessBlocks).position();
    const int excessCharacters = last.position() + characters - MaximumCharacters;
    if (excessCharacters > 0) {
        const QTextBlock block = document->findBlock(excessCharacters - 1);
        cut = qMax(cut, block.position() + block.length());
    }
    if (cut > 0) {
        // In an edit block, so that placing the cursor does not lay out the line it lands in.
        QTextCursor top(document);
        top.beginEditBlock();
        top.setPosition(qMin(cut, last.position()), QTextCursor::KeepAnchor);
        top.removeSelectedText();
        top.endEditBlock();
    }

    // One edit per read: the text buffer is then compacted at most once per fill. Made at
    // the end: moving a cursor there would lay out the block it starts in, the oldest.
    QTextCursor cursor(document->lastBlock());
    cursor.insertText(text);

    QScrollBar *bar = outputView->verticalScrollBar();
    bar->setValue(bar->maximum());
    viewport->setUpdatesEnabled(true);
}
