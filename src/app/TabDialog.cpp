#include "TabDialog.h"

#include "AboutWidget.h"
#include "LeftTabWidget.h"
#include "SettingsFiles.h"

#include "ApplicationsWidget.h"
#include "DeveloperWidget.h"
#include "ImageWidget.h"
#include "JoystickStatusWidget.h"
#include "PlotWidget.h"
#include "RadioScanner.h"
#include "RadioStatusBar.h"
#include "ReplayWidget.h"
#include "ScreenshotWidget.h"
#include "SimThread.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QThread>
#include <QVBoxLayout>

#include <cstdio>
#include <unistd.h>

QString res_path;
TabDialog *tab_dlg = nullptr;
QTabWidget *tabWidget = nullptr;
SimThread simThread;

void term_signal(int flag)
{
    std::printf("> Closing app\n");
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(flag == 0 ? 0 : -1);
}

TabDialog::TabDialog(QWidget *parent)
    : QDialog(parent)
{
    tab_dlg = this;
    setMinimumSize(640, 600);
    setWindowSize();
    setWindowIcon(QIcon(res_path + QStringLiteral("icons/tab-joystick.svg")));
    setWindowFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(this);

    joystickWidget = new JoystickStatusWidget(this);

    QString version;
    get_version(version);

    scanner = new RadioScanner(this);
    scanner->startPeriodicScanning(2000);
    connect(scanner, &RadioScanner::deviceFound, this,
            [this](const QString &, const QString &, const QString &) {
                joystickWidget->setRadioFound(true);
            });
    connect(scanner, &RadioScanner::deviceNotFound, this,
            [this]() { joystickWidget->setRadioFound(false); });
    if (!scanner->ip.isEmpty())
        joystickWidget->setRadioFound(true);

    auto *statusBar = new RadioStatusBar(scanner, this);

    tabWidget = new LeftTabWidget(this);
    pages = tabWidget;
    tabWidget->setIconSize(QSize(20, 20));
    auto icon = [](const char *name) {
        return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
    };
    tabWidget->addTab(joystickWidget, icon("tab-joystick"), QStringLiteral("Joystick"));
    tabWidget->addTab(new PlotWidget(scanner, this), icon("tab-logviewer"),
                      QStringLiteral("Log Viewer"));
    tabWidget->addTab(new ReplayWidget(scanner, this), icon("tab-replay"),
                      QStringLiteral("Replay"));
    tabWidget->addTab(new ImageWidget(scanner, this), icon("tab-image"), QStringLiteral("Image"));
    tabWidget->addTab(new ScreenshotWidget(scanner, this), icon("tab-screenshot"),
                      QStringLiteral("Screen"));
    tabWidget->addTab(new ApplicationsWidget(scanner, this), icon("tab-applications"),
                      QStringLiteral("Applications"));
    tabWidget->addTab(new DeveloperWidget(scanner, this), icon("tab-developer"),
                      QStringLiteral("Developer"));
    tabWidget->addTab(new AboutWidget(version, this), icon("tab-about"), QStringLiteral("About"));

    restoreLastTab();
    connect(tabWidget, &QTabWidget::currentChanged, this, &TabDialog::saveLastTab);

    layout->addWidget(statusBar, 0);
    layout->addWidget(tabWidget, 0);

    connect(this, &TabDialog::signalResultAppend, joystickWidget, &JoystickStatusWidget::setStatus);
    connect(&simThread, &SimThread::statusReported, this, &TabDialog::signalResultAppend,
            Qt::DirectConnection);

    setWindowTitle(QStringLiteral("Kelo Studio v") + version);
    simThread.start(QThread::InheritPriority);
}

void TabDialog::get_version(QString &version)
{
    // project(KeloStudio VERSION ...) in CMakeLists.txt is the only place it is written.
    version += QStringLiteral(KELO_VERSION);
}

void TabDialog::setWindowSize()
{
    const auto bytes = SettingsFiles::readFile(SettingsFiles::windowFilePath());
    if (!bytes)
        return;
    if (const auto size = SettingsFiles::decodeWindowSize(*bytes))
        resize(size->expandedTo(minimumSize()));
}

QString TabDialog::tabConfigPath() const
{
    return SettingsFiles::tabFilePath();
}

void TabDialog::restoreLastTab()
{
    const auto bytes = SettingsFiles::readFile(tabConfigPath());
    if (!bytes)
        return;
    const auto index = SettingsFiles::decodeTab(*bytes);
    if (index && *index < tabWidget->count())
        tabWidget->setCurrentIndex(*index);
}

void TabDialog::saveLastTab(int index)
{
    SettingsFiles::writeFile(tabConfigPath(), SettingsFiles::encodeTab(index));
}

TabDialog::~TabDialog()
{
    // The pages first: their requests, cancelled as they go, belong to the scanner's network
    // manager, which children made before them would otherwise take along first.
    if (::tabWidget == pages)
        ::tabWidget = nullptr;
    delete pages;
    if (tab_dlg == this)
        tab_dlg = nullptr;
}

void TabDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        closeEvent(nullptr);
        return;
    }
    // QDialog would press an auto-default button of some page on Return/Enter.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TabDialog::resizeEvent(QResizeEvent *)
{
    SettingsFiles::writeFile(SettingsFiles::windowFilePath(),
                             SettingsFiles::encodeWindowSize(size()));
}

void TabDialog::closeEvent(QCloseEvent *)
{
    simThread.requestStop();
    std::printf("> Close Event\n");
    std::fflush(stdout);
    while (simThread.isRunning())
        QThread::msleep(10);
    QApplication::quit();
    term_signal(0);
}
