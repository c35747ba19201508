#pragma once

#include "DebugLineReader.h"

#include <QAbstractSocket>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTcpSocket;
class QTimer;
class QToolButton;

// The radio's debug output in a window of its own: a TCP client to the radio's debug port
// that shows the lines as they come, without the web server's access log. It connects when
// shown, when the address changes while it is visible, and on openAndConnect; there is no
// automatic reconnection. Closing hides it and disconnects; the text stays.
class DebugWindow : public QWidget
{
    Q_OBJECT
public:
    // The terminal keeps at most this many blocks (lines, plus the empty one after the last).
    static constexpr int MaximumBlockCount = 5000;
    // ... and at most this many characters, line feeds included. The text document copies all
    // it holds each time it reclaims the space of dropped lines: with 5000 long lines that
    // copy would freeze the window for seconds.
    static constexpr int MaximumCharacters = 1024 * 1024;

    explicit DebugWindow(QWidget *parent = nullptr, quint16 port = 9022);
    ~DebugWindow() override;

    // The address to use from now on; empty means no radio. An unchanged address does
    // nothing, so the scanner may repeat it.
    void setRadioIp(const QString &ip);
    // Shows the window if needed and makes sure it is connected or connecting.
    void openAndConnect();
    // The whole terminal text, each kept line followed by a line feed.
    QString outputText() const;
    // The end of outputText: the fewest newest lines that hold more than minUtf8Bytes bytes
    // of UTF-8, or all of them. Reads only those lines.
    QString newestText(int minUtf8Bytes) const;

    quint16 port() const { return debugPort; }

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void onSocketConnected();
    void onSocketDisconnected();
    void onSocketReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void onClearClicked();

private:
    void setStatus(const QString &text, const QString &colour);
    void connectToRadio();
    void disconnectFromRadio();
    void flushLineBuffer();
    void queueLines(const QStringList &lines);
    void insertQueuedLines();
    void appendLines(QStringList lines);

    QTcpSocket *socket = nullptr;
    QString radioIp;
    DebugLineReader lineReader;
    // Lines read but not yet shown: under a flood they are inserted together at most once
    // per tick of insertTimer, as the view lays out the newest lines once per insertion.
    QStringList queuedLines;
    int queuedCharacters = 0;
    QTimer *insertTimer = nullptr;
    QPlainTextEdit *outputView = nullptr;
    QLabel *statusLabel = nullptr;
    QToolButton *clearButton = nullptr;
    quint16 debugPort;
};
