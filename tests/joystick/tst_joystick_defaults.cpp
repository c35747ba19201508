// The bridge with its built-in settings: TCP port 2600 on every local address, 500 ms
// waits for a radio, 4000 ms of silence before a radio counts as gone. Runs in a
// loopback-only namespace of its own, so port 2600 is free and nothing else can connect.
#include "BridgeHarness.h"

#include <QElapsedTimer>
#include <QtTest>

#include <climits>

static constexpr int Patience = 15000;

class JoystickDefaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void builtInPortAndWaits();
};

void JoystickDefaultsTest::initTestCase()
{
    if (qgetenv("KELO_NETNS") != "loopback")
        QFAIL("binds port 2600 on every address: run this through scripts/netns.sh --no-lan");
}

void JoystickDefaultsTest::builtInPortAndWaits()
{
    BridgeHarness harness {JoystickBridgeConfig()};
    harness.start();
    QCOMPARE(harness.waitForPort(Patience), quint16(2600));

    // Waiting for a radio is told again every 500 ms. Each gap is one wait of the bridge's
    // thread: never shorter than the wait, and longer by however late a busy machine woke
    // the thread, so the least delayed gap tells the wait itself (a mean would add up every
    // late wake-up).
    QVERIFY(harness.waitForStatus(BridgeWaiting, 7, Patience));
    QVector<qint64> waits;
    const QVector<int> codes = harness.statuses();
    const QVector<qint64> times = harness.statusTimesMs();
    for (int i = 0; i < codes.size(); ++i) {
        if (codes[i] == BridgeWaiting)
            waits.append(times[i]);
    }
    QStringList gaps;
    qint64 shortest = LLONG_MAX;
    for (int i = 1; i < waits.size(); ++i) {
        gaps << QString::number(waits[i] - waits[i - 1]);
        shortest = qMin(shortest, waits[i] - waits[i - 1]);
    }
    QVERIFY2(shortest >= 450 && shortest < 700, qPrintable(gaps.join(' ')));

    // A radio that goes silent counts as gone after 4000 ms.
    LoopbackClient radio;
    QVERIFY(radio.connectTo(2600));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    QVERIFY(radio.send(numberedPacket(0)));
    QVERIFY(harness.joystick.waitForReports(1, Patience));
    QElapsedTimer silent;
    silent.start();
    QVERIFY(harness.waitForStatus(BridgeDisconnected, 1, Patience));
    QVERIFY2(silent.elapsed() >= 3800 && silent.elapsed() < 5000,
             qPrintable(QString::number(silent.elapsed())));

    harness.requestStop();
    QVERIFY(harness.waitFinished(Patience));
}

QTEST_GUILESS_MAIN(JoystickDefaultsTest)
#include "tst_joystick_defaults.moc"
