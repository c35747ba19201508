#include "LogLoader.h"

#include "LogReader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QWeakPointer>
#include <QtConcurrent>

namespace {

// The logs open somewhere in the program, by file identity. Weak: a log lives only as
// long as a tab shows it.
QMutex cacheMutex;
QHash<QString, QWeakPointer<const ParsedLog>> &openLogs()
{
    static QHash<QString, QWeakPointer<const ParsedLog>> logs;
    return logs;
}

QString fileKey(const QFileInfo &info)
{
    return QStringLiteral("%1|%2|%3")
        .arg(info.canonicalFilePath())
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch());
}

ParsedLogPtr cachedLog(const QString &key)
{
    const QMutexLocker lock(&cacheMutex);
    return openLogs().value(key).toStrongRef();
}

void rememberLog(const QString &key, const ParsedLogPtr &log)
{
    const QMutexLocker lock(&cacheMutex);
    QHash<QString, QWeakPointer<const ParsedLog>> &logs = openLogs();
    for (auto it = logs.begin(); it != logs.end();) {
        if (it.value().isNull())
            it = logs.erase(it);
        else
            ++it;
    }
    logs.insert(key, log);
}

bool isCancelled(const std::atomic<bool> *cancelled)
{
    return cancelled && cancelled->load();
}

} // namespace

LogLoader::LogLoader(QObject *parent)
    : QObject(parent)
{
}

LogLoader::~LogLoader()
{
    cancelRunning();
}

void LogLoader::cancel()
{
    cancelRunning();
}

bool LogLoader::isBusy() const
{
    return watcher != nullptr;
}

void LogLoader::loadFile(const QString &path, bool keepBytes)
{
    start([path, keepBytes](const std::atomic<bool> *cancelled) {
        return readAndParseFile(path, keepBytes, cancelled);
    });
}

void LogLoader::parseDownload(const QByteArray &bytes, const QString &label, bool keepBytes)
{
    start([bytes, label, keepBytes](const std::atomic<bool> *cancelled) {
        return parseBytes(bytes, label, keepBytes, cancelled);
    });
}

void LogLoader::cancelRunning()
{
    if (!watcher)
        return;
    // The job runs on; it only stops early and its result goes nowhere.
    cancelFlag->store(true);
    watcher->disconnect(this);
    watcher->deleteLater();
    watcher = nullptr;
    cancelFlag.reset();
}

void LogLoader::start(std::function<Result(const std::atomic<bool> *)> job)
{
    cancelRunning();
    auto flag = std::make_shared<std::atomic<bool>>(false);
    cancelFlag = flag;
    watcher = new QFutureWatcher<Result>(this);
    QFutureWatcher<Result> *current = watcher;
    connect(current, &QFutureWatcher<Result>::finished, this, [this, current] {
        if (current != watcher)
            return;
        const Result result = current->result();
        current->deleteLater();
        watcher = nullptr;
        cancelFlag.reset();
        emit finished(result);
    });
    // The flag is shared with the job, which may outlive this loader.
    watcher->setFuture(QtConcurrent::run([job, flag] { return job(flag.get()); }));
}

LogLoader::Result LogLoader::readAndParseFile(const QString &path, bool keepBytes,
                                              const std::atomic<bool> *cancelled)
{
    Result result;
    result.fromFile = true;
    const QFileInfo info(path);
    result.label = info.fileName();
    const QString key = fileKey(info);
    QByteArray data;
    if (!LogReader::readFile(path, data, result.error))
        return result;
    if (isCancelled(cancelled))
        return result;
    // The same file, unchanged since, is open already: share what was parsed then.
    if (data.size() == info.size()) {
        if (ParsedLogPtr shared = cachedLog(key)) {
            result.ok = true;
            result.log = shared;
            if (keepBytes)
                result.bytes = data;
            return result;
        }
    }
    result = parseBytes(data, result.label, keepBytes, cancelled);
    result.fromFile = true;
    if (result.ok && data.size() == info.size())
        rememberLog(key, result.log);
    return result;
}

LogLoader::Result LogLoader::parseBytes(const QByteArray &bytes, const QString &label,
                                        bool keepBytes, const std::atomic<bool> *cancelled)
{
    Result result;
    result.label = label;
    auto log = QSharedPointer<ParsedLog>::create();
    if (!LogReader::parseData(bytes, log->variables, result.error, cancelled))
        return result;
    result.ok = true;
    result.log = log;
    if (keepBytes)
        result.bytes = bytes;
    return result;
}
