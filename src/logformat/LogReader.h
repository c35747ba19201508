#pragma once

#include "LogVariable.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <atomic>

// Turns the radio's flight-log bytes into named time series. Stateless.
class LogReader
{
    Q_DECLARE_TR_FUNCTIONS(LogReader)

public:
    LogReader() = delete;

    // Reads the whole file and parses it. False with "Cannot open file: <path>" when it
    // cannot be read, or the too-large text of readFile(); the vector is then untouched.
    static bool load(const QString &path, QVector<LogVariable> &variables, QString &error);

    // Reads a whole log file. A file too large to hold in memory (2 GiB and more) is
    // refused with its own text instead of reading as empty.
    static bool readFile(const QString &path, QByteArray &data, QString &error);

    // Appends the variables of the log (first-seen order, body rates last) and returns
    // true when the vector is non-empty afterwards; otherwise sets error and returns false.
    // Any byte sequence is safe: a truncated or over-long record ends the parse.
    static bool parseData(const QByteArray &data, QVector<LogVariable> &variables, QString &error);
    // The same, giving up as soon as it sees *cancelled set (a null pointer never does):
    // false, with the vector and the error text untouched.
    static bool parseData(const QByteArray &data, QVector<LogVariable> &variables, QString &error,
                          const std::atomic<bool> *cancelled);

    // Long logs are read and parsed in parts, on several threads. For tests that cover
    // records split across parts without megabytes of log: every part this many bytes;
    // 0 restores the sizes chosen for speed.
    static void setPartBytesForTesting(qint64 bytes);
};
