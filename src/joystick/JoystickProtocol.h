#pragma once

#include <QtGlobal>

#include <cstddef>

// The radio's stick packets and the virtual joystick's input reports.
namespace JoystickProtocol {

constexpr int PacketSize = 38;
constexpr int ReportSize = 5;
constexpr int ReportDescriptorSize = 50;

// Offsets of the signed 16-bit little-endian stick values in a packet.
constexpr int OffsetY = 4;
constexpr int OffsetX = 6;
constexpr int OffsetZ = 8;
constexpr int OffsetRx = 10;

// Twice the packet value, limited to this, spans the axis range; the only place the
// full scale is fixed.
constexpr int AxisFullScale = 32767;
constexpr int AxisMaximum = 127;

// Four signed 8-bit axes (X, Y, Z, Rx, -127..127) and eight buttons, no report ID.
extern const quint8 joy_reportdesc[ReportDescriptorSize];

// Maps a packet value onto -127..127; an inverted axis uses -2v.
int axisValue(qint16 v, bool inverted = false);

// Builds the 5-byte report: X, Y, -Z, Rx, buttons (always 0).
void buildReport(const quint8 *packet, quint8 *report);

// Reassembles 38-byte packets from the TCP stream, whatever the read sizes.
class PacketAssembler
{
public:
    // Calls onPacket(const quint8 *packet) for every complete packet, in order.
    template<typename F> void feed(const quint8 *data, std::size_t size, F &&onPacket)
    {
        if (filled > 0) {
            const std::size_t take = qMin<std::size_t>(PacketSize - filled, size);
            for (std::size_t i = 0; i < take; ++i)
                partial[filled + i] = data[i];
            filled += int(take);
            data += take;
            size -= take;
            if (filled < PacketSize)
                return;
            filled = 0;
            onPacket(static_cast<const quint8 *>(partial));
        }
        while (size >= std::size_t(PacketSize)) {
            onPacket(data);
            data += PacketSize;
            size -= PacketSize;
        }
        for (std::size_t i = 0; i < size; ++i)
            partial[i] = data[i];
        filled = int(size);
    }

    int pendingBytes() const { return filled; }
    void clear() { filled = 0; }

private:
    quint8 partial[PacketSize] = {};
    int filled = 0;
};

} // namespace JoystickProtocol
