#include "BridgeHarness.h"
#include "JoystickProtocol.h"
#include "SimThread.h"
#include "UhidJoystick.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <linux/uhid.h>

#include <csignal>
#include <cstring>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace JoystickProtocol;

Q_DECLARE_METATYPE(QVector<int>)

static constexpr int Patience = 15000; // generous: several sanitizer builds share the cores

static const QString Launched = QStringLiteral("> Sim Over WiFi launched");
static const QString Disconnected = QStringLiteral("> Client disconnected");
static const QString Malformed = QStringLiteral("> Malformed packet received from client !");
static const QString ServerClosed = QStringLiteral("> server closed");
static const QString SendFailed = QStringLiteral("Unable to send message to HID device.");

static QByteArray packets(int first, int count)
{
    QByteArray stream;
    for (int i = first; i < first + count; ++i)
        stream += numberedPacket(i);
    return stream;
}

static QVector<QByteArray> reportBytes(const RecordingJoystick &joystick)
{
    QVector<QByteArray> bytes;
    for (const auto &report : joystick.reports())
        bytes.append(report.bytes);
    return bytes;
}

static QVector<QByteArray> expectedReports(int first, int count)
{
    QVector<QByteArray> bytes;
    for (int i = first; i < first + count; ++i)
        bytes.append(reportFor(numberedPacket(i)));
    return bytes;
}

// The bridge worker against scripted radios on loopback.
class JoystickBridgeTest : public QObject
{
    Q_OBJECT

private slots:
    void driverMissing();
    void deviceIdentity();
    void createFailureGoesOn();
    void waitingRepeatsWithoutSpinning();
    void streamSplits_data();
    void streamSplits();
    void partialFrameAtDisconnect();
    void reconnectAfterDisconnect();
    void silenceEndsConnection();
    void secondRadioWaitsInBacklog();
    void stopWhileWaiting();
    void stopWhileStreaming();
    void stopWhileSilent();
    void portInUse();
    void acceptFailureEndsWithoutStatus();
    void restartWithinTimeWait();
    void signalsDoNotEndWaits();
    void sendFailuresAreThrottled();
    void uhidOpenFailureSaysWhy();
    void uhidEventsOverAFile();
    void programThreadWithoutUhid();
};

void JoystickBridgeTest::driverMissing()
{
    BridgeHarness harness;
    harness.joystick.failOpen = true;
    harness.start();
    QVERIFY(harness.waitFinished(Patience));
    QCOMPARE(harness.statuses(), (QVector<int> {BridgeChecking, BridgeDriverMissing}));
    QCOMPARE(harness.lines(),
             (QStringList {
                 Launched,
                 QStringLiteral("Unable to open the virtual joystick driver: no such driver")}));
    QCOMPARE(harness.joystick.createCalls(), 0);
    QCOMPARE(harness.waitForPort(0), quint16(0)); // nothing listens
}

void JoystickBridgeTest::deviceIdentity()
{
    BridgeHarness harness;
    harness.start();
    QVERIFY(harness.waitForStatus(BridgeWaiting, 1, Patience));
    QCOMPARE(harness.statuses().first(), int(BridgeChecking));
    QCOMPARE(harness.joystick.openCalls(), 1);
    QCOMPARE(harness.joystick.createCalls(), 1);
    const VirtualJoystickIdentity identity = harness.joystick.identity();
    QCOMPARE(identity.reportDescriptor,
             QByteArray(reinterpret_cast<const char *>(joy_reportdesc), ReportDescriptorSize));
    QCOMPARE(identity.name, QByteArray("Foohid Virtual Joystick"));
    QCOMPARE(identity.serial, QByteArray("SN 123456"));
    QCOMPARE(identity.vendorId, 2u);
    QCOMPARE(identity.productId, 3u);
}

void JoystickBridgeTest::createFailureGoesOn()
{
    BridgeHarness harness;
    harness.joystick.failCreate = true;
    harness.start();
    QVERIFY(harness.waitForStatus(BridgeWaiting, 1, Patience));
    QVERIFY(harness.lines().contains(
        QStringLiteral("Unable to create HID device - hope that it exists already. ")));
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QVERIFY(radio.send(packets(0, 1)));
    QVERIFY(harness.joystick.waitForReports(1, Patience));
}

void JoystickBridgeTest::waitingRepeatsWithoutSpinning()
{
    JoystickBridgeConfig config = BridgeHarness::shortWaits();
    config.acceptWaitMs = 500;
    BridgeHarness harness(config);
    harness.start();
    QVERIFY(harness.waitForStatus(BridgeWaiting, 3, Patience));
    QThread::msleep(1000);
    // A time-out that is not re-armed would give hundreds of 3s here.
    const int threes = harness.statusCount(BridgeWaiting);
    QVERIFY2(threes <= 3 + 3, qPrintable(QString::number(threes)));
    const QVector<qint64> times = harness.statusTimesMs();
    for (int i = 2; i < 4; ++i)
        QVERIFY2(times[i] - times[i - 1] >= 400,
                 qPrintable(QString::number(times[i] - times[i - 1])));
}

void JoystickBridgeTest::streamSplits_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("chunks");
    QTest::addColumn<int>("pauseMs");
    QTest::newRow("whole packets") << 3 << QVector<int> {38, 38, 38} << 30;
    QTest::newRow("20 + 18") << 1 << QVector<int> {20, 18} << 50;
    QTest::newRow("2.5 packets then the rest") << 3 << QVector<int> {95, 19} << 50;
    QTest::newRow("1-byte dribble") << 2 << QVector<int>(76, 1) << 3;
    QTest::newRow("76 bytes at once") << 2 << QVector<int> {76} << 0;
}

void JoystickBridgeTest::streamSplits()
{
    QFETCH(int, count);
    QFETCH(QVector<int>, chunks);
    QFETCH(int, pauseMs);
    BridgeHarness harness;
    harness.start();
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    QVERIFY(radio.sendChunks(packets(0, count), chunks, pauseMs));
    QVERIFY(harness.joystick.waitForReports(count, Patience));
    radio.close();
    QVERIFY(harness.waitForStatus(BridgeDisconnected, 1, Patience));
    QCOMPARE(reportBytes(harness.joystick), expectedReports(0, count));
    QVERIFY(!harness.lines().contains(Malformed));
    QVERIFY(harness.lines().contains(Disconnected));
}

void JoystickBridgeTest::partialFrameAtDisconnect()
{
    BridgeHarness harness;
    harness.start();
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    const QByteArray stream = packets(0, 2);
    QVERIFY(radio.send(stream.left(38 + 20)));
    QVERIFY(harness.joystick.waitForReports(1, Patience));
    radio.close();
    QVERIFY(harness.waitForStatus(BridgeWaiting, 2, Patience));
    QCOMPARE(reportBytes(harness.joystick), expectedReports(0, 1));
    const QStringList lines = harness.lines();
    QCOMPARE(lines.count(Malformed), 1);
    QVERIFY(lines.indexOf(Disconnected) < lines.indexOf(Malformed));

    // The 20 left-over bytes must not be glued to the next radio's stream.
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QVERIFY(radio.send(packets(5, 1)));
    QVERIFY(harness.joystick.waitForReports(2, Patience));
    QCOMPARE(reportBytes(harness.joystick).last(), reportFor(numberedPacket(5)));
}

void JoystickBridgeTest::reconnectAfterDisconnect()
{
    BridgeHarness harness;
    harness.start();
    const quint16 port = harness.waitForPort(Patience);
    LoopbackClient radio;
    QVERIFY(radio.connectTo(port));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    radio.close();
    QVERIFY(harness.waitForStatus(BridgeDisconnected, 1, Patience));
    QVERIFY(harness.waitForStatus(BridgeWaiting, 2, Patience));
    QVERIFY(radio.connectTo(port));
    QVERIFY(harness.waitForStatus(BridgeConnected, 2, Patience));
    QVERIFY(radio.send(packets(0, 1)));
    QVERIFY(harness.joystick.waitForReports(1, Patience));

    QVector<int> changes; // the 3s repeat while waiting; the order around them counts
    for (int status : harness.statuses())
        if (changes.isEmpty() || changes.last() != status)
            changes.append(status);
    QCOMPARE(changes, (QVector<int> {1, 3, 4, 6, 3, 4}));
}

void JoystickBridgeTest::silenceEndsConnection()
{
    BridgeHarness harness; // the real 4 s data wait
    harness.start();
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    QVERIFY(radio.send(packets(0, 1)));
    QVERIFY(harness.joystick.waitForReports(1, Patience));
    QElapsedTimer silent;
    silent.start();
    QVERIFY(harness.waitForStatus(BridgeDisconnected, 1, Patience));
    QVERIFY2(silent.elapsed() >= 3800, qPrintable(QString::number(silent.elapsed())));
    QVERIFY(harness.waitForStatus(BridgeWaiting, 2, Patience));
    QVERIFY(radio.waitClosedByPeer(Patience));
    QVERIFY(!harness.lines().contains(Disconnected)); // the radio did not close it
    const QVector<int> statuses = harness.statuses();
    QCOMPARE(statuses.mid(statuses.indexOf(BridgeConnected), 3),
             (QVector<int> {BridgeConnected, BridgeDisconnected, BridgeWaiting}));
}

void JoystickBridgeTest::secondRadioWaitsInBacklog()
{
    BridgeHarness harness;
    harness.start();
    const quint16 port = harness.waitForPort(Patience);
    LoopbackClient first;
    LoopbackClient second;
    QVERIFY(first.connectTo(port));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    QVERIFY(second.connectTo(port)); // completes in the listen backlog
    QVERIFY(second.send(packets(10, 1)));
    QVERIFY(first.send(packets(0, 1)));
    QVERIFY(harness.joystick.waitForReports(1, Patience));
    QThread::msleep(300);
    QCOMPARE(harness.joystick.reportCount(), 1);
    QCOMPARE(harness.statusCount(BridgeConnected), 1);
    first.close();
    QVERIFY(harness.waitForStatus(BridgeConnected, 2, Patience));
    QVERIFY(harness.joystick.waitForReports(2, Patience));
    QCOMPARE(reportBytes(harness.joystick),
             (QVector<QByteArray> {reportFor(numberedPacket(0)), reportFor(numberedPacket(10))}));
}

void JoystickBridgeTest::stopWhileWaiting()
{
    JoystickBridgeConfig config = BridgeHarness::shortWaits();
    config.acceptWaitMs = 500;
    BridgeHarness harness(config);
    harness.start();
    QVERIFY(harness.waitForStatus(BridgeWaiting, 1, Patience));
    QElapsedTimer timer;
    timer.start();
    const int waiting = harness.statusCount(BridgeWaiting);
    harness.requestStop();
    QVERIFY(harness.waitFinished(Patience));
    // Seen when the 500 ms wait for a radio ends: no second wait begins.
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(harness.statusCount(BridgeWaiting) <= waiting + 1);
    QCOMPARE(harness.statuses().last(), int(BridgeWaiting));
    QCOMPARE(harness.lines(), QStringList {Launched}); // the listener stays, unannounced
}

void JoystickBridgeTest::stopWhileStreaming()
{
    BridgeHarness harness;
    harness.start();
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    std::atomic<bool> streaming {true};
    std::thread sender([&]() {
        for (int i = 0; streaming.load() && i < 3000; ++i) {
            if (!radio.send(numberedPacket(i)))
                break;
            QThread::msleep(5);
        }
    });
    const bool reported = harness.joystick.waitForReports(10, Patience);
    QElapsedTimer timer;
    timer.start();
    harness.requestStop();
    const bool ended = harness.waitFinished(Patience);
    const qint64 took = timer.elapsed();
    streaming.store(false);
    sender.join();
    QVERIFY(reported);
    QVERIFY(ended);
    QVERIFY2(took < 2000, qPrintable(QString::number(took)));
    QCOMPARE(harness.statuses().last(), int(BridgeStopping));
    QCOMPARE(harness.lines(), (QStringList {Launched, ServerClosed}));
    QVERIFY(radio.waitClosedByPeer(Patience));
}

void JoystickBridgeTest::stopWhileSilent()
{
    JoystickBridgeConfig config = BridgeHarness::shortWaits();
    config.dataWaitMs = 400;
    BridgeHarness harness(config);
    harness.start();
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    QThread::msleep(100); // into the data wait
    harness.requestStop();
    QVERIFY(harness.waitFinished(Patience));
    // The silent wait ends the connection; the flag is then seen before waiting again.
    // (A stop seen before the wait began gives 5 instead.)
    const QVector<int> statuses = harness.statuses();
    const QVector<int> tail = statuses.mid(statuses.indexOf(BridgeConnected));
    QVERIFY2(tail == (QVector<int> {BridgeConnected, BridgeDisconnected})
                 || tail == (QVector<int> {BridgeConnected, BridgeStopping}),
             qPrintable(QString::number(tail.last())));
    QVERIFY(radio.waitClosedByPeer(Patience));
}

void JoystickBridgeTest::portInUse()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost, 0));
    JoystickBridgeConfig config = BridgeHarness::shortWaits();
    config.port = other.serverPort();
    BridgeHarness harness(config);
    harness.start();
    QVERIFY(harness.waitFinished(Patience));
    QCOMPARE(harness.statuses(), (QVector<int> {BridgeChecking, BridgeServerFailed}));
    QCOMPARE(harness.lines().last(), QStringLiteral("Listen port is already used !"));
}

// Out of descriptors is no passing fault of one connection: the worker says so and ends,
// leaving the page at its last status.
void JoystickBridgeTest::acceptFailureEndsWithoutStatus()
{
    BridgeHarness harness;
    harness.start();
    const quint16 port = harness.waitForPort(Patience);
    QVERIFY(harness.waitForStatus(BridgeWaiting, 1, Patience));
    LoopbackClient radio;
    QVERIFY(radio.openSocket());

    rlimit previous {};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &previous), 0);
    const int lowestFree = ::dup(0);
    QVERIFY(lowestFree >= 0);
    ::close(lowestFree);
    rlimit tight = previous;
    tight.rlim_cur = rlim_t(lowestFree); // no new descriptor from here on
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool connected = radio.connectTo(port);
    const bool ended = harness.waitFinished(Patience);
    setrlimit(RLIMIT_NOFILE, &previous);

    QVERIFY(connected);
    QVERIFY(ended);
    QCOMPARE(harness.lines().last(), QStringLiteral("Invalid client socket ()"));
    QCOMPARE(harness.statuses().last(), int(BridgeWaiting));
    QCOMPARE(harness.statusCount(BridgeConnected), 0);
}

void JoystickBridgeTest::restartWithinTimeWait()
{
    quint16 port = 0;
    {
        BridgeHarness first;
        first.start();
        port = first.waitForPort(Patience);
        LoopbackClient radio;
        QVERIFY(radio.connectTo(port));
        QVERIFY(radio.send(packets(0, 1)));
        QVERIFY(first.joystick.waitForReports(1, Patience));
        // Stopping while connected closes from our side: the port is left in TIME_WAIT.
        first.requestStop();
        QVERIFY(radio.send(packets(1, 1)));
        QVERIFY(first.waitFinished(Patience));
        QCOMPARE(first.statuses().last(), int(BridgeStopping));
        QVERIFY(radio.waitClosedByPeer(Patience));
    }
    JoystickBridgeConfig config = BridgeHarness::shortWaits();
    config.port = port;
    BridgeHarness second(config);
    second.start();
    QVERIFY(second.waitForStatus(BridgeWaiting, 1, Patience));
    QVERIFY(!second.statuses().contains(BridgeServerFailed));
    QCOMPARE(second.waitForPort(Patience), port);
}

static void ignoreSignal(int) { }

void JoystickBridgeTest::signalsDoNotEndWaits()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = ignoreSignal; // no SA_RESTART: poll returns EINTR
    struct sigaction previous;
    QCOMPARE(sigaction(SIGUSR1, &action, &previous), 0);

    JoystickBridgeConfig config = BridgeHarness::shortWaits();
    config.dataWaitMs = 3000;
    BridgeHarness harness(config);
    harness.start();
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QVERIFY(harness.waitForStatus(BridgeConnected, 1, Patience));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1500) {
        pthread_kill(harness.threadHandle(), SIGUSR1);
        QThread::msleep(20);
    }
    QCOMPARE(harness.statusCount(BridgeDisconnected), 0);
    QVERIFY(radio.send(packets(0, 1)));
    QVERIFY(harness.joystick.waitForReports(1, Patience));
    // The wait is still bounded: silence ends it, interrupted or not.
    QVERIFY(harness.waitForStatus(BridgeDisconnected, 1, Patience));
    sigaction(SIGUSR1, &previous, nullptr);
}

void JoystickBridgeTest::sendFailuresAreThrottled()
{
    BridgeHarness harness;
    harness.joystick.failSend = true;
    harness.start();
    LoopbackClient radio;
    QVERIFY(radio.connectTo(harness.waitForPort(Patience)));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(radio.send(packets(0, 50)));
    QVERIFY(harness.joystick.waitForReports(50, Patience));
    const bool withinASecond = timer.elapsed() < 900;
    if (withinASecond)
        QCOMPARE(harness.lines().count(SendFailed), 1);
    QThread::msleep(1100);
    QVERIFY(radio.send(packets(50, 1)));
    QVERIFY(harness.joystick.waitForReports(51, Patience));
    QVERIFY(harness.waitForLine(SendFailed, Patience));
    QTRY_VERIFY_WITH_TIMEOUT(harness.lines().count(SendFailed) >= 2, Patience);
    QVERIFY(harness.lines().count(SendFailed) <= 3);
    QCOMPARE(harness.statusCount(BridgeConnected), 1); // the bridge goes on
}

void JoystickBridgeTest::uhidOpenFailureSaysWhy()
{
    QTemporaryDir dir;
    UhidJoystick joystick(QFile::encodeName(dir.path() + QStringLiteral("/no-uhid")));
    QString error;
    QVERIFY(!joystick.open(&error));
    QVERIFY2(error.endsWith(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(error));
    QVERIFY(!joystick.sendReport(reinterpret_cast<const quint8 *>("\0\0\0\0\0"), 5));
}

// A plain file in place of /dev/uhid takes the events as they would reach the kernel.
void JoystickBridgeTest::uhidEventsOverAFile()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/uhid");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    {
        UhidJoystick joystick(QFile::encodeName(path));
        QString error;
        QVERIFY(joystick.open(&error));
        VirtualJoystickIdentity identity;
        identity.reportDescriptor
            = QByteArray(reinterpret_cast<const char *>(joy_reportdesc), ReportDescriptorSize);
        identity.name = "Foohid Virtual Joystick";
        identity.serial = "SN 123456";
        identity.vendorId = 2;
        identity.productId = 3;
        QVERIFY(joystick.createDevice(identity, &error));
        const quint8 report[ReportSize] = {0x40, 0x20, 0xe8, 0xc0, 0x00};
        QVERIFY(joystick.sendReport(report, ReportSize));
        joystick.destroy();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QCOMPARE(written.size(), int(3 * sizeof(uhid_event)));
    uhid_event events[3];
    std::memcpy(events, written.constData(), sizeof events);

    QCOMPARE(events[0].type, quint32(UHID_CREATE2));
    const auto &create = events[0].u.create2;
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(create.name)),
             QByteArray("Foohid Virtual Joystick"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(create.uniq)), QByteArray("SN 123456"));
    QCOMPARE(int(create.rd_size), ReportDescriptorSize);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(create.rd_data), ReportDescriptorSize),
             QByteArray(reinterpret_cast<const char *>(joy_reportdesc), ReportDescriptorSize));
    QCOMPARE(create.vendor, 2u);
    QCOMPARE(create.product, 3u);

    QCOMPARE(events[1].type, quint32(UHID_INPUT2));
    QCOMPARE(int(events[1].u.input2.size), ReportSize);
    QCOMPARE(
        QByteArray(reinterpret_cast<const char *>(events[1].u.input2.data), ReportSize).toHex(),
        QByteArray("4020e8c000"));

    QCOMPARE(events[2].type, quint32(UHID_DESTROY));
}

// What the program does on this machine: no /dev/uhid, so 1 then 20 and the thread ends.
void JoystickBridgeTest::programThreadWithoutUhid()
{
    if (QFile::exists(QStringLiteral("/dev/uhid")))
        QSKIP("this machine has /dev/uhid");
    SimThread thread;
    QVector<int> statuses;
    connect(
        &thread, &SimThread::statusReported, &thread,
        [&statuses](int status) { statuses.append(status); }, Qt::DirectConnection);
    thread.start();
    QVERIFY(thread.wait(Patience));
    QCOMPARE(statuses, (QVector<int> {BridgeChecking, BridgeDriverMissing}));
}

QTEST_GUILESS_MAIN(JoystickBridgeTest)
#include "tst_joystick_bridge.moc"
