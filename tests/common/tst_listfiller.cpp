// Long lists are filled a slice at a time; a short one before start() returns.
#include "ListFiller.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

class ListFillerTest : public QObject
{
    Q_OBJECT
private slots:
    void slices_data();
    void slices();
    void cancelAndRestart();
};

void ListFillerTest::slices_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("stepMicros");
    QTest::addColumn<int>("atOnce"); // steps run before start() returns
    QTest::newRow("empty") << 0 << 0 << 0;
    QTest::newRow("short list at once") << 150 << 0 << 150;
    QTest::newRow("cheap steps run on within the slice time") << 5000 << 0 << 5000;
    // Steps of 0.2 ms: 200 of them already pass the 20 ms of a slice.
    QTest::newRow("dear steps: 200 at once, the rest later") << 1000 << 200 << 200;
}

void ListFillerTest::slices()
{
    QFETCH(int, count);
    QFETCH(int, stepMicros);
    QFETCH(int, atOnce);
    ListFiller filler;
    QVector<int> seen;
    int done = 0;
    QElapsedTimer clock;
    clock.start();
    filler.start(
        count,
        [&](int i) {
            seen.append(i);
            if (stepMicros > 0)
                QThread::usleep(stepMicros);
        },
        [&]() { ++done; });
    const qint64 tookMs = clock.elapsed();
    if (atOnce > 200 && seen.size() < atOnce) {
        // A busy machine held the thread within the slice: it ended once its 20 ms were up.
        QVERIFY2(tookMs >= 20,
                 qPrintable(QStringLiteral("%1 steps in %2 ms").arg(seen.size()).arg(tookMs)));
        QVERIFY(seen.size() >= 200);
    } else {
        QCOMPARE(seen.size(), atOnce);
    }
    QCOMPARE(done, seen.size() == count ? 1 : 0);
    QTRY_COMPARE_WITH_TIMEOUT(done, 1, 20000);
    QCOMPARE(seen.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(seen.at(i), i);
    QVERIFY(!filler.isRunning());
}

void ListFillerTest::cancelAndRestart()
{
    ListFiller filler;
    QStringList log;
    auto slow = [&](const QString &name) {
        return [&log, name](int i) {
            log << name + QString::number(i);
            QThread::usleep(200);
        };
    };
    filler.start(1000, slow(QStringLiteral("a")), [&]() { log << QStringLiteral("a done"); });
    QVERIFY(filler.isRunning());
    filler.cancel();
    QVERIFY(!filler.isRunning());
    QTest::qWait(50);
    QCOMPARE(log.size(), 200);

    // Restarted from inside a step: the old fill stops there, the new one runs whole.
    log.clear();
    filler.start(1000, [&](int i) {
        log << QStringLiteral("b") + QString::number(i);
        if (i == 5)
            filler.start(
                3, [&](int j) { log << QStringLiteral("c") + QString::number(j); },
                [&]() { log << QStringLiteral("c done"); });
    });
    QCOMPARE(log, QStringList({"b0", "b1", "b2", "b3", "b4", "b5", "c0", "c1", "c2", "c done"}));
    QTest::qWait(50);
    QCOMPARE(log.size(), 10);
}

QTEST_GUILESS_MAIN(ListFillerTest)
#include "tst_listfiller.moc"
