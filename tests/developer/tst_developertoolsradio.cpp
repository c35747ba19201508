// The assistant's tools that reach the radio through the Developer tab, with the fake radio and
// its debug port on the namespace's test LAN (10.77.0.2, ports 80 and 9022, the ports a radio
// uses): read_debug_log and the terminal it opens, and one whole turn of the assistant that lists
// the files, writes app.qml, runs the project, takes a screenshot and reads the debug log.
#include "AiAssistantWidget.h"
#include "AiServiceApi.h"
#include "DebugWindow.h"
#include "DeveloperTestSupport.h"
#include "FakeAiService.h"
#include "FakeDebugPort.h"
#include "KeloResources.h"
#include "MessagesBodyValidator.h"
#include "NetnsGuard.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace DeveloperTest;
using ProjectType = DeveloperWidget::ProjectType;

namespace {

const char RadioAddress[] = "10.77.0.2";
const char JustConnected[]
    = "Debug terminal just connected - it had nothing captured before now. Run the project "
      "again and call read_debug_log once more to see output from that run.";
const char NothingYet[] = "Debug terminal is connected but hasn't captured any messages yet.";

QByteArray accessLogLines(const QByteArray &request)
{
    return "2026-12-10 13:00:00 [1] New connection\n2026-12-10 13:00:00 [1] " + request
        + " HTTP/1.1 (200)\n";
}

} // namespace

class DeveloperToolsRadioTest : public QObject, public TabFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void debugTerminalFollowsTheRadio();
    void readDebugLog_data();
    void readDebugLog();
    void readDebugLogWithoutRadio();
    void readDebugLogAnswersTheLastLines();
    void oneTurnThroughEveryRadioTool();

private:
    void foundOnLan();
    DebugWindow *debugWindow() const { return widget->findChild<DebugWindow *>(); }

    std::unique_ptr<FakeAiService> service;
    std::unique_ptr<FakeRadio> lanRadio;
    std::unique_ptr<FakeDebugPort> debugPort;
};

void DeveloperToolsRadioTest::initTestCase()
{
    QString why;
    if (!NetnsGuard::insideTestLan(&why))
        QFAIL(qPrintable(QStringLiteral("needs the test LAN: ") + why));
    initKeloResources();
    TestSupport::unsetProxies();
}

void DeveloperToolsRadioTest::init()
{
    setUp();
    service = std::make_unique<FakeAiService>();
    QVERIFY(service->listen());
    AiServiceApi::setBaseUrl(service->url());
    lanRadio = std::make_unique<FakeRadio>();
    QVERIFY(lanRadio->listen(QHostAddress(RadioAddress), 80));
    for (const char *path : {"/upload.html", "/app/exec", "/model/base/exec"})
        lanRadio->setResponse(path, FakeResponse::text("OK"));
    debugPort = std::make_unique<FakeDebugPort>();
    QVERIFY(debugPort->listen(QHostAddress(RadioAddress), 9022));
}

void DeveloperToolsRadioTest::cleanup()
{
    const QStringList problems
        = service->problems() + MessagesBodyValidator::checkWithPython(service->bodies());
    tearDown();
    debugPort.reset();
    lanRadio.reset();
    service.reset();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void DeveloperToolsRadioTest::foundOnLan()
{
    scanner->ip = QString::fromLatin1(RadioAddress);
    scanner->networkName = QStringLiteral("KeloNet");
    scanner->modelName = QStringLiteral("Heli 450");
    emit scanner->deviceFound(scanner->ip, scanner->networkName, scanner->modelName);
}

// The terminal follows the radio: lost, it disconnects; found again, it reconnects.
void DeveloperToolsRadioTest::debugTerminalFollowsTheRadio()
{
    makeWidget();
    foundOnLan();
    button("debugToggleButton")->click();
    QTRY_COMPARE(debugPort->openConnections(), 1);
    lost();
    QTRY_COMPARE(debugPort->openConnections(), 0);
    QVERIFY(debugWindow()->isVisible());
    foundOnLan();
    QTRY_COMPARE(debugPort->openConnections(), 1);
    QCOMPARE(debugPort->connectionCount(), 2);
}

void DeveloperToolsRadioTest::readDebugLog_data()
{
    QTest::addColumn<bool>("openBefore");
    QTest::addColumn<QByteArray>("sent"); // before the second call, ahead of a last line
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("closed, then output")
        << false << accessLogLines("GET /app/exec?app=demo") + "qml: demo started\r\nqml: tick 1\n"
        << JustConnected << "qml: demo started\nqml: tick 1\nqml: last\n";
    QTest::newRow("closed, then the access log")
        << false << accessLogLines("GET /system/info") << JustConnected << "qml: last\n";
    QTest::newRow("open, then output")
        << true << QByteArray("qml: hello\n") << NothingYet << "qml: hello\nqml: last\n";
}

void DeveloperToolsRadioTest::readDebugLog()
{
    QFETCH(bool, openBefore);
    QFETCH(QByteArray, sent);
    QFETCH(QString, first);
    QFETCH(QString, second);
    makeWidget();
    foundOnLan();
    QToolButton *toggle = button("debugToggleButton");
    if (openBefore) {
        toggle->click();
        QTRY_COMPARE(debugPort->openConnections(), 1);
    }
    QCOMPARE(callBackend(widget, "read_debug_log").text, first);
    QVERIFY(debugWindow()->isVisible());
    QVERIFY(toggle->isChecked());
    QTRY_COMPARE(debugPort->openConnections(), 1);
    QCOMPARE(debugPort->connectionCount(), 1);

    debugPort->send(sent + "qml: last\n");
    QTRY_VERIFY(debugWindow()->outputText().endsWith("qml: last\n"));
    QCOMPARE(callBackend(widget, "read_debug_log").text, second);
    QCOMPARE(debugPort->connectionCount(), 1);
}

void DeveloperToolsRadioTest::readDebugLogWithoutRadio()
{
    makeWidget();
    QCOMPARE(callBackend(widget, "read_debug_log").text,
             QString("No radio is currently connected - the Debug terminal has nothing to "
                     "connect to."));
    QVERIFY(!debugWindow()->isVisible());
    QVERIFY(!button("debugToggleButton")->isChecked());
    QCOMPARE(debugPort->connectionCount(), 0);
}

// A full terminal holds up to 5000 lines; the answer stays in the conversation and goes out
// with every later request, so it carries only the last 64 KiB, from the start of a line.
void DeveloperToolsRadioTest::readDebugLogAnswersTheLastLines()
{
    makeWidget();
    foundOnLan();
    button("debugToggleButton")->click();
    QTRY_COMPARE(debugPort->openConnections(), 1);
    QStringList lines;
    QByteArray stream;
    for (int i = 0; i < 4000; ++i) {
        // Two bytes for "ö": the limit counts bytes, not characters.
        lines.append(QStringLiteral("qml: Zeile %1 größer als die Anzeige, Werte %2")
                         .arg(i, 4, 10, QLatin1Char('0'))
                         .arg(QString(40, QLatin1Char('x'))));
        stream += lines.last().toUtf8() + '\n';
    }
    debugPort->send(stream);
    QTRY_VERIFY(debugWindow()->outputText().endsWith(lines.last() + '\n'));

    const QString answer = callTool(*service, widget, "read_debug_log").text;
    const QString note = QStringLiteral(
        "[Earlier output left out - these are the last 64 KiB of the Debug terminal.]\n");
    QVERIFY2(answer.startsWith(note), qPrintable(answer.left(200)));
    const QString kept = answer.mid(note.size());
    QVERIFY(kept.toUtf8().size() <= 65536);
    QVERIFY(kept.toUtf8().size() > 65536 - 200);
    const QStringList keptLines = kept.split('\n');
    QCOMPARE(keptLines.last(), QString());
    QCOMPARE(keptLines.mid(0, keptLines.size() - 1),
             lines.mid(lines.size() - (keptLines.size() - 1)));
    // The request that carried it stays small.
    QVERIFY(service->bodies().last().size() < 200 * 1024);
}

// The turn of the road of one request: every tool_result reaches the service in the request
// after its call.
void DeveloperToolsRadioTest::oneTurnThroughEveryRadioTool()
{
    QVERIFY(makeProject("demo", ProjectType::Application));
    makeWidget();
    selectProject("demo");
    foundOnLan();
    const QByteArray screen = TestImages::png(QImage(":/dev/icon.png").scaled(800, 480));
    lanRadio->setResponse("/screenshot.png", FakeResponse::bytes(screen, "image/png"));
    connect(lanRadio.get(), &FakeHttpServer::requestReceived, this,
            [this](const FakeRequest &request) {
                debugPort->send(accessLogLines(request.method + ' ' + request.target));
                if (request.path == "/app/exec")
                    debugPort->send("qml: demo started\n");
            });
    const QString qml = QStringLiteral("import QtQuick 2.12\nItem { }\n");

    QStringList ids;
    ids += service->queueToolCalls("Let me look at the project.", {{"list_files"}});
    ids += service->queueToolCalls(QString(),
                                   {{"write_file", {{"filename", "app.qml"}, {"content", qml}}}});
    ids += service->queueToolCalls(QString(), {{"read_debug_log"}});
    // Run once the terminal is connected, so it sees what the start prints.
    ids.append({"toolu_run", "toolu_shot"});
    service->queueAnswer(
        FakeResponse::json(FakeAiService::answerBody(
                               {FakeAiService::textBlock("Running it now."),
                                FakeAiService::toolUseBlock(ids.at(3), "run_project", {}),
                                FakeAiService::toolUseBlock(ids.at(4), "take_screenshot", {})},
                               "tool_use"))
            .heldUntil([this]() { return debugPort->openConnections() == 1; }));
    // The last log read is answered once the radio's output has reached the terminal.
    ids.append("toolu_log");
    service->queueAnswer(
        FakeResponse::json(
            FakeAiService::answerBody(
                {FakeAiService::toolUseBlock(ids.last(), "read_debug_log", {})}, "tool_use"))
            .heldUntil(
                [this]() { return debugWindow()->outputText().contains("qml: demo started"); }));
    service->queueText("It runs.");
    auto *panel = child<AiAssistantWidget>("aiPanel");
    panel->findChild<QPlainTextEdit *>("input")->setPlainText("Make the app empty and run it");
    QMetaObject::invokeMethod(panel, "onSendClicked");
    QTRY_VERIFY_WITH_TIMEOUT(service->messagesRequests().size() == 6
                                 && !panel->findChild<QPushButton *>("sendButton")->isHidden(),
                             20000);

    // Request n+1 carries the results of the calls of answer n, in call order.
    const QList<QStringList> expected {
        {"Files in project \"demo\":\napp.qml (open in editor)\nicon.png\nversion"},
        {"Wrote app.qml."},
        {JustConnected},
        {"Uploaded and executed.", "Screenshot captured."},
        {"qml: demo started\n"}};
    int call = 0;
    for (int request = 1; request <= expected.size(); ++request) {
        const QJsonArray content
            = service->messages(request).last().toObject().value("content").toArray();
        QCOMPARE(content.size(), expected.at(request - 1).size());
        for (int i = 0; i < content.size(); ++i, ++call) {
            const QJsonObject result = content.at(i).toObject();
            QCOMPARE(result.value("type").toString(), QString("tool_result"));
            QCOMPARE(result.value("tool_use_id").toString(), ids.at(call));
            QCOMPARE(FakeAiService::toolResultText(result), expected.at(request - 1).at(i));
            const bool shot = ids.at(call) == ids.at(4);
            QCOMPARE(result.value("content").toArray().size(), shot ? 2 : 1);
            if (shot)
                QCOMPARE(FakeAiService::toolResultImage(result), screen);
        }
    }
    QCOMPARE(call, ids.size());

    QCOMPARE(WorkspaceTest::readFile(projectFile("demo", "src/app.qml")), qml.toUtf8());
    QCOMPARE(editor()->toPlainText(), qml);
    QStringList seen;
    for (const FakeRequest &request : lanRadio->requests())
        seen.append(QString::fromLatin1(request.method + ' ' + request.path));
    QCOMPARE(seen, (QStringList {"POST /upload.html", "GET /app/exec", "GET /screenshot.png"}));
    QCOMPARE(lanRadio->requestsFor("/app/exec").first().query, QByteArray("app=demo"));
    QCOMPARE(status(), QString("Uploaded and executed."));
}

QTEST_MAIN(DeveloperToolsRadioTest)
#include "tst_developertoolsradio.moc"
