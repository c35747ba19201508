#pragma once

#include "LogVariable.h"

#include <QByteArray>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

template<typename T> class QFutureWatcher;

// A parsed log as the log tabs hold it. Never changed once made, so both tabs and the
// worker threads may share one.
struct ParsedLog
{
    QVector<LogVariable> variables;
};
using ParsedLogPtr = QSharedPointer<const ParsedLog>;

// Reads and parses flight logs on a worker thread, so that a long log never freezes the
// window. One load at a time: a new one replaces a load still running, which is cancelled
// and whose result is never delivered. A file that is already open elsewhere (same path,
// size and modification time) is not parsed again: the tabs share its variables.
class LogLoader : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        bool ok = false;
        QString error; // "Cannot open file: <path>" or the parser's text
        ParsedLogPtr log;
        QByteArray bytes; // the file or download as read, when asked to keep them
        QString label; // the file's name without its folder, or the download's label
        bool fromFile = false;
    };

    explicit LogLoader(QObject *parent = nullptr);
    ~LogLoader() override;

    void loadFile(const QString &path, bool keepBytes);
    void parseDownload(const QByteArray &bytes, const QString &label, bool keepBytes);
    bool isBusy() const;
    // Drops the load under way, if any: its result is never delivered.
    void cancel();

    // The work itself, as the worker runs it; a set *cancelled makes it give up early.
    static Result readAndParseFile(const QString &path, bool keepBytes,
                                   const std::atomic<bool> *cancelled = nullptr);
    static Result parseBytes(const QByteArray &bytes, const QString &label, bool keepBytes,
                             const std::atomic<bool> *cancelled = nullptr);

signals:
    // On the loader's thread, once per load that was not replaced.
    void finished(const LogLoader::Result &result);

private:
    void start(std::function<Result(const std::atomic<bool> *)> job);
    void cancelRunning();

    QFutureWatcher<Result> *watcher = nullptr;
    std::shared_ptr<std::atomic<bool>> cancelFlag;
};
