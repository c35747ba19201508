// The bridge with its built-in settings: TCP port 2600 on every local address, 500 ms
// waits for a radio, 4000 ms of silence before a radio counts as gone. Runs in a
// loopback-only namespace of its own, so port 2600 is free and nothing else can connect.
#include "BridgeHarness.h"

#include <QElapsedTimer>
#include <QtTest>

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

    // Waiting for a radio is told again every 500 ms.
    QVERIFY(harness.waitForStatus(BridgeWaiting, 5, Patience));
    QVector<qint64> waits;
    const QVector<int> codes = harness.statuses();
    const QVector<qint64> times = harness.statusTimesMs();
    for (int i = 0; i < codes.size(); ++i) {
        if (codes[i] == BridgeWaiting)
            waits.append(times[i]);
    }
    const qint64 mean = (waits.last() - waits.first()) / (waits.size() - 1);
    QVERIFY2(mean >= 450 && mean < 700, qPrintable(QString::number(mean)));

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
