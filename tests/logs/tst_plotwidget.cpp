#include "FakeRadio.h"
#include "KeloResources.h"
#include "LogGenerator.h"
#include "LogReader.h"
#include "LogTabLoader.h"
#include "MultiAxisPlot.h"
#include "PlotWidget.h"
#include "RadioScanner.h"
#include "TestSupport.h"
#include "WelcomeScreenWidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

namespace {

// Opens a file as the Open button does and waits until the tab is done with it, warning
// boxes answered; true when the log was loaded.
bool openLog(PlotWidget &widget, const QString &path)
{
    auto *loading = widget.findChild<LogTabLoader *>();
    if (!loading)
        return false;
    QSignalSpy loaded(loading, &LogTabLoader::loaded);
    widget.loadLogFile(path);
    return QTest::qWaitFor([&] { return !widget.isLoading(); }, 10000) && loaded.count() == 1;
}

// The tab with a scanner that sends nothing; tests reach its parts by object name.
struct Tab
{
    RadioScanner scanner;
    PlotWidget widget {&scanner};
    MultiAxisPlot *plot = widget.findChild<MultiAxisPlot *>(QStringLiteral("plot"));
    QListWidget *variables = widget.findChild<QListWidget *>(QStringLiteral("variableList"));
    QTableWidget *table = widget.findChild<QTableWidget *>(QStringLiteral("valueTable"));
    QLabel *status = widget.findChild<QLabel *>(QStringLiteral("statusLabel"));
    QPushButton *save = widget.findChild<QPushButton *>(QStringLiteral("saveButton"));
    QStackedWidget *stack = widget.findChild<QStackedWidget *>();
    WelcomeScreenWidget *welcome = widget.findChild<WelcomeScreenWidget *>();

    Tab() { widget.resize(1100, 760); }
    bool open(const QString &path) { return openLog(widget, path); }
    void show()
    {
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
    }
    void check(int row, bool on = true)
    {
        variables->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    int row(const QString &name) const
    {
        const auto items = variables->findItems(name, Qt::MatchExactly);
        return items.isEmpty() ? -1 : variables->row(items.first());
    }
    QCPItemText *cursorLabel() const
    {
        for (int i = 0; i < plot->itemCount(); ++i) {
            if (auto *text = qobject_cast<QCPItemText *>(plot->item(i)))
                return text;
        }
        return nullptr;
    }
    QString atCursor(int tableRow) const { return table->item(tableRow, 3)->text(); }
    // The radio found with model "M"; the tab's radio-log list once it holds `logs` items.
    QListWidget *radioLogs(FakeRadio &radio, int logs)
    {
        scanner.ip = radio.address();
        emit scanner.deviceFound(radio.address(), QString(), QStringLiteral("M"));
        auto *list = widget.findChild<QListWidget *>(QStringLiteral("radioLogList"));
        if (!QTest::qWaitFor([&] { return list->count() == logs; }, 10000))
            return nullptr;
        return list;
    }
    QProgressBar *busyBar() const
    {
        return widget.findChild<QProgressBar *>(QStringLiteral("busyBar"));
    }
    QLabel *cardLoadingLabel() const
    {
        return welcome->findChild<QLabel *>(QStringLiteral("loadingLabel"));
    }
    QProgressBar *cardLoadingBar() const
    {
        return welcome->findChild<QProgressBar *>(QStringLiteral("loadingBar"));
    }
};

LogVariable series(const QString &name, QVector<double> times, QVector<double> values)
{
    LogVariable v;
    v.name = name;
    v.times = std::move(times);
    v.values = std::move(values);
    return v;
}

// Sticks (19 fixed words and channels 1-3) and attitude, 0.1 s apart.
QByteArray smallLog(int records = 20)
{
    LogGenerator g;
    for (int i = 0; i < records; ++i) {
        QVector<qint16> words(22);
        for (int w = 0; w < words.size(); ++w)
            words[w] = qint16((i * 300 + w * 700) % 16000);
        g.sticks(quint32(i * 100), words);
        g.attitude(quint32(i * 100), std::cos(i * 0.05), std::sin(i * 0.05), 0, 0);
    }
    return g.bytes();
}

// The path written; empty when the write failed.
QString writeFile(const QString &path, const QByteArray &bytes)
{
    return TestSupport::writeFile(path, bytes) ? path : QString();
}

// The middle of a list row's check box, where its style draws it.
QPoint checkBoxCentre(QListWidget *list, int row)
{
    QListWidgetItem *item = list->item(row);
    list->scrollToItem(item);
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.font = item->font();
    option.text = item->text();
    return list->style()
        ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list)
        .center();
}

// A file that cannot be read compares unequal even to an empty expectation.
QByteArray readFile(const QString &path)
{
    return QFileInfo(path).isFile() ? TestSupport::readFile(path) : QByteArray("<unreadable>");
}

// Accepts the next message box and remembers its title and text.
struct WarningCatcher
{
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    WarningCatcher()
    {
        TestSupport::answerNextModal([this](QWidget *w) {
            if (auto *box = qobject_cast<QMessageBox *>(w)) {
                title = box->windowTitle();
                text = box->text();
                format = box->textFormat();
                box->accept();
            } else if (auto *dialog = qobject_cast<QDialog *>(w)) {
                dialog->reject();
            }
        });
    }
};

// Everything a check change may alter, as text: graphs, axes, ranges, legend, table and
// highlights.
QStringList plotState(const Tab &tab)
{
    QStringList out;
    const auto range = [](const QCPAxis *a) {
        return QStringLiteral("%1..%2")
            .arg(a->range().lower, 0, 'g', 17)
            .arg(a->range().upper, 0, 'g', 17);
    };
    out << QStringLiteral("x %1").arg(range(tab.plot->xAxis));
    for (QCPAxis *a : tab.plot->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight)) {
        if (a->visible())
            out << QStringLiteral("axis %1 '%2' %3 %4 grid %5")
                       .arg(a->axisType())
                       .arg(a->label(), range(a), a->labelColor().name())
                       .arg(a->grid()->visible());
    }
    for (int i = 0; i < tab.plot->graphCount(); ++i) {
        const QCPGraph *g = tab.plot->graph(i);
        out << QStringLiteral("graph %1 on '%2' %3 %4 selected %5 points %6")
                   .arg(g->name(), g->valueAxis()->label(), g->pen().color().name())
                   .arg(g->pen().widthF())
                   .arg(g->selected())
                   .arg(g->dataCount());
    }
    out << QStringLiteral("legend %1 items %2")
               .arg(tab.plot->legend->visible())
               .arg(tab.plot->legend->itemCount());
    for (int r = 0; r < tab.table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < tab.table->columnCount(); ++c)
            cells << tab.table->item(r, c)->text() + QLatin1Char('/')
                    + tab.table->item(r, c)->background().color().name(QColor::HexArgb);
        out << QStringLiteral("row ") + cells.join(QLatin1Char(' '));
    }
    for (int i = 0; i < tab.variables->count(); ++i) {
        if (tab.variables->item(i)->font().bold())
            out << QStringLiteral("bold ") + tab.variables->item(i)->text();
    }
    return out;
}

// Four variables: a ramp, a flat one (whose axis range depends on the axis's width), a
// channel (forced to -100..100) and a wave.
QVector<LogVariable> toggleVariables()
{
    QVector<double> t, ramp, flat, channel, wave;
    for (int i = 0; i < 400; ++i) {
        t << i * 0.05;
        ramp << i * 0.5;
        flat << 3.0;
        channel << (i % 40) - 20.0;
        wave << std::sin(i * 0.1) * 7;
    }
    return {series(QStringLiteral("Ramp [V]"), t, ramp),
            series(QStringLiteral("Flat [A]"), t, flat),
            series(QStringLiteral("Channel 3 [%]"), t, channel),
            series(QStringLiteral("Wave [m]"), t, wave)};
}

} // namespace

class PlotWidgetTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void valueText_data();
    void valueText();
    void cursorText_data();
    void cursorText();
    void withLogSuffix_data();
    void withLogSuffix();

    void openListsVariablesWithoutQuaternion();
    void openFailuresChangeNothing();
    void openThroughDialog();
    void dialogKeptBetweenOpens();
    void hiddenDialogFollowsNoFolder();
    void valueTablePaintsOncePerToggle();
    void pageLaidOutBeforeFirstOpen();
    void eachCheckedVariableGetsItsOwnAxis();
    void channelAxesSpanFullRange();
    void tableShowsRangeWithDecimals();
    void cursorReadsNearestSample();
    void clickAndArrowKeysMoveCursor();
    void cursorMoveRepaintsOnlyCursorLayer();
    void highlightFromListPressAndLegend();
    void highlightFromAClickOnALine();
    void dragPansTimeOnly();
    void secondLoadReplacesEverything();

    void saveRoundTrip();
    void saveThroughDialogSuggestsLogName();
    void failedSaveKeepsOldFile();
    void fullDiskKeepsOldFile_data();
    void fullDiskKeepsOldFile();

    void radioDownloadLoadsLog();
    void radioDownloadFailuresKeepLog();

    void toggleChangesOnlyItsGraph_data();
    void toggleChangesOnlyItsGraph();
    void loadingShowsStatusAndBusyBar();
    void openedLogEqualsSynchronousParse();
    void secondOpenReplacesFirst();
    void newestOpenWins_data();
    void newestOpenWins();
    void radioLostMidDownload();
    void hiddenTabFinishesLoading();

    void screenshot();
};

void PlotWidgetTest::initTestCase()
{
    initKeloResources();
    TestSupport::unsetProxies();
}

void PlotWidgetTest::valueText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("1000") << 1000.0 << "1000";
    QTest::newRow("1234.4") << 1234.4 << "1234";
    // Below 1000 keeps one decimal, which then rounds up to 1000.0.
    QTest::newRow("999.96") << 999.96 << "1000.0";
    QTest::newRow("123.44") << 123.44 << "123.4";
    QTest::newRow("99.996") << 99.996 << "100.00";
    QTest::newRow("0.5") << 0.5 << "0.500";
    QTest::newRow("0.0004") << 0.0004 << "0.000";
    QTest::newRow("-2.5") << -2.5 << "-2.50";
    QTest::newRow("-1500.6") << -1500.6 << "-1501";
}

void PlotWidgetTest::valueText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(PlotWidget::valueText(value), text);
}

void PlotWidgetTest::cursorText_data()
{
    QTest::addColumn<double>("key");
    QTest::addColumn<QString>("text");
    QTest::newRow("75.4321") << 75.4321 << "1:15.432";
    QTest::newRow("-0.25") << -0.25 << "-0:00.250";
    QTest::newRow("0") << 0.0 << "0:00.000";
    QTest::newRow("rounds to the ms") << 59.9996 << "1:00.000";
    QTest::newRow("an hour") << 3600.0 << "60:00.000";
    // 2^31 ms: a 32-bit millisecond count would turn negative here.
    QTest::newRow("24.8 days") << 2147483.648 << "35791:23.648";
    QTest::newRow("30 days") << 2592000.5 << "43200:00.500";
    QTest::newRow("49.7 days (2^32 ms)") << 4294967.296 << "71582:47.296";
}

void PlotWidgetTest::cursorText()
{
    QFETCH(double, key);
    QFETCH(QString, text);
    QCOMPARE(PlotWidget::cursorText(key), text);
}

void PlotWidgetTest::withLogSuffix_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("path");
    QTest::newRow("no suffix") << "/tmp/flight.txt"
                               << "/tmp/flight.txt.log";
    QTest::newRow("lower case") << "/tmp/a.log"
                                << "/tmp/a.log";
    QTest::newRow("upper case") << "/tmp/A.LOG"
                                << "/tmp/A.LOG";
    QTest::newRow("bare name") << "/tmp/log"
                               << "/tmp/log.log";
}

void PlotWidgetTest::withLogSuffix()
{
    QFETCH(QString, chosen);
    QFETCH(QString, path);
    QCOMPARE(PlotWidget::withLogSuffix(chosen), path);
}

void PlotWidgetTest::openListsVariablesWithoutQuaternion()
{
    QTemporaryDir dir;
    LogGenerator g;
    g.attitude(0, 1, 0, 0, 0);
    g.attitude(100, std::cos(0.1), std::sin(0.1), 0, 0);
    const QString path = writeFile(dir.filePath(QStringLiteral("only13.bin")), g.bytes());
    Tab tab;
    QCOMPARE(tab.stack->currentIndex(), 0);
    QVERIFY(!tab.save->isEnabled());
    QVERIFY(tab.open(path));

    QStringList names;
    for (int i = 0; i < tab.variables->count(); ++i) {
        names << tab.variables->item(i)->text();
        QCOMPARE(tab.variables->item(i)->checkState(), Qt::Unchecked);
        QVERIFY(tab.variables->item(i)->flags() & Qt::ItemIsUserCheckable);
    }
    QCOMPARE(names,
             QStringList({"Varnek Bank", "Varnek Vib Level [%]", "Varnek Alarm", "Varnek RPM",
                          "Varnek Alt [m]", u8"Varnek Pitch [\u00B0]", u8"Varnek Roll [\u00B0]",
                          u8"Varnek Yaw [\u00B0]", u8"Varnek Elevator [\u00B0/s]",
                          u8"Varnek Aileron [\u00B0/s]", u8"Varnek Rudder [\u00B0/s]"}));
    // The count includes the four hidden quaternion series.
    QCOMPARE(tab.status->text(), QStringLiteral("Loaded 15 variable(s) from only13.bin"));
    QCOMPARE(tab.stack->currentIndex(), 1);
    QVERIFY(tab.save->isEnabled());
    QCOMPARE(tab.plot->graphCount(), 0);
    QVERIFY(!tab.plot->legend->visible());
}

void PlotWidgetTest::openFailuresChangeNothing()
{
    QTemporaryDir dir;
    const QString good = writeFile(dir.filePath(QStringLiteral("good.log")), smallLog());
    const QString garbage
        = writeFile(dir.filePath(QStringLiteral("garbage.log")), QByteArray(5, '\x07'));
    const QString missing = dir.filePath(QStringLiteral("<b>missing</b>.log"));

    Tab tab;
    {
        WarningCatcher warning;
        QVERIFY(!tab.open(missing));
        QCOMPARE(warning.title, QStringLiteral("Open Log File"));
        QCOMPARE(warning.text, QStringLiteral("Cannot open file: ") + missing);
        // The path is shown as typed, never as markup.
        QCOMPARE(warning.format, Qt::PlainText);
    }
    QCOMPARE(tab.stack->currentIndex(), 0);

    QVERIFY(tab.open(good));
    const int count = tab.variables->count();
    tab.check(0);
    {
        WarningCatcher warning;
        QVERIFY(!tab.open(garbage));
        QCOMPARE(warning.text, QStringLiteral("No recognized log entries found in file"));
    }
    const QString huge = dir.filePath(QStringLiteral("huge.log"));
    {
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(1) << 31)); // sparse: 2 GiB that take no space
    }
    {
        WarningCatcher warning;
        QVERIFY(!tab.open(huge));
        QCOMPARE(warning.text,
                 QStringLiteral("The file is too large to load (2 GiB or more): ") + huge);
    }
    QCOMPARE(tab.variables->count(), count);
    QCOMPARE(tab.plot->graphCount(), 1);
    QCOMPARE(tab.status->text(),
             QStringLiteral("Loaded %1 variable(s) from good.log").arg(count + 4));
    // The bytes kept for saving are still the good log's.
    QVERIFY(tab.widget.saveLogTo(dir.filePath(QStringLiteral("copy.log"))));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("copy.log"))), smallLog());
}

void PlotWidgetTest::openThroughDialog()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath(QStringLiteral("picked.log")), smallLog());
    Tab tab;
    tab.show();
    QPushButton *open = nullptr;
    for (QPushButton *b : tab.welcome->findChildren<QPushButton *>()) {
        if (b->text() == QLatin1String("Open Log File..."))
            open = b;
    }
    QVERIFY(open);
    QString caption;
    TestSupport::answerNextModal([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        caption = dialog->windowTitle();
        TestSupport::selectFileInDialog(dialog, path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(open, Qt::LeftButton);
    QTRY_COMPARE(tab.stack->currentIndex(), 1);
    QCOMPARE(caption, QStringLiteral("Open Log File"));
    QVERIFY(tab.status->text().endsWith(QLatin1String("from picked.log")));
}

void PlotWidgetTest::dialogKeptBetweenOpens()
{
    // The second open shows the same dialog again: none is destroyed as a log starts loading.
    QTemporaryDir dir;
    const QString first = writeFile(dir.filePath(QStringLiteral("first.log")), smallLog());
    const QString second = writeFile(dir.filePath(QStringLiteral("second.log")), smallLog());
    Tab tab;
    tab.show();
    QVector<QFileDialog *> shown;
    for (const QString &path : {first, second}) {
        TestSupport::answerNextModal([&](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog) {
                static_cast<QDialog *>(w)->reject();
                return;
            }
            shown << dialog;
            TestSupport::selectFileInDialog(dialog, path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        QMetaObject::invokeMethod(&tab.widget, "openLogFile", Qt::QueuedConnection);
        QTRY_VERIFY(tab.status->text().endsWith(QFileInfo(path).fileName()));
    }
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1], shown[0]);
    QVERIFY(!shown[1]->isVisible());
}

void PlotWidgetTest::hiddenDialogFollowsNoFolder()
{
    // Hidden between opens the dialog takes no note of its folder (each change there cost
    // the GUI thread a new listing of it), yet lists it as it is when it opens again.
    QTemporaryDir dir;
    const QString first = writeFile(dir.filePath(QStringLiteral("first.log")), smallLog());
    Tab tab;
    tab.show();
    QPointer<QFileDialog> dialog;
    TestSupport::answerNextModal([&](QWidget *w) {
        dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        TestSupport::selectFileInDialog(dialog, first);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QMetaObject::invokeMethod(&tab.widget, "openLogFile", Qt::QueuedConnection);
    QTRY_VERIFY(tab.status->text().endsWith(QLatin1String("first.log")));
    QVERIFY(dialog && !dialog->isVisible());
    auto *model = dialog->findChild<QFileSystemModel *>();
    QVERIFY(model);

    // Only news of the log folder counts: the model's thread may still be answering for
    // other folders (the root it went to, details asked before it hid) on a busy machine.
    int changes = 0;
    const QString folderPath = QFileInfo(dir.path()).canonicalFilePath();
    const auto inFolder = [model, folderPath](const QModelIndex &parent) {
        return QFileInfo(model->filePath(parent)).canonicalFilePath() == folderPath;
    };
    connect(model, &QAbstractItemModel::rowsInserted,
            [&](const QModelIndex &parent) { changes += inFolder(parent); });
    connect(model, &QAbstractItemModel::rowsRemoved,
            [&](const QModelIndex &parent) { changes += inFolder(parent); });
    connect(model, &QAbstractItemModel::dataChanged,
            [&](const QModelIndex &topLeft) { changes += inFolder(topLeft.parent()); });
    // A model of its own sees each change; by the time it has seen the second, a dialog
    // still watching would have taken the first.
    QFileSystemModel witness;
    const QModelIndex folder = witness.setRootPath(dir.path());
    QTRY_COMPARE(witness.rowCount(folder), 1);
    const QString second = writeFile(dir.filePath(QStringLiteral("second.log")), smallLog());
    QTRY_COMPARE(witness.rowCount(folder), 2);
    QVERIFY(QFile::remove(first));
    QTRY_COMPARE(witness.rowCount(folder), 1);
    QCOMPARE(changes, 0);

    // Shown again, it lists second.log and no longer first.log.
    QStringList listed;
    TestSupport::answerNextModal([&](QWidget *w) {
        auto *again = qobject_cast<QFileDialog *>(w);
        if (again != dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        auto *poll = new QTimer(again);
        connect(poll, &QTimer::timeout, again, [&, again, poll] {
            const QModelIndex at = model->index(dir.path());
            listed.clear();
            for (int r = 0; r < model->rowCount(at); ++r)
                listed << model->index(r, 0, at).data().toString();
            if (listed != QStringList {QStringLiteral("second.log")})
                return;
            poll->stop();
            TestSupport::selectFileInDialog(again, second);
            QMetaObject::invokeMethod(again, "accept");
        });
        poll->start(10);
    });
    QMetaObject::invokeMethod(&tab.widget, "openLogFile", Qt::QueuedConnection);
    QTRY_VERIFY(tab.status->text().endsWith(QLatin1String("second.log")));
    QCOMPARE(listed, QStringList {QStringLiteral("second.log")});
    QVERIFY(!dialog->isVisible());
}

void PlotWidgetTest::valueTablePaintsOncePerToggle()
{
    // One click on a variable's check box repaints the value table once.
    TestSupport::PaintWatch counter;
    QTemporaryDir dir;
    Tab tab;
    tab.show();
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    QVERIFY(tab.variables->count() >= 8);
    QWidget *viewport = tab.table->viewport();
    viewport->installEventFilter(&counter);
    const auto click = [&](int row, Qt::CheckState expected) {
        QTRY_VERIFY(!tab.plot->isDrawingPending());
        QCoreApplication::processEvents();
        counter.paints = 0;
        const bool barBefore = tab.table->verticalScrollBar()->isVisible();
        QTest::mouseClick(tab.variables->viewport(), Qt::LeftButton, Qt::NoModifier,
                          checkBoxCentre(tab.variables, row));
        QCOMPARE(tab.variables->item(row)->checkState(), expected);
        QTRY_VERIFY(!tab.plot->isDrawingPending());
        QTRY_VERIFY(counter.paints >= 1);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        // A scroll bar coming or going narrows the view, and the name column stretches a
        // moment later; an emptied table too paints again. Those second paints are not yet
        // avoided: at most two there (one when Qt happens to merge them), one everywhere else.
        const bool secondPaintKnown = tab.table->verticalScrollBar()->isVisible() != barBefore
            || tab.table->rowCount() == 0;
        QVERIFY2(counter.paints == 1 || (secondPaintKnown && counter.paints == 2),
                 qPrintable(QStringLiteral("%1 paints, row %2").arg(counter.paints).arg(row)));
    };
    bool scrolled = false, unscrolled = false;
    for (int row = 0; row < 8; ++row) {
        click(row, Qt::Checked);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(tab.table->rowCount(), row + 1);
        scrolled = scrolled || tab.table->verticalScrollBar()->isVisible();
        unscrolled = unscrolled || !tab.table->verticalScrollBar()->isVisible();
    }
    // Both kinds of toggle were seen: with the bar staying and with it coming (and going).
    QVERIFY(scrolled && unscrolled);
    for (int row = 7; row >= 0; --row) {
        click(row, Qt::Unchecked);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(tab.table->rowCount(), row);
    }
    QCOMPARE(tab.table->viewport(), viewport);
}

// The plot's page is laid out, and the plot's paint buffers made, once the tab is up: the
// first open only switches to the page, so the plot is not resized then. Hidden, the page
// never paints.
void PlotWidgetTest::pageLaidOutBeforeFirstOpen()
{
    struct ResizeCount : QObject
    {
        int resizes = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            resizes += event->type() == QEvent::Resize;
            return false;
        }
    } plotResizes;
    TestSupport::PaintWatch plotPaints;
    QTemporaryDir dir;
    Tab tab;
    tab.plot->installEventFilter(&plotPaints);
    tab.show();
    QTRY_VERIFY(!tab.plot->testAttribute(Qt::WA_PendingResizeEvent));
    QCOMPARE(tab.stack->currentWidget(), tab.welcome);
    QCOMPARE(plotPaints.paints, 0);
    const QSize laidOut = tab.plot->size();
    tab.plot->installEventFilter(&plotResizes);
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    QCOMPARE(plotResizes.resizes, 0);
    QCOMPARE(tab.plot->size(), laidOut);
    QTRY_VERIFY(plotPaints.paints > 0);
}

void PlotWidgetTest::eachCheckedVariableGetsItsOwnAxis()
{
    QTemporaryDir dir;
    Tab tab;
    tab.show();
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    const int lv = tab.row(QStringLiteral("Stick LV [%]"));
    const int rh = tab.row(QStringLiteral("Stick RH [%]"));
    const int pitch = tab.row(QString::fromUtf8(u8"Varnek Pitch [\u00B0]"));
    QVERIFY(lv >= 0 && rh > lv && pitch > rh);
    tab.check(lv);
    tab.check(rh);
    tab.check(pitch);

    QCOMPARE(tab.plot->graphCount(), 3);
    QCOMPARE(tab.plot->graph(0)->valueAxis(), tab.plot->yAxis);
    QCOMPARE(tab.plot->yAxis->label(), QStringLiteral("Stick LV [%]"));
    QList<QCPAxis *> right;
    for (QCPAxis *axis : tab.plot->axisRect()->axes(QCPAxis::atRight)) {
        if (axis->visible())
            right << axis;
    }
    QCOMPARE(right.size(), 2);
    QCOMPARE(tab.plot->graph(1)->valueAxis(), right[0]);
    QCOMPARE(tab.plot->graph(2)->valueAxis(), right[1]);
    QCOMPARE(right[1]->label(), QString::fromUtf8(u8"Varnek Pitch [\u00B0]"));
    // Colours follow the list rows; only the left axis draws a grid.
    QCOMPARE(tab.plot->graph(1)->pen().color(), PlotWidget::colorForIndex(rh));
    QCOMPARE(right[0]->labelColor(), PlotWidget::colorForIndex(rh));
    QVERIFY(tab.plot->yAxis->grid()->visible());
    QVERIFY(!right[0]->grid()->visible());
    QVERIFY(tab.plot->legend->visible());
    QCOMPARE(tab.table->rowCount(), 3);

    // Unchecking the first moves the second onto the left axis, in its own colour.
    tab.check(lv, false);
    QCOMPARE(tab.plot->graphCount(), 2);
    QCOMPARE(tab.plot->graph(0)->valueAxis(), tab.plot->yAxis);
    QCOMPARE(tab.plot->yAxis->label(), QStringLiteral("Stick RH [%]"));
    QCOMPARE(tab.plot->graph(0)->pen().color(), PlotWidget::colorForIndex(rh));
    QCOMPARE(tab.plot->yAxis->labelColor(), PlotWidget::colorForIndex(rh));
    QCOMPARE(tab.plot->graph(1)->pen().color(), PlotWidget::colorForIndex(pitch));
    int visibleRight = 0;
    for (QCPAxis *axis : tab.plot->axisRect()->axes(QCPAxis::atRight))
        visibleRight += axis->visible() ? 1 : 0;
    QCOMPARE(visibleRight, 1);

    tab.check(rh, false);
    tab.check(pitch, false);
    QCOMPARE(tab.plot->graphCount(), 0);
    QVERIFY(tab.plot->yAxis->label().isEmpty());
    QVERIFY(!tab.plot->legend->visible());
    QCOMPARE(tab.table->rowCount(), 0);
}

void PlotWidgetTest::channelAxesSpanFullRange()
{
    QTemporaryDir dir;
    Tab tab;
    tab.show();
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    const int ch3 = tab.row(QStringLiteral("Channel 3 [%]"));
    const int lv = tab.row(QStringLiteral("Stick LV [%]"));
    QVERIFY(ch3 >= 0 && lv >= 0);
    tab.check(ch3);
    QCOMPARE(tab.plot->yAxis->range().lower, -100.0);
    QCOMPARE(tab.plot->yAxis->range().upper, 100.0);
    tab.check(ch3, false);
    tab.check(lv);
    QVERIFY(tab.plot->yAxis->range().upper < 100.0);

    // A zoomed channel axis comes back to the full range on Reset View.
    tab.check(lv, false);
    tab.check(ch3);
    tab.plot->yAxis->setRange(0, 5);
    QPushButton *reset = nullptr;
    for (QPushButton *b : tab.widget.findChildren<QPushButton *>()) {
        if (b->text() == QLatin1String("Reset View"))
            reset = b;
    }
    QTest::mouseClick(reset, Qt::LeftButton);
    QCOMPARE(tab.plot->yAxis->range().lower, -100.0);
    QCOMPARE(tab.plot->yAxis->range().upper, 100.0);
}

void PlotWidgetTest::tableShowsRangeWithDecimals()
{
    Tab tab;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    tab.widget.setVariables({series(QStringLiteral("Big"), {0, 1, 2}, {999.96, -3, 1000}),
                             series(QStringLiteral("Empty"), {}, {}),
                             series(QStringLiteral("Small"), {0, 1}, {0.0004, 99.996}),
                             series(QStringLiteral("WithNaN"), {0, 1, 2}, {nan, 5, 7})});
    for (int i = 0; i < 4; ++i)
        tab.check(i);
    QCOMPARE(tab.table->rowCount(), 4);
    const QStringList headers {"Variable", "Min", "Max", "At Cursor"};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(tab.table->horizontalHeaderItem(c)->text(), headers[c]);
    auto rowText = [&](int r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << tab.table->item(r, c)->text();
        return cells.join(QLatin1Char('|'));
    };
    QCOMPARE(rowText(0), QStringLiteral("Big|-3.00|1000|-"));
    QCOMPARE(rowText(1), QStringLiteral("Empty|0.000|0.000|-"));
    QCOMPARE(rowText(2), QStringLiteral("Small|0.000|100.00|-"));
    // A NaN sample is neither the minimum nor hides the others.
    QCOMPARE(rowText(3), QStringLiteral("WithNaN|5.00|7.00|-"));
    QCOMPARE(tab.table->item(2, 0)->foreground().color(), PlotWidget::colorForIndex(2));
}

void PlotWidgetTest::cursorReadsNearestSample()
{
    Tab tab;
    LogVariable unordered = series(QStringLiteral("Unordered"), {2, 0, 1}, {200, 0, 100});
    unordered.timesAscending = false;
    tab.widget.setVariables({series(QStringLiteral("A"), {0, 1, 2}, {10, 20, 30}),
                             series(QStringLiteral("Empty"), {}, {}), unordered});
    for (int i = 0; i < 3; ++i)
        tab.check(i);
    tab.widget.updateCursor(0.5);
    QCOMPARE(tab.atCursor(0), QStringLiteral("20.00")); // halfway: the later sample
    QCOMPARE(tab.atCursor(1), QStringLiteral("-"));
    QCOMPARE(tab.atCursor(2), QStringLiteral("100.0"));
    QCOMPARE(tab.cursorLabel()->text(), QStringLiteral("0:00.500"));
    QVERIFY(tab.cursorLabel()->visible());
    tab.widget.updateCursor(-3);
    QCOMPARE(tab.atCursor(0), QStringLiteral("10.00"));
    QCOMPARE(tab.cursorLabel()->text(), QStringLiteral("-0:03.000"));
    tab.widget.updateCursor(1e6);
    QCOMPARE(tab.atCursor(0), QStringLiteral("30.00"));
    QCOMPARE(tab.atCursor(2), QStringLiteral("200.0"));

    // Rebuilding keeps the cursor drawn but clears the readings.
    tab.check(0, false);
    tab.check(0, true);
    QVERIFY(tab.cursorLabel()->visible());
    QCOMPARE(tab.atCursor(0), QStringLiteral("-"));

    // A new log hides it.
    tab.widget.setVariables({series(QStringLiteral("B"), {0}, {1})});
    QVERIFY(!tab.cursorLabel()->visible());
}

void PlotWidgetTest::clickAndArrowKeysMoveCursor()
{
    Tab tab;
    tab.widget.setVariables({series(QStringLiteral("A"), {0, 30, 60}, {1, 2, 3})});
    tab.check(0);
    tab.show();
    // Make the data area exactly 600 pixels wide over 0-60 s.
    tab.plot->axisRect()->setAutoMargins(QCP::msNone);
    tab.plot->axisRect()->setMargins(QMargins(0, 0, 0, 0));
    tab.plot->setFixedWidth(600);
    QTest::qWait(50);
    tab.plot->xAxis->setRange(0, 60);
    tab.plot->replot();
    QCOMPARE(tab.plot->axisRect()->width(), 600);

    // Without a cursor the arrows do nothing.
    tab.plot->setFocus();
    QTest::keyClick(tab.plot, Qt::Key_Right);
    QVERIFY(!tab.cursorLabel()->visible());

    const QPoint at(200, tab.plot->axisRect()->center().y());
    QTest::mouseClick(tab.plot, Qt::LeftButton, {}, at);
    QVERIFY(tab.cursorLabel()->visible());
    QCOMPARE(tab.cursorLabel()->text(), QStringLiteral("0:20.000"));
    QCOMPARE(tab.atCursor(0), QStringLiteral("2.00"));

    QTest::keyClick(tab.plot, Qt::Key_Right);
    QCOMPARE(tab.cursorLabel()->text(), QStringLiteral("0:20.300"));
    QTest::keyClick(tab.plot, Qt::Key_Left);
    QTest::keyClick(tab.plot, Qt::Key_Left);
    QCOMPARE(tab.cursorLabel()->text(), QStringLiteral("0:19.700"));
    QCOMPARE(tab.cursorLabel()->position->key(), 19.7);
}

void PlotWidgetTest::cursorMoveRepaintsOnlyCursorLayer()
{
    Tab tab;
    tab.widget.setVariables({series(QStringLiteral("A"), {0, 30, 60}, {1, 2, 3})});
    tab.check(0);
    tab.show();
    tab.plot->replot();
    QSignalSpy fullReplots(tab.plot, &QCustomPlot::afterReplot);
    tab.widget.updateCursor(10);
    tab.widget.updateCursor(11);
    QCOMPARE(fullReplots.count(), 0);
    QCOMPARE(tab.cursorLabel()->layer(), tab.plot->cursorLayer());
}

using TestSupport::sendMouse;

// A rises, B falls, each on its own axis over the same ten seconds, both shown: at 2 s
// they are far apart.
static void showCrossingLines(Tab &tab)
{
    tab.widget.setVariables({series(QStringLiteral("A"), {0, 10}, {0, 10}),
                             series(QStringLiteral("B"), {0, 10}, {10, 0})});
    tab.check(0);
    tab.check(1);
    tab.show();
    tab.plot->replot();
}

void PlotWidgetTest::highlightFromAClickOnALine()
{
    Tab tab;
    showCrossingLines(tab);
    QCPGraph *a = tab.plot->graph(0);
    const QPoint onA(int(tab.plot->xAxis->coordToPixel(2)), int(a->valueAxis()->coordToPixel(2)));
    sendMouse(tab.plot, QEvent::MouseButtonPress, onA, Qt::LeftButton, Qt::LeftButton);
    sendMouse(tab.plot, QEvent::MouseButtonRelease, onA, Qt::LeftButton, Qt::NoButton);

    QVERIFY(a->selected());
    QVERIFY(!tab.plot->graph(1)->selected());
    QCOMPARE(tab.variables->item(0)->font().weight(), int(QFont::Bold));
    QCOMPARE(tab.variables->item(1)->font().weight(), int(QFont::Normal));
    QCOMPARE(tab.table->item(0, 1)->background().color(), QColor(10, 132, 255, 55));
    QCOMPARE(tab.table->item(1, 1)->background().style(), Qt::NoBrush);
    auto *legendA = tab.plot->legend->itemWithPlottable(a);
    QVERIFY(legendA && legendA->selected());
}

void PlotWidgetTest::dragPansTimeOnly()
{
    Tab tab;
    showCrossingLines(tab);
    const QCPRange time = tab.plot->xAxis->range();
    QList<QCPRange> values;
    const QList<QCPAxis *> axes = tab.plot->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight);
    for (QCPAxis *axis : axes)
        values << axis->range();

    // A drag over the data area, right and down: only the time axis follows.
    const QPoint from = tab.plot->axisRect()->rect().center();
    const QPoint to = from + QPoint(120, 80);
    sendMouse(tab.plot, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 10; ++i)
        sendMouse(tab.plot, QEvent::MouseMove, from + (to - from) * i / 10, Qt::NoButton,
                  Qt::LeftButton);
    sendMouse(tab.plot, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);

    QVERIFY(tab.plot->xAxis->range().lower < time.lower - 0.1);
    QCOMPARE(tab.plot->xAxis->range().size(), time.size());
    for (int i = 0; i < axes.size(); ++i) {
        QCOMPARE(axes[i]->range().lower, values[i].lower);
        QCOMPARE(axes[i]->range().upper, values[i].upper);
    }
    QVERIFY(!tab.cursorLabel()->visible()); // a drag is no click
}

void PlotWidgetTest::highlightFromListPressAndLegend()
{
    Tab tab;
    tab.widget.setVariables(
        {series(QStringLiteral("A"), {0, 1}, {1, 2}), series(QStringLiteral("B"), {0, 1}, {5, 3})});
    tab.check(0);
    tab.check(1);
    tab.show();
    QListWidget *list = tab.variables;
    const QRect rowB = list->visualItemRect(list->item(1));

    // A press on the check box only toggles it: no highlight.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(rowB.left() + 10, rowB.center().y()));
    QCOMPARE(list->item(1)->font().weight(), int(QFont::Normal));
    tab.check(1); // restore whatever the click did

    QTest::mousePress(list->viewport(), Qt::LeftButton, {},
                      QPoint(rowB.left() + 60, rowB.center().y()));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {},
                        QPoint(rowB.left() + 60, rowB.center().y()));
    QCOMPARE(list->item(1)->font().weight(), int(QFont::Bold));
    QCOMPARE(list->item(0)->font().weight(), int(QFont::Normal));
    QCOMPARE(list->item(1)->font().pointSize(), list->font().pointSize());
    QVERIFY(tab.plot->graph(1)->selected());
    QVERIFY(!tab.plot->graph(0)->selected());
    QCOMPARE(tab.table->item(1, 2)->background().color(), QColor(10, 132, 255, 55));
    QCOMPARE(tab.table->item(0, 2)->background().style(), Qt::NoBrush);

    // A click on the legend entry of A moves the highlight there.
    tab.plot->replot();
    auto *legendA = tab.plot->legend->itemWithPlottable(tab.plot->graph(0));
    QVERIFY(legendA);
    QTest::mouseClick(tab.plot, Qt::LeftButton, {}, legendA->rect().center());
    QTRY_COMPARE(list->item(0)->font().weight(), int(QFont::Bold));
    QCOMPARE(list->item(1)->font().weight(), int(QFont::Normal));
    QVERIFY(legendA->selected());
    QCOMPARE(tab.table->item(0, 0)->background().color(), QColor(10, 132, 255, 55));

    // Rebuilding clears it.
    tab.check(1, false);
    QCOMPARE(list->item(0)->font().weight(), int(QFont::Normal));
    QVERIFY(!tab.plot->graph(0)->selected());
}

void PlotWidgetTest::secondLoadReplacesEverything()
{
    QTemporaryDir dir;
    LogGenerator g;
    g.tx(0, 50);
    g.tx(100, 60);
    Tab tab;
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    tab.check(0);
    tab.widget.updateCursor(0.5);
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("b.log")), g.bytes())));
    QCOMPARE(tab.variables->count(), 1);
    QCOMPARE(tab.variables->item(0)->text(), QStringLiteral("TX Signal [%]"));
    QCOMPARE(tab.plot->graphCount(), 0);
    QCOMPARE(tab.table->rowCount(), 0);
    QVERIFY(!tab.cursorLabel()->visible());
    QVERIFY(tab.widget.saveLogTo(dir.filePath(QStringLiteral("c.log"))));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("c.log"))), g.bytes());
}

void PlotWidgetTest::saveRoundTrip()
{
    QTemporaryDir dir;
    // Every byte value, so no text-mode or encoding step can hide.
    QByteArray bytes = smallLog();
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    const QString source = writeFile(dir.filePath(QStringLiteral("src.bin")), bytes);
    Tab tab;
    QVERIFY(!tab.widget.saveLogTo(dir.filePath(QStringLiteral("nothing.log"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nothing.log"))));
    QVERIFY(tab.open(source));

    QVERIFY(tab.widget.saveLogTo(dir.filePath(QStringLiteral("flight.txt"))));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("flight.txt.log"))), bytes);
    QCOMPARE(tab.status->text(), QStringLiteral("Saved log to flight.txt.log"));

    // Over a longer existing file: replaced whole, not overwritten in place.
    const QString upper
        = writeFile(dir.filePath(QStringLiteral("OLD.LOG")), QByteArray(100000, 'x'));
    QVERIFY(tab.widget.saveLogTo(upper));
    QCOMPARE(readFile(upper), bytes);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("OLD.LOG.log"))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

void PlotWidgetTest::saveThroughDialogSuggestsLogName()
{
    QTemporaryDir dir;
    Tab tab;
    tab.show();
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.bin")), smallLog())));
    QString caption, suggested;
    TestSupport::answerNextModal([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        caption = dialog->windowTitle();
        suggested = dialog->selectedFiles().value(0);
        TestSupport::selectFileInDialog(dialog, dir.filePath(QStringLiteral("picked")));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(tab.save, Qt::LeftButton);
    QTRY_VERIFY(QFile::exists(dir.filePath(QStringLiteral("picked.log"))));
    QCOMPARE(caption, QStringLiteral("Save Log File"));
    QVERIFY2(suggested.endsWith(QLatin1String("/log.log")), qPrintable(suggested));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("picked.log"))), smallLog());
}

// Runs in a child process as "nobody", so a read-only folder really refuses writes.
static int saveAsNobody(int argc, char **argv)
{
    const QByteArray folder = qgetenv("KELO_SAVE_AS_NOBODY");
    // In a user namespace without other ids mapped, root cannot become anybody else.
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return 77;
    QApplication app(argc, argv);
    initKeloResources();
    RadioScanner scanner;
    PlotWidget widget(&scanner);
    if (!openLog(widget, QString::fromLocal8Bit(folder) + QStringLiteral("/new.bin")))
        return 11;
    WarningCatcher warning;
    const QString target = QString::fromLocal8Bit(folder) + QStringLiteral("/old.log");
    if (widget.saveLogTo(target))
        return 12;
    if (warning.title != QLatin1String("Save Log File")
        || warning.text != QStringLiteral("Cannot write file: ") + target)
        return 13;
    return 0;
}

void PlotWidgetTest::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QByteArray oldBytes("old log bytes, still whole");
    // The old file itself is writable by anyone; only its folder is read-only, so writing
    // in place would succeed and destroy it, while a save beside it must fail.
    const QString old = writeFile(dir.filePath(QStringLiteral("old.log")), oldBytes);
    QVERIFY(QFile::setPermissions(old,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                      | QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                      | QFileDevice::ReadOther | QFileDevice::WriteOther));
    QVERIFY(!writeFile(dir.filePath(QStringLiteral("new.bin")), smallLog()).isEmpty());
    QVERIFY(QFile::setPermissions(dir.path(),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                      | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                      | QFileDevice::ReadOther | QFileDevice::ExeOther));
    QCOMPARE(QFileInfo(dir.path()).permissions() & QFileDevice::WriteOwner,
             QFileDevice::Permissions());

    if (geteuid() == 0) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELO_SAVE_AS_NOBODY"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        if (child.exitCode() == 77)
            qWarning("cannot drop root here: the read-only folder case is not checked");
        else
            QCOMPARE(child.exitCode(), 0);
    } else {
        Tab tab;
        QVERIFY(tab.open(dir.filePath(QStringLiteral("new.bin"))));
        WarningCatcher warning;
        QVERIFY(!tab.widget.saveLogTo(old));
        QCOMPARE(warning.text, QStringLiteral("Cannot write file: ") + old);
    }
    QCOMPARE(readFile(old), oldBytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

    // A target that cannot be a file at all fails the same way, whoever runs the test.
    QVERIFY(QFile::setPermissions(
        dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.log")));
    Tab tab;
    QVERIFY(tab.open(dir.filePath(QStringLiteral("new.bin"))));
    const QString status = tab.status->text();
    WarningCatcher warning;
    QVERIFY(!tab.widget.saveLogTo(dir.filePath(QStringLiteral("folder.log"))));
    QCOMPARE(warning.text,
             QStringLiteral("Cannot write file: ") + dir.filePath(QStringLiteral("folder.log")));
    QCOMPARE(tab.status->text(), status);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.log"))).isDir());
}

void PlotWidgetTest::fullDiskKeepsOldFile_data()
{
    QTest::addColumn<int>("records");
    // Smaller than Qt's 16 KiB write buffer: nothing fails before the final flush.
    QTest::newRow("small log, cut at the flush") << 20;
    QTest::newRow("large log, cut while written") << 2000;
}

void PlotWidgetTest::fullDiskKeepsOldFile()
{
    QFETCH(int, records);
    QTemporaryDir dir;
    const QByteArray log = smallLog(records);
    QVERIFY(!writeFile(dir.filePath(QStringLiteral("new.bin")), log).isEmpty());
    const QByteArray oldBytes("old log bytes, still whole");
    const QString old = writeFile(dir.filePath(QStringLiteral("old.log")), oldBytes);
    Tab tab;
    QVERIFY(tab.open(dir.filePath(QStringLiteral("new.bin"))));
    const QString status = tab.status->text();
    WarningCatcher warning;
    {
        // The disk holds 10 more bytes of any file.
        TestSupport::FileSizeLimit full(10);
        QVERIFY(!tab.widget.saveLogTo(old));
    }
    QCOMPARE(warning.title, QStringLiteral("Save Log File"));
    QCOMPARE(warning.text, QStringLiteral("Cannot write file: ") + old);
    QCOMPARE(readFile(old), oldBytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({QStringLiteral("new.bin"), QStringLiteral("old.log")}));
    QCOMPARE(tab.status->text(), status);

    // With room again the same save goes through.
    QVERIFY(tab.widget.saveLogTo(old));
    QCOMPARE(readFile(old), log);
}

void PlotWidgetTest::radioDownloadLoadsLog()
{
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/log/list", FakeResponse::json(R"({"list":[3,"A",1234,7,"B"]})"));
    const QByteArray log = smallLog();
    radio.setResponse("/log/get/3-1234", FakeResponse::bytes(log, "application/octet-stream"));
    Tab tab;
    tab.show();
    tab.scanner.ip = radio.address();
    tab.scanner.modelName = QStringLiteral("Heli 450");
    for (int i = 0; i < 3; ++i)
        emit tab.scanner.deviceFound(radio.address(), QStringLiteral("KeloNet"),
                                     QStringLiteral("Heli 450"));
    QTRY_COMPARE_WITH_TIMEOUT(tab.welcome->logList->count(), 1, 10000);
    QVERIFY(tab.welcome->logList->isVisible());
    QCOMPARE(tab.welcome->logList->item(0)->text(), QStringLiteral("A  (2:03)"));

    QListWidgetItem *item = tab.welcome->logList->item(0);
    QTest::mouseClick(tab.welcome->logList->viewport(), Qt::LeftButton, {},
                      tab.welcome->logList->visualItemRect(item).center());
    QCOMPARE(tab.status->text(), QStringLiteral("Downloading log..."));
    QTRY_COMPARE_WITH_TIMEOUT(tab.stack->currentIndex(), 1, 10000);
    QCOMPARE(radio.countFor("/log/list"), 1);
    QCOMPARE(radio.countFor("/log/get/3-1234"), 1);

    QVector<LogVariable> vars;
    QString error;
    QVERIFY(LogReader::parseData(log, vars, error));
    QCOMPARE(tab.status->text(),
             QStringLiteral("Loaded %1 variable(s) from A  (2:03)").arg(vars.size()));
    QCOMPARE(tab.variables->count(), vars.size() - 4);
    QVERIFY(tab.save->isEnabled());

    // The tab's own list holds the same item; the radio going away clears both.
    auto *tabList = tab.widget.findChild<QListWidget *>(QStringLiteral("radioLogList"));
    QCOMPARE(tabList->count(), 1);
    QVERIFY(!tabList->isHidden());
    emit tab.scanner.deviceNotFound();
    QCOMPARE(tabList->count(), 0);
    QVERIFY(tabList->isHidden());
    QCOMPARE(tab.welcome->logList->count(), 0);
    QCOMPARE(tab.stack->currentIndex(), 1);
    QCOMPARE(tab.variables->count(), vars.size() - 4);
}

void PlotWidgetTest::radioDownloadFailuresKeepLog()
{
    QTemporaryDir dir;
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse(
        "/log/list",
        FakeResponse::json(R"({"list":[1,"<b>bold</b>",50,2,"junk",60,3,"<i>it</i>",10]})"));
    radio.setResponse("/log/get/1-50", FakeResponse::error(500));
    radio.setResponse("/log/get/2-60", FakeResponse::bytes("xx", "application/octet-stream"));
    Tab tab;
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    tab.check(0);
    const int count = tab.variables->count();
    QListWidget *tabList = tab.radioLogs(radio, 3);
    QVERIFY(tabList);
    QCOMPARE(tabList->item(0)->text(), QStringLiteral("<b>bold</b>  (0:05)"));

    emit tabList->itemClicked(tabList->item(0));
    QTRY_VERIFY_WITH_TIMEOUT(
        tab.status->text().startsWith(QLatin1String("Failed to download log: ")), 10000);
    QCOMPARE(tab.status->textFormat(), Qt::PlainText);
    QCOMPARE(tab.variables->count(), count);
    QCOMPARE(tab.plot->graphCount(), 1);

    emit tabList->itemClicked(tabList->item(1));
    QTRY_COMPARE_WITH_TIMEOUT(tab.status->text(),
                              QStringLiteral("Failed to parse downloaded log: No recognized log "
                                             "entries found in file"),
                              10000);
    QCOMPARE(tab.variables->count(), count);
    QVERIFY(tab.widget.saveLogTo(dir.filePath(QStringLiteral("kept.log"))));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("kept.log"))), smallLog());
    // A name with markup from the radio is shown as typed.
    LogGenerator g;
    g.tx(0, 50);
    radio.setResponse("/log/get/3-10", FakeResponse::bytes(g.bytes(), "application/octet-stream"));
    emit tabList->itemClicked(tabList->item(2));
    QTRY_COMPARE_WITH_TIMEOUT(tab.status->text(),
                              QStringLiteral("Loaded 1 variable(s) from <i>it</i>  (0:01)"), 10000);
    QCOMPARE(tab.variables->count(), 1);
}

void PlotWidgetTest::toggleChangesOnlyItsGraph_data()
{
    // Steps: "+r" checks row r, "-r" unchecks it, "zr" zooms the value axis of row r's
    // graph, "hr" highlights row r, "c" places the cursor. The last step is measured.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("sameGraphs"); // the graphs before the last step stay
    QTest::newRow("first check") << "+1" << true;
    QTest::newRow("append below") << "+0 +1 +3" << true;
    QTest::newRow("append after a zoom") << "+0 +1 z1 h0 c +2" << true;
    QTest::newRow("uncheck the last") << "+0 +1 +2 +3 z2 h1 -3" << true;
    QTest::newRow("uncheck the only one") << "+2 z2 -2" << true;
    QTest::newRow("check above others") << "+1 +3 z3 +0" << false;
    QTest::newRow("uncheck the first") << "+0 +1 +2 z2 -0" << false;
    QTest::newRow("uncheck in the middle") << "+0 +1 +2 z2 -1" << false;
}

void PlotWidgetTest::toggleChangesOnlyItsGraph()
{
    QFETCH(QString, steps);
    QFETCH(bool, sameGraphs);
    // The same steps again in a tab whose plot draws its lines on the spot.
    Tab tab, onTheSpot;
    onTheSpot.plot->setBackgroundDrawing(false);
    for (Tab *t : {&tab, &onTheSpot}) {
        t->show();
        t->widget.setVariables(toggleVariables());
    }
    const QStringList list = steps.split(QLatin1Char(' '));
    // Guarded: a graph made anew may take the address of one deleted, as Release's allocator
    // does at once.
    QList<QPointer<QCPGraph>> before;
    for (int k = 0; k < list.size(); ++k) {
        const QChar op = list[k].at(0);
        const int row = list[k].mid(1).toInt();
        if (k == list.size() - 1) {
            for (int i = 0; i < tab.plot->graphCount(); ++i)
                before << tab.plot->graph(i);
        }
        for (Tab *t : {&tab, &onTheSpot}) {
            if (op == QLatin1Char('+') || op == QLatin1Char('-')) {
                t->check(row, op == QLatin1Char('+'));
            } else if (op == QLatin1Char('z')) {
                for (int i = 0; i < t->plot->graphCount(); ++i) {
                    if (t->plot->graph(i)->name() == t->variables->item(row)->text())
                        t->plot->graph(i)->valueAxis()->scaleRange(0.5);
                }
            } else if (op == QLatin1Char('h')) {
                const QRect r = t->variables->visualItemRect(t->variables->item(row));
                QTest::mousePress(t->variables->viewport(), Qt::LeftButton, {},
                                  QPoint(r.left() + 60, r.center().y()));
                QTest::mouseRelease(t->variables->viewport(), Qt::LeftButton, {},
                                    QPoint(r.left() + 60, r.center().y()));
            } else {
                t->widget.updateCursor(7.3);
            }
        }
    }
    // Unchanged graphs are the very same objects only when the change was at the end.
    int kept = 0;
    for (const QPointer<QCPGraph> &g : before)
        kept += g && tab.plot->hasPlottable(g) ? 1 : 0;
    const int expectKept = sameGraphs ? std::min(before.size(), tab.plot->graphCount()) : 0;
    QCOMPARE(kept, expectKept);

    // Drawn in the background: the picture drawn on the spot.
    QTRY_VERIFY(!tab.plot->isDrawingPending());
    QVERIFY(tab.plot->grab().toImage() == onTheSpot.plot->grab().toImage());

    // The full rebuild from here changes nothing more.
    const QStringList afterStep = plotState(tab);
    tab.widget.rebuildGraphs();
    QCOMPARE(afterStep, plotState(tab));
}

void PlotWidgetTest::loadingShowsStatusAndBusyBar()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir.filePath(QStringLiteral("first.log")), smallLog());
    Tab tab;
    tab.show();
    // From the welcome card: the card says what is loading, with its busy bar.
    tab.widget.loadLogFile(first);
    QVERIFY(tab.widget.isLoading());
    QCOMPARE(tab.cardLoadingLabel()->text(), QStringLiteral("Loading first.log..."));
    QCOMPARE(tab.cardLoadingLabel()->textFormat(), Qt::PlainText);
    QVERIFY(tab.cardLoadingLabel()->isVisible());
    QVERIFY(tab.cardLoadingBar()->isVisible());
    QCOMPARE(tab.status->text(), QStringLiteral("Loading first.log..."));
    QCOMPARE(tab.stack->currentIndex(), 0);
    QTRY_VERIFY(!tab.widget.isLoading());
    QCOMPARE(tab.stack->currentIndex(), 1);
    QVERIFY(tab.cardLoadingLabel()->isHidden());
    QVERIFY(tab.cardLoadingBar()->isHidden());
    QVERIFY(tab.busyBar()->isHidden());
    QVERIFY(tab.status->text().endsWith(QLatin1String(" variable(s) from first.log")));

    // On the content page: the status line and the panel's busy bar, and the log shown
    // stays usable meanwhile.
    const QString shownStatus = tab.status->text();
    const QString missing = dir.filePath(QStringLiteral("missing.log"));
    tab.widget.loadLogFile(missing);
    QCOMPARE(tab.status->text(), QStringLiteral("Loading missing.log..."));
    QVERIFY(tab.busyBar()->isVisible());
    tab.check(0);
    QCOMPARE(tab.plot->graphCount(), 1);
    WarningCatcher warning;
    QTRY_COMPARE(warning.text, QStringLiteral("Cannot open file: ") + missing);
    QVERIFY(!tab.widget.isLoading());
    QVERIFY(tab.busyBar()->isHidden());
    QCOMPARE(tab.status->text(), shownStatus); // a failed open puts the status back
    QCOMPARE(tab.plot->graphCount(), 1);
}

void PlotWidgetTest::openedLogEqualsSynchronousParse()
{
    QTemporaryDir dir;
    const QByteArray bytes = LogGenerator::flight(30);
    Tab tab;
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("flight.log")), bytes)));
    QVector<LogVariable> expected;
    QString error;
    QVERIFY(LogReader::parseData(bytes, expected, error));
    QStringList shown;
    for (const LogVariable &v : expected) {
        if (!v.name.startsWith(QLatin1String("Varnek Quat ")))
            shown << v.name;
    }
    const QVector<LogVariable> &got = tab.widget.logVariables();
    QCOMPARE(got.size(), shown.size());
    for (const LogVariable &v : got) {
        const auto same = std::find_if(expected.cbegin(), expected.cend(),
                                       [&v](const LogVariable &e) { return e.name == v.name; });
        QVERIFY2(same != expected.cend(), qPrintable(v.name));
        QCOMPARE(v.times, same->times);
        QCOMPARE(v.values, same->values);
        QCOMPARE(v.timesAscending, same->timesAscending);
    }
    QCOMPARE(tab.variables->count(), shown.size());
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(tab.variables->item(i)->text(), shown[i]);
    QCOMPARE(tab.status->text(),
             QStringLiteral("Loaded %1 variable(s) from flight.log").arg(expected.size()));
}

void PlotWidgetTest::secondOpenReplacesFirst()
{
    QTemporaryDir dir;
    const QString a = writeFile(dir.filePath(QStringLiteral("a.log")), smallLog());
    const QByteArray bBytes = LogGenerator::flight(3);
    const QString b = writeFile(dir.filePath(QStringLiteral("b.log")), bBytes);
    Tab tab;
    tab.show();
    auto *loading = tab.widget.findChild<LogTabLoader *>();
    QSignalSpy loaded(loading, &LogTabLoader::loaded);
    const auto modals = TestSupport::rejectAndCountNextModal(1000);
    // Opened one after another before any could finish: only the last is shown, and the
    // failure of the first is never told.
    tab.widget.loadLogFile(dir.filePath(QStringLiteral("missing.log")));
    tab.widget.loadLogFile(a);
    tab.widget.loadLogFile(b);
    QTRY_VERIFY(!tab.widget.isLoading());
    QTest::qWait(50);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(*modals, 0);
    QVector<LogVariable> vars;
    QString error;
    QVERIFY(LogReader::parseData(bBytes, vars, error));
    QCOMPARE(tab.status->text(),
             QStringLiteral("Loaded %1 variable(s) from b.log").arg(vars.size()));
    QCOMPARE(tab.variables->count(), vars.size() - 4);
    QVERIFY(tab.widget.saveLogTo(dir.filePath(QStringLiteral("saved.log"))));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("saved.log"))), bBytes);
}

void PlotWidgetTest::newestOpenWins_data()
{
    // Each step: "file" opens b.log, "slow" and "fast" click a radio log whose answer comes
    // late or at once. The last one asked for is what the tab ends up showing.
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("file while a download is under way") << QStringList {"slow", "file"};
    QTest::newRow("download while a file is parsed") << QStringList {"file", "fast"};
    QTest::newRow("download while another is under way") << QStringList {"slow", "fast"};
    QTest::newRow("file, download, file") << QStringList {"file", "slow", "file"};
}

void PlotWidgetTest::newestOpenWins()
{
    QFETCH(QStringList, steps);
    QTemporaryDir dir;
    const QByteArray fileBytes = LogGenerator::flight(3);
    const QByteArray slowBytes = LogGenerator::flight(4);
    const QByteArray fastBytes = LogGenerator::flight(5);
    const QString file = writeFile(dir.filePath(QStringLiteral("b.log")), fileBytes);
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/log/list", FakeResponse::json(R"({"list":[7,"Slow",600,8,"Fast",60]})"));
    radio.setResponse("/log/get/7-600",
                      FakeResponse::bytes(slowBytes, "application/octet-stream").delayed(400));
    radio.setResponse("/log/get/8-60", FakeResponse::bytes(fastBytes, "application/octet-stream"));
    Tab tab;
    tab.show();
    QListWidget *list = tab.radioLogs(radio, 2);
    QVERIFY(list);
    auto *loading = tab.widget.findChild<LogTabLoader *>();
    QSignalSpy loaded(loading, &LogTabLoader::loaded);
    const auto modals = TestSupport::rejectAndCountNextModal(1000);
    for (const QString &step : steps) {
        if (step == QLatin1String("file"))
            tab.widget.loadLogFile(file);
        else
            emit list->itemClicked(list->item(step == QLatin1String("slow") ? 0 : 1));
        QVERIFY(tab.widget.isLoading());
        QVERIFY(!tab.busyBar()->isHidden());
    }
    // Busy until the last one is shown: a replaced download neither ends in a failure nor
    // comes back later.
    QTRY_VERIFY_WITH_TIMEOUT(!tab.widget.isLoading(), 10000);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(*modals, 0);
    QVERIFY(tab.busyBar()->isHidden());
    const QString last = steps.last();
    const QByteArray &expected = last == QLatin1String("file")
        ? fileBytes
        : (last == QLatin1String("slow") ? slowBytes : fastBytes);
    const QString label = last == QLatin1String("file")
        ? QStringLiteral("b.log")
        : list->item(last == QLatin1String("slow") ? 0 : 1)->text();
    QVector<LogVariable> vars;
    QString error;
    QVERIFY(LogReader::parseData(expected, vars, error));
    QCOMPARE(tab.status->text(),
             QStringLiteral("Loaded %1 variable(s) from %2").arg(vars.size()).arg(label));
    QVERIFY(tab.widget.saveLogTo(dir.filePath(QStringLiteral("saved.log"))));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("saved.log"))), expected);
}

void PlotWidgetTest::radioLostMidDownload()
{
    QTemporaryDir dir;
    FakeRadio radio;
    QVERIFY(radio.listen());
    radio.setResponse("/log/list", FakeResponse::json(R"({"list":[7,"Long",600]})"));
    radio.setResponse("/log/get/7-600", FakeResponse::hang());
    Tab tab;
    tab.show();
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    tab.check(0);
    const int count = tab.variables->count();
    QListWidget *tabList = tab.radioLogs(radio, 1);
    QVERIFY(tabList);
    emit tabList->itemClicked(tabList->item(0));
    QCOMPARE(tab.status->text(), QStringLiteral("Downloading log..."));
    QVERIFY(tab.widget.isLoading());
    QVERIFY(tab.busyBar()->isVisible());
    QVERIFY(radio.waitForRequests("/log/get/7-600", 1, 10000));

    // The radio goes away in the middle of the download.
    radio.close();
    emit tab.scanner.deviceNotFound();
    QCOMPARE(tabList->count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        tab.status->text().startsWith(QLatin1String("Failed to download log: ")), 15000);
    QVERIFY(!tab.widget.isLoading());
    QVERIFY(tab.busyBar()->isHidden());
    QCOMPARE(tab.variables->count(), count);
    QCOMPARE(tab.plot->graphCount(), 1);
    QVERIFY(tab.widget.saveLogTo(dir.filePath(QStringLiteral("kept.log"))));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("kept.log"))), smallLog());
}

void PlotWidgetTest::hiddenTabFinishesLoading()
{
    QTemporaryDir dir;
    Tab tab;
    tab.show();
    QVERIFY(tab.open(writeFile(dir.filePath(QStringLiteral("a.log")), smallLog())));
    // Another page of the main window is shown while the next log loads.
    tab.widget.hide();
    const QByteArray bytes = LogGenerator::flight(2);
    tab.widget.loadLogFile(writeFile(dir.filePath(QStringLiteral("b.log")), bytes));
    QTRY_VERIFY(!tab.widget.isLoading());
    tab.show();
    QVector<LogVariable> vars;
    QString error;
    QVERIFY(LogReader::parseData(bytes, vars, error));
    QCOMPARE(tab.status->text(),
             QStringLiteral("Loaded %1 variable(s) from b.log").arg(vars.size()));
    QCOMPARE(tab.variables->count(), vars.size() - 4);
    QVERIFY(tab.busyBar()->isHidden());
}

void PlotWidgetTest::screenshot()
{
    const QByteArray outDir = qgetenv("KELO_SCREENSHOT_DIR");
    if (outDir.isEmpty())
        QSKIP("set KELO_SCREENSHOT_DIR to write the screenshot");
    // The program's dark palette, roughly, so the picture looks like the running tab.
    const QPalette oldPalette = QApplication::palette();
    QPalette dark = oldPalette;
    dark.setColor(QPalette::Window, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Base, QColor(0x23, 0x23, 0x25));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xea, 0xea, 0xea));
    QApplication::setPalette(dark);
    QTemporaryDir dir;
    Tab tab;
    tab.widget.resize(1200, 800);
    const QString welcomePath
        = QString::fromLocal8Bit(outDir) + QStringLiteral("/logviewer-welcome.png");
    tab.show();
    QVERIFY(tab.widget.grab().save(welcomePath));
    QVERIFY(
        tab.open(writeFile(dir.filePath(QStringLiteral("flight.log")), LogGenerator::flight(180))));
    tab.check(tab.row(QStringLiteral("Stick LV [%]")));
    tab.check(tab.row(QStringLiteral("ESC Batt Volt [V]")));
    tab.check(tab.row(QString::fromUtf8(u8"Varnek Pitch [\u00B0]")));
    tab.widget.updateCursor(75.4321);
    QTest::qWait(100);
    QTRY_VERIFY(!tab.plot->isDrawingPending());
    QVERIFY(
        tab.widget.grab().save(QString::fromLocal8Bit(outDir) + QStringLiteral("/logviewer.png")));
    QApplication::setPalette(oldPalette);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("KELO_SAVE_AS_NOBODY"))
        return saveAsNobody(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    PlotWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plotwidget.moc"
