// The assistant's conversation against a scripted fake service: what every request carries,
// the tool loop, thinning, the step limit, Stop, failures. Every body sent is checked by the
// Messages API validator and against Python's json.dumps.
#include "AssistantTestSupport.h"
#include "AssistantTexts.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QImage>
#include <QRegularExpression>

Q_DECLARE_METATYPE(FakeResponse)

namespace {

QByteArray smallPng(QColor colour)
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(colour);
    return TestImages::png(image);
}

QJsonObject text(const QString &t)
{
    return {{"type", "text"}, {"text", t}};
}

QJsonObject result(const QString &id, const QString &t)
{
    return {{"type", "tool_result"}, {"tool_use_id", id}, {"content", QJsonArray {text(t)}}};
}

QJsonObject marked(QJsonObject block)
{
    block.insert("cache_control", QJsonObject {{"type", "ephemeral"}});
    return block;
}

QJsonObject userMessage(const QJsonValue &content)
{
    return {{"role", "user"}, {"content", content}};
}

QJsonObject assistantMessage(const QJsonArray &content)
{
    return {{"role", "assistant"}, {"content", content}};
}

// The content of the last tool result in a request's messages.
QJsonArray lastResultContent(const QJsonArray &messages, int messageIndex, int blockIndex = 0)
{
    return messages.at(messageIndex)
        .toObject()
        .value("content")
        .toArray()
        .at(blockIndex)
        .toObject()
        .value("content")
        .toArray();
}

} // namespace

class AiAssistantConversationTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::unsetProxies(); }
    void firstSend_data();
    void firstSend();
    void textAndTwoToolCalls();
    void toolAnswersAtOnceOrLaterSendTheSameBytes();
    void screenshotThinnedWhenTheNextStepCompletes();
    void stepLimitThenSendStaysValid();
    void stopWhileWaitingThenSend();
    void stopWhileToolRunsThenSend();
    void failedRepliesEndTheTurnAndKeepTheHistoryValid_data();
    void failedRepliesEndTheTurnAndKeepTheHistoryValid();
    void cutOffAnswerRunsNoTool();
    void strayToolResultsIgnored();
    void sendAndClearRefusedWhileBusy();
    void blankInputSendsNothing();
};

void AiAssistantConversationTest::firstSend_data()
{
    QTest::addColumn<QString>("serial");
    QTest::newRow("no radio") << QString();
    QTest::newRow("radio serial") << QStringLiteral("12-AB-3-4-5-6");
}

void AiAssistantConversationTest::firstSend()
{
    QFETCH(QString, serial);
    PanelFixture f;
    f.panel->setRadioSerial(serial);
    f.service.queueText("Hi!");
    f.send("  hello \n");
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.chat(), QStringList({"user: hello", "answer: Hi!"}));
    QCOMPARE(f.input()->toPlainText(), QString());

    QCOMPARE(f.service.messagesRequests().size(), 1);
    const FakeRequest request = f.service.messagesRequests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.header("X-Client-App"), QByteArray("kelo-studio"));
    bool serialHeader = false;
    for (const auto &h : request.headers)
        serialHeader |= h.first.compare("X-Radio-Serial", Qt::CaseInsensitive) == 0;
    // No radio: no header at all, not an empty one.
    QCOMPARE(serialHeader, !serial.isEmpty());
    if (!serial.isEmpty())
        QCOMPARE(request.header("X-Radio-Serial"), serial.toUtf8());

    // Compact, keys sorted: the body opens with max_tokens and the first message goes out
    // as one marked text block, while the conversation keeps a string.
    // (Plain literals: moc cannot read raw strings inside a macro.)
    const QByteArray opening
        = "{\"max_tokens\":4096,\"messages\":[{\"content\":[{\"cache_control\":"
          "{\"type\":\"ephemeral\"},\"text\":\"hello\",\"type\":\"text\"}],\"role\":\"user\"}],"
          "\"model\":\"claude-sonnet-5\",\"system\":[{\"cache_control\":{\"type\":\"ephemeral\"},"
          "\"text\":\"";
    QVERIFY2(request.body.startsWith(opening), request.body.left(300).constData());
    const QJsonObject body = f.service.body(0);
    QCOMPARE(body.keys(), QStringList({"max_tokens", "messages", "model", "system", "tools"}));
    QCOMPARE(body.value("system").toArray(),
             QJsonArray({marked(text(AssistantTexts::systemPrompt()))}));
    QJsonArray tools = AssistantTexts::toolDefinitions();
    tools.replace(9, marked(tools.at(9).toObject()));
    QCOMPARE(body.value("tools").toArray(), tools);

    // A second turn: the earlier last message goes out unmarked, as the string it is.
    f.service.queueText("Bye.");
    f.send("bye");
    QTRY_VERIFY(f.idle());
    const QJsonArray messages = f.service.messages(1);
    QCOMPARE(messages.at(0).toObject(), userMessage("hello"));
    QCOMPARE(messages.at(1).toObject(), assistantMessage({text("Hi!")}));
    QCOMPARE(messages.at(2).toObject(), userMessage(QJsonArray {marked(text("bye"))}));

    // Usage is asked for the serial, then after each answer; never without a serial.
    QTRY_COMPARE(f.service.usageRequests().size(), serial.isEmpty() ? 0 : 3);
    QCOMPARE(f.manager.countFor("/v1/usage"), serial.isEmpty() ? 0 : 3);
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::textAndTwoToolCalls()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Manual);
    const QStringList ids = f.service.queueToolCalls(
        "I'll look at the file.",
        {{"read_file", {{"filename", "app.qml"}}},
         {"write_file", {{"filename", "app.qml"}, {"content", "Item {}"}}}});
    f.service.queueText("All done.");
    f.send("fix it");

    QTRY_COMPARE(owner.calls.size(), 1);
    QCOMPARE(owner.calls.at(0).id, ids.at(0));
    QCOMPARE(owner.calls.at(0).name, QStringLiteral("read_file"));
    QCOMPARE(owner.calls.at(0).input, QJsonObject({{"filename", "app.qml"}}));
    QTRY_COMPARE(f.chat(),
                 QStringList({"user: fix it", "answer: I'll look at the file.",
                              "tool: Reading app.qml..."}));
    QVERIFY(!f.idle());

    owner.answerLast();
    QCOMPARE(owner.calls.size(), 2);
    QCOMPARE(owner.calls.at(1).name, QStringLiteral("write_file"));
    QCOMPARE(f.chat().last(), QStringLiteral("tool: Writing app.qml..."));
    QCOMPARE(f.manager.countFor("/v1/messages"), 1); // results go out together

    owner.answerLast();
    QTRY_VERIFY(f.idle());
    QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: All done."));
    const QJsonArray messages = f.service.messages(1);
    QCOMPARE(messages.size(), 3);
    QCOMPARE(messages.at(1).toObject().value("content").toArray().size(), 3);
    QCOMPARE(messages.at(2).toObject(),
             userMessage(QJsonArray {result(ids.at(0), "read_file done."),
                                     marked(result(ids.at(1), "write_file done."))}));
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::toolAnswersAtOnceOrLaterSendTheSameBytes()
{
    QList<QList<QByteArray>> runs;
    QList<QStringList> chats;
    for (ToolOwner::Mode mode : {ToolOwner::Sync, ToolOwner::Deferred}) {
        PanelFixture f;
        ToolOwner owner(f.panel.get(), mode);
        owner.reply = [](const ToolOwner::Call &call) {
            return ToolOwner::Answer {call.name + " ok",
                                      call.name == "take_screenshot" ? smallPng(Qt::red)
                                                                     : QByteArray()};
        };
        f.service.queueToolCalls("Checking.", {{"check_radio", {}}, {"take_screenshot", {}}});
        f.service.queueToolCalls("", {{"list_files", {}}});
        f.service.queueText("Looks right.");
        f.send("look at the radio");
        QTRY_VERIFY(f.idle());
        QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Looks right."));
        QCOMPARE(f.service.messagesRequests().size(), 3);
        runs.append(f.service.bodies());
        chats.append(f.chat());
        VERIFY_BODIES(f);
    }
    QCOMPARE(chats.at(0), chats.at(1));
    QCOMPARE(chats.at(0),
             QStringList({"user: look at the radio", "answer: Checking.",
                          "tool: Checking radio connection...", "tool: Taking a screenshot...",
                          "tool: Listing project files...", "answer: Looks right."}));
    QCOMPARE(runs.at(0), runs.at(1));
}

void AiAssistantConversationTest::screenshotThinnedWhenTheNextStepCompletes()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Deferred);
    const QByteArray screenshot = smallPng(Qt::blue);
    owner.reply = [&screenshot](const ToolOwner::Call &call) {
        return ToolOwner::Answer {"Screenshot taken.",
                                  call.name == "take_screenshot" ? screenshot : QByteArray()};
    };
    const QJsonObject picture {
        {"type", "image"},
        {"source",
         QJsonObject {{"type", "base64"},
                      {"media_type", "image/png"},
                      {"data", QString::fromLatin1(screenshot.toBase64())}}}};
    const QJsonArray fullResult {text("Screenshot taken."), picture};
    const QJsonArray thinnedResult {text("Screenshot taken."),
                                    text("[earlier screenshot omitted]")};

    f.service.queueToolCalls("", {{"take_screenshot", {}}});
    f.service.queueText("Looks right.");
    f.send("check it");
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.service.messagesRequests().size(), 2);
    QCOMPARE(lastResultContent(f.service.messages(1), 2), fullResult);

    // Never thinned at Send: the next turn's first request still carries the picture.
    f.service.queueToolCalls("", {{"list_files", {}}});
    f.service.queueText("Done.");
    f.send("and now?");
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.service.messagesRequests().size(), 4);
    QCOMPARE(lastResultContent(f.service.messages(2), 2), fullResult);
    // Thinned once the next tool step completes.
    QCOMPARE(lastResultContent(f.service.messages(3), 2), thinnedResult);
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::stepLimitThenSendStaysValid()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Deferred);
    QStringList ids;
    for (int i = 0; i < 11; ++i)
        ids += f.service.queueToolCalls(QStringLiteral("Step %1.").arg(i + 1),
                                        {{"list_files", {}}});
    f.send("build it");
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.service.messagesRequests().size(), 11);
    QCOMPARE(owner.calls.size(), 10);
    QTRY_VERIFY(f.chat().contains("answer: Step 11."));
    QCOMPARE(f.chat().filter(QRegularExpression("^tool: ")).size(), 10);
    QCOMPARE(f.chat().last(),
             QStringLiteral("error: Error: Stopped after 10 steps without finishing - ask me to "
                            "continue if I'm not done."));

    // The eleventh call was never run; the next message answers it before its own text.
    f.service.queueText("Continuing.");
    f.send("continue");
    QTRY_VERIFY(f.idle());
    const QJsonArray messages = f.service.messages(11);
    QCOMPARE(messages.last().toObject(),
             userMessage(
                 QJsonArray {result(ids.at(10), "Not run: stopped."), marked(text("continue"))}));

    // A new turn counts its steps from 0 again.
    for (int i = 0; i < 10; ++i)
        f.service.queueToolCalls(QString(), {{"list_files", {}}});
    f.service.queueText("Finished.");
    f.send("once more");
    QTRY_VERIFY(f.idle());
    QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Finished."));
    QCOMPARE(owner.calls.size(), 20);
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::stopWhileWaitingThenSend()
{
    PanelFixture f;
    f.service.queueAnswer(FakeResponse::hang());
    f.send("first");
    QVERIFY(f.service.server().waitForRequests("/v1/messages", 1));
    QVERIFY(f.stopButton()->isVisibleTo(f.panel.get()));
    f.stop();
    QVERIFY(f.idle());
    QCOMPARE(f.chat(), QStringList({"user: first", "error: Error: Stopped."}));

    // The unanswered message and the new one go out as one user turn.
    f.service.queueText("Hello.");
    f.send("second");
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.service.messages(1),
             QJsonArray({userMessage(QJsonArray {text("first"), marked(text("second"))})}));
    QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Hello."));
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::stopWhileToolRunsThenSend()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Manual);
    const QStringList ids = f.service.queueToolCalls(
        "", {{"read_file", {{"filename", "a.qml"}}}, {"read_file", {{"filename", "b.qml"}}}});
    f.send("read both");
    QTRY_COMPARE(owner.calls.size(), 1);
    f.stop();
    // The running tool is not cancelled: the turn stops when it answers.
    QVERIFY(!f.idle());
    QCOMPARE(f.chat().last(), QStringLiteral("tool: Reading a.qml..."));
    owner.answerLast();
    QVERIFY(f.idle());
    QCOMPARE(f.chat().last(), QStringLiteral("error: Error: Stopped."));
    QCOMPARE(owner.calls.size(), 1);
    QCOMPARE(f.manager.countFor("/v1/messages"), 1);

    f.service.queueText("Ok.");
    f.send("go on");
    QTRY_VERIFY(f.idle());
    QCOMPARE(
        f.service.messages(1).last().toObject(),
        userMessage(QJsonArray {result(ids.at(0), "read_file done."),
                                result(ids.at(1), "Not run: stopped."), marked(text("go on"))}));
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::failedRepliesEndTheTurnAndKeepTheHistoryValid_data()
{
    QTest::addColumn<FakeResponse>("reply");
    QTest::addColumn<QString>("bubble"); // a regular expression for the whole line
    QTest::addColumn<bool>("upgrade");

    FakeResponse redirect = FakeResponse::text("", 302);
    redirect.headers.append(qMakePair(QByteArray("Location"), QByteArray("/login")));
    QTest::newRow("302") << redirect
                         << "error: Error: The AI service sent an answer that could not be read "
                            "\\(HTTP status 302\\)\\."
                         << false;
    QTest::newRow("HTML 200") << FakeResponse::bytes("<html><body>Sign in</body></html>",
                                                     "text/html")
                              << "error: Error: The AI service sent an answer that could not "
                                 "be read \\(HTTP status 200\\)\\."
                              << false;
    QTest::newRow("non-JSON 500") << FakeResponse::error(500, "oops")
                                  << "error: Error: .+ \\(HTTP status 500\\)" << false;
    QTest::newRow("service error 500")
        << FakeAiService::errorAnswer(500, "Overloaded") << "error: Error: Overloaded" << false;
    QTest::newRow("usage limit 429")
        << FakeAiService::errorAnswer(429, "Your usage limit has been reached for now.")
        << "error: Error: Your usage limit has been reached for now\\." << true;
    // The network library sends a request once more when a kept-alive connection drops.
    QTest::newRow("dropped connection") << FakeResponse::drop() << "error: Error: \\S.*" << false;
    QTest::newRow("no content") << FakeResponse::json("{\"id\":\"m\",\"type\":\"message\"}")
                                << "error: Error: The AI service sent an answer that could not "
                                   "be read \\(HTTP status 200\\)\\."
                                << false;
    // Stored, it would be an empty assistant message the service refuses from then on.
    QTest::newRow("empty content")
        << FakeResponse::json(FakeAiService::answerBody({}, "end_turn"))
        << "error: Error: The AI service sent an empty answer\\." << false;
}

void AiAssistantConversationTest::failedRepliesEndTheTurnAndKeepTheHistoryValid()
{
    QFETCH(FakeResponse, reply);
    QFETCH(QString, bubble);
    QFETCH(bool, upgrade);
    PanelFixture f;
    f.panel->setRadioSerial("1-2-3-4-5-6");
    QTRY_COMPARE(f.service.usageRequests().size(), 1);
    for (int i = 0; i < 3; ++i)
        f.service.queueAnswer(reply);
    f.send("hello");
    QTRY_VERIFY(f.idle());
    const QString last = f.chat().last();
    QVERIFY2(QRegularExpression("^" + bubble + "$").match(last).hasMatch(), qPrintable(last));
    QCOMPARE(f.upgradeButton()->isVisibleTo(f.panel.get()), upgrade);
    QCOMPARE(f.manager.countFor("/v1/usage"), 1); // no answer, no usage refresh

    f.service.clearAnswers();
    f.service.queueText("Hi.");
    f.send("hello again");
    QTRY_VERIFY(f.idle());
    const QJsonArray messages = f.service.messages(f.service.messagesRequests().size() - 1);
    QCOMPARE(messages,
             QJsonArray({userMessage(QJsonArray {text("hello"), marked(text("hello again"))})}));
    QVERIFY(!f.upgradeButton()->isVisibleTo(f.panel.get()));
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::cutOffAnswerRunsNoTool()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Manual);
    const QStringList ids = f.service.queueToolCalls(
        "Writing the file now.",
        {{"write_file", {{"filename", "app.qml"}, {"content", "import QtQuick 2.12\nIt"}}}},
        "max_tokens");
    f.service.queueText("I'll write it in two parts.");
    f.send("write a big app");
    QTRY_VERIFY(f.idle());
    QVERIFY(owner.calls.isEmpty());
    QCOMPARE(
        f.service.messages(1).last().toObject(),
        userMessage(QJsonArray {marked(result(ids.at(0), "Not run: the answer was cut off."))}));
    QTRY_COMPARE(f.chat(),
                 QStringList({"user: write a big app", "answer: Writing the file now.",
                              "answer: I'll write it in two parts."}));
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::strayToolResultsIgnored()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Manual);
    f.panel->handleToolResult("toolu_7", "late", QByteArray());
    QCOMPARE(f.manager.countFor("/v1/messages"), 0);

    const QStringList ids = f.service.queueToolCalls("", {{"list_files", {}}, {"check_radio", {}}});
    f.send("go");
    QTRY_COMPARE(owner.calls.size(), 1);
    // Not the call it was asked: the second call's id, an unknown one.
    f.panel->handleToolResult(ids.at(1), "early", QByteArray());
    f.panel->handleToolResult("toolu_99", "unknown", QByteArray());
    QCOMPARE(owner.calls.size(), 1);
    QCOMPARE(f.chat().size(), 2);
    owner.answerLast();
    QCOMPARE(owner.calls.size(), 2);
    f.panel->handleToolResult(ids.at(0), "again", QByteArray()); // already answered
    QCOMPARE(f.manager.countFor("/v1/messages"), 1);
    owner.answerLast();
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.service.messages(1).last().toObject(),
             userMessage(QJsonArray {result(ids.at(0), "list_files done."),
                                     marked(result(ids.at(1), "check_radio done."))}));
    f.panel->handleToolResult(ids.at(1), "after the turn", QByteArray());
    QCOMPARE(f.manager.countFor("/v1/messages"), 2);
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::sendAndClearRefusedWhileBusy()
{
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Manual);
    f.service.queueAnswer(FakeResponse::hang());
    f.send("one");
    QVERIFY(f.service.server().waitForRequests("/v1/messages", 1));
    f.send("two");
    f.clear();
    QCOMPARE(f.manager.countFor("/v1/messages"), 1);
    QCOMPARE(f.chat(), QStringList({"user: one"}));
    f.stop();

    f.service.queueToolCalls("", {{"run_project", {}}});
    f.send("three");
    QTRY_COMPARE(owner.calls.size(), 1);
    f.send("four");
    f.clear();
    QCOMPARE(f.manager.countFor("/v1/messages"), 2);
    QCOMPARE(f.chat().last(), QStringLiteral("tool: Uploading and running the project..."));
    owner.answerLast();
    QTRY_VERIFY(f.idle());

    f.clear();
    QCOMPARE(f.chat(), QStringList());
    f.send("five");
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.service.messages(3), QJsonArray({userMessage(QJsonArray {marked(text("five"))})}));
    VERIFY_BODIES(f);
}

void AiAssistantConversationTest::blankInputSendsNothing()
{
    PanelFixture f;
    f.send(" \n\t ");
    QCOMPARE(f.input()->toPlainText(), QStringLiteral(" \n\t "));
    QCOMPARE(f.manager.countFor("/v1/messages"), 0);
    QVERIFY(f.idle());
    QCOMPARE(f.chat(), QStringList());
}

QTEST_MAIN(AiAssistantConversationTest)
#include "tst_aiassistantconversation.moc"
