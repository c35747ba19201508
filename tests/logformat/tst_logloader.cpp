#include "LogGenerator.h"
#include "LogLoader.h"
#include "LogReader.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

bool sameSeries(const QVector<double> &a, const QVector<double> &b)
{
    // Bit for bit, so that NaN samples compare equal.
    return a.size() == b.size()
        && std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(double)) == 0;
}

// Empty when the two parses agree in every name, sample and flag.
QString difference(const QVector<LogVariable> &got, const QVector<LogVariable> &want)
{
    if (got.size() != want.size())
        return QStringLiteral("%1 variables, not %2").arg(got.size()).arg(want.size());
    for (int i = 0; i < want.size(); ++i) {
        const LogVariable &a = got[i], &b = want[i];
        if (a.name != b.name || !sameSeries(a.times, b.times) || !sameSeries(a.values, b.values)
            || a.timesAscending != b.timesAscending || a.allFinite != b.allFinite)
            return QStringLiteral("variable %1 (%2)").arg(i).arg(b.name);
    }
    return QString();
}

QVector<LogVariable> parsedNow(const QByteArray &bytes)
{
    QVector<LogVariable> vars;
    QString error;
    LogReader::parseData(bytes, vars, error);
    return vars;
}

// Many tiny records, so that a parse passes the cancellation checks.
QByteArray manyRecords(int count)
{
    LogGenerator g;
    for (int i = 0; i < count; ++i)
        g.tx(quint32(i), quint8(i % 100));
    return g.bytes();
}

// Runs loads on a LogLoader and collects what it delivers.
struct Collector
{
    LogLoader loader;
    QVector<LogLoader::Result> results;
    Collector()
    {
        QObject::connect(&loader, &LogLoader::finished,
                         [this](const LogLoader::Result &r) { results << r; });
    }
    bool settle()
    {
        return QTest::qWaitFor([this] { return !loader.isBusy(); }, 20000);
    }
};

} // namespace

class LogLoaderTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase();
    void resultEqualsSynchronousParse_data();
    void resultEqualsSynchronousParse();
    void failures_data();
    void failures();
    void newLoadReplacesRunningOne();
    void cancelledParseGivesUp();
    void sameFileIsShared();
    void loaderGoneWhileParsing();
};

void LogLoaderTest::cleanupTestCase()
{
    QThreadPool::globalInstance()->waitForDone();
}

void LogLoaderTest::resultEqualsSynchronousParse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("flight") << LogGenerator::flight(20);
    LogGenerator backwards;
    backwards.tx(500, 1).tx(100, 2).attitude(300, 1, 0, 0, 0).attitude(200, 0.8, 0.6, 0, 0);
    QTest::newRow("stamps going backwards") << backwards.bytes();
    LogGenerator zero;
    zero.attitude(0, 0, 0, 0, 0).attitude(100, 1, 0, 0, 0);
    QTest::newRow("zero quaternion, NaN pitch") << zero.bytes();
    QTest::newRow("truncated last record") << LogGenerator::flight(2).chopped(3);
}

void LogLoaderTest::resultEqualsSynchronousParse()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flight.log"));
    QVERIFY(TestSupport::writeFile(path, bytes));
    Collector c;
    c.loader.loadFile(path, true);
    QVERIFY(c.loader.isBusy());
    QVERIFY(c.settle());
    QCOMPARE(c.results.size(), 1);
    const LogLoader::Result &r = c.results.first();
    QVERIFY(r.ok);
    QVERIFY(r.fromFile);
    QCOMPARE(r.label, QStringLiteral("flight.log"));
    QCOMPARE(r.bytes, bytes);
    QCOMPARE(difference(r.log->variables, parsedNow(bytes)), QString());

    c.loader.parseDownload(bytes, QStringLiteral("Flight  (2:03)"), false);
    QVERIFY(c.settle());
    QCOMPARE(c.results.size(), 2);
    const LogLoader::Result &d = c.results.last();
    QVERIFY(d.ok);
    QVERIFY(!d.fromFile);
    QCOMPARE(d.label, QStringLiteral("Flight  (2:03)"));
    QVERIFY(d.bytes.isEmpty()); // not asked to keep them
    QCOMPARE(difference(d.log->variables, parsedNow(bytes)), QString());
}

void LogLoaderTest::failures_data()
{
    QTest::addColumn<QString>("name"); // a file in the test folder; "" for the folder itself
    QTest::addColumn<QByteArray>("bytes"); // written unless null
    QTest::addColumn<QString>("error"); // %1 = the path
    QTest::newRow("missing") << "gone.log" << QByteArray() << "Cannot open file: %1";
    QTest::newRow("a folder") << "" << QByteArray() << "Cannot open file: %1";
    QTest::newRow("empty") << "empty.log" << QByteArray("")
                           << "No recognized log entries found in file";
    QTest::newRow("text") << "notes.txt" << QByteArray("not a log at all")
                          << "No recognized log entries found in file";
}

void LogLoaderTest::failures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = name.isEmpty() ? dir.path() : dir.filePath(name);
    if (!bytes.isNull())
        QVERIFY(TestSupport::writeFile(path, bytes));
    Collector c;
    c.loader.loadFile(path, true);
    QVERIFY(c.settle());
    QCOMPARE(c.results.size(), 1);
    QVERIFY(!c.results.first().ok);
    QVERIFY(c.results.first().fromFile);
    QCOMPARE(c.results.first().error, error.arg(path));
    QVERIFY(c.results.first().log.isNull());
}

void LogLoaderTest::newLoadReplacesRunningOne()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.log"));
    QVERIFY(TestSupport::writeFile(first, LogGenerator::flight(60)));
    const QString second = dir.filePath(QStringLiteral("second.log"));
    QVERIFY(TestSupport::writeFile(second, LogGenerator::flight(5)));
    Collector c;
    // Whatever the first job has done meanwhile, only the second one's result arrives.
    c.loader.loadFile(first, true);
    c.loader.loadFile(second, true);
    QVERIFY(c.settle());
    QCOMPARE(c.results.size(), 1);
    QCOMPARE(c.results.first().label, QStringLiteral("second.log"));

    // Also a failing open, replaced before its failure could be told.
    c.results.clear();
    c.loader.loadFile(dir.filePath(QStringLiteral("missing.log")), true);
    c.loader.parseDownload(LogGenerator::flight(1), QStringLiteral("radio"), false);
    QVERIFY(c.settle());
    QCOMPARE(c.results.size(), 1);
    QVERIFY(c.results.first().ok);
    QCOMPARE(c.results.first().label, QStringLiteral("radio"));
}

void LogLoaderTest::cancelledParseGivesUp()
{
    const QByteArray bytes = manyRecords(70000);
    const std::atomic<bool> cancelled {true};
    QVector<LogVariable> vars(1);
    vars[0].name = QStringLiteral("kept");
    QString error = QStringLiteral("untouched");
    QVERIFY(!LogReader::parseData(bytes, vars, error, &cancelled));
    QCOMPARE(vars.size(), 1);
    QCOMPARE(vars[0].name, QStringLiteral("kept"));
    QCOMPARE(error, QStringLiteral("untouched"));

    const LogLoader::Result r = LogLoader::parseBytes(bytes, QStringLiteral("x"), true, &cancelled);
    QVERIFY(!r.ok);
    QVERIFY(r.log.isNull());

    // A flag that stays clear changes nothing.
    const std::atomic<bool> clear {false};
    QVector<LogVariable> whole;
    QVERIFY(LogReader::parseData(bytes, whole, error, &clear));
    QCOMPARE(difference(whole, parsedNow(bytes)), QString());
}

void LogLoaderTest::sameFileIsShared()
{
    QTemporaryDir dir;
    const QByteArray bytes = LogGenerator::flight(10);
    const QString path = dir.filePath(QStringLiteral("shared.log"));
    QVERIFY(TestSupport::writeFile(path, bytes));
    LogLoader::Result a = LogLoader::readAndParseFile(path, true);
    LogLoader::Result b = LogLoader::readAndParseFile(path, false);
    QVERIFY(a.ok && b.ok);
    QCOMPARE(b.log, a.log); // one parse, held by both
    QCOMPARE(a.bytes, bytes);
    QVERIFY(b.bytes.isEmpty());

    // Another file with the same bytes is parsed on its own.
    const QString copy = dir.filePath(QStringLiteral("copy.log"));
    QVERIFY(TestSupport::writeFile(copy, bytes));
    const LogLoader::Result c = LogLoader::readAndParseFile(copy, false);
    QVERIFY(c.log != a.log);
    QCOMPARE(difference(c.log->variables, a.log->variables), QString());

    // A changed file is parsed again.
    const QByteArray longer = LogGenerator::flight(11);
    QVERIFY(TestSupport::writeFile(path, longer));
    const LogLoader::Result d = LogLoader::readAndParseFile(path, true);
    QVERIFY(d.log != a.log);
    QCOMPARE(d.bytes, longer);
    QCOMPARE(difference(d.log->variables, parsedNow(longer)), QString());

    // Nothing keeps a log alive once no one shows it.
    const QWeakPointer<const ParsedLog> gone = a.log;
    a = LogLoader::Result();
    b = LogLoader::Result();
    QVERIFY(gone.isNull());
}

void LogLoaderTest::loaderGoneWhileParsing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.log"));
    QVERIFY(TestSupport::writeFile(path, LogGenerator::flight(60)));
    bool delivered = false;
    {
        LogLoader loader;
        QObject::connect(&loader, &LogLoader::finished, [&delivered] { delivered = true; });
        loader.loadFile(path, true);
    }
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QVERIFY(!delivered);
}

QTEST_GUILESS_MAIN(LogLoaderTest)
#include "tst_logloader.moc"
