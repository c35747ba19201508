// Packet-to-report latency, burst throughput and worker CPU of the joystick bridge, on
// loopback with the recording joystick in place of the kernel device.
#include "JoystickBridge.h"
#include "RecordingJoystick.h"

#include <QByteArray>
#include <QVector>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

static qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

static QByteArray packet(int i)
{
    QByteArray bytes(38, '\0');
    bytes[4] = char(i);
    bytes[6] = char(i >> 8);
    bytes[8] = char(i * 3);
    bytes[10] = char(i * 5);
    return bytes;
}

static bool sendAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

static double percentile(QVector<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int index = std::min(int(values.size()) - 1, int(p / 100.0 * values.size()));
    return values[index];
}

int main()
{
    RecordingJoystick joystick;
    std::atomic<bool> stop {false};
    JoystickBridgeConfig config;
    config.bindAddress = QByteArrayLiteral("127.0.0.1");
    config.port = 0;
    JoystickBridge bridge(joystick, stop, config);
    std::atomic<int> lines {0};
    bridge.setLineHandler([&lines](const char *) { ++lines; });

    std::atomic<bool> clockReady {false};
    clockid_t workerClock {};
    std::thread worker([&]() {
        pthread_getcpuclockid(pthread_self(), &workerClock);
        clockReady.store(true);
        bridge.run();
    });
    while (!clockReady.load() || bridge.listeningPort() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    auto cpuMs = [&]() {
        timespec t {};
        clock_gettime(workerClock, &t);
        return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
    };
    auto measureCpu = [&](const std::function<void()> &during) {
        const double cpu0 = cpuMs();
        const auto t0 = Clock::now();
        during();
        const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        return 100.0 * (cpuMs() - cpu0) / wallMs;
    };
    auto idleFor = [](double seconds) {
        return [seconds]() {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        };
    };

    const double idleWaiting = measureCpu(idleFor(3));

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(bridge.listeningPort());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        std::printf("connect failed\n");
        return 1;
    }
    const double idleConnected = measureCpu(idleFor(3));

    // 1 kHz: one packet a millisecond, latency from just before send() to the report.
    constexpr int LatencyPackets = 5000;
    QVector<qint64> sentNs(LatencyPackets);
    joystick.clearReports();
    const double cpu1k = measureCpu([&]() {
        const auto start = Clock::now();
        for (int i = 0; i < LatencyPackets; ++i) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(1000 * i));
            const QByteArray bytes = packet(i);
            sentNs[i] = nowNs();
            sendAll(fd, bytes.constData(), std::size_t(bytes.size()));
        }
        joystick.waitForReports(LatencyPackets, 10000);
    });
    const auto reports = joystick.reports();
    QVector<double> latencyUs;
    for (int i = 0; i < std::min(int(reports.size()), LatencyPackets); ++i)
        latencyUs.append((reports[i].steadyNs - sentNs[i]) / 1000.0);

    // 100 Hz for 3 s.
    joystick.clearReports();
    const double cpu100 = measureCpu([&]() {
        const auto start = Clock::now();
        for (int i = 0; i < 300; ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * i));
            const QByteArray bytes = packet(i);
            sendAll(fd, bytes.constData(), std::size_t(bytes.size()));
        }
    });

    // Burst: 200 000 packets written as fast as the socket takes them.
    constexpr int BurstPackets = 200000;
    QByteArray burst;
    burst.reserve(BurstPackets * 38);
    for (int i = 0; i < BurstPackets; ++i)
        burst += packet(i);
    joystick.clearReports();
    const auto burstStart = Clock::now();
    sendAll(fd, burst.constData(), std::size_t(burst.size()));
    const bool all = joystick.waitForReports(BurstPackets, 60000);
    const double burstMs
        = std::chrono::duration<double, std::milli>(Clock::now() - burstStart).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // nothing extra may follow
    const int burstReports = joystick.reportCount();

    const int linesWhileRunning = lines.load() - 1; // after the launch line
    stop.store(true);
    ::close(fd);
    worker.join();

    std::printf("joystick bridge benchmark (loopback, recording joystick)\n");
    std::printf("latency at 1 kHz, %d packets: p50 %.1f us, p99 %.1f us, max %.1f us "
                "(%d reports)\n",
                LatencyPackets, percentile(latencyUs, 50), percentile(latencyUs, 99),
                percentile(latencyUs, 100), int(latencyUs.size()));
    std::printf("burst: %d packets -> %d reports (%s) in %.0f ms, %.0f packets/s\n", BurstPackets,
                burstReports, all && burstReports == BurstPackets ? "equal" : "DIFFER", burstMs,
                BurstPackets / (burstMs / 1000.0));
    std::printf("worker CPU: idle waiting %.3f %%, idle connected %.3f %%, 100 Hz %.3f %%, "
                "1 kHz %.3f %%\n",
                idleWaiting, idleConnected, cpu100, cpu1k);
    std::printf("console lines while running: %d\n", linesWhileRunning);
    return all && burstReports == BurstPackets ? 0 : 1;
}
