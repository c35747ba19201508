#pragma once

#include "LogVariable.h"

#include <QCoreApplication>
#include <QQuaternion>
#include <QString>
#include <QVector>

#include <array>

// What the Replay tab reads of a log, without its widgets: the variables behind the sticks,
// the figures and the 3D model, found once per log, and what each shows at a time t.
class ReplayChannels
{
    // The texts are the tab's.
    Q_DECLARE_TR_FUNCTIONS(ReplayWidget)
public:
    enum Channel {
        StickLV,
        StickLH,
        StickRV,
        StickRH,
        Voltage,
        Current,
        EscRpm,
        VarnekRpm,
        Elevator,
        Aileron,
        Rudder,
        Altitude,
        QuatW,
        QuatX,
        QuatY,
        QuatZ,
        Vibration,
        ChannelCount
    };
    // The figures beside the sticks, in their grid's order.
    enum Figure {
        VoltageFigure,
        CurrentFigure,
        PowerFigure,
        RpmFigure,
        ElevatorFigure,
        AileronFigure,
        RudderFigure,
        VibrationFigure,
        FigureCount
    };

    ReplayChannels();

    // The log's variables put in time order; the channels found by their names.
    void setVariables(const QVector<LogVariable> &vars);
    const QVector<LogVariable> &variables() const { return vars; }
    // The index of the variable named name, -1 if none.
    int indexOf(const QString &name) const;
    // The variable index of a channel, -1 where the log lacks it.
    int index(Channel channel) const { return channels[channel]; }
    // The latest finite last stamp of any variable, 0 without one.
    double duration() const { return length; }
    bool hasSticks() const;

    // A variable's value at t (LogSeries::valueAt); 0 for index -1 or out of range.
    double valueAt(int index, double t) const;
    double valueAt(Channel channel, double t) const { return valueAt(index(channel), t); }
    // The attitude at t in the log's own frame.
    QQuaternion rawQuaternion(double t) const;

    // Whether the log has what the figure needs.
    bool shows(Figure figure) const;
    // The figure's text at t, e.g. "Voltage: 23.7 V"; empty where it is not shown.
    QString figureText(Figure figure, double t) const;
    // "Stick LH 0 · Stick LV 100" of the left stick, the right one's alike.
    QString leftStickText(double t) const;
    QString rightStickText(double t) const;

    // To the nearest integer, halves upward (-0.5 gives 0, 0.5 gives 1); 0 for NaN.
    static qint64 roundHalfUp(double value);

private:
    QVector<LogVariable> vars;
    std::array<int, ChannelCount> channels;
    double length = 0.0;
};
