// The whole program and the stand-alone fake radio program, both inside the namespace's test
// LAN (the radio at 10.77.0.2). The program, started as a child with a fresh home, creates a
// project through the Developer tab's dialogs, opens the debug terminal, presses Play once the
// radio is found, reports what the tab and the terminal show and presses Escape.
#include "DebugWindow.h"
#include "DeveloperTestSupport.h"
#include "KeloMain.h"
#include "NetnsGuard.h"
#include "RadioScanner.h"
#include "TabDialog.h"
#include "TestSupport.h"

#include <QLabel>
#include <QProcess>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <cstdio>

using namespace DeveloperTest;

static void report(const char *key, const QString &value)
{
    std::printf("%s: %s\n", key, qPrintable(value));
    std::fflush(stdout);
}

static void createProjectAndPlay(TabDialog *dialog)
{
    dialog->show();
    RadioScanner *scanner = dialog->radioScanner();
    auto *started = new bool(false);
    QObject::connect(scanner, &RadioScanner::deviceFound, dialog, [dialog, started]() {
        if (*started)
            return;
        *started = true;
        // Out of the scanner's signal: the dialogs below run their own event loops.
        QTimer::singleShot(0, dialog, [dialog]() {
            tabWidget->setCurrentIndex(6);
            auto *tab = dialog->findChild<DeveloperWidget *>();
            auto *script = new ScopedModalScript();
            script->run({clickButton("applicationButton"), typeName("demo")});
            tab->findChild<QToolButton *>(QStringLiteral("createButton"))->click();
            delete script;
            report("FILE", tab->findChild<QLabel *>(QStringLiteral("fileLabel"))->text());
            auto *status = tab->findChild<QLabel *>(QStringLiteral("statusLabel"));
            // The terminal open first, so it sees the app start.
            tab->findChild<QToolButton *>(QStringLiteral("debugToggleButton"))->click();
            auto *terminal = tab->findChild<DebugWindow *>();
            auto *play = tab->findChild<QToolButton *>(QStringLiteral("playButton"));
            play->click();
            report("PLAY", play->isEnabled() ? "enabled" : "disabled");
            auto *poll = new QTimer(dialog);
            QObject::connect(poll, &QTimer::timeout, dialog, [=]() {
                if (!play->isEnabled() || !terminal->outputText().contains("qml: demo started"))
                    return;
                poll->stop();
                report("STATUS", status->text());
                report("DEBUG", terminal->outputText());
                QTest::keyClick(dialog, Qt::Key_Escape);
                report("NOT REACHED", QString());
            });
            poll->start(20);
        });
    });
}

class ProgramDeveloperTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void createsAndPlaysOnTheFakeRadio();
};

void ProgramDeveloperTest::initTestCase()
{
    KELO_REQUIRE_TEST_LAN("start the program");
}

void ProgramDeveloperTest::createsAndPlaysOnTheFakeRadio()
{
    TestSupport::FakeRadioProgram radio(QStringLiteral(FAKE_RADIO_PATH));
    QVERIFY(radio.waitUntilListening());

    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Documents")));
    QProcessEnvironment env = TestSupport::programEnvironment(home.path());
    QProcess child;
    QVERIFY(TestSupport::startChild(child, {QStringLiteral("--child")}, env));
    QVERIFY(child.waitForFinished(90000));
    QVERIFY(radio.stop());

    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(err));
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(QStringLiteral("FILE: demo / app.qml")), qPrintable(out));
    QVERIFY2(lines.contains(QStringLiteral("PLAY: disabled")), qPrintable(out));
    QVERIFY2(lines.contains(QStringLiteral("STATUS: Uploaded and executed.")), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("NOT REACHED")));
    // The radio's debug stream, without its web server's access log.
    QVERIFY2(lines.contains(QStringLiteral("DEBUG: Kelo debug console")), qPrintable(out));
    QVERIFY2(lines.contains(QStringLiteral("qml: demo started")), qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("HTTP/1.1 (200)")), qPrintable(out));

    const QString package
        = home.path() + QStringLiteral("/Documents/Kelo Developer/demo/output/demo.tar");
    QCOMPARE(tarMembers(package),
             (QStringList {"demo/", "demo/app.qml", "demo/icon.png", "demo/version"}));
    const QStringList seen = radio.lines();
    const int upload = seen.indexOf(QStringLiteral("fake_radio: POST /upload.html HTTP/1.1"));
    const int exec = seen.indexOf(QStringLiteral("fake_radio: GET /app/exec?app=demo HTTP/1.1"));
    QVERIFY2(upload >= 0 && exec > upload, qPrintable(seen.join('\n')));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return keloMain(1, argv, createProjectAndPlay);
    QCoreApplication app(argc, argv);
    ProgramDeveloperTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program_developer.moc"
