#pragma once

#include "JoystickProtocol.h"
#include "VirtualJoystick.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>

// The codes the bridge reports to the Joystick page.
enum JoystickBridgeStatus {
    BridgeChecking = 1,
    BridgeServerFailed = 2,
    BridgeWaiting = 3,
    BridgeConnected = 4,
    BridgeStopping = 5,
    BridgeDisconnected = 6,
    BridgeDriverMissing = 20,
};

struct JoystickBridgeConfig
{
    QByteArray bindAddress = QByteArrayLiteral("0.0.0.0"); // dotted IPv4
    quint16 port = 2600; // 0 picks a free port, see listeningPort()
    int acceptWaitMs = 500;
    int dataWaitMs = 4000;
    int sendErrorIntervalMs = 1000;
};

// The bridge worker: finds the virtual joystick, serves one radio at a time on TCP and
// turns every 38-byte packet into an input report. run() blocks until it ends; it polls
// the stop flag and never touches widgets.
class JoystickBridge
{
public:
    using StatusHandler = std::function<void(int status)>;
    using LineHandler = std::function<void(const char *line)>;

    JoystickBridge(VirtualJoystick &joystick, const std::atomic<bool> &stopFlag,
                   JoystickBridgeConfig config = JoystickBridgeConfig());
    ~JoystickBridge();

    JoystickBridge(const JoystickBridge &) = delete;
    JoystickBridge &operator=(const JoystickBridge &) = delete;

    void setStatusHandler(StatusHandler handler) { statusHandler = std::move(handler); }
    // Default: the line and a newline to stdout, flushed.
    void setLineHandler(LineHandler handler) { lineHandler = std::move(handler); }

    void run();

    // The port the listener is bound to, once it is; 0 before.
    quint16 listeningPort() const { return boundPort.load(); }

    int server_open(int port);
    ssize_t server_recv(int socket, void *buffer, std::size_t size);
    void server_close();

private:
    enum class WaitResult { Ready, TimedOut, Failed };
    WaitResult waitReadable(int fd, int timeoutMs);
    // Returns true to wait for the next radio, false when the worker ends.
    bool serveClient();
    void closeClient();
    void sendPacket(const quint8 *packet);
    void report(int status);
    void print(const char *line);

    VirtualJoystick &joystick;
    const std::atomic<bool> &stopRequested;
    JoystickBridgeConfig config;
    StatusHandler statusHandler;
    LineHandler lineHandler;

    int Socket = -1;
    sockaddr_in sockName {};
    int client = -1;
    sockaddr_in clientInfo {};
    socklen_t addrlen = 0;
    std::atomic<quint16> boundPort {0};

    JoystickProtocol::PacketAssembler assembler;
    quint8 reportBuffer[JoystickProtocol::ReportSize] = {};
    bool sendErrorShown = false;
    std::chrono::steady_clock::time_point lastSendError;
};
