#pragma once

#include "FakeHttpServer.h"

#include <QDateTime>
#include <QImage>
#include <QPoint>
#include <QVector>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

// A believable Kelo radio for trying the program without one: flight logs from a folder,
// three pictures, five apps with icons and versions, a live screen (a clock, the running
// app, the last touch), the debug stream, and uploads, installs, starts, removals and
// touches that change what it serves next.
class DemoRadio : public QObject
{
    Q_OBJECT
public:
    explicit DemoRadio(QObject *parent = nullptr);

    // Serves every *.log file of the folder as a radio log named after the file, in name
    // order. Refuses a folder without logs and a file that holds no complete record.
    bool loadLogs(const QString &folder, QString *error);
    // HTTP on address:httpPort and the debug stream on address:debugPort; 0 takes any free
    // port.
    bool listen(const QHostAddress &address, quint16 httpPort, quint16 debugPort, QString *error);
    quint16 httpPort() const { return server->port(); }
    quint16 debugPort() const;
    int debugClientCount() const { return debugClients.size(); }
    // The HTTP side, with its record of what the program asked.
    const FakeHttpServer &http() const { return *server; }
    // The time the screen and the debug stream show; tests fix it.
    void setClock(std::function<QDateTime()> clock);

signals:
    // After each request: its request line and the status of the answer.
    void served(const QByteArray &requestLine, int status);

private:
    struct Log
    {
        qint64 id;
        QString name;
        qint64 tenths;
        QByteArray bytes;
    };
    struct Picture
    {
        QString name;
        QByteArray bytes;
    };
    struct App
    {
        QString name;
        QString detail;
        QByteArray icon; // PNG
        QImage iconImage;
        QByteArray version; // empty: the radio has none for it
    };

    FakeResponse answer(const FakeRequest &request);
    FakeResponse systemInfo() const;
    FakeResponse logGet(const QByteArray &path) const;
    FakeResponse upload(const FakeRequest &request);
    FakeResponse install(const QString &fileName, const QByteArray &archive, bool homeScreen);
    FakeResponse appMedia(const QByteArray &path) const;
    FakeResponse execApp(const QString &name);
    FakeResponse removeApp(const QString &name);
    FakeResponse touch(const QByteArray &query);
    FakeResponse screenshot() const;
    int appIndex(const QString &name) const;
    void addPicture(const QString &wanted, const QByteArray &bytes);
    void startApp(int index);
    void debugLine(const QByteArray &line);
    void onDebugConnection();
    void onDebugTick();

    FakeHttpServer *server;
    QTcpServer *debugServer;
    QList<QTcpSocket *> debugClients;
    QTimer *debugTimer;
    std::function<QDateTime()> now;
    QString address;
    int requestCount = 0;
    QDateTime switchedOn;

    QVector<Log> logs;
    QVector<Picture> pictures;
    QVector<App> apps;
    QString runningApp;
    QDateTime runningSince;
    QString uploadedHomeScreen;
    QString homeScreen;
    QVector<QPoint> trail;
    bool touching = false;
    QDateTime lastTouch;
};
