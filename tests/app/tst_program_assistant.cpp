// The whole program with the stand-alone fake radio program, both inside the namespace's test
// LAN (the radio at 10.77.0.2), and a scripted AI service inside the program (on loopback,
// the service's address set through keloMain's window-built hook). The user asks the
// assistant for an app; the assistant creates the project, writes app.qml, checks the radio,
// runs the project and takes the radio's screenshot. The program reports what the tools
// answered and writes screenshots of the window (to KELO_SCREENSHOT_DIR, or the temporary
// folder): the finished conversation, and the tab mid-conversation at the first-start size,
// 1366 x 768 and 640 x 600. Then it presses Escape.
#include "AiAssistantWidget.h"
#include "AiServiceApi.h"
#include "DeveloperTestSupport.h"
#include "DeveloperWidget.h"
#include "FakeAiService.h"
#include "KeloMain.h"
#include "MessagesBodyValidator.h"
#include "NetnsGuard.h"
#include "RadioScanner.h"
#include "TabDialog.h"
#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <cstdio>

namespace {

const char AppQml[] = R"(import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/qml/Item/Frame"
import "qrc:/qml/Item/Window"

Item {
    property string name: "Voltmeter"

    TelemWindow {
        x: 30
        y: 30
        width: 740
        height: 270
        text: "Main battery"

        Label {
            anchors.centerIn: parent
            font.pixelSize: font_size_24pt * 3
            color: "white"
            text: stat_battery + " V"
        }
    }
}
)";

void report(const char *key, const QString &value)
{
    std::printf("%s: %s\n", key, qPrintable(value));
    std::fflush(stdout);
}

QString screenshotPath(const QString &name)
{
    return QDir(qEnvironmentVariable("KELO_SCREENSHOT_DIR", QDir::tempPath())).filePath(name);
}

// Lays out what the last steps added, as the event loop would before the next frame.
void settle()
{
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

void grabWindow(TabDialog *dialog, const QSize &size, const QString &name)
{
    dialog->resize(size);
    settle();
    const QString path = screenshotPath(
        QStringLiteral("%1-%2x%3.png").arg(name).arg(size.width()).arg(size.height()));
    report("SCREENSHOT", dialog->grab().save(path) ? path : QStringLiteral("not written"));
    // Below its least width the page scrolls sideways: scrolled to the panel, as a user would.
    auto *area = dialog->findChild<DeveloperWidget *>()->findChild<QScrollArea *>();
    QScrollBar *sideways = area ? area->horizontalScrollBar() : nullptr;
    if (!sideways || sideways->maximum() == 0)
        return;
    sideways->setValue(sideways->maximum());
    settle();
    const QString scrolled = screenshotPath(
        QStringLiteral("%1-%2x%3-scrolled.png").arg(name).arg(size.width()).arg(size.height()));
    report("SCREENSHOT", dialog->grab().save(scrolled) ? scrolled : QStringLiteral("not written"));
    sideways->setValue(0);
}

// What the program sent for each tool call, from the request that followed it.
void reportToolResults(const FakeAiService &service, const QHash<QString, QString> &names)
{
    for (int i = 0; i < service.messagesRequests().size(); ++i) {
        const QJsonArray messages = service.messages(i);
        const QJsonValue content = messages.last().toObject().value("content");
        for (const QJsonValue &block : content.toArray()) {
            const QJsonObject result = block.toObject();
            if (result.value("type") != "tool_result")
                continue;
            const QString id = result.value("tool_use_id").toString();
            report("TOOL",
                   names.value(id) + QStringLiteral(" -> ")
                       + FakeAiService::toolResultText(result));
            const QByteArray png = FakeAiService::toolResultImage(result);
            if (png.isEmpty())
                continue;
            QFile file(screenshotPath(QStringLiteral("kelo-program-assistant-radio-screen.png")));
            const bool saved = file.open(QIODevice::WriteOnly) && file.write(png) == png.size();
            report("RADIO SCREEN", saved ? file.fileName() : QStringLiteral("not written"));
        }
    }
}

void converse(TabDialog *dialog)
{
    auto *service = new FakeAiService(dialog);
    if (!service->listen())
        qFatal("the fake AI service cannot listen");
    AiServiceApi::setBaseUrl(service->url());
    QHash<QString, QString> names;
    const auto queue = [service, &names](const QString &text, const QList<FakeToolCall> &calls) {
        const QStringList ids = service->queueToolCalls(text, calls);
        for (int i = 0; i < ids.size(); ++i)
            names.insert(ids.at(i), calls.at(i).name);
    };
    queue(QStringLiteral("I'll make a Voltmeter app for you."),
          {{"create_project", {{"name", "Voltmeter"}, {"type", "application"}}}});
    queue(QString(), {{"write_file", {{"filename", "app.qml"}, {"content", AppQml}}}});
    queue(QStringLiteral("Now let me run it on your radio and look at the screen."),
          {{"check_radio"}, {"run_project"}, {"take_screenshot"}});
    service->queueText(QStringLiteral(
        "The Voltmeter app runs on your radio: the battery voltage sits in large digits inside a "
        "titled panel, clear of the status bar and the footer."));

    dialog->resize(1066, 666);
    dialog->show();
    RadioScanner *scanner = dialog->radioScanner();
    auto *started = new bool(false);
    QObject::connect(
        scanner, &RadioScanner::deviceFound, dialog, [dialog, service, names, started]() {
            if (*started)
                return;
            *started = true;
            tabWidget->setCurrentIndex(6);
            auto *tab = dialog->findChild<DeveloperWidget *>();
            auto *panel = tab->findChild<AiAssistantWidget *>(QStringLiteral("aiPanel"));
            auto *input = panel->findChild<QPlainTextEdit *>(QStringLiteral("input"));
            auto *send = panel->findChild<QPushButton *>(QStringLiteral("sendButton"));
            auto *stop = panel->findChild<QPushButton *>(QStringLiteral("stopButton"));
            auto *typing = panel->findChild<QTimer *>(QStringLiteral("typeTimer"));
            input->setPlainText(
                QStringLiteral("Make me an app that shows the main battery voltage"));
            send->click();

            auto *poll = new QTimer(dialog);
            auto *stage = new int(0);
            QObject::connect(poll, &QTimer::timeout, dialog, [=]() {
                if (*stage == 0) {
                    if (service->messagesRequests().size() < 4 || !send->isVisible()
                        || typing->isActive())
                        return;
                    *stage = 1;
                    reportToolResults(*service, names);
                    report("PROJECT",
                           tab->findChild<QLabel *>(QStringLiteral("fileLabel"))->text());
                    grabWindow(dialog, QSize(1066, 666),
                               QStringLiteral("kelo-program-assistant-done"));
                    // The next answer never comes: the panel stays busy for the pictures.
                    service->queueAnswer(FakeResponse::hang());
                    input->setPlainText(QStringLiteral("Make the digits a bit smaller"));
                    send->click();
                    return;
                }
                if (!stop->isVisible() || service->messagesRequests().size() < 5)
                    return;
                poll->stop();
                for (const QSize &size : {QSize(1066, 666), QSize(1366, 768), QSize(640, 600)})
                    grabWindow(dialog, size, QStringLiteral("kelo-program-assistant-busy"));
                stop->click();
                const QStringList problems = service->problems()
                    + MessagesBodyValidator::checkWithPython(service->bodies());
                report("PROBLEMS",
                       problems.isEmpty() ? QStringLiteral("none") : problems.join('\n'));
                QTest::keyClick(dialog, Qt::Key_Escape);
                report("NOT REACHED", QString());
            });
            poll->start(20);
        });
}

} // namespace

class ProgramAssistantTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void assistantBuildsAndRunsAnApp();
};

void ProgramAssistantTest::initTestCase()
{
    KELO_REQUIRE_TEST_LAN("start the program");
}

void ProgramAssistantTest::assistantBuildsAndRunsAnApp()
{
    TestSupport::FakeRadioProgram radio(QStringLiteral(FAKE_RADIO_PATH));
    QVERIFY(radio.waitUntilListening());

    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Documents")));
    QProcess child;
    QVERIFY(TestSupport::startChild(child, {QStringLiteral("--child")},
                                    TestSupport::programEnvironment(home.path())));
    QVERIFY(child.waitForFinished(150000));
    QVERIFY(radio.stop());

    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(err));
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList tools = lines.filter(QRegularExpression(QStringLiteral("^TOOL: ")));
    QCOMPARE(
        tools,
        (QStringList {
            "TOOL: create_project -> Created and opened project \"Voltmeter\" (Application).",
            "TOOL: write_file -> Wrote app.qml.",
            "TOOL: check_radio -> Connected to a Kelo radio at 10.77.0.2 (network \"KeloNet\", "
            "model \"Heli 450\").",
            "TOOL: run_project -> Uploaded and executed.",
            "TOOL: take_screenshot -> Screenshot captured."}));
    QVERIFY2(lines.contains(QStringLiteral("PROJECT: Voltmeter / app.qml")), qPrintable(out));
    QVERIFY2(lines.contains(QStringLiteral("PROBLEMS: none")), qPrintable(out));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^SCREENSHOT: .*\\.png$"))).size() >= 4);
    QVERIFY(!out.contains(QStringLiteral("NOT REACHED")));

    const QString project = home.path() + QStringLiteral("/Documents/Kelo Developer/Voltmeter");
    QCOMPARE(WorkspaceTest::readFile(project + QStringLiteral("/src/app.qml")), QByteArray(AppQml));
    QCOMPARE(DeveloperTest::tarMembers(project + QStringLiteral("/output/Voltmeter.tar")),
             (QStringList {"Voltmeter/", "Voltmeter/app.qml", "Voltmeter/icon.png",
                           "Voltmeter/version"}));
    // The screenshot the model was shown is the fake radio's own picture.
    const QString radioScreen
        = lines.filter(QRegularExpression(QStringLiteral("^RADIO SCREEN: "))).value(0).mid(14);
    QImage shown(radioScreen);
    QCOMPARE(shown.size(), QSize(480, 272));

    const QStringList seen = radio.lines();
    const int upload = seen.indexOf(QStringLiteral("fake_radio: POST /upload.html HTTP/1.1"));
    const int exec
        = seen.indexOf(QStringLiteral("fake_radio: GET /app/exec?app=Voltmeter HTTP/1.1"));
    const int screen = seen.indexOf(QRegularExpression(
        QStringLiteral("^fake_radio: GET /screenshot\\.png\\?t=[0-9]+ HTTP/1\\.1")));
    QVERIFY2(upload >= 0 && exec > upload && screen > exec, qPrintable(seen.join('\n')));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return keloMain(1, argv, converse);
    QCoreApplication app(argc, argv);
    ProgramAssistantTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program_assistant.moc"
