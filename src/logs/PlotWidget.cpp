#include "PlotWidget.h"

#include "LogGraph.h"
#include "LogPlotPanel.h"
#include "LogSeries.h"
#include "LogTabLoader.h"
#include "MultiAxisPlot.h"
#include "PageScrollArea.h"
#include "PlainMessageBox.h"
#include "PlotStyle.h"
#include "RadioScanner.h"
#include "SaveFileCommit.h"
#include "Theme.h"
#include "TimeAxisTicker.h"
#include "WelcomeScreenWidget.h"

#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Left of this offset inside a list row lies the check box.
constexpr int CheckBoxWidthPx = 26;

} // namespace

PlotWidget::PlotWidget(RadioScanner *scanner, QWidget *parent)
    : QWidget(parent)
{
    plot = new MultiAxisPlot(this);
    plot->setObjectName(QStringLiteral("plot"));
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables
                          | QCP::iSelectLegend);
    plot->setFocusPolicy(Qt::StrongFocus);
    plot->setPlottingHints(plot->plottingHints() | QCP::phFastPolylines);
    // With many variables checked the lines take longer to draw than a window may stall.
    plot->setBackgroundDrawing(true);
    plot->axisRect()->setRangeDragAxes(plot->xAxis, nullptr);
    plot->axisRect()->setRangeZoomAxes(plot->xAxis, nullptr);
    timeTicker = QSharedPointer<TimeAxisTicker>::create();
    plot->xAxis->setTicker(timeTicker);
    plot->xAxis->setLabel(tr("Time [m:ss]"));
    plot->legend->setVisible(false);

    cursorLabel = new QCPItemText(plot);
    cursorLabel->position->setTypeX(QCPItemPosition::ptPlotCoords);
    cursorLabel->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    cursorLabel->position->setCoords(0, 0.02);
    cursorLabel->setPositionAlignment(Qt::AlignTop | Qt::AlignHCenter);
    cursorLabel->setColor(QColor(Theme::Text));
    cursorLabel->setBrush(QBrush(Theme::withAlpha(Theme::Alternate, 235)));
    cursorLabel->setPen(QPen(QColor(QStringLiteral("#5a5a5e")), 1));
    cursorLabel->setPadding(QMargins(4, 2, 4, 2));
    cursorLabel->setLayer(plot->cursorLayer());
    cursorLabel->setSelectable(false);
    cursorLabel->setVisible(false);

    // The legend and the axis rect move with every layout.
    connect(plot, &QCustomPlot::afterLayout, this, [this]() {
        if (hasCursor)
            placeCursorLabel();
    });
    connect(plot, &MultiAxisPlot::plotClicked, this, &PlotWidget::onPlotClicked);
    connect(plot, &MultiAxisPlot::arrowKeyPressed, this, &PlotWidget::onArrowKeyPressed);
    connect(plot, &QCustomPlot::selectionChangedByUser, this, &PlotWidget::onPlotSelectionChanged);

    PlotStyle::applyDarkTheme(plot, QColor(Theme::Text));

    auto *openButton = new QPushButton(tr("Open Log File..."), this);
    saveButton = new QPushButton(tr("Save"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setEnabled(false);
    auto *resetButton = new QPushButton(tr("Reset View"), this);
    connect(openButton, &QPushButton::clicked, this, &PlotWidget::openLogFile);
    connect(saveButton, &QPushButton::clicked, this, &PlotWidget::saveLogFile);
    connect(resetButton, &QPushButton::clicked, this, &PlotWidget::resetView);

    auto *radioLogList = new QListWidget(this);
    radioLogList->setObjectName(QStringLiteral("radioLogList"));
    radioLogList->setMaximumHeight(120);
    radioLogList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    radioLogList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    radioLogList->hide();
    connect(radioLogList, &QListWidget::itemClicked, this, &PlotWidget::onLogItemClicked);

    QListWidget *variableList = LogPlotPanel::createVariableList(this);
    panel = new LogPlotPanel(plot, variableList, QColor(Theme::Text), true, this);
    connect(panel, &LogPlotPanel::graphsChanged, this, [this]() {
        rebuildValueTable();
        // New graphs are never selected, so no highlight survives.
        highlight(QString());
    });
    variableList->viewport()->installEventFilter(this);

    // Drawn above the panel's cursor line: last on their layer.
    cursorLabel->setLayer(plot->cursorLayer());

    auto *statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setTextFormat(Qt::PlainText); // log and file names come from outside
    statusLabel->setWordWrap(true);
    QProgressBar *busyBar = WelcomeScreenWidget::createBusyBar(this);

    auto *leftPanel = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(leftPanel);
    leftLayout->addWidget(radioLogList);
    leftLayout->addSpacing(6);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(openButton, 1);
    fileRow->addWidget(saveButton, 0);
    leftLayout->addLayout(fileRow);
    leftLayout->addWidget(resetButton);
    leftLayout->addWidget(new QLabel(tr("Variables:"), leftPanel));
    leftLayout->addWidget(variableList, 1);
    leftLayout->addWidget(statusLabel);
    leftLayout->addWidget(busyBar);
    // 240 wide, the names in full; wider only when a large font needs it for the buttons.
    leftPanel->setFixedWidth(qMax(240, leftPanel->minimumSizeHint().width()));

    valueTable = new QTableWidget(0, 4, this);
    valueTable->setObjectName(QStringLiteral("valueTable"));
    valueTable->setHorizontalHeaderLabels({tr("Variable"), tr("Min"), tr("Max"), tr("At Cursor")});
    valueTable->verticalHeader()->setVisible(false);
    valueTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    valueTable->setSelectionMode(QAbstractItemView::NoSelection);
    QHeaderView *header = valueTable->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    // The value columns keep their width unless a heading needs more ("At Cursor"); the
    // stretching name column keeps room for its own beside them (and a scroll bar). A
    // narrower window scrolls the page instead of cutting a heading.
    int tableWidth = header->sectionSizeHint(0) + 2 * valueTable->frameWidth()
        + valueTable->verticalScrollBar()->sizeHint().width();
    for (int column = 1; column < valueTable->columnCount(); ++column) {
        const int width = qMax(header->defaultSectionSize(), header->sectionSizeHint(column));
        header->resizeSection(column, width);
        tableWidth += width;
    }
    valueTable->setMinimumWidth(tableWidth);
    valueTable->setMaximumHeight(170);

    auto *content = new QWidget(this);
    auto *contentLayout = new QHBoxLayout(content);
    contentLayout->addWidget(leftPanel, 0);
    auto *rightLayout = new QVBoxLayout;
    rightLayout->addWidget(plot, 1);
    rightLayout->addWidget(valueTable, 0);
    contentLayout->addLayout(rightLayout, 1);

    welcome = new WelcomeScreenWidget(
        QStringLiteral(":/icons/tab-logviewer.svg"),
        tr("<span style='color:%1;'>View</span> your Log.").arg(Theme::Accent),
        tr("Open a stored flight log. Plot, zoom, and compare."),
        tr("Start Varnek Remote app from the Apps/Files menu on your Kelo radio, or open a saved "
           "log file above."),
        tr("Check the variables you want, then read the plot."), this);
    connect(welcome, &WelcomeScreenWidget::openLogFileClicked, this, &PlotWidget::openLogFile);
    connect(welcome, &WelcomeScreenWidget::logItemClicked, this, &PlotWidget::onLogItemClicked);

    // Connects to the scanner and takes its current radio, if any.
    loading = new LogTabLoader(scanner, radioLogList, welcome, statusLabel, busyBar, true, this);
    connect(loading, &LogTabLoader::loaded, this, &PlotWidget::onLogLoaded);
    connect(loading, &LogTabLoader::fileFailed, this,
            [this](const QString &error) { showWarning(tr("Open Log File"), error); });

    stack = new QStackedWidget(this);
    stack->addWidget(welcome);
    stack->addWidget(new PageScrollArea(content, stack));
    stack->setCurrentIndex(0);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack);
}

QColor PlotWidget::colorForIndex(int index)
{
    return PlotStyle::colorForIndex(index);
}

QString PlotWidget::withLogSuffix(const QString &path)
{
    if (path.endsWith(QLatin1String(".log"), Qt::CaseInsensitive))
        return path;
    return path + QLatin1String(".log");
}

QString PlotWidget::valueText(double value)
{
    const double magnitude = std::fabs(value);
    const int decimals = magnitude >= 1000 ? 0 : magnitude >= 100 ? 1 : magnitude >= 1 ? 2 : 3;
    return QString::number(value, 'f', decimals);
}

QString PlotWidget::cursorText(double key)
{
    // 64-bit milliseconds: a 32-bit count would wrap after 24.8 days.
    const double roundedMs = std::round(std::fabs(key) * 1000.0);
    const qint64 ms = roundedMs < 9.0e18 ? qint64(roundedMs) : qint64(9000000000000000000LL);
    return QStringLiteral("%1%2:%3.%4")
        .arg(key < 0 ? QStringLiteral("-") : QString())
        .arg(ms / 60000)
        .arg((ms / 1000) % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void PlotWidget::showWarning(const QString &title, const QString &text)
{
    showPlainMessage(this, QMessageBox::Warning, title, text);
}

void PlotWidget::openLogFile()
{
    loading->askForFile(this);
}

void PlotWidget::loadLogFile(const QString &path)
{
    loading->loadFile(path);
}

bool PlotWidget::isLoading() const
{
    return loading->isLoading();
}

void PlotWidget::onLogLoaded(const LogLoader::Result &result)
{
    rawLogData = result.bytes;
    saveButton->setEnabled(true);
    setVariables(result.log->variables);
    shownLog = result.log;
    loading->setStatus(tr("Loaded %1 variable(s) from %2")
                           .arg(QString::number(result.log->variables.size()), result.label));
}

void PlotWidget::saveLogFile()
{
    if (rawLogData.isEmpty())
        return;
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Log File"), tr("log.log"),
                                                      tr("Log Files (*.log)"));
    if (path.isEmpty())
        return;
    saveLogTo(path);
}

bool PlotWidget::saveLogTo(const QString &chosenPath)
{
    if (rawLogData.isEmpty())
        return false;
    const QString path = withLogSuffix(chosenPath);
    // Written beside the target and renamed over it, so a failure leaves the old file whole.
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(rawLogData) == rawLogData.size()
        && commitSaveFile(file);
    if (!ok) {
        showWarning(tr("Save Log File"), tr("Cannot write file: %1").arg(path));
        return false;
    }
    loading->setStatus(tr("Saved log to %1").arg(QFileInfo(path).fileName()));
    return true;
}

void PlotWidget::onLogItemClicked(QListWidgetItem *item)
{
    loading->downloadLog(item);
}

const QVector<LogVariable> &PlotWidget::logVariables() const
{
    return panel->variables();
}

void PlotWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!contentPagePrepared) {
        contentPagePrepared = true;
        QTimer::singleShot(0, this, &PlotWidget::prepareContentPage);
    }
}

// The first show of the plot's page lays it out and makes the plot's paint buffers: megabytes
// of fresh memory, tens of milliseconds where page faults are costly. Done once the tab is
// up, not when the first log opens. Shown and hidden again in one go, it never paints.
void PlotWidget::prepareContentPage()
{
    if (stack->currentIndex() != 0 || !isVisible())
        return;
    stack->setUpdatesEnabled(false);
    stack->setCurrentIndex(1);
    stack->setCurrentIndex(0);
    stack->setUpdatesEnabled(true);
}

void PlotWidget::setVariables(const QVector<LogVariable> &vars)
{
    shownLog.reset();
    panel->setVariables(vars);
    hasCursor = false;
    panel->hideCursor();
    cursorLabel->setVisible(false);
    rebuildGraphs();
    stack->setCurrentIndex(1);
}

void PlotWidget::rebuildGraphs()
{
    panel->rebuildGraphs();
}

void PlotWidget::rebuildValueTable()
{
    tableRowVariable.clear();
    valueTable->clearContents();
    const QVector<LogVariable> &variables = panel->variables();
    const QVector<int> &rows = panel->graphRows();
    valueTable->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const int j = rows[row];
        auto *nameItem = new QTableWidgetItem(variables[j].name);
        nameItem->setForeground(colorForIndex(j));
        valueTable->setItem(row, 0, nameItem);

        // NaN samples (an all-zero attitude) neither win nor hide the range.
        QString minText = valueText(0);
        QString maxText = minText;
        if (!variables[j].values.isEmpty()) {
            const QSharedPointer<const PlotSeries> s = panel->seriesFor(j);
            minText = s->hasFinite ? valueText(s->finiteMin) : QStringLiteral("-");
            maxText = s->hasFinite ? valueText(s->finiteMax) : QStringLiteral("-");
        }
        valueTable->setItem(row, 1, new QTableWidgetItem(minText));
        valueTable->setItem(row, 2, new QTableWidgetItem(maxText));
        valueTable->setItem(row, 3, new QTableWidgetItem(QStringLiteral("-")));
        tableRowVariable.append(j);
    }
    // Laid out now: the layout Qt leaves for later repainted the whole table a second time,
    // just after the paint of its new rows.
    valueTable->doItemsLayout();
}

void PlotWidget::selectVariable(const QString &name)
{
    highlight(name);
    plot->replot(QCustomPlot::rpRefreshHint);
}

void PlotWidget::highlight(const QString &name)
{
    for (int i = 0; i < plot->graphCount(); ++i) {
        QCPGraph *graph = plot->graph(i);
        const bool match = !name.isEmpty() && graph->name() == name;
        graph->setSelection(match ? QCPDataSelection(QCPDataRange(0, graph->dataCount()))
                                  : QCPDataSelection());
        if (QCPPlottableLegendItem *legendItem = plot->legend->itemWithPlottable(graph))
            legendItem->setSelected(match);
    }
    {
        QListWidget *variableList = panel->list();
        const QSignalBlocker blocker(variableList);
        for (int i = 0; i < variableList->count(); ++i) {
            QListWidgetItem *item = variableList->item(i);
            QFont font = variableList->font();
            font.setWeight(item->text() == name ? QFont::Bold : QFont::Normal);
            item->setFont(font);
        }
    }
    for (int row = 0; row < valueTable->rowCount() && row < tableRowVariable.size(); ++row) {
        const bool match = panel->variables()[tableRowVariable[row]].name == name;
        for (int col = 0; col < valueTable->columnCount(); ++col) {
            if (QTableWidgetItem *cell = valueTable->item(row, col))
                cell->setBackground(match ? QBrush(Theme::withAlpha(Theme::Accent, 55)) : QBrush());
        }
    }
}

void PlotWidget::onPlotSelectionChanged()
{
    QString name;
    const QList<QCPGraph *> graphs = plot->selectedGraphs();
    if (!graphs.isEmpty()) {
        name = graphs.first()->name();
    } else {
        for (QCPAbstractLegendItem *item : plot->legend->selectedItems()) {
            if (auto *plottableItem = qobject_cast<QCPPlottableLegendItem *>(item)) {
                name = plottableItem->plottable()->name();
                break;
            }
        }
    }
    selectVariable(name);
}

bool PlotWidget::eventFilter(QObject *watched, QEvent *event)
{
    QListWidget *variableList = panel->list();
    if (watched == variableList->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint pos = mouse->localPos().toPoint();
        if (QListWidgetItem *item = variableList->itemAt(pos)) {
            if (variableList->visualItemRect(item).left() + CheckBoxWidthPx < pos.x())
                selectVariable(item->text());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PlotWidget::onPlotClicked(double key)
{
    updateCursor(key);
}

// At the top of the line, or just below the legend where it would cover the legend's names.
void PlotWidget::placeCursorLabel()
{
    double ratio = 0.02;
    const QRect area = plot->axisRect()->rect();
    if (plot->legend->visible() && area.height() > 0) {
        const int centre = qRound(plot->xAxis->coordToPixel(cursorKey));
        const QRect label(QPoint(centre - cursorLabelSize.width() / 2,
                                 area.top() + qRound(ratio * area.height())),
                          cursorLabelSize);
        const QRect legend = plot->legend->outerRect();
        if (label.intersects(legend))
            ratio = double(legend.bottom() + 4 - area.top()) / area.height();
    }
    cursorLabel->position->setCoords(cursorKey, ratio);
}

void PlotWidget::updateCursor(double key)
{
    if (!std::isfinite(key))
        return;
    cursorKey = key;
    hasCursor = true;
    panel->placeCursor(key);
    cursorLabel->setText(cursorText(key));
    // Measured once per text; every layout places the label again.
    const QMargins padding = cursorLabel->padding();
    cursorLabelSize = QFontMetrics(cursorLabel->font()).size(0, cursorLabel->text())
        + QSize(padding.left() + padding.right(), padding.top() + padding.bottom());
    placeCursorLabel();
    cursorLabel->setVisible(true);

    for (int row = 0; row < valueTable->rowCount() && row < tableRowVariable.size(); ++row) {
        const LogVariable &v = panel->variables()[tableRowVariable[row]];
        const int index = LogSeries::nearestIndex(v, key);
        QTableWidgetItem *cell = valueTable->item(row, 3);
        if (cell && index >= 0 && index < v.values.size())
            cell->setText(valueText(v.values[index]));
    }
    plot->replotCursorLayer();
}

void PlotWidget::onArrowKeyPressed(int direction)
{
    if (!hasCursor)
        return;
    const int width = plot->axisRect()->width();
    if (width <= 0)
        return;
    const double span = plot->xAxis->range().size();
    updateCursor(cursorKey + direction * (span / width) * 3);
}

void PlotWidget::resetView()
{
    panel->fitRanges();
    plot->replot(QCustomPlot::rpRefreshHint);
}
