#pragma once

#include "LogLoader.h"
#include "LogVariable.h"

#include <QByteArray>
#include <QColor>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <QWidget>

#include <qcustomplot.h>

class MultiAxisPlot;
class QLabel;
class QListWidget;
class QListWidgetItem;
class LogPlotPanel;
class LogTabLoader;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class RadioScanner;
class TimeAxisTicker;
class WelcomeScreenWidget;

// The "Log Viewer" tab: open or download a flight log, plot the checked variables each on
// a value axis of its own, read values at a time cursor, save the log's bytes.
class PlotWidget : public QWidget
{
    Q_OBJECT
public:
    PlotWidget(RadioScanner *scanner, QWidget *parent = nullptr);

    // What the Open and Save buttons do once the user has picked a path. The log is read
    // and parsed on a worker thread; the tab shows it, or a warning, when that is done.
    void loadLogFile(const QString &path);
    bool saveLogTo(const QString &chosenPath);
    // A file or downloaded log is being read or parsed, or a download is under way.
    bool isLoading() const;
    // The variables of the log shown, quaternion components left out.
    const QVector<LogVariable> &logVariables() const;

    // A path with ".log" appended unless it already ends so (any case).
    static QString withLogSuffix(const QString &path);
    // Fixed decimals by magnitude: 0 from 1000, 1 from 100, 2 from 1, else 3.
    static QString valueText(double value);
    // "m:ss.mmm" of a time in seconds, "-" in front of negative times.
    static QString cursorText(double key);
    static QColor colorForIndex(int index);

    void setVariables(const QVector<LogVariable> &vars);
    void updateCursor(double key);
    // One graph per checked variable, made anew.
    void rebuildGraphs();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void openLogFile();
    void saveLogFile();
    void resetView();
    void onPlotClicked(double key);
    void onPlotSelectionChanged();
    void onArrowKeyPressed(int direction);
    void onLogItemClicked(QListWidgetItem *item);
    void onLogLoaded(const LogLoader::Result &result);

private:
    void prepareContentPage();
    void rebuildValueTable();
    void selectVariable(const QString &name);
    void highlight(const QString &name); // selectVariable without the replot
    void placeCursorLabel();
    void showWarning(const QString &title, const QString &text);

    QStackedWidget *stack = nullptr;
    WelcomeScreenWidget *welcome = nullptr;
    MultiAxisPlot *plot = nullptr;
    QPushButton *saveButton = nullptr;
    QByteArray rawLogData;
    QTableWidget *valueTable = nullptr;
    QCPItemText *cursorLabel = nullptr;
    QSharedPointer<TimeAxisTicker> timeTicker;
    double cursorKey = 0.0;
    QSize cursorLabelSize; // of the label's text and padding
    bool hasCursor = false;
    bool contentPagePrepared = false;
    QVector<int> tableRowVariable;
    LogPlotPanel *panel = nullptr; // the variable list, the graphs, the cursor line
    LogTabLoader *loading = nullptr;
    ParsedLogPtr shownLog; // what the other tab may share while this one shows it
};
