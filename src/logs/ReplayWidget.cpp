#include "ReplayWidget.h"

#include "FoldingRowLayout.h"
#include "FramePacer.h"
#include "LogNames.h"
#include "LogPlotPanel.h"
#include "LogSeries.h"
#include "LogTabLoader.h"
#include "ModelScene.h"
#include "MultiAxisPlot.h"
#include "PageScrollArea.h"
#include "PlotStyle.h"
#include "RadioScanner.h"
#include "StickGimbalWidget.h"
#include "TimeAxisTicker.h"
#include "WelcomeScreenWidget.h"
#include "WrapGridLayout.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QQmlError>
#include <QQuickItem>
#include <QQuickView>
#include <QShortcut>
#include <QSlider>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

const char *const Grey = "color: #b0b0b6;";

// To the nearest integer, halves upward (-0.5 gives 0, 0.5 gives 1).
qint64 roundHalfUp(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double r = std::floor(value + 0.5);
    constexpr double limit = 9.0e18;
    return qint64(std::clamp(r, -limit, limit));
}

QString fixed1(double value)
{
    return QString::number(value, 'f', 1);
}

QLabel *greyLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setStyleSheet(QLatin1String(Grey));
    return label;
}

} // namespace

ReplayWidget::ReplayWidget(RadioScanner *scanner, QWidget *parent)
    : QWidget(parent)
{
    auto *tabLayout = new QVBoxLayout(this);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    stack = new QStackedWidget(this);
    stack->setObjectName(QStringLiteral("pageStack"));
    tabLayout->addWidget(stack);

    welcome = new WelcomeScreenWidget(
        QStringLiteral(":/icons/tab-replay.svg"),
        tr("<span style='color:#0a84ff;'>Replay</span> your Log."),
        tr("Open a stored flight log and replay back in real time."),
        tr("Start Varnek Remote app from the Apps/Files menu on your Kelo radio, or open a "
           "saved log file above."),
        tr("Press Play and watch the replay."), stack);
    welcome->setObjectName(QStringLiteral("welcome"));
    connect(welcome, &WelcomeScreenWidget::openLogFileClicked, this, &ReplayWidget::openLogFile);
    connect(welcome, &WelcomeScreenWidget::logItemClicked, this, &ReplayWidget::onLogItemClicked);

    auto *content = new QWidget(stack);
    content->setObjectName(QStringLiteral("content"));
    auto *contentLayout = new QHBoxLayout(content);

    // Left panel.
    auto *leftPanel = new QWidget(content);
    leftPanel->setMaximumWidth(240);
    // As wide as the Log Viewer's: the variable names show in full.
    leftPanel->setMinimumWidth(240);
    auto *leftLayout = new QVBoxLayout(leftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(new QLabel(tr("Radio Logs:"), leftPanel));
    auto *radioLogList = new QListWidget(leftPanel);
    radioLogList->setObjectName(QStringLiteral("radioLogList"));
    radioLogList->setMaximumHeight(160);
    radioLogList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    radioLogList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    radioLogList->hide();
    connect(radioLogList, &QListWidget::itemClicked, this, &ReplayWidget::onLogItemClicked);
    leftLayout->addWidget(radioLogList);
    leftLayout->addSpacing(6);
    auto *openButton = new QPushButton(tr("Open Log File..."), leftPanel);
    openButton->setObjectName(QStringLiteral("openButton"));
    connect(openButton, &QPushButton::clicked, this, &ReplayWidget::openLogFile);
    leftLayout->addWidget(openButton);
    QLabel *statusLabel = greyLabel(leftPanel);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setWordWrap(true);
    statusLabel->setTextFormat(Qt::PlainText); // file and radio names are not markup
    leftLayout->addWidget(statusLabel);
    QProgressBar *busyBar = WelcomeScreenWidget::createBusyBar(leftPanel);
    leftLayout->addWidget(busyBar);
    leftLayout->addSpacing(6);
    leftLayout->addWidget(new QLabel(tr("Variables:"), leftPanel));
    QListWidget *variableList = LogPlotPanel::createVariableList(leftPanel);
    leftLayout->addWidget(variableList, 1);
    contentLayout->addWidget(leftPanel);

    // Right column: controls, 3D view, plot.
    auto *rightColumn = new QVBoxLayout();
    auto *controls = new QGroupBox(content);
    controls->setObjectName(QStringLiteral("controls"));
    // The figures beside the sticks; below them where the window is too narrow for both.
    auto *controlsLayout = new FoldingRowLayout(controls);
    controlsLayout->setRowGap(32);

    auto *gimbalBlock = new QHBoxLayout();
    auto makeStick = [controls](StickGimbalWidget *&gimbal, QLabel *&label, const QString &text,
                                const char *name) {
        auto *column = new QVBoxLayout();
        gimbal = new StickGimbalWidget(controls);
        gimbal->setObjectName(QLatin1String(name) + QStringLiteral("Gimbal"));
        column->addWidget(gimbal, 0, Qt::AlignHCenter);
        label = greyLabel(controls);
        label->setObjectName(QLatin1String(name) + QStringLiteral("StickLabel"));
        label->setAlignment(Qt::AlignHCenter);
        label->setText(text);
        column->addWidget(label, 0, Qt::AlignHCenter);
        return column;
    };
    gimbalBlock->addLayout(
        makeStick(leftGimbal, leftStickLabel, tr("Stick LH 0 · Stick LV 0"), "left"));
    gimbalBlock->addSpacing(24);
    gimbalBlock->addLayout(
        makeStick(rightGimbal, rightStickLabel, tr("Stick RH 0 · Stick RV 0"), "right"));
    const int stickLabelWidth
        = leftStickLabel->fontMetrics().horizontalAdvance(tr("Stick LH -100 · Stick LV -100"));
    leftStickLabel->setFixedWidth(stickLabelWidth);
    rightStickLabel->setFixedWidth(stickLabelWidth);
    controlsLayout->addLayout(gimbalBlock);

    auto *figures = new QVBoxLayout();
    figures->addStretch(1);
    auto *transport = new QHBoxLayout();
    playButton = new QToolButton(controls);
    playButton->setObjectName(QStringLiteral("playButton"));
    playButton->setIcon(QIcon(QStringLiteral(":/icons/icon-play.svg")));
    playButton->setIconSize(QSize(22, 22));
    playButton->setToolTip(tr("Play"));
    playButton->setAutoRaise(true);
    playButton->setEnabled(false);
    connect(playButton, &QToolButton::clicked, this, &ReplayWidget::onPlayButtonClicked);
    transport->addWidget(playButton);
    speedBox = new QComboBox(controls);
    speedBox->setObjectName(QStringLiteral("speedBox"));
    const std::pair<const char *, double> speeds[]
        = {{"0.1x", 0.1}, {"0.25x", 0.25}, {"0.5x", 0.5}, {"1x", 1.0}, {"2x", 2.0}, {"5x", 5.0}};
    for (const auto &s : speeds)
        speedBox->addItem(QLatin1String(s.first), s.second);
    speedBox->setCurrentIndex(3);
    connect(speedBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ReplayWidget::onSpeedChanged);
    transport->addWidget(speedBox);
    positionSlider = new QSlider(Qt::Horizontal, controls);
    positionSlider->setObjectName(QStringLiteral("positionSlider"));
    positionSlider->setRange(0, 0);
    positionSlider->setEnabled(false);
    // Squeezed by the figures beside it, a slider of a few pixels cannot be dragged.
    positionSlider->setMinimumWidth(100);
    connect(positionSlider, &QSlider::sliderMoved, this, &ReplayWidget::onSliderMoved);
    transport->addWidget(positionSlider, 1);
    timeLabel = greyLabel(controls);
    timeLabel->setObjectName(QStringLiteral("timeLabel"));
    timeLabel->setText(QStringLiteral("0:00 / 0:00"));
    transport->addWidget(timeLabel);
    figures->addLayout(transport);
    figures->addSpacing(6);

    metricsBox = new QGroupBox(controls);
    metricsBox->setObjectName(QStringLiteral("metricsBox"));
    // Two rows of four; where the column is too narrow for them, four rows of two.
    auto *grid = new WrapGridLayout(4, metricsBox);
    grid->setHorizontalSpacing(20);
    struct Figure
    {
        QLabel **label;
        const char *name;
        QString sample;
    };
    const Figure figureLabels[] = {
        {&voltageLabel, "voltageLabel", tr("Voltage: -99.9 V")},
        {&currentLabel, "currentLabel", tr("Current: -999.9 A")},
        {&powerLabel, "powerLabel", tr("Power: -9999.9 W")},
        {&rpmLabel, "rpmLabel", tr("RPM: -99999")},
        {&elevatorLabel, "elevatorLabel", tr("Elevator: -999.9 °/s")},
        {&aileronLabel, "aileronLabel", tr("Aileron: -999.9 °/s")},
        {&rudderLabel, "rudderLabel", tr("Rudder: -999.9 °/s")},
        {&vibrationLabel, "vibrationLabel", tr("Vibration: 100 %")},
    };
    for (const Figure &f : figureLabels) {
        *f.label = greyLabel(metricsBox);
        (*f.label)->setObjectName(QLatin1String(f.name));
        grid->addWidget(*f.label);
    }
    const QFontMetrics figureMetrics = voltageLabel->fontMetrics();
    for (const Figure &f : figureLabels)
        (*f.label)->setFixedWidth(figureMetrics.horizontalAdvance(f.sample));
    figures->addWidget(metricsBox);
    figures->addStretch(1);
    controlsLayout->addLayout(figures);
    rightColumn->addWidget(controls);

    createModelView();
    rightColumn->addWidget(viewContainer, 1);

    buildPlot(variableList);
    rightColumn->addWidget(plot);
    contentLayout->addLayout(rightColumn, 1);

    stack->addWidget(welcome);
    stack->addWidget(new PageScrollArea(content, stack));
    stack->setCurrentIndex(0);

    playbackTimer.setInterval(40);
    connect(&playbackTimer, &QTimer::timeout, this, &ReplayWidget::onPlaybackTick);
    elapsedTimer.start();
    playbackClock = [this]() {
        return elapsedTimer.elapsed();
    };
    // The lighting rig's animation: while playing, every tick moves it along with the model;
    // while paused, this timer alone, at the pace the slow light changes need.
    lightClock.start();
    lightTimer.setInterval(ModelScene::PausedLightIntervalMs);
    connect(&lightTimer, &QTimer::timeout, this, &ReplayWidget::onLightTick);
    if (rootObject)
        lightTimer.start();

    auto *left = new QShortcut(QKeySequence(Qt::Key_Left), this);
    left->setContext(Qt::WindowShortcut);
    connect(left, &QShortcut::activated, this, [this]() { seekTo(currentTime - 1.0); });
    auto *right = new QShortcut(QKeySequence(Qt::Key_Right), this);
    right->setContext(Qt::WindowShortcut);
    connect(right, &QShortcut::activated, this, [this]() { seekTo(currentTime + 1.0); });

    // Connects to the scanner and applies its current radio at once.
    loading = new LogTabLoader(scanner, radioLogList, welcome, statusLabel, busyBar, false, this);
    connect(loading, &LogTabLoader::loaded, this, &ReplayWidget::onLogLoaded);
    connect(loading, &LogTabLoader::fileFailed, this, [this](const QString &error) {
        QMessageBox box(QMessageBox::Warning, tr("Open Log File"), error, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText); // the path is the user's, not markup
        box.exec();
    });

    updateMetricsAvailability();
}

void ReplayWidget::buildPlot(QListWidget *variableList)
{
    plot = new MultiAxisPlot(this);
    plot->setObjectName(QStringLiteral("plot"));
    plot->setMinimumHeight(170);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->setPlottingHints(plot->plottingHints() | QCP::phFastPolylines);
    QCPAxisRect *rect = plot->axisRect();
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Horizontal);
    rect->setRangeDragAxes(plot->xAxis, nullptr);
    rect->setRangeZoomAxes(plot->xAxis, nullptr);

    PlotStyle::applyDarkTheme(plot, PlotStyle::AxisGrey);
    plot->xAxis->setLabel(QString());
    plot->xAxis->setTicker(QSharedPointer<TimeAxisTicker>::create());
    plot->legend->setVisible(false);
    panel = new LogPlotPanel(plot, variableList, QColor(0xf5, 0xa6, 0x23), false, this);
    connect(panel, &LogPlotPanel::graphsChanged, this, [this]() {
        const bool any = panel->hasGraphs();
        plot->setVisible(any);
        if (any)
            panel->placeCursor(currentTime); // the full replot draws it
    });
    plot->hide();
}

void ReplayWidget::createModelView()
{
    // Qt Quick cannot recover once it has failed to create its OpenGL context on a shown
    // window, so without OpenGL the view is never created and the replay runs without it.
    const QByteArray renderer = ModelScene::openGLRenderer();
    if (renderer.isEmpty()) {
        std::printf("Replay 3D view unavailable: no OpenGL\n");
        std::fflush(stdout);
        viewContainer = new QWidget(this);
        viewContainer->setObjectName(QStringLiteral("viewContainer"));
        viewContainer->setMinimumHeight(220);
        viewContainer->hide();
        return;
    }
    quickView = new QQuickView();
    // Without a receiver Qt Quick aborts the program on a scene graph error. Queued, so
    // the view is hidden after the render loop has finished reporting.
    connect(quickView, &QQuickWindow::sceneGraphError, this, &ReplayWidget::onSceneGraphError,
            Qt::QueuedConnection);
    quickView->setResizeMode(QQuickView::SizeRootObjectToView);
    quickView->setColor(QColor(0x14, 0x14, 0x14));
    quickView->setSource(QUrl(QLatin1String(ModelScene::ViewportUrl)));
    rootObject = quickView->rootObject();
    if (rootObject && ModelScene::isSoftwareRenderer(renderer))
        rootObject->setProperty("multisample", false);
    pacer = new FramePacer(quickView, ModelScene::PausedLightIntervalMs, this);
    viewContainer = QWidget::createWindowContainer(quickView, this);
    viewContainer->setObjectName(QStringLiteral("viewContainer"));
    viewContainer->setMinimumHeight(220);
    if (!rootObject) {
        for (const QQmlError &error : quickView->errors())
            std::printf("Replay 3D scene: %s\n", qPrintable(error.toString()));
        std::fflush(stdout);
        viewContainer->hide();
    }
}

void ReplayWidget::onSceneGraphError(QQuickWindow::SceneGraphError, const QString &message)
{
    lightTimer.stop();
    std::printf("Replay 3D view unavailable: %s\n", qPrintable(message));
    std::fflush(stdout);
    rootObject = nullptr;
    viewContainer->hide();
}

void ReplayWidget::openLogFile()
{
    loading->askForFile(this);
}

void ReplayWidget::loadLogFile(const QString &path)
{
    loading->loadFile(path);
}

bool ReplayWidget::isLoading() const
{
    return loading->isLoading();
}

void ReplayWidget::onLogItemClicked(QListWidgetItem *item)
{
    loading->downloadLog(item);
}

void ReplayWidget::onLogLoaded(const LogLoader::Result &result)
{
    loadLog(result.log->variables, result.label);
    shownLog = result.log;
}

void ReplayWidget::loadLog(const QVector<LogVariable> &vars, const QString &label)
{
    shownLog.reset();
    variables = LogSeries::inTimeOrder(vars);

    stickLVIndex = indexOfVariable(QLatin1String(LogNames::StickLV));
    stickLHIndex = indexOfVariable(QLatin1String(LogNames::StickLH));
    stickRVIndex = indexOfVariable(QLatin1String(LogNames::StickRV));
    stickRHIndex = indexOfVariable(QLatin1String(LogNames::StickRH));
    voltageIndex = indexOfVariable(QLatin1String(LogNames::EscBattVolt));
    currentIndex = indexOfVariable(QLatin1String(LogNames::EscBattCurr));
    escRpmIndex = indexOfVariable(QLatin1String(LogNames::EscRpm));
    varnekRpmIndex = indexOfVariable(QLatin1String(LogNames::VarnekRpm));
    elevatorIndex = indexOfVariable(QString::fromUtf8(LogNames::VarnekElevator));
    aileronIndex = indexOfVariable(QString::fromUtf8(LogNames::VarnekAileron));
    rudderIndex = indexOfVariable(QString::fromUtf8(LogNames::VarnekRudder));
    altitudeIndex = indexOfVariable(QLatin1String(LogNames::VarnekAlt));
    quatWIndex = indexOfVariable(QLatin1String(LogNames::VarnekQuatW));
    quatXIndex = indexOfVariable(QLatin1String(LogNames::VarnekQuatX));
    quatYIndex = indexOfVariable(QLatin1String(LogNames::VarnekQuatY));
    quatZIndex = indexOfVariable(QLatin1String(LogNames::VarnekQuatZ));
    vibrationIndex = indexOfVariable(QLatin1String(LogNames::VarnekVibLevel));
    updateMetricsAvailability();

    duration = 0.0;
    for (const LogVariable &v : qAsConst(variables)) {
        if (!v.times.isEmpty() && std::isfinite(v.times.last()))
            duration = std::max(duration, v.times.last());
    }

    panel->setVariables(variables);
    rebuildGraphs();
    setPlaying(false);

    // Stamps are 32-bit milliseconds, so a log can outgrow an int slider in ms: the
    // slider then counts coarser steps.
    const double maxSteps = double(std::numeric_limits<int>::max());
    sliderScale = duration * 1000.0 > maxSteps ? maxSteps / duration : 1000.0;
    positionSlider->setEnabled(duration > 0.0);
    positionSlider->setRange(0, sliderValue(duration));
    playButton->setEnabled(duration > 0.0);
    seekTo(0.0);

    QString status = tr("Loaded %1").arg(label);
    if (stickLVIndex < 0 && stickLHIndex < 0 && stickRVIndex < 0 && stickRHIndex < 0)
        status += tr(" (no stick data in this log)");
    loading->setStatus(status);
    stack->setCurrentIndex(1);
}

int ReplayWidget::indexOfVariable(const QString &name) const
{
    for (int i = 0; i < variables.size(); ++i) {
        if (variables.at(i).name == name)
            return i;
    }
    return -1;
}

double ReplayWidget::valueAtTime(int index, double t) const
{
    if (index < 0 || index >= variables.size())
        return 0.0;
    return LogSeries::valueAt(variables.at(index), t);
}

QQuaternion ReplayWidget::interpolatedRawQuaternion(double t) const
{
    const auto var = [this](int index) {
        return index >= 0 && index < variables.size() ? &variables.at(index) : nullptr;
    };
    return ModelScene::interpolate(var(quatWIndex), var(quatXIndex), var(quatYIndex),
                                   var(quatZIndex), t);
}

QString ReplayWidget::formatMinSec(double seconds)
{
    const qint64 s = roundHalfUp(seconds);
    const qint64 m = s / 60;
    return QStringLiteral("%1:%2").arg(m).arg(s - 60 * m, 2, 10, QLatin1Char('0'));
}

void ReplayWidget::seekTo(double t)
{
    if (std::isnan(t))
        t = 0.0;
    currentTime = std::max(std::min(t, duration), 0.0);

    {
        const QSignalBlocker block(positionSlider);
        positionSlider->setValue(sliderValue(currentTime));
    }
    timeLabel->setText(tr("%1 / %2").arg(formatMinSec(currentTime), formatMinSec(duration)));

    const double lh = valueAtTime(stickLHIndex, currentTime);
    const double lv = valueAtTime(stickLVIndex, currentTime);
    const double rh = valueAtTime(stickRHIndex, currentTime);
    const double rv = valueAtTime(stickRVIndex, currentTime);
    leftGimbal->setValues(lh, lv);
    rightGimbal->setValues(rh, rv);
    leftStickLabel->setText(
        tr("Stick LH %1 · Stick LV %2").arg(roundHalfUp(lh)).arg(roundHalfUp(lv)));
    rightStickLabel->setText(
        tr("Stick RH %1 · Stick RV %2").arg(roundHalfUp(rh)).arg(roundHalfUp(rv)));

    updateMetrics();
    updateModel3D();
    updatePlotCursor();
}

void ReplayWidget::setPlaying(bool play)
{
    playing = play;
    if (play) {
        playButton->setIcon(QIcon(QStringLiteral(":/icons/icon-pause.svg")));
        playButton->setToolTip(tr("Pause"));
        lastTickMs = playbackClock();
        playbackTimer.start(40);
        lightTimer.stop();
        // A frame per tick.
        if (pacer)
            pacer->setInterval(40);
    } else {
        playButton->setIcon(QIcon(QStringLiteral(":/icons/icon-play.svg")));
        playButton->setToolTip(tr("Play"));
        playbackTimer.stop();
        if (rootObject)
            lightTimer.start();
        if (pacer)
            pacer->setInterval(ModelScene::PausedLightIntervalMs);
    }
}

void ReplayWidget::onPlayButtonClicked()
{
    if (playing) {
        setPlaying(false);
        return;
    }
    if (currentTime >= duration)
        seekTo(0.0);
    setPlaying(true);
}

void ReplayWidget::onSpeedChanged(int)
{
    speed = speedBox->currentData(Qt::UserRole).toDouble();
}

int ReplayWidget::sliderValue(double seconds) const
{
    const double steps = std::floor(seconds * sliderScale);
    return int(std::clamp(steps, 0.0, double(std::numeric_limits<int>::max())));
}

void ReplayWidget::onSliderMoved(int value)
{
    seekTo(double(value) / sliderScale);
}

void ReplayWidget::setPlaybackClock(std::function<qint64()> msNow)
{
    playbackClock = std::move(msNow);
    lastTickMs = playbackClock();
}

void ReplayWidget::onPlaybackTick()
{
    // By the time that really passed, whatever the timer's jitter.
    const qint64 now = playbackClock();
    const double dt = double(now - lastTickMs) / 1000.0 * speed;
    lastTickMs = now;
    seekTo(currentTime + dt);
    if (currentTime >= duration)
        setPlaying(false);
}

void ReplayWidget::updateMetricsAvailability()
{
    voltageLabel->setVisible(voltageIndex >= 0);
    currentLabel->setVisible(currentIndex >= 0);
    powerLabel->setVisible(voltageIndex >= 0 && currentIndex >= 0);
    rpmLabel->setVisible(escRpmIndex >= 0 || varnekRpmIndex >= 0);
    elevatorLabel->setVisible(elevatorIndex >= 0);
    aileronLabel->setVisible(aileronIndex >= 0);
    rudderLabel->setVisible(rudderIndex >= 0);
    vibrationLabel->setVisible(vibrationIndex >= 0);
    metricsBox->setVisible(voltageIndex >= 0 || currentIndex >= 0 || escRpmIndex >= 0
                           || varnekRpmIndex >= 0 || elevatorIndex >= 0 || aileronIndex >= 0
                           || rudderIndex >= 0 || vibrationIndex >= 0);
}

void ReplayWidget::updateMetrics()
{
    const double t = currentTime;
    if (voltageIndex >= 0)
        voltageLabel->setText(tr("Voltage: %1 V").arg(fixed1(valueAtTime(voltageIndex, t))));
    if (currentIndex >= 0)
        currentLabel->setText(tr("Current: %1 A").arg(fixed1(valueAtTime(currentIndex, t))));
    if (voltageIndex >= 0 && currentIndex >= 0) {
        const double power = valueAtTime(voltageIndex, t) * valueAtTime(currentIndex, t);
        powerLabel->setText(tr("Power: %1 W").arg(fixed1(power)));
    }
    const int rpm = escRpmIndex >= 0 ? escRpmIndex : varnekRpmIndex;
    if (rpm >= 0)
        rpmLabel->setText(tr("RPM: %1").arg(roundHalfUp(valueAtTime(rpm, t))));
    if (elevatorIndex >= 0)
        elevatorLabel->setText(tr("Elevator: %1 °/s").arg(fixed1(valueAtTime(elevatorIndex, t))));
    if (aileronIndex >= 0)
        aileronLabel->setText(tr("Aileron: %1 °/s").arg(fixed1(valueAtTime(aileronIndex, t))));
    if (rudderIndex >= 0)
        rudderLabel->setText(tr("Rudder: %1 °/s").arg(fixed1(valueAtTime(rudderIndex, t))));
    if (vibrationIndex >= 0)
        vibrationLabel->setText(
            tr("Vibration: %1 %").arg(roundHalfUp(valueAtTime(vibrationIndex, t))));
}

void ReplayWidget::updateModel3D()
{
    if (!rootObject)
        return;
    const double alt = valueAtTime(altitudeIndex, currentTime);
    const QQuaternion q = interpolatedRawQuaternion(currentTime);
    rootObject->setProperty("mdl_quat", QVariant::fromValue(ModelScene::toScene(q)));
    rootObject->setProperty("mdl_alt", alt);
    moveLights();
}

void ReplayWidget::moveLights()
{
    const qint64 ms = lightClock.elapsed();
    rootObject->setProperty("light_pulse", ModelScene::lightPulse(ms));
    rootObject->setProperty("light_sweep", ModelScene::lightSweep(ms));
}

void ReplayWidget::onLightTick()
{
    // Hidden behind another page, nothing is rendered and nothing needs to move.
    if (rootObject && viewContainer->isVisible())
        moveLights();
}

void ReplayWidget::updatePlotCursor()
{
    if (plot->graphCount() == 0)
        return;
    panel->placeCursor(currentTime);
    // Only the cursor moved: redraw its buffered layer alone, not the graphs.
    plot->replotCursorLayer();
}

void ReplayWidget::rebuildGraphs()
{
    panel->rebuildGraphs();
}
