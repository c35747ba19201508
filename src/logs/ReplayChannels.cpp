#include "ReplayChannels.h"

#include "LogNames.h"
#include "LogSeries.h"
#include "ModelScene.h"

#include <algorithm>
#include <cmath>

namespace {

QString fixed1(double value)
{
    return QString::number(value, 'f', 1);
}

} // namespace

ReplayChannels::ReplayChannels()
{
    channels.fill(-1);
}

qint64 ReplayChannels::roundHalfUp(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double r = std::floor(value + 0.5);
    constexpr double limit = 9.0e18;
    return qint64(std::clamp(r, -limit, limit));
}

void ReplayChannels::setVariables(const QVector<LogVariable> &log)
{
    vars = LogSeries::inTimeOrder(log);
    static const QString names[ChannelCount] = {
        QLatin1String(LogNames::StickLV),
        QLatin1String(LogNames::StickLH),
        QLatin1String(LogNames::StickRV),
        QLatin1String(LogNames::StickRH),
        QLatin1String(LogNames::EscBattVolt),
        QLatin1String(LogNames::EscBattCurr),
        QLatin1String(LogNames::EscRpm),
        QLatin1String(LogNames::VarnekRpm),
        QString::fromUtf8(LogNames::VarnekElevator),
        QString::fromUtf8(LogNames::VarnekAileron),
        QString::fromUtf8(LogNames::VarnekRudder),
        QLatin1String(LogNames::VarnekAlt),
        QLatin1String(LogNames::VarnekQuatW),
        QLatin1String(LogNames::VarnekQuatX),
        QLatin1String(LogNames::VarnekQuatY),
        QLatin1String(LogNames::VarnekQuatZ),
        QLatin1String(LogNames::VarnekVibLevel),
    };
    for (int c = 0; c < ChannelCount; ++c)
        channels[c] = indexOf(names[c]);

    length = 0.0;
    for (const LogVariable &v : qAsConst(vars)) {
        if (!v.times.isEmpty() && std::isfinite(v.times.last()))
            length = std::max(length, v.times.last());
    }
}

int ReplayChannels::indexOf(const QString &name) const
{
    for (int i = 0; i < vars.size(); ++i) {
        if (vars.at(i).name == name)
            return i;
    }
    return -1;
}

bool ReplayChannels::hasSticks() const
{
    return index(StickLV) >= 0 || index(StickLH) >= 0 || index(StickRV) >= 0 || index(StickRH) >= 0;
}

double ReplayChannels::valueAt(int index, double t) const
{
    if (index < 0 || index >= vars.size())
        return 0.0;
    return LogSeries::valueAt(vars.at(index), t);
}

QQuaternion ReplayChannels::rawQuaternion(double t) const
{
    const auto var = [this](Channel channel) {
        const int i = index(channel);
        return i >= 0 ? &vars.at(i) : nullptr;
    };
    return ModelScene::interpolate(var(QuatW), var(QuatX), var(QuatY), var(QuatZ), t);
}

bool ReplayChannels::shows(Figure figure) const
{
    switch (figure) {
    case VoltageFigure:
        return index(Voltage) >= 0;
    case CurrentFigure:
        return index(Current) >= 0;
    case PowerFigure:
        return index(Voltage) >= 0 && index(Current) >= 0;
    case RpmFigure:
        return index(EscRpm) >= 0 || index(VarnekRpm) >= 0;
    case ElevatorFigure:
        return index(Elevator) >= 0;
    case AileronFigure:
        return index(Aileron) >= 0;
    case RudderFigure:
        return index(Rudder) >= 0;
    case VibrationFigure:
        return index(Vibration) >= 0;
    case FigureCount:
        break;
    }
    return false;
}

QString ReplayChannels::figureText(Figure figure, double t) const
{
    if (!shows(figure))
        return QString();
    switch (figure) {
    case VoltageFigure:
        return tr("Voltage: %1 V").arg(fixed1(valueAt(Voltage, t)));
    case CurrentFigure:
        return tr("Current: %1 A").arg(fixed1(valueAt(Current, t)));
    case PowerFigure:
        return tr("Power: %1 W").arg(fixed1(valueAt(Voltage, t) * valueAt(Current, t)));
    case RpmFigure:
        // The ESC's own count where the log has it.
        return tr("RPM: %1").arg(roundHalfUp(valueAt(index(EscRpm) >= 0 ? EscRpm : VarnekRpm, t)));
    case ElevatorFigure:
        return tr("Elevator: %1 °/s").arg(fixed1(valueAt(Elevator, t)));
    case AileronFigure:
        return tr("Aileron: %1 °/s").arg(fixed1(valueAt(Aileron, t)));
    case RudderFigure:
        return tr("Rudder: %1 °/s").arg(fixed1(valueAt(Rudder, t)));
    case VibrationFigure:
        return tr("Vibration: %1 %").arg(roundHalfUp(valueAt(Vibration, t)));
    case FigureCount:
        break;
    }
    return QString();
}

QString ReplayChannels::leftStickText(double t) const
{
    return tr("Stick LH %1 · Stick LV %2")
        .arg(roundHalfUp(valueAt(StickLH, t)))
        .arg(roundHalfUp(valueAt(StickLV, t)));
}

QString ReplayChannels::rightStickText(double t) const
{
    return tr("Stick RH %1 · Stick RV %2")
        .arg(roundHalfUp(valueAt(StickRH, t)))
        .arg(roundHalfUp(valueAt(StickRV, t)));
}
