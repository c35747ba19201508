#include "JoystickProtocol.h"

namespace JoystickProtocol {

const quint8 joy_reportdesc[ReportDescriptorSize] = {
    0x05, 0x01, // Usage Page (Generic Desktop)
    0x09, 0x04, // Usage (Joystick)
    0xA1, 0x01, // Collection (Application)
    0xA1, 0x00, //   Collection (Physical)
    0x05, 0x01, //     Usage Page (Generic Desktop)
    0x09, 0x30, //     Usage (X)
    0x09, 0x31, //     Usage (Y)
    0x09, 0x32, //     Usage (Z)
    0x09, 0x33, //     Usage (Rx)
    0x15, 0x81, //     Logical Minimum (-127)
    0x25, 0x7F, //     Logical Maximum (127)
    0x75, 0x08, //     Report Size (8)
    0x95, 0x04, //     Report Count (4)
    0x81, 0x02, //     Input (Data, Variable, Absolute)
    0x05, 0x09, //     Usage Page (Button)
    0x19, 0x01, //     Usage Minimum (1)
    0x29, 0x08, //     Usage Maximum (8)
    0x15, 0x00, //     Logical Minimum (0)
    0x25, 0x01, //     Logical Maximum (1)
    0x75, 0x01, //     Report Size (1)
    0x95, 0x08, //     Report Count (8)
    0x55, 0x00, //     Unit Exponent (0)
    0x65, 0x00, //     Unit (None)
    0x81, 0x02, //     Input (Data, Variable, Absolute)
    0xC0, //   End Collection
    0xC0, // End Collection
};

int axisValue(qint16 v, bool inverted)
{
    // In int, so -2 * -32768 does not overflow.
    int twice = inverted ? -2 * int(v) : 2 * int(v);
    if (twice > AxisFullScale)
        twice = AxisFullScale;
    if (twice < -AxisFullScale)
        twice = -AxisFullScale;
    // Round half away from zero; no exact halves occur since the full scale is odd.
    const int scaled = twice * AxisMaximum;
    const int half = AxisFullScale / 2;
    return scaled >= 0 ? (scaled + half) / AxisFullScale : (scaled - half) / AxisFullScale;
}

static qint16 readValue(const quint8 *packet, int offset)
{
    return qint16(quint16(packet[offset]) | quint16(packet[offset + 1]) << 8);
}

static quint8 axisByte(int value)
{
    return quint8(qint8(value));
}

void buildReport(const quint8 *packet, quint8 *report)
{
    report[0] = axisByte(axisValue(readValue(packet, OffsetX)));
    report[1] = axisByte(axisValue(readValue(packet, OffsetY)));
    report[2] = axisByte(axisValue(readValue(packet, OffsetZ), true));
    report[3] = axisByte(axisValue(readValue(packet, OffsetRx)));
    report[4] = 0;
}

} // namespace JoystickProtocol
