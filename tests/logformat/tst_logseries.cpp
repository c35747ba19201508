#include "LogSeries.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

LogVariable series(const QVector<double> &times, const QVector<double> &values,
                   bool ascending = true)
{
    LogVariable v;
    v.name = QStringLiteral("A");
    v.times = times;
    v.values = values;
    v.timesAscending = ascending;
    return v;
}

} // namespace

class LogSeriesTest : public QObject
{
    Q_OBJECT
private slots:
    void nearestIndex_data();
    void nearestIndex();
    void valueAt_data();
    void valueAt();
    void inTimeOrder();
    void inTimeOrderSharesOneSortPerTimes();
};

void LogSeriesTest::nearestIndex_data()
{
    QTest::addColumn<QVector<double>>("times");
    QTest::addColumn<double>("key");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<int>("index");
    const double inf = std::numeric_limits<double>::infinity();
    const QVector<double> t {0.0, 1.0, 2.0, 3.0};
    QTest::newRow("exactly between: later") << t << 1.5 << true << 2;
    QTest::newRow("nearer the earlier") << t << 1.4 << true << 1;
    QTest::newRow("on a sample") << t << 2.0 << true << 2;
    QTest::newRow("on the first") << t << 0.0 << true << 0;
    QTest::newRow("on the last") << t << 3.0 << true << 3;
    QTest::newRow("before first") << t << -5.0 << true << 0;
    QTest::newRow("after last") << t << 99.0 << true << 3;
    QTest::newRow("far before first") << t << -inf << true << 0;
    QTest::newRow("far after last") << t << inf << true << 3;
    QTest::newRow("no samples") << QVector<double>() << 1.0 << true << -1;
    QTest::newRow("no samples, unordered") << QVector<double>() << 1.0 << false << -1;
    QTest::newRow("one sample") << QVector<double> {7.0} << 1.0 << true << 0;
    QTest::newRow("one sample, unordered") << QVector<double> {7.0} << 1.0 << false << 0;
    // A stamp two samples share: the first of them, as lower_bound finds it.
    QTest::newRow("duplicate stamp") << QVector<double> {0.0, 1.0, 1.0, 2.0} << 1.0 << true << 1;
    QTest::newRow("tie beside duplicates")
        << QVector<double> {0.0, 1.0, 1.0, 2.0} << 1.5 << true << 3;
    // Stamps out of order: searched in full, nearest in time wins, later time on a tie.
    QTest::newRow("unordered") << QVector<double> {3.0, 0.0, 2.0, 1.0} << 1.1 << false << 3;
    QTest::newRow("unordered tie") << QVector<double> {2.0, 0.0, 1.0} << 1.5 << false << 0;
    QTest::newRow("unordered tie, later first")
        << QVector<double> {1.0, 2.0, 0.0} << 1.5 << false << 1;
    QTest::newRow("unordered after last") << QVector<double> {3.0, 0.0, 2.0} << 99.0 << false << 0;
    QTest::newRow("unordered before first")
        << QVector<double> {3.0, 0.0, 2.0} << -5.0 << false << 1;
}

void LogSeriesTest::nearestIndex()
{
    QFETCH(QVector<double>, times);
    QFETCH(double, key);
    QFETCH(bool, ascending);
    QFETCH(int, index);
    QCOMPARE(LogSeries::nearestIndex(times, key, ascending), index);
    QVector<double> values(times.size(), 0.0);
    QCOMPARE(LogSeries::nearestIndex(series(times, values, ascending), key), index);
}

void LogSeriesTest::valueAt_data()
{
    QTest::addColumn<QVector<double>>("times");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("expected");
    const double inf = std::numeric_limits<double>::infinity();
    const QVector<double> t {1, 2, 2, 4};
    const QVector<double> y {10, 20, 30, 50};
    QTest::newRow("before first") << t << y << -3.0 << 10.0;
    QTest::newRow("at first") << t << y << 1.0 << 10.0;
    QTest::newRow("between") << t << y << 1.5 << 15.0;
    // Two samples share a stamp: at it the earlier one reads...
    QTest::newRow("at duplicate stamp") << t << y << 2.0 << 20.0;
    // ...and later positions interpolate from the later one.
    QTest::newRow("after duplicate") << t << y << 3.0 << 40.0;
    QTest::newRow("at last") << t << y << 4.0 << 50.0;
    QTest::newRow("after last") << t << y << 100.0 << 50.0;
    QTest::newRow("far before first") << t << y << -inf << 10.0;
    QTest::newRow("far after last") << t << y << inf << 50.0;
    QTest::newRow("no samples") << QVector<double>() << QVector<double>() << 1.0 << 0.0;
    QTest::newRow("one sample") << QVector<double> {3} << QVector<double> {7} << 0.0 << 7.0;
    // Only the samples with both a time and a value count.
    QTest::newRow("more times than values")
        << QVector<double> {1, 2, 3} << QVector<double> {5, 6} << 9.0 << 6.0;
    QTest::newRow("more values than times")
        << QVector<double> {1, 2} << QVector<double> {5, 6, 7} << 9.0 << 6.0;
    QTest::newRow("all on one stamp")
        << QVector<double> {2, 2, 2} << QVector<double> {5, 6, 7} << 2.0 << 5.0;
}

void LogSeriesTest::valueAt()
{
    QFETCH(QVector<double>, times);
    QFETCH(QVector<double>, values);
    QFETCH(double, t);
    QFETCH(double, expected);
    const double value = LogSeries::valueAt(series(times, values), t);
    QVERIFY(std::isfinite(value));
    QCOMPARE(value, expected);
}

void LogSeriesTest::inTimeOrder()
{
    const LogVariable sorted = series({0, 1, 2}, {5, 6, 7});
    // Equal stamps keep their file order: 20 before 21.
    const LogVariable backwards = series({2, 1, 1, 0}, {30, 20, 21, 10}, false);
    const QVector<LogVariable> result = LogSeries::inTimeOrder({sorted, backwards});
    QCOMPARE(result.size(), 2);
    QCOMPARE(result[0].times, (QVector<double> {0, 1, 2}));
    QCOMPARE(result[0].values, (QVector<double> {5, 6, 7}));
    QCOMPARE(result[1].name, QStringLiteral("A"));
    QCOMPARE(result[1].times, (QVector<double> {0, 1, 1, 2}));
    QCOMPARE(result[1].values, (QVector<double> {10, 20, 21, 30}));
    QCOMPARE(LogSeries::valueAt(result[1], 0.5), 15.0);
    QCOMPARE(LogSeries::nearestIndex(result[1], 1.9), 3);
    QVERIFY(LogSeries::inTimeOrder({}).isEmpty());
}

void LogSeriesTest::inTimeOrderSharesOneSortPerTimes()
{
    const QVector<double> times {3, 1, 2};
    LogVariable a = series(times, {30, 10, 20}, false);
    LogVariable b = series(times, {-3, -1, -2}, false);
    b.name = QStringLiteral("B");
    b.allFinite = false;
    const QVector<LogVariable> result = LogSeries::inTimeOrder({a, b});
    QCOMPARE(result[0].values, (QVector<double> {10, 20, 30}));
    QCOMPARE(result[1].values, (QVector<double> {-1, -2, -3}));
    QCOMPARE(result[1].name, QStringLiteral("B"));
    QVERIFY(!result[1].allFinite);
    // One sorted copy of the shared times serves both.
    QCOMPARE(result[0].times.constData(), result[1].times.constData());
    QCOMPARE(result[1].times, (QVector<double> {1, 2, 3}));
}

QTEST_APPLESS_MAIN(LogSeriesTest)
#include "tst_logseries.moc"
