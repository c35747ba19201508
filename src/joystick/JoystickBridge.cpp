#include "JoystickBridge.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace JoystickProtocol;

static const char DeviceName[] = "Foohid Virtual Joystick";
static const char DeviceSerial[] = "SN 123456";
static constexpr quint32 DeviceVendorId = 2;
static constexpr quint32 DeviceProductId = 3;

// Read this much at once, so a burst costs few system calls; frames are reassembled.
static constexpr std::size_t ReceiveSize = PacketSize * 64;

JoystickBridge::JoystickBridge(VirtualJoystick &joystick, const std::atomic<bool> &stopFlag,
                               JoystickBridgeConfig config)
    : joystick(joystick)
    , stopRequested(stopFlag)
    , config(std::move(config))
{
}

JoystickBridge::~JoystickBridge()
{
    if (client >= 0)
        ::close(client);
    if (Socket >= 0)
        ::close(Socket);
}

void JoystickBridge::report(int status)
{
    if (statusHandler)
        statusHandler(status);
}

void JoystickBridge::print(const char *line)
{
    if (lineHandler) {
        lineHandler(line);
        return;
    }
    // The process ends with _exit from the close handler: nothing may wait in a buffer.
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int JoystickBridge::server_open(int port)
{
    Socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Socket < 0) {
        print("Socket() problem !");
        return -1;
    }
    // A restart while the last connection is in TIME_WAIT must still get the port.
    const int one = 1;
    ::setsockopt(Socket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // accept() after poll() must not block when the radio gave up in between.
    ::fcntl(Socket, F_SETFL, ::fcntl(Socket, F_GETFL) | O_NONBLOCK);

    sockName = sockaddr_in();
    sockName.sin_family = AF_INET;
    sockName.sin_port = htons(quint16(port));
    if (::inet_pton(AF_INET, config.bindAddress.constData(), &sockName.sin_addr) != 1
        || ::bind(Socket, reinterpret_cast<sockaddr *>(&sockName), sizeof sockName) < 0) {
        print("Listen port is already used !");
        ::close(Socket);
        Socket = -1;
        return -1;
    }
    if (::listen(Socket, 1) < 0) {
        print("Listen () error");
        ::close(Socket);
        Socket = -1;
        return -1;
    }
    sockaddr_in bound {};
    socklen_t length = sizeof bound;
    if (::getsockname(Socket, reinterpret_cast<sockaddr *>(&bound), &length) == 0)
        boundPort.store(ntohs(bound.sin_port));
    return 0;
}

ssize_t JoystickBridge::server_recv(int socket, void *buffer, std::size_t size)
{
    return ::recv(socket, buffer, size, 0);
}

void JoystickBridge::server_close()
{
    if (Socket >= 0)
        ::close(Socket);
    Socket = -1;
    print("> server closed");
}

JoystickBridge::WaitResult JoystickBridge::waitReadable(int fd, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                  .count();
        pollfd entry {fd, POLLIN, 0};
        const int n = ::poll(&entry, 1, left > 0 ? int(left) : 0);
        if (n > 0)
            return WaitResult::Ready;
        if (n == 0)
            return WaitResult::TimedOut;
        // A signal is not the end of the wait: poll again for what is left of it.
        if (errno != EINTR)
            return WaitResult::Failed;
    }
}

void JoystickBridge::closeClient()
{
    if (assembler.pendingBytes() > 0)
        print("> Malformed packet received from client !");
    assembler.clear();
    ::close(client);
    client = -1;
}

void JoystickBridge::sendPacket(const quint8 *packet)
{
    buildReport(packet, reportBuffer);
    if (joystick.sendReport(reportBuffer, ReportSize))
        return;
    // A device that refuses every report must not flood the console.
    const auto now = std::chrono::steady_clock::now();
    if (sendErrorShown
        && now - lastSendError < std::chrono::milliseconds(config.sendErrorIntervalMs))
        return;
    sendErrorShown = true;
    lastSendError = now;
    print("Unable to send message to HID device.");
}

static bool isTransientAcceptError(int err)
{
    // Errors of the one pending connection, not of the listener (see accept(2)).
    switch (err) {
    case EINTR:
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EPERM:
        return true;
    default:
        return false;
    }
}

void JoystickBridge::run()
{
    print("> Sim Over WiFi launched");
    report(BridgeChecking);

    QString error;
    if (!joystick.open(&error)) {
        const QByteArray line
            = "Unable to open the virtual joystick driver: " + error.toLocal8Bit();
        print(line.constData());
        report(BridgeDriverMissing);
        return;
    }

    VirtualJoystickIdentity identity;
    identity.reportDescriptor
        = QByteArray(reinterpret_cast<const char *>(joy_reportdesc), ReportDescriptorSize);
    identity.name = QByteArray(DeviceName);
    identity.serial = QByteArray(DeviceSerial);
    identity.vendorId = DeviceVendorId;
    identity.productId = DeviceProductId;
    if (!joystick.createDevice(identity, &error))
        print("Unable to create HID device - hope that it exists already. ");

    if (server_open(config.port) < 0) {
        report(BridgeServerFailed);
        return;
    }
    if (stopRequested.load())
        return;

    for (;;) {
        report(BridgeWaiting);
        if (waitReadable(Socket, config.acceptWaitMs) != WaitResult::Ready) {
            if (stopRequested.load())
                return;
            continue;
        }
        addrlen = sizeof clientInfo;
        client = ::accept4(Socket, reinterpret_cast<sockaddr *>(&clientInfo), &addrlen,
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            const int err = errno;
            client = -1;
            if (isTransientAcceptError(err)) {
                if (stopRequested.load())
                    return;
                continue;
            }
            print("Invalid client socket ()");
            return;
        }
        report(BridgeConnected);
        if (!serveClient())
            return;
    }
}

bool JoystickBridge::serveClient()
{
    quint8 buffer[ReceiveSize];
    for (;;) {
        if (stopRequested.load()) {
            report(BridgeStopping);
            closeClient();
            server_close();
            return false;
        }
        if (waitReadable(client, config.dataWaitMs) != WaitResult::Ready) {
            closeClient();
            report(BridgeDisconnected);
            return !stopRequested.load();
        }
        const ssize_t n = server_recv(client, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        // A reset connection fails once and then reads as closed: end it now either way.
        if (n <= 0) {
            print("> Client disconnected");
            closeClient();
            report(BridgeDisconnected);
            return !stopRequested.load();
        }
        assembler.feed(buffer, std::size_t(n),
                       [this](const quint8 *packet) { sendPacket(packet); });
    }
}
