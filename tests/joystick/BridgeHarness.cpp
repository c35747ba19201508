#include "BridgeHarness.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

static QElapsedTimer &harnessClock()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

BridgeHarness::BridgeHarness(JoystickBridgeConfig config)
    : config(config)
    , bridge(joystick, stop, config)
{
    bridge.setStatusHandler([this](int status) {
        QMutexLocker lock(&mutex);
        codes.append(status);
        codeTimes.append(harnessClock().elapsed());
        changed.wakeAll();
    });
    bridge.setLineHandler([this](const char *line) {
        QMutexLocker lock(&mutex);
        printed.append(QString::fromLocal8Bit(line));
        changed.wakeAll();
    });
}

BridgeHarness::~BridgeHarness()
{
    stop.store(true);
    if (thread.joinable())
        thread.join();
}

JoystickBridgeConfig BridgeHarness::shortWaits()
{
    JoystickBridgeConfig config;
    config.bindAddress = QByteArrayLiteral("127.0.0.1");
    config.port = 0;
    config.acceptWaitMs = 100;
    config.dataWaitMs = 4000;
    return config;
}

void BridgeHarness::start()
{
    thread = std::thread([this]() {
        bridge.run();
        QMutexLocker lock(&mutex);
        done.store(true);
        changed.wakeAll();
    });
}

bool BridgeHarness::waitFinished(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex);
    while (!done.load()) {
        if (!changed.wait(&mutex, deadline))
            break;
    }
    return done.load();
}

bool BridgeHarness::waitForStatus(int status, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex);
    while (codes.count(status) < count) {
        if (done.load() || !changed.wait(&mutex, deadline))
            return codes.count(status) >= count;
    }
    return true;
}

bool BridgeHarness::waitForLine(const QString &line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&mutex);
    while (!printed.contains(line)) {
        if (done.load() || !changed.wait(&mutex, deadline))
            return printed.contains(line);
    }
    return true;
}

quint16 BridgeHarness::waitForPort(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (bridge.listeningPort() == 0 && !done.load() && timer.elapsed() < timeoutMs)
        QThread::msleep(5);
    return bridge.listeningPort();
}

QVector<int> BridgeHarness::statuses() const
{
    QMutexLocker lock(&mutex);
    return codes;
}

QVector<qint64> BridgeHarness::statusTimesMs() const
{
    QMutexLocker lock(&mutex);
    return codeTimes;
}

QStringList BridgeHarness::lines() const
{
    QMutexLocker lock(&mutex);
    return printed;
}

int BridgeHarness::statusCount(int status) const
{
    QMutexLocker lock(&mutex);
    return codes.count(status);
}

LoopbackClient::~LoopbackClient()
{
    close();
}

bool LoopbackClient::openSocket()
{
    close();
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool LoopbackClient::connectTo(quint16 port)
{
    if (fd < 0 && !openSocket())
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
}

bool LoopbackClient::send(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, data, std::size_t(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

bool LoopbackClient::sendChunks(const QByteArray &bytes, const QVector<int> &sizes, int pauseMs)
{
    int offset = 0;
    for (int size : sizes) {
        if (!send(bytes.mid(offset, size)))
            return false;
        offset += size;
        QThread::msleep(pauseMs);
    }
    return offset == bytes.size();
}

bool LoopbackClient::waitClosedByPeer(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    char byte;
    while (timer.elapsed() < timeoutMs) {
        pollfd entry {fd, POLLIN, 0};
        if (::poll(&entry, 1, 50) > 0) {
            const ssize_t n = ::recv(fd, &byte, 1, 0);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                return true;
        }
    }
    return false;
}

void LoopbackClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QByteArray numberedPacket(int i)
{
    QByteArray packet(JoystickProtocol::PacketSize, char(0x5a));
    auto put = [&](int offset, int value) {
        packet[offset] = char(value & 0xff);
        packet[offset + 1] = char((value >> 8) & 0xff);
    };
    put(0, i);
    put(JoystickProtocol::OffsetY, (i * 1031) % 32768 - 16384);
    put(JoystickProtocol::OffsetX, (i * 523) % 32768 - 16384);
    put(JoystickProtocol::OffsetZ, (i * 211) % 32768 - 16384);
    put(JoystickProtocol::OffsetRx, (i * 97) % 32768 - 16384);
    return packet;
}

QByteArray reportFor(const QByteArray &packet)
{
    quint8 report[JoystickProtocol::ReportSize];
    JoystickProtocol::buildReport(reinterpret_cast<const quint8 *>(packet.constData()), report);
    return QByteArray(reinterpret_cast<const char *>(report), JoystickProtocol::ReportSize);
}
