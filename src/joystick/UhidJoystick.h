#pragma once

#include "VirtualJoystick.h"

// The Linux virtual joystick: a device of the kernel's user-space HID driver (/dev/uhid).
class UhidJoystick : public VirtualJoystick
{
public:
    explicit UhidJoystick(const QByteArray &devicePath = QByteArrayLiteral("/dev/uhid"));
    ~UhidJoystick() override;

    UhidJoystick(const UhidJoystick &) = delete;
    UhidJoystick &operator=(const UhidJoystick &) = delete;

    bool open(QString *error) override;
    bool createDevice(const VirtualJoystickIdentity &identity, QString *error) override;
    bool sendReport(const quint8 *report, int size) override;
    void destroy() override;

private:
    // The kernel queues start/open/close/output/report requests for us; unread, its queue
    // overflows, and unanswered report requests stall whoever asked.
    void drainEvents();
    bool writeEvent(const void *event, std::size_t size);

    QByteArray path;
    int fd = -1;
    bool created = false;
};
