#pragma once

#include "DebugLineReader.h"

#include <QAbstractSocket>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTcpSocket;
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

    explicit DebugWindow(QWidget *parent = nullptr, quint16 port = 9022);
    ~DebugWindow() override;

    // The address to use from now on; empty means no radio. An unchanged address does
    // nothing, so the scanner may repeat it.
    void setRadioIp(const QString &ip);
    // Shows the window if needed and makes sure it is connected or connecting.
    void openAndConnect();
    // The whole terminal text, each kept line followed by a line feed.
    QString outputText() const;

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
    void appendLines(QStringList lines);

    QTcpSocket *socket = nullptr;
    QString radioIp;
    DebugLineReader lineReader;
    QPlainTextEdit *outputView = nullptr;
    QLabel *statusLabel = nullptr;
    QToolButton *clearButton = nullptr;
    quint16 debugPort;
};
