#include "UhidJoystick.h"

#include <linux/uhid.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

UhidJoystick::UhidJoystick(const QByteArray &devicePath)
    : path(devicePath)
{
}

UhidJoystick::~UhidJoystick()
{
    destroy();
}

static QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool UhidJoystick::open(QString *error)
{
    if (fd >= 0)
        return true;
    fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        if (error)
            *error = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(path), errnoText(err));
        return false;
    }
    return true;
}

bool UhidJoystick::writeEvent(const void *event, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::write(fd, event, size);
        if (n == ssize_t(size))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

bool UhidJoystick::createDevice(const VirtualJoystickIdentity &identity, QString *error)
{
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("driver not open");
        return false;
    }
    if (identity.reportDescriptor.size() > HID_MAX_DESCRIPTOR_SIZE) {
        if (error)
            *error = QStringLiteral("report descriptor too long");
        return false;
    }
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = UHID_CREATE2;
    auto copyText = [](__u8 *to, std::size_t capacity, const QByteArray &text) {
        std::memcpy(to, text.constData(), qMin<std::size_t>(capacity - 1, text.size()));
    };
    copyText(ev.u.create2.name, sizeof ev.u.create2.name, identity.name);
    copyText(ev.u.create2.uniq, sizeof ev.u.create2.uniq, identity.serial);
    ev.u.create2.rd_size = __u16(identity.reportDescriptor.size());
    ev.u.create2.bus = 0x03; // BUS_USB: what games expect of a joystick
    ev.u.create2.vendor = identity.vendorId;
    ev.u.create2.product = identity.productId;
    std::memcpy(ev.u.create2.rd_data, identity.reportDescriptor.constData(),
                identity.reportDescriptor.size());
    if (!writeEvent(&ev, sizeof ev)) {
        const int err = errno;
        if (error)
            *error = errnoText(err);
        return false;
    }
    created = true;
    drainEvents();
    return true;
}

void UhidJoystick::drainEvents()
{
    uhid_event ev;
    for (;;) {
        const ssize_t n = ::read(fd, &ev, sizeof ev);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        // The device has no feature or output reports: refuse report requests at once.
        if (ev.type == UHID_GET_REPORT) {
            uhid_event reply;
            std::memset(&reply, 0, sizeof reply);
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = ev.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            writeEvent(&reply, sizeof reply);
        } else if (ev.type == UHID_SET_REPORT) {
            uhid_event reply;
            std::memset(&reply, 0, sizeof reply);
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = ev.u.set_report.id;
            reply.u.set_report_reply.err = EIO;
            writeEvent(&reply, sizeof reply);
        }
    }
}

bool UhidJoystick::sendReport(const quint8 *report, int size)
{
    if (fd < 0 || !created || size < 0 || size > UHID_DATA_MAX)
        return false;
    drainEvents();
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = UHID_INPUT2;
    ev.u.input2.size = __u16(size);
    std::memcpy(ev.u.input2.data, report, size);
    return writeEvent(&ev, sizeof ev);
}

void UhidJoystick::destroy()
{
    if (fd < 0)
        return;
    if (created) {
        uhid_event ev;
        std::memset(&ev, 0, sizeof ev);
        ev.type = UHID_DESTROY;
        writeEvent(&ev, sizeof ev);
        created = false;
    }
    ::close(fd);
    fd = -1;
}
