#include "DebugWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTcpSocket>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

static const char *const Grey = "#b0b0b6";
static const char *const Green = "#5fd97f";
static const char *const Red = "#f5566a";

// A flood arrives in reads of at most this much, so one read never stalls the window.
static const qint64 ReadChunk = 64 * 1024;

DebugWindow::DebugWindow(QWidget *parent, quint16 port)
    : QWidget(parent, Qt::Window)
    , debugPort(port)
{
    setWindowTitle(tr("Kelo Studio - Debug"));
    resize(640, 420);

    socket = new QTcpSocket(this);
    socket->setReadBufferSize(ReadChunk);

    statusLabel = new QLabel(this);
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setStyleSheet(QStringLiteral("color: #b0b0b6;"));
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
        QStringLiteral("background-color: #1e1e1e; color: #eaeaea; border: 1px solid #3f3f42;"));
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
    outputView->clear();
}

void DebugWindow::onSocketReadyRead()
{
    appendLines(lineReader.feed(socket->readAll()));
}

void DebugWindow::flushLineBuffer()
{
    appendLines(lineReader.flush());
}

void DebugWindow::appendLines(QStringList lines)
{
    if (lines.isEmpty())
        return;
    // Lines that would drop off the top at once are not inserted at all; the empty block
    // after the last line feed takes one place.
    if (lines.size() > MaximumBlockCount - 1)
        lines.erase(lines.begin(), lines.end() - (MaximumBlockCount - 1));
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

    // One edit per read: the text buffer is then compacted at most once per fill. Made at
    // the end: moving a cursor there would lay out the block it starts in, the oldest.
    QTextDocument *document = outputView->document();
    QTextCursor cursor(document->lastBlock());
    cursor.beginEditBlock();
    cursor.insertText(text);
    // The document would drop the oldest lines itself, but it walks there one block at a
    // time, which costs far more than the insertion; cutting up to a position is cheap.
    const int excess = document->blockCount() - MaximumBlockCount;
    if (excess > 0) {
        QTextCursor top(document);
        top.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
        top.removeSelectedText();
    }
    cursor.endEditBlock();

    QScrollBar *bar = outputView->verticalScrollBar();
    bar->setValue(bar->maximum());
    viewport->setUpdatesEnabled(true);
}
