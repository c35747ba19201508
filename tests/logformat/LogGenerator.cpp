#include "LogGenerator.h"

#include <cmath>

namespace {

void put8(QByteArray &b, quint8 v)
{
    b.append(char(v));
}
void put16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xff));
    b.append(char(v >> 8));
}
void put32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

// Pads or cuts a payload to the requested len, so tests can write short records.
QByteArray fit(QByteArray payload, int len)
{
    if (len >= 0)
        payload.resize(len);
    return payload;
}

} // namespace

LogGenerator &LogGenerator::record(quint8 type, quint32 stampMs, const QByteArray &payload)
{
    Q_ASSERT(payload.size() <= 255);
    put8(data, quint8(payload.size()));
    put8(data, type);
    put32(data, stampMs);
    data.append(payload);
    return *this;
}

LogGenerator &LogGenerator::sticks(quint32 stampMs, const QVector<qint16> &words, int len)
{
    QByteArray p;
    for (qint16 w : words)
        put16(p, quint16(w));
    if (len > p.size())
        p.append(QByteArray(len - p.size(), '\x55'));
    return record(1, stampMs, fit(p, len));
}

LogGenerator &LogGenerator::tx(quint32 stampMs, quint8 signal, int len)
{
    QByteArray p;
    put8(p, signal);
    return record(2, stampMs, fit(p, len));
}

LogGenerator &LogGenerator::rx(quint32 stampMs, const Rx &r, int len)
{
    QByteArray p;
    put8(p, 0xA5); // not read
    put16(p, r.becMillivolt);
    put8(p, r.alarm);
    put8(p, r.signal);
    put8(p, r.txPower);
    put8(p, r.antenna);
    put16(p, 0);
    return record(10, stampMs, fit(p, len));
}

LogGenerator &LogGenerator::esc(quint32 stampMs, const Esc &e, int len)
{
    QByteArray p;
    put8(p, 0xA5);
    put16(p, e.battCentivolt);
    put16(p, e.battCentiamp);
    put16(p, e.becDecivolt);
    put16(p, e.becDeciamp);
    put16(p, e.fetDecidegree);
    put16(p, e.capacity);
    put16(p, e.rpm);
    put8(p, e.input);
    put8(p, e.output);
    put8(p, e.alarm);
    return record(11, stampMs, fit(p, len));
}

LogGenerator &LogGenerator::gps(quint32 stampMs, const Gps &g, int len)
{
    QByteArray p;
    put8(p, 0xA5);
    put32(p, quint32(g.lon));
    put32(p, quint32(g.lat));
    put16(p, g.speed);
    put16(p, quint16(g.altDecimetre));
    put16(p, quint16(g.heading));
    put8(p, g.sats);
    return record(12, stampMs, fit(p, len));
}

LogGenerator &LogGenerator::fc(quint32 stampMs, const Fc &f, int len)
{
    QByteArray p;
    put8(p, f.bank);
    put8(p, f.vib);
    put8(p, f.alarm);
    put16(p, f.rpm);
    put16(p, quint16(f.altDecimetre));
    put16(p, quint16(f.w));
    put16(p, quint16(f.x));
    put16(p, quint16(f.y));
    put16(p, quint16(f.z));
    return record(13, stampMs, fit(p, len));
}

LogGenerator &LogGenerator::attitude(quint32 stampMs, double w, double x, double y, double z)
{
    Fc f;
    f.w = qint16(std::lround(w * 16384));
    f.x = qint16(std::lround(x * 16384));
    f.y = qint16(std::lround(y * 16384));
    f.z = qint16(std::lround(z * 16384));
    return fc(stampMs, f);
}

LogGenerator &LogGenerator::raw(const QByteArray &bytes)
{
    data.append(bytes);
    return *this;
}

QByteArray LogGenerator::flight(int seconds)
{
    LogGenerator g;
    g.data.reserve(seconds * 5500);
    QVector<qint16> words(35);
    for (int tick = 0; tick < seconds * 50; ++tick) {
        const quint32 ms = quint32(tick) * 20;
        const double s = ms / 1000.0;
        for (int i = 0; i < words.size(); ++i)
            words[i] = qint16(std::lround(16000 * std::sin(s * 0.3 + i)));
        g.sticks(ms, words);
        // A slow tumble about a tilted axis, so every body rate moves.
        const double half = 0.25 * s;
        const double ax = 0.6, ay = 0.48, az = 0.64;
        Fc f;
        f.bank = quint8(tick / 500 % 3);
        f.vib = quint8(tick % 100);
        f.rpm = quint16(2000 + tick % 500);
        f.altDecimetre = qint16(tick % 3000);
        f.w = qint16(std::lround(16384 * std::cos(half)));
        f.x = qint16(std::lround(16384 * ax * std::sin(half)));
        f.y = qint16(std::lround(16384 * ay * std::sin(half)));
        f.z = qint16(std::lround(16384 * az * std::sin(half)));
        g.fc(ms, f);
        if (tick % 5 == 0) {
            Esc e;
            e.battCentivolt = quint16(2500 - tick / 100 % 500);
            e.battCentiamp = quint16(tick % 4000);
            e.becDecivolt = 80;
            e.becDeciamp = 15;
            e.fetDecidegree = quint16(300 + tick % 200);
            e.capacity = quint16(tick / 50);
            e.rpm = quint16(2000 + tick % 700);
            e.input = quint8(tick % 101);
            e.output = quint8(tick % 99);
            g.esc(ms, e);
            Rx r;
            r.becMillivolt = quint16(8000 + tick % 100);
            r.signal = quint8(90 + tick % 10);
            r.txPower = 100;
            r.antenna = quint8(tick % 2);
            g.rx(ms, r);
            g.tx(ms, quint8(95 + tick % 5));
        }
        if (tick % 10 == 0) {
            Gps p;
            p.lon = 83000000 + tick;
            p.lat = 475000000 - tick;
            p.speed = quint16(tick % 300);
            p.altDecimetre = qint16(tick % 2000);
            p.heading = qint16(tick % 360);
            p.sats = 12;
            g.gps(ms, p);
        }
    }
    return g.data;
}

QByteArray LogGenerator::type1Flood(int bytes)
{
    // Written in place: a few hundred megabytes appended byte by byte take a sanitized build
    // most of a minute on a busy machine.
    const int recordSize = 6 + 255;
    const int records = bytes / recordSize;
    QByteArray data(records * recordSize, Qt::Uninitialized);
    auto *out = reinterpret_cast<uchar *>(data.data());
    for (int k = 0; k < records; ++k) {
        const quint32 ms = quint32(k) * 20;
        *out++ = 255;
        *out++ = 1;
        for (int i = 0; i < 4; ++i)
            *out++ = uchar(ms >> (8 * i));
        for (quint32 i = 0; i < 127; ++i) {
            const quint32 word = (ms + i * 97) & 0x7fff;
            *out++ = uchar(word);
            *out++ = uchar(word >> 8);
        }
        *out++ = 0x55;
    }
    return data;
}

QByteArray LogGenerator::belowMinimum()
{
    return LogGenerator().tx(0, 1, 0).rx(0, {}, 8).esc(0, {}, 17).gps(0, {}, 15).fc(0, {}, 14).data;
}
