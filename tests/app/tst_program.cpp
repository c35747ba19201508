// The whole program, started as a child process with the real start-up code, inside the
// namespace's test LAN with the fake radio at 10.77.0.2. The child reports what it shows
// once the radio is known, then presses Escape.
#include "FakeRadio.h"
#include "KeloMain.h"
#include "LogGenerator.h"
#include "NetnsGuard.h"
#include "PlotWidget.h"
#include "RadioScanner.h"
#include "ReplayWidget.h"
#include "SettingsFiles.h"
#include "SimThread.h"
#include "TabDialog.h"
#include "TestSupport.h"

#include <QLabel>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <cstdio>

static void reportAndEscape(TabDialog *dialog)
{
    RadioScanner *scanner = dialog->radioScanner();
    auto report = [dialog, scanner]() {
        if (scanner->ip.isEmpty() || scanner->serial.isEmpty())
            return;
        // Let the strip's own slot run first.
        QTimer::singleShot(0, dialog, [dialog]() {
            QString strip;
            for (QLabel *label : dialog->findChildren<QLabel *>()) {
                if (label->text().startsWith(QStringLiteral("RADIO: ")))
                    strip = label->text();
            }
            std::printf("TITLE: %s\n", qPrintable(dialog->windowTitle()));
            std::printf("STRIP: %s\n", qPrintable(strip));
            std::printf("TABFILE: %s\n",
                        QFile::exists(SettingsFiles::tabFilePath()) ? "written" : "absent");
            std::fflush(stdout);
            QTest::keyClick(dialog, Qt::Key_Escape);
            std::printf("NOT REACHED\n");
        });
    };
    QObject::connect(scanner, &RadioScanner::serialFound, dialog, report);
    dialog->show();
}

// Both log tabs start parsing a long log; Escape comes while they are at it.
static void openLogAndEscape(TabDialog *dialog)
{
    dialog->show();
    QTimer::singleShot(0, dialog, [dialog]() {
        const QString path = qEnvironmentVariable("KELO_TEST_LOG");
        auto *viewer = dialog->findChild<PlotWidget *>();
        auto *replay = dialog->findChild<ReplayWidget *>();
        viewer->loadLogFile(path);
        replay->loadLogFile(path);
        std::printf("LOADING: %d\n", viewer->isLoading() && replay->isLoading());
        std::fflush(stdout);
        QTest::keyClick(dialog, Qt::Key_Escape);
        std::printf("NOT REACHED\n");
    });
}

// Reports the scale the program started with, then presses Escape.
static void reportScaleAndEscape(TabDialog *dialog)
{
    dialog->show();
    QTimer::singleShot(0, dialog, [dialog]() {
        std::printf("SCALE: %s|%s|%g\n", qgetenv("QT_SCALE_FACTOR").constData(),
                    qgetenv("QT_AUTO_SCREEN_SCALE_FACTOR").constData(),
                    dialog->devicePixelRatioF());
        std::fflush(stdout);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
}

// Presses Escape once a radio streams its sticks to the bridge. The Joystick page tells:
// the bridge may have connected before this hook could listen for its status.
static void escapeWhileStreaming(TabDialog *dialog)
{
    dialog->show();
    auto *poll = new QTimer(dialog);
    QObject::connect(poll, &QTimer::timeout, dialog, [dialog, poll]() {
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->text() == QLatin1String("Varnek Kelo is connected.")) {
                poll->stop();
                QTimer::singleShot(300, dialog,
                                   [dialog]() { QTest::keyClick(dialog, Qt::Key_Escape); });
                return;
            }
        }
    });
    poll->start(50);
}

class ProgramTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startsFindsRadioAndEscapes();
    void escapeWhileParsingEndsCleanly();
    void scaleFile_data();
    void scaleFile();
    void closeWaitsForTheBridge();
};

void ProgramTest::initTestCase()
{
    KELO_REQUIRE_TEST_LAN("start the program");
}

void ProgramTest::startsFindsRadioAndEscapes()
{
    FakeRadio radio;
    QVERIFY(radio.listen(QHostAddress(QStringLiteral("10.77.0.2")), 80));

    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Documents")));
    QProcessEnvironment env = TestSupport::programEnvironment(home.path());

    QProcess child;
    QVERIFY(TestSupport::startChild(child, {QStringLiteral("--child")}, env));
    // The fake radio answers from this process's event loop: wait without blocking it.
    QTRY_VERIFY_WITH_TIMEOUT(child.state() == QProcess::NotRunning, 60000);

    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(err));
    QCOMPARE(child.exitCode(), 0);

    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(!lines.isEmpty() && lines.first().startsWith(QStringLiteral("Locale: ")),
             qPrintable(out));
    QVERIFY2(lines.contains(QStringLiteral("TITLE: Kelo Studio v2.1.2")), qPrintable(out));
    QVERIFY2(lines.contains(QStringLiteral("STRIP: RADIO: 10.77.0.2&nbsp;&nbsp;MODEL: <b>Heli "
                                           "450</b>&nbsp;&nbsp;SERIAL: <b>12-AB-3-4-5-6</b>")),
             qPrintable(out));
    QVERIFY2(lines.contains(QStringLiteral("TABFILE: absent")), qPrintable(out));
    QCOMPARE(lines.mid(lines.size() - 2),
             QStringList({QStringLiteral("> Close Event"), QStringLiteral("> Closing app")}));
    QVERIFY(!out.contains(QStringLiteral("NOT REACHED")));
    // The window file was rewritten when the window was first shown.
    QCOMPARE(SettingsFiles::decodeWindowSize(*SettingsFiles::readFile(
                 home.path() + QStringLiteral("/Documents/.kelo-window.cfg"))),
             std::optional<QSize>(QSize(640, 600)));
    QVERIFY(radio.countFor("/system/info") >= 1);
    QCOMPARE(radio.countFor("/system/serial"), 1);
}

void ProgramTest::escapeWhileParsingEndsCleanly()
{
    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Documents")));
    const QString logPath = home.path() + QStringLiteral("/hour.log");
    QVERIFY(TestSupport::writeFile(logPath, LogGenerator::flight(3600)));
    QProcessEnvironment env = TestSupport::programEnvironment(home.path());
    env.insert(QStringLiteral("KELO_TEST_LOG"), logPath);

    QProcess child;
    QVERIFY(TestSupport::startChild(child, {QStringLiteral("--child-parse")}, env));
    QTRY_VERIFY_WITH_TIMEOUT(child.state() == QProcess::NotRunning, 60000);

    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit,
             qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(QStringLiteral("LOADING: 1")), qPrintable(out));
    QCOMPARE(lines.mid(lines.size() - 2),
             QStringList({QStringLiteral("> Close Event"), QStringLiteral("> Closing app")}));
    QVERIFY(!out.contains(QStringLiteral("NOT REACHED")));
}

void ProgramTest::scaleFile_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no file
    QTest::addColumn<QString>("shown"); // QT_SCALE_FACTOR|QT_AUTO_SCREEN_SCALE_FACTOR|ratio
    QTest::newRow("no file") << QByteArray() << "||1";
    QTest::newRow("150 %") << QByteArray("\x96\x00", 2) << "1.5||1.5";
    QTest::newRow("100 % is the platform's") << QByteArray("\x64\x00", 2) << "|1|1";
    QTest::newRow("50 %") << QByteArray("\x32\x00", 2) << "0.5||0.5";
    QTest::newRow("3 bytes ignored") << QByteArray("\x96\x00\x00", 3) << "||1";
}

void ProgramTest::scaleFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Documents")));
    if (!file.isEmpty())
        QVERIFY(TestSupport::writeFile(home.path() + QStringLiteral("/Documents/.kelo-scale.cfg"),
                                       file));
    QProcess child;
    QVERIFY(TestSupport::startChild(child, {QStringLiteral("--child-scale")},
                                    TestSupport::programEnvironment(home.path())));
    QTRY_VERIFY_WITH_TIMEOUT(child.state() == QProcess::NotRunning, 60000);
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(child.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(QStringLiteral("SCALE: ") + shown), qPrintable(lines.join('\n')));
}

// Closing while a radio streams: the window waits for the bridge, which closes its server
// ("> server closed") between the close handler's two lines. A plain file stands in for
// /dev/uhid, which this machine may not have.
void ProgramTest::closeWaitsForTheBridge()
{
    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Documents")));
    const QString uhid = home.path() + QStringLiteral("/uhid");
    {
        QFile file(uhid);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QProcessEnvironment env = TestSupport::programEnvironment(home.path());
    env.insert(QStringLiteral("KELO_TEST_UHID"), uhid);
    QProcess child;
    QVERIFY(TestSupport::startChild(child, {QStringLiteral("--child-joystick")}, env));

    // The radio: connects to the bridge's port and sends a stick packet every 50 ms.
    QTcpSocket radio;
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, &radio, [&radio]() {
        if (radio.state() == QAbstractSocket::UnconnectedState)
            radio.connectToHost(QHostAddress::LocalHost, 2600);
        else if (radio.state() == QAbstractSocket::ConnectedState)
            radio.write(QByteArray(38, '\0'));
    });
    sender.start(50);
    QTRY_VERIFY_WITH_TIMEOUT(child.state() == QProcess::NotRunning, 60000);
    sender.stop();

    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit,
             qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 3, qPrintable(out));
    QCOMPARE(lines.mid(lines.size() - 3),
             QStringList({QStringLiteral("> Close Event"), QStringLiteral("> server closed"),
                          QStringLiteral("> Closing app")}));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child-scale") == 0)
        return keloMain(1, argv, reportScaleAndEscape);
    if (argc > 1 && qstrcmp(argv[1], "--child-joystick") == 0) {
        simThread.setDevicePath(qgetenv("KELO_TEST_UHID"));
        return keloMain(1, argv, escapeWhileStreaming);
    }
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return keloMain(1, argv, reportAndEscape);
    if (argc > 1 && qstrcmp(argv[1], "--child-parse") == 0)
        return keloMain(1, argv, openLogAndEscape);
    QCoreApplication app(argc, argv);
    ProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program.moc"
