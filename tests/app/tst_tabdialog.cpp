// The main window in-process. Runs in a loopback-only namespace: the scanner it starts
// has no candidate address and sends nothing.
#include "KeloResources.h"
#include "NetnsGuard.h"
#include "RadioScanner.h"
#include "SettingsFiles.h"
#include "SimThread.h"
#include "TabDialog.h"

#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include <algorithm>

class TabDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void windowSizeFile_data();
    void windowSizeFile();
    void tabFile_data();
    void tabFile();
    void tabChangesRewriteTabFile();
    void pageOrderAndTitle();
    void returnDoesNotPressAPageButton();
    void pagesGoBeforeTheNetworkManager();
    void noNetworkGivesNotFoundOnEveryTick();
    void cleanupTestCase();

private:
    QTemporaryDir home;
    QString documents;
};

void TabDialogTest::initTestCase()
{
    if (qgetenv("KELO_NETNS") != "loopback" && qgetenv("KELO_NETNS") != "lan")
        QFAIL("the main window starts a sweep: run this through scripts/netns.sh --no-lan");
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    documents = home.path() + QStringLiteral("/Documents");
    QVERIFY(QDir().mkpath(documents));
    QCOMPARE(SettingsFiles::documentsPath(), documents);
    initKeloResources();
    res_path = QStringLiteral(":/");
}

void TabDialogTest::init()
{
    QFile::remove(SettingsFiles::windowFilePath());
    QFile::remove(SettingsFiles::tabFilePath());
}

void TabDialogTest::windowSizeFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("absent") << QByteArray() << QSize(640, 600);
    QTest::newRow("800 x 700") << SettingsFiles::encodeWindowSize(QSize(800, 700))
                               << QSize(800, 700);
    QTest::newRow("100 x 100 raised to minimum")
        << SettingsFiles::encodeWindowSize(QSize(100, 100)) << QSize(640, 600);
    QTest::newRow("700 x 100 height raised")
        << SettingsFiles::encodeWindowSize(QSize(700, 100)) << QSize(700, 600);
    QTest::newRow("5 bytes ignored") << QByteArray("\x20\x03\xbc\x02\x00", 5) << QSize(640, 600);
}

void TabDialogTest::windowSizeFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, expected);
    if (!bytes.isEmpty())
        SettingsFiles::writeFile(SettingsFiles::windowFilePath(), bytes);
    TabDialog dialog;
    QVERIFY(dialog.size().width() >= 640 && dialog.size().height() >= 600);
    if (expected != QSize(640, 600))
        QCOMPARE(dialog.size(), expected);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Showing rewrites the file with the shown size.
    QTRY_COMPARE(*SettingsFiles::readFile(SettingsFiles::windowFilePath()),
                 SettingsFiles::encodeWindowSize(dialog.size()));
    if (expected != QSize(640, 600))
        QCOMPARE(dialog.size(), expected);
    dialog.resize(900, 750);
    QTRY_COMPARE(*SettingsFiles::readFile(SettingsFiles::windowFilePath()),
                 SettingsFiles::encodeWindowSize(QSize(900, 750)));
}

void TabDialogTest::tabFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("current");
    QTest::newRow("absent") << QByteArray() << 0;
    QTest::newRow("7 opens About") << QByteArray("\x07", 1) << 7;
    QTest::newRow("3 opens Image") << QByteArray("\x03", 1) << 3;
    QTest::newRow("8 is out of range") << QByteArray("\x08", 1) << 0;
    QTest::newRow("255 is out of range") << QByteArray("\xff", 1) << 0;
    QTest::newRow("2 bytes ignored") << QByteArray("\x07\x07", 2) << 0;
}

void TabDialogTest::tabFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, current);
    if (!bytes.isEmpty())
        SettingsFiles::writeFile(SettingsFiles::tabFilePath(), bytes);
    TabDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(tabWidget->currentIndex(), current);
    // Starting never writes the tab file.
    const auto after = SettingsFiles::readFile(SettingsFiles::tabFilePath());
    QCOMPARE(after.has_value(), !bytes.isEmpty());
    if (after)
        QCOMPARE(*after, bytes);
}

void TabDialogTest::tabChangesRewriteTabFile()
{
    TabDialog dialog;
    QVERIFY(!QFile::exists(SettingsFiles::tabFilePath()));
    tabWidget->setCurrentIndex(5);
    QCOMPARE(*SettingsFiles::readFile(SettingsFiles::tabFilePath()), QByteArray("\x05", 1));
    tabWidget->setCurrentIndex(0);
    QCOMPARE(*SettingsFiles::readFile(SettingsFiles::tabFilePath()), QByteArray("\x00", 1));
}

void TabDialogTest::pageOrderAndTitle()
{
    TabDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Kelo Studio v2.1.2"));
    QCOMPARE(dialog.minimumSize(), QSize(640, 600));
    const QStringList labels {"Joystick", "Log Viewer",   "Replay",    "Image",
                              "Screen",   "Applications", "Developer", "About"};
    QCOMPARE(tabWidget->count(), labels.size());
    for (int i = 0; i < labels.size(); ++i) {
        QCOMPARE(tabWidget->tabText(i), labels.at(i));
        QVERIFY(!tabWidget->tabIcon(i).isNull());
    }
    QCOMPARE(tabWidget->iconSize(), QSize(20, 20));
    QCOMPARE(tab_dlg, &dialog);
    // The status strip sits above the tab widget.
    auto *layout = dialog.layout();
    QCOMPARE(layout->itemAt(1)->widget(), static_cast<QWidget *>(tabWidget));
}

void TabDialogTest::pagesGoBeforeTheNetworkManager()
{
    // A page cancels its requests still running as it goes (the assistant's, for one); they
    // belong to the scanner's network manager, which must still exist then. Qt's own code
    // does not show the sanitizers a use of the freed manager: the order is checked instead.
    auto *dialog = new TabDialog;
    QList<QPointer<QWidget>> pages;
    for (int i = 0; i < tabWidget->count(); ++i)
        pages.append(tabWidget->widget(i));
    int pagesLeft = -1;
    connect(dialog->radioScanner()->networkManager, &QObject::destroyed, this, [&]() {
        pagesLeft
            = int(std::count_if(pages.cbegin(), pages.cend(),
                                [](const QPointer<QWidget> &page) { return !page.isNull(); }));
    });
    delete dialog;
    QCOMPARE(pagesLeft, 0);
    QVERIFY(!tabWidget);
    QVERIFY(!tab_dlg);
}

void TabDialogTest::returnDoesNotPressAPageButton()
{
    TabDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *button = new QPushButton(QStringLiteral("Danger"), tabWidget->widget(7));
    button->setAutoDefault(true);
    button->setDefault(true);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Enter);
    QCOMPARE(clicked.count(), 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
}

void TabDialogTest::noNetworkGivesNotFoundOnEveryTick()
{
    if (qgetenv("KELO_NETNS") != "loopback")
        QSKIP("needs the loopback-only namespace");
    TabDialog dialog;
    RadioScanner *scanner = dialog.radioScanner();
    QSignalSpy started(scanner, &RadioScanner::scanStarted);
    QSignalSpy notFound(scanner, &RadioScanner::deviceNotFound);
    QTRY_VERIFY_WITH_TIMEOUT(notFound.count() >= 2, 6000);
    QCOMPARE(started.count(), 0);
}

void TabDialogTest::cleanupTestCase()
{
    simThread.requestStop();
    QVERIFY(simThread.wait(10000));
}

QTEST_MAIN(TabDialogTest)
#include "tst_tabdialog.moc"
