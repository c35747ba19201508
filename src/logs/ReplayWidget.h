#pragma once

#include "LogLoader.h"
#include "LogVariable.h"
#include "ReplayChannels.h"

#include <QElapsedTimer>
#include <QQuaternion>
#include <QQuickWindow>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <array>
#include <functional>

#include <qcustomplot.h>

class FramePacer;
class LogPlotPanel;
class LogTabLoader;
class MultiAxisPlot;
class QComboBox;
class QCPAxis;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QQuickItem;
class QQuickView;
class QSlider;
class QStackedWidget;
class QToolButton;
class RadioScanner;
class StickGimbalWidget;
class WelcomeScreenWidget;

// The "Replay" tab: plays a flight log back in real time with the 3D model, two stick
// gimbals, live figures and a plot with a cursor at the replay position.
class ReplayWidget : public QWidget
{
    Q_OBJECT
public:
    ReplayWidget(RadioScanner *scanner, QWidget *parent = nullptr);

    // The one entry for logs from disk and from the radio.
    void loadLog(const QVector<LogVariable> &vars, const QString &label);
    // What the Open button does once the user has picked a path: the log is read and
    // parsed on a worker thread, then loaded, or a warning shown.
    void loadLogFile(const QString &path);
    // A file or downloaded log is being read or parsed, or a download is under way.
    bool isLoading() const;
    void seekTo(double seconds);
    void setPlaying(bool play);

    // The variable's value at t, interpolated linearly between its samples; 0 for
    // index -1 or no samples, the first or last value outside the samples' span.
    double valueAtTime(int index, double t) const;
    int indexOfVariable(const QString &name) const;
    // The attitude at t in the log's own frame.
    QQuaternion interpolatedRawQuaternion(double t) const;

    static QString formatMinSec(double seconds);
    // One graph per checked variable, made anew.
    void rebuildGraphs();

    double position() const { return currentTime; }
    double logDuration() const { return channels.duration(); }
    double playbackSpeed() const { return speed; }
    bool isPlaying() const { return playing; }
    const QVector<LogVariable> &logVariables() const { return channels.variables(); }
    // False once the 3D view failed (no scene, or no OpenGL): the replay goes on without it.
    bool hasModelView() const { return rootObject != nullptr; }

    // The clock playback advances by, in milliseconds: a steady clock. Code only, for
    // tests that tick with a clock of their own.
    void setPlaybackClock(std::function<qint64()> msNow);

private slots:
    void openLogFile();
    void onLogItemClicked(QListWidgetItem *item);
    void onLogLoaded(const LogLoader::Result &result);
    void onPlayButtonClicked();
    void onSpeedChanged(int index);
    void onSliderMoved(int value);
    void onPlaybackTick();
    void onLightTick();
    void onSceneGraphError(QQuickWindow::SceneGraphError error, const QString &message);

private:
    void buildPlot(QListWidget *variableList);
    void showModelViewAfterPage();
    void createModelView();
    void updateMetricsAvailability();
    void updateMetrics();
    void updateModel3D();
    void moveLights();
    void updatePlotCursor();
    int sliderValue(double seconds) const;

    LogTabLoader *loading = nullptr;
    ParsedLogPtr shownLog; // what the other tab may share while this one shows it
    WelcomeScreenWidget *welcome = nullptr;
    QStackedWidget *stack = nullptr;

    double currentTime = 0.0;
    double speed = 1.0;
    bool playing = false;
    QTimer playbackTimer;
    QElapsedTimer elapsedTimer;
    std::function<qint64()> playbackClock;
    qint64 lastTickMs = 0;
    QTimer lightTimer;
    QElapsedTimer lightClock;
    double sliderScale = 1000.0;

    ReplayChannels channels; // the log's variables, in time order

    MultiAxisPlot *plot = nullptr;
    LogPlotPanel *panel = nullptr; // the variable list, the graphs, the cursor line

    StickGimbalWidget *leftGimbal = nullptr;
    StickGimbalWidget *rightGimbal = nullptr;
    QLabel *leftStickLabel = nullptr;
    QLabel *rightStickLabel = nullptr;
    QToolButton *playButton = nullptr;
    QComboBox *speedBox = nullptr;
    QSlider *positionSlider = nullptr;
    QLabel *timeLabel = nullptr;
    QGroupBox *metricsBox = nullptr;
    std::array<QLabel *, ReplayChannels::FigureCount> figureLabels {};

    QQuickView *quickView = nullptr;
    QQuickItem *rootObject = nullptr;
    QWidget *viewContainer = nullptr;
    FramePacer *pacer = nullptr; // caps the 3D view's frame rate
    bool modelViewShown = false;
};
