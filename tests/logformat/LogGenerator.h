#pragma once

#include <QByteArray>
#include <QVector>

#include <initializer_list>

// Writes flight-log bytes record by record, fields as raw integers, for tests and benchmarks.
class LogGenerator
{
public:
    struct Rx
    {
        quint16 becMillivolt = 0;
        quint8 alarm = 0, signal = 0, txPower = 0, antenna = 0;
    };
    struct Esc
    {
        quint16 battCentivolt = 0, battCentiamp = 0, becDecivolt = 0, becDeciamp = 0,
                fetDecidegree = 0, capacity = 0, rpm = 0;
        quint8 input = 0, output = 0, alarm = 0;
    };
    struct Gps
    {
        qint32 lon = 0, lat = 0;
        quint16 speed = 0;
        qint16 altDecimetre = 0, heading = 0;
        quint8 sats = 0;
    };
    struct Fc
    {
        quint8 bank = 0, vib = 0, alarm = 0;
        quint16 rpm = 0;
        qint16 altDecimetre = 0;
        qint16 w = 16384, x = 0, y = 0, z = 0; // quaternion, 16384 = 1.0
    };

    // Any record: len = payload size (at most 255), then type, stamp and payload.
    LogGenerator &record(quint8 type, quint32 stampMs, const QByteArray &payload);
    // Type 1 with the given words; len is 2 * words unless given (an odd len adds a byte).
    LogGenerator &sticks(quint32 stampMs, const QVector<qint16> &words, int len = -1);
    LogGenerator &tx(quint32 stampMs, quint8 signal, int len = 1);
    LogGenerator &rx(quint32 stampMs, const Rx &rx, int len = 9);
    LogGenerator &esc(quint32 stampMs, const Esc &esc, int len = 18);
    LogGenerator &gps(quint32 stampMs, const Gps &gps, int len = 16);
    LogGenerator &fc(quint32 stampMs, const Fc &fc, int len = 15);
    // Type 13 with only the attitude given (unit quaternion components as doubles).
    LogGenerator &attitude(quint32 stampMs, double w, double x, double y, double z);
    LogGenerator &raw(const QByteArray &bytes);

    const QByteArray &bytes() const { return data; }

    // A realistic flight of the given length: type 1 (35 words) and type 13 at 50 Hz,
    // ESC, RX and TX at 10 Hz, GPS at 5 Hz, all varying smoothly.
    static QByteArray flight(int seconds);
    // Back-to-back type-1 records of 255 bytes, about the given size.
    static QByteArray type1Flood(int bytes);
    // One record of each fixed-size type, each a byte shorter than its payload: none is read.
    static QByteArray belowMinimum();

private:
    QByteArray data;
};
