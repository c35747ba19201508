#pragma once

#include <QByteArray>
#include <QString>

// What a virtual joystick is created with.
struct VirtualJoystickIdentity
{
    QByteArray reportDescriptor;
    QByteArray name;
    QByteArray serial;
    quint32 vendorId = 0;
    quint32 productId = 0;
};

// The platform's virtual HID joystick: open the driver, create one device, feed it input
// reports. The bridge needs nothing else of the platform.
class VirtualJoystick
{
public:
    virtual ~VirtualJoystick() = default;

    // False when the driver is missing or cannot be opened; error says why.
    virtual bool open(QString *error) = 0;
    virtual bool createDevice(const VirtualJoystickIdentity &identity, QString *error) = 0;
    // Called on the bridge's thread for every packet; must not block for long.
    virtual bool sendReport(const quint8 *report, int size) = 0;
    virtual void destroy() = 0;
};
