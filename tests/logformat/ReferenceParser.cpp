#include "ReferenceParser.h"

#include <QMap>
#include <QString>

#include <cmath>

namespace {

struct Parser
{
    QVector<LogVariable> vars;
    QMap<QString, int> index;

    void add(const QString &name, double t, double v)
    {
        auto it = index.find(name);
        if (it == index.end()) {
            vars.append(LogVariable {name, {}, {}});
            it = index.insert(name, vars.size() - 1);
        }
        vars[*it].times.append(t);
        vars[*it].values.append(v);
    }
};

unsigned u8(const QByteArray &d, qint64 at)
{
    return uchar(d[int(at)]);
}
unsigned u16(const QByteArray &d, qint64 at)
{
    return u8(d, at) | u8(d, at + 1) << 8;
}
int i16(const QByteArray &d, qint64 at)
{
    return qint16(quint16(u16(d, at)));
}
quint32 u32(const QByteArray &d, qint64 at)
{
    return u16(d, at) | quint32(u16(d, at + 2)) << 16;
}

const char *const wordNames[]
    = {"Sensor X",  "Sensor Y",  "Stick LV",  "Stick LH",  "Stick RV",    "Stick RH",  "Switch LD",
       "Switch LU", "Switch LL", "Switch LR", "Switch RL", "Switch RR",   "Switch RD", "Switch RU",
       "Pot TL",    "Pot TR",    "Pot BL",    "Pot BR",    "Light Sensor"};

} // namespace

QVector<LogVariable> ReferenceParser::parse(const QByteArray &d)
{
    Parser r;
    const qint64 size = d.size();
    const QString deg = QString(QChar(0x00B0));
    if (size >= 6) {
        qint64 p = 0;
        while (true) {
            const int len = int(u8(d, p));
            if (p + 6 + len > size)
                break;
            const int type = int(u8(d, p + 1));
            const double t = u32(d, p + 2) / 1000.0;
            const qint64 o = p + 6;
            if (type == 1) {
                for (int i = 0; i < len / 2; ++i) {
                    const int raw = i16(d, o + 2 * i);
                    if (i < 19)
                        r.add(QString(wordNames[i]) + " [%]", t, raw / 163.84);
                    else
                        r.add(QString("Channel %1 [%]").arg(i - 18), t, raw / 327.68);
                }
            } else if (type == 2 && len >= 1) {
                r.add("TX Signal [%]", t, u8(d, o));
            } else if (type == 10 && len >= 9) {
                r.add("RX BEC Volt [V]", t, u16(d, o + 1) / 1000.0);
                r.add("RX Alarm", t, u8(d, o + 3));
                r.add("RX Signal [%]", t, u8(d, o + 4));
                r.add("RX TX Power [%]", t, u8(d, o + 5));
                r.add("RX Antenna", t, u8(d, o + 6) & 1);
            } else if (type == 11 && len >= 18) {
                r.add("ESC Batt Volt [V]", t, u16(d, o + 1) / 100.0);
                r.add("ESC Batt Curr [A]", t, u16(d, o + 3) / 100.0);
                r.add("ESC BEC Volt [V]", t, u16(d, o + 5) / 10.0);
                r.add("ESC BEC Curr [A]", t, u16(d, o + 7) / 10.0);
                r.add("ESC FET Temp [C]", t, u16(d, o + 9) / 10.0);
                r.add("ESC Capacity [mAh]", t, u16(d, o + 11));
                r.add("ESC RPM", t, u16(d, o + 13));
                r.add("ESC Input [%]", t, u8(d, o + 15));
                r.add("ESC Output [%]", t, u8(d, o + 16));
                r.add("ESC Alarm", t, u8(d, o + 17));
            } else if (type == 12 && len >= 16) {
                r.add("GPS Lon", t, qint32(u32(d, o + 1)));
                r.add("GPS Lat", t, qint32(u32(d, o + 5)));
                r.add("GPS Speed", t, u16(d, o + 9));
                r.add("GPS Alt [m]", t, i16(d, o + 11) / 10.0);
                r.add("GPS Heading", t, i16(d, o + 13));
                r.add("GPS Sats", t, u8(d, o + 15));
            } else if (type == 13 && len >= 15) {
                r.add("Varnek Bank", t, u8(d, o) & 7);
                r.add("Varnek Vib Level [%]", t, u8(d, o + 1));
                r.add("Varnek Alarm", t, u8(d, o + 2));
                r.add("Varnek RPM", t, u16(d, o + 3));
                r.add("Varnek Alt [m]", t, i16(d, o + 5) / 10.0);
                const double W = i16(d, o + 7) / 16384.0, X = i16(d, o + 9) / 16384.0,
                             Y = i16(d, o + 11) / 16384.0, Z = i16(d, o + 13) / 16384.0;
                const double test = W * X + Y * Z, n = W * W + X * X + Y * Y + Z * Z;
                double pitch, roll, yaw;
                if (test > 0.4999999 * n) {
                    yaw = 2 * std::atan2(Y, W), roll = 0, pitch = M_PI / 2;
                } else if (test < -0.4999999 * n) {
                    yaw = -2 * std::atan2(Y, W), roll = 0, pitch = -M_PI / 2;
                } else {
                    yaw = std::atan2(2 * (W * Z - X * Y), 1 - 2 * (X * X + Z * Z));
                    pitch = std::asin(2 * test / n);
                    roll = std::atan2(2 * (W * Y - X * Z), 1 - 2 * (X * X + Y * Y));
                }
                r.add("Varnek Pitch [" + deg + "]", t, pitch * 180 / M_PI);
                r.add("Varnek Roll [" + deg + "]", t, roll * 180 / M_PI);
                r.add("Varnek Yaw [" + deg + "]", t, yaw * 180 / M_PI);
                r.add("Varnek Quat W", t, W);
                r.add("Varnek Quat X", t, X);
                r.add("Varnek Quat Y", t, Y);
                r.add("Varnek Quat Z", t, Z);
            }
            p += 6 + len;
            if (p + 6 > size)
                break;
        }
    }

    const auto iw = r.index.find("Varnek Quat W");
    if (iw == r.index.end() || r.vars[*iw].times.size() < 2)
        return r.vars;
    const int w = *iw, x = r.index["Varnek Quat X"], y = r.index["Varnek Quat Y"],
              z = r.index["Varnek Quat Z"];
    const int count = r.vars[w].times.size();
    for (int i = 1; i < count; ++i) {
        const double t0 = r.vars[w].times[i - 1], t1 = r.vars[w].times[i];
        const double dt = t1 - t0;
        if (dt <= 0)
            continue;
        double q[2][4];
        for (int k = 0; k < 2; ++k) {
            const int j = i - 1 + k;
            double c[4] = {r.vars[w].values[j], r.vars[x].values[j], r.vars[y].values[j],
                           r.vars[z].values[j]};
            const double n = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2] + c[3] * c[3]);
            for (int m = 0; m < 4; ++m)
                q[k][m] = n < 1e-12 ? (m == 0 ? 1.0 : 0.0) : c[m] / n;
        }
        const double *a = q[0], *b = q[1];
        double pw = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
        double px = a[0] * b[1] - a[1] * b[0] - a[2] * b[3] + a[3] * b[2];
        double py = a[0] * b[2] + a[1] * b[3] - a[2] * b[0] - a[3] * b[1];
        double pz = a[0] * b[3] - a[1] * b[2] + a[2] * b[1] - a[3] * b[0];
        if (pw < 0)
            pw = -pw, px = -px, py = -py, pz = -pz;
        const double s = std::sqrt(px * px + py * py + pz * pz);
        const double tm = (t1 + t0) * 0.5;
        if (s < 1e-9) {
            // No rotation between two real attitudes: at rest, a rate of 0.
            bool real = true;
            for (int k = 0; k < 2; ++k) {
                const int j = i - 1 + k;
                real = real
                    && (r.vars[w].values[j] != 0 || r.vars[x].values[j] != 0
                        || r.vars[y].values[j] != 0 || r.vars[z].values[j] != 0);
            }
            if (real) {
                r.add("Varnek Elevator [" + deg + "/s]", tm, 0.0);
                r.add("Varnek Aileron [" + deg + "/s]", tm, 0.0);
                r.add("Varnek Rudder [" + deg + "/s]", tm, 0.0);
            }
            continue;
        }
        const double k = 2 * std::atan2(s, pw) / s / dt;
        r.add("Varnek Elevator [" + deg + "/s]", tm, px * k * 180 / M_PI);
        r.add("Varnek Aileron [" + deg + "/s]", tm, py * k * 180 / M_PI);
        r.add("Varnek Rudder [" + deg + "/s]", tm, pz * k * 180 / M_PI);
    }
    return r.vars;
}
