#include "ReplayWidget.h"

#include "FoldingRowLayout.h"
#include "FramePacer.h"
#include "LogPlotPanel.h"
#include "LogTabLoader.h"
#include "ModelScene.h"
#include "MultiAxisPlot.h"
#include "PageScrollArea.h"
#include "PlainMessageBox.h"
#include "PlotStyle.h"
#include "RadioScanner.h"
#include "ReplayChannels.h"
#include "StickGimbalWidget.h"
#include "Theme.h"
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
#include <memory>

namespace {

QLabel *greyLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setStyleSheet(Theme::secondaryTextStyleSheet());
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
        tr("<span style='color:%1;'>Replay</span> your Log.").arg(Theme::Accent),
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
        const char *name;
        QString sample;
    };
    // By ReplayChannels::Figure.
    const Figure figureNames[ReplayChannels::FigureCount] = {
        {"voltageLabel", tr("Voltage: -99.9 V")},      {"currentLabel", tr("Current: -999.9 A")},
        {"powerLabel", tr("Power: -9999.9 W")},        {"rpmLabel", tr("RPM: -99999")},
        {"elevatorLabel", tr("Elevator: -999.9 °/s")}, {"aileronLabel", tr("Aileron: -999.9 °/s")},
        {"rudderLabel", tr("Rudder: -999.9 °/s")},     {"vibrationLabel", tr("Vibration: 100 %")},
    };
    for (int i = 0; i < ReplayChannels::FigureCount; ++i) {
        figureLabels[i] = greyLabel(metricsBox);
        figureLabels[i]->setObjectName(QLatin1String(figureNames[i].name));
        grid->addWidget(figureLabels[i]);
    }
    const QFontMetrics figureMetrics = figureLabels[0]->fontMetrics();
    for (int i = 0; i < ReplayChannels::FigureCount; ++i)
        figureLabels[i]->setFixedWidth(figureMetrics.horizontalAdvance(figureNames[i].sample));
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
        showPlainMessage(this, QMessageBox::Warning, tr("Open Log File"), error);
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
    quickView->setColor(QColor(Theme::ImageBackground));
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
    channels.setVariables(vars);
    updateMetricsAvailability();
    panel->setVariables(channels.variables());
    rebuildGraphs();
    setPlaying(false);

    // Stamps are 32-bit milliseconds, so a log can outgrow an int slider in ms: the
    // slider then counts coarser steps.
    const double duration = channels.duration();
    const double maxSteps = double(std::numeric_limits<int>::max());
    sliderScale = duration * 1000.0 > maxSteps ? maxSteps / duration : 1000.0;
    positionSlider->setEnabled(duration > 0.0);
    positionSlider->setRange(0, sliderValue(duration));
    playButton->setEnabled(duration > 0.0);
    seekTo(0.0);

    QString status = tr("Loaded %1").arg(label);
    if (!channels.hasSticks())
        status += tr(" (no stick data in this log)");
    loading->setStatus(status);
    if (rootObject && !modelViewShown)
        showModelViewAfterPage();
    stack->setCurrentIndex(1);
}

// The 3D view's first show starts its renderer: an OpenGL window, the first frame and Qt 3D's
// engine with the scene, each tens of milliseconds of the GUI thread. One after the other, a
// turn after the page, the window answers in between: the page is on screen first, the view's
// place kept meanwhile, then the view's background, then the model.
void ReplayWidget::showModelViewAfterPage()
{
    modelViewShown = true;
    QSizePolicy kept = viewContainer->sizePolicy();
    kept.setRetainSizeWhenHidden(true);
    viewContainer->setSizePolicy(kept);
    viewContainer->hide();
    QTimer::singleShot(0, this, [this]() {
        QSizePolicy policy = viewContainer->sizePolicy();
        policy.setRetainSizeWhenHidden(false);
        viewContainer->setSizePolicy(policy);
        if (rootObject)
            viewContainer->show();
    });
    // Qt 3D starts with the scene, once the view has drawn its first frame.
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(
        quickView, &QQuickWindow::frameSwapped, this,
        [this, once]() {
            disconnect(*once);
            if (rootObject)
                rootObject->setProperty("scene_started", true);
        },
        Qt::QueuedConnection);
}

int ReplayWidget::indexOfVariable(const QString &name) const
{
    return channels.indexOf(name);
}

double ReplayWidget::valueAtTime(int index, double t) const
{
    return channels.valueAt(index, t);
}

QQuaternion ReplayWidget::interpolatedRawQuaternion(double t) const
{
    return channels.rawQuaternion(t);
}

QString ReplayWidget::formatMinSec(double seconds)
{
    const qint64 s = ReplayChannels::roundHalfUp(seconds);
    const qint64 m = s / 60;
    return QStringLiteral("%1:%2").arg(m).arg(s - 60 * m, 2, 10, QLatin1Char('0'));
}

void ReplayWidget::seekTo(double t)
{
    if (std::isnan(t))
        t = 0.0;
    const double duration = channels.duration();
    currentTime = std::max(std::min(t, duration), 0.0);

    {
        const QSignalBlocker block(positionSlider);
        positionSlider->setValue(sliderValue(currentTime));
    }
    timeLabel->setText(tr("%1 / %2").arg(formatMinSec(currentTime), formatMinSec(duration)));

    leftGimbal->setValues(channels.valueAt(ReplayChannels::StickLH, currentTime),
                          channels.valueAt(ReplayChannels::StickLV, currentTime));
    rightGimbal->setValues(channels.valueAt(ReplayChannels::StickRH, currentTime),
                           channels.valueAt(ReplayChannels::StickRV, currentTime));
    leftStickLabel->setText(channels.leftStickText(currentTime));
    rightStickLabel->setText(channels.rightStickText(currentTime));

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
    if (currentTime >= channels.duration())
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
    if (currentTime >= channels.duration())
        setPlaying(false);
}

void ReplayWidget::updateMetricsAvailability()
{
    bool any = false;
    for (int i = 0; i < ReplayChannels::FigureCount; ++i) {
        const bool shown = channels.shows(ReplayChannels::Figure(i));
        figureLabels[i]->setVisible(shown);
        any = any || shown;
    }
    metricsBox->setVisible(any);
}

void ReplayWidget::updateMetrics()
{
    for (int i = 0; i < ReplayChannels::FigureCount; ++i) {
        const auto figure = ReplayChannels::Figure(i);
        if (channels.shows(figure))
            figureLabels[i]->setText(channels.figureText(figure, currentTime));
    }
}

void ReplayWidget::updateModel3D()
{
    if (!rootObject)
        return;
    const double alt = channels.valueAt(ReplayChannels::Altitude, currentTime);
    const QQuaternion q = channels.rawQuaternion(currentTime);
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
