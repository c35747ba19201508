// The assistant's rules without a window: the request body and its cache marks, the history
// kept valid, thinning, reading replies, and what the panel shows for them.
#include "AssistantRequest.h"
#include "ChatPanelLogic.h"
#include "ConversationLogic.h"
#include "TestImages.h"
#include "UsageQuota.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QtTest>

using namespace ConversationLogic;

Q_DECLARE_METATYPE(QList<ChatMessage>)

namespace {

QJsonValue json(const char *text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray("[") + text + "]");
    Q_ASSERT(!doc.isNull());
    return doc.array().at(0);
}

ChatMessage msg(const char *role, const char *contentJson)
{
    return {QString::fromLatin1(role), json(contentJson)};
}

QString compact(const QJsonValue &v)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

QString compactConversation(const QList<ChatMessage> &conversation)
{
    QStringList out;
    for (const ChatMessage &m : conversation)
        out.append(m.role + "=" + compact(m.content));
    return out.join(' ');
}

} // namespace

class AssistantLogicTest : public QObject
{
    Q_OBJECT
private slots:
    void cacheMarks_data();
    void cacheMarks();
    void bodyKeysAndFixedValues();
    void bodyWriterMatchesTheReference();
    void appendUserContent_data();
    void appendUserContent();
    void thinScreenshots();
    void readReply_data();
    void readReply();
    void extractTextBlocks_data();
    void extractTextBlocks();
    void toolBubbleText_data();
    void toolBubbleText();
    void splitFirstCodeBlock_data();
    void splitFirstCodeBlock();
    void busyText_data();
    void busyText();
    void quotaBar_data();
    void quotaBar();
    void countdown_data();
    void countdown();
    void planBadge_data();
    void planBadge();
    void attachmentSize_data();
    void attachmentSize();
    void pieceEnd_data();
    void pieceEnd();
    void breakableText_data();
    void breakableText();
    void noisyAttachmentFitsTheServiceLimit();
};

void AssistantLogicTest::cacheMarks_data()
{
    QTest::addColumn<QList<ChatMessage>>("conversation");
    QTest::addColumn<QString>("messages"); // as sent, compact
    const QString mark = R"("cache_control":{"type":"ephemeral"})";

    QTest::newRow("string becomes one marked text block")
        << QList<ChatMessage> {msg("user", R"("hi")")}
        << R"([{"content":[{)" + mark + R"(,"text":"hi","type":"text"}],"role":"user"}])";
    QTest::newRow("empty last content goes out unmarked")
        << QList<ChatMessage> {msg("user", R"("hi")"), msg("assistant", "[]")}
        << R"([{"content":"hi","role":"user"},{"content":[],"role":"assistant"}])";
    QTest::newRow("images then text: the text is marked")
        << QList<ChatMessage> {msg("user",
                                   R"([{"type":"image","source":{"type":"base64",)"
                                   R"("media_type":"image/png","data":"AA=="}},)"
                                   R"({"type":"text","text":"like this"}])")}
        << R"([{"content":[{"source":{"data":"AA==","media_type":"image/png","type":"base64"},)"
           R"("type":"image"},{)"
            + mark + R"(,"text":"like this","type":"text"}],"role":"user"}])";
    QTest::newRow("tool results: the last result, not inside it")
        << QList<ChatMessage> {msg("user", R"("go")"),
                               msg("assistant",
                                   R"([{"type":"tool_use","id":"a","name":"x",)"
                                   R"("input":{}}])"),
                               msg("user",
                                   R"([{"type":"tool_result","tool_use_id":"a",)"
                                   R"("content":[{"type":"text","text":"r"}]}])")}
        << R"([{"content":"go","role":"user"},{"content":[{"id":"a","input":{},"name":"x",)"
           R"("type":"tool_use"}],"role":"assistant"},{"content":[{)"
            + mark
            + R"(,"content":[{"text":"r","type":"text"}],"tool_use_id":"a",)"
              R"("type":"tool_result"}],"role":"user"}])";
    QTest::newRow("earlier last message unmarked")
        << QList<ChatMessage> {msg("user", R"("one")"),
                               msg("assistant", R"([{"type":"text","text":"ok"}])"),
                               msg("user", R"("two")")}
        << R"([{"content":"one","role":"user"},{"content":[{"text":"ok","type":"text"}],)"
           R"("role":"assistant"},{"content":[{)"
            + mark + R"(,"text":"two","type":"text"}],"role":"user"}])";
}

void AssistantLogicTest::cacheMarks()
{
    QFETCH(QList<ChatMessage>, conversation);
    const QList<ChatMessage> before = conversation;
    const QJsonObject body = AssistantRequest::buildBody(
        conversation, "prompt",
        QJsonArray {QJsonObject {{"name", "a"}}, QJsonObject {{"name", "b"}}});
    QTEST(compact(body.value("messages")), "messages");
    // System block and last tool always marked; the stored conversation never changes.
    // (Raw strings stay out of the test macros: moc cannot read them there.)
    const QString system(
        R"([{"cache_control":{"type":"ephemeral"},"text":"prompt","type":"text"}])");
    const QString tools(R"([{"name":"a"},{"cache_control":{"type":"ephemeral"},"name":"b"}])");
    QCOMPARE(compact(body.value("system")), system);
    QCOMPARE(compact(body.value("tools")), tools);
    QCOMPARE(compactConversation(conversation), compactConversation(before));
}

void AssistantLogicTest::bodyKeysAndFixedValues()
{
    const QByteArray body = AssistantRequest::serialize(AssistantRequest::buildBody(
        {msg("user", R"("a b")")}, "p\nq", QJsonArray {QJsonObject {{"name", "t"}}}));
    const QByteArray expected(
        R"({"max_tokens":4096,"messages":[{"content":[{"cache_control":)"
        R"({"type":"ephemeral"},"text":"a b","type":"text"}],"role":"user"}],)"
        R"("model":"claude-sonnet-5","system":[{"cache_control":{"type":)"
        R"("ephemeral"},"text":"p\nq","type":"text"}],"tools":[{"cache_control":)"
        R"({"type":"ephemeral"},"name":"t"}]})");
    QCOMPARE(body, expected);
}

void AssistantLogicTest::bodyWriterMatchesTheReference()
{
    // A conversation as it grows, is repaired, thinned, merged and cleared: the writer, which
    // keeps the text of blocks it wrote, gives the same bytes as writing it all afresh.
    const QString prompt = QStringLiteral("You write \"QML\".\n\u00e9\U0001F600");
    const QJsonArray tools {QJsonObject {{"name", "a"}, {"description", "x\ty"}},
                            QJsonObject {{"name", "read_docs"}}};
    const QByteArray png = TestImages::png(QImage(300, 200, QImage::Format_RGB32));
    const QJsonObject picture = AssistantRequest::imageBlock(png);
    AssistantRequest::BodyWriter writer;
    writer.remember(picture, AssistantRequest::blockJson(picture));
    QList<QList<ChatMessage>> steps;
    QList<ChatMessage> c {msg("user", R"("hello \"there\"\n")")};
    steps << c;
    c << msg("assistant",
             R"([{"type":"text","text":"Looking."},"odd",)"
             R"({"type":"tool_use","id":"t1","name":"take_screenshot","input":{"n":1.5}}])");
    c << ChatMessage {"user", QJsonArray {AssistantRequest::toolResultBlock("t1", "shot", png)}};
    steps << c;
    c << msg("assistant", R"([{"type":"tool_use","id":"t2","name":"list_files","input":{}}])");
    ConversationLogic::thinScreenshots(c);
    c << ChatMessage {"user", QJsonArray {AssistantRequest::toolResultBlock("t2", "")}};
    steps << c;
    c << msg("assistant", "[]");
    steps << c;
    c.removeLast();
    ConversationLogic::appendUserContent(
        c, QJsonArray {picture, AssistantRequest::textBlock("this")}, {}, "x");
    steps << c;
    c << msg("assistant", R"([{"type":"text","text":"Ok."}])");
    ConversationLogic::appendUserContent(c, QJsonArray {picture}, {}, "x");
    steps << c;
    steps << QList<ChatMessage> {msg("user", R"("after Clear")")};
    steps << QList<ChatMessage> {
        msg("user", R"([{"type":"text","text":"a","cache_control":{"type":"ephemeral"}}])")};
    for (int i = 0; i < steps.size(); ++i) {
        const QByteArray expected
            = AssistantRequest::serialize(AssistantRequest::buildBody(steps.at(i), prompt, tools));
        const QByteArray written = writer.write(steps.at(i), prompt, tools);
        QVERIFY2(written == expected,
                 qPrintable(QStringLiteral("step %1:\n%2\n%3")
                                .arg(i)
                                .arg(QString::fromUtf8(written.left(2000)),
                                     QString::fromUtf8(expected.left(2000)))));
    }
}

void AssistantLogicTest::appendUserContent_data()
{
    QTest::addColumn<QList<ChatMessage>>("conversation");
    QTest::addColumn<QString>("content"); // JSON
    QTest::addColumn<QString>("collected"); // JSON array of tool_result blocks
    QTest::addColumn<QString>("expected");

    const char *call2
        = R"([{"type":"text","text":"t"},{"type":"tool_use","id":"a","name":"x","input":{}},)"
          R"({"type":"tool_use","id":"b","name":"y","input":{}}])";
    QTest::newRow("first message stays a string") << QList<ChatMessage>() << R"("hi")"
                                                  << "[]"
                                                  << R"(user="hi")";
    QTest::newRow("after an answer")
        << QList<ChatMessage> {msg("user", R"("a")"),
                               msg("assistant", R"([{"type":"text","text":"b"}])")}
        << R"("c")"
        << "[]"
        << R"(user="a" assistant=[{"text":"b","type":"text"}] user="c")";
    QTest::newRow("after an unanswered string: joined")
        << QList<ChatMessage> {msg("user", R"("a")")} << R"("b")"
        << "[]"
        << R"(user=[{"text":"a","type":"text"},{"text":"b","type":"text"}])";
    QTest::newRow("after unanswered results: joined after them")
        << QList<ChatMessage> {msg("user", R"("go")"), msg("assistant", call2),
                               msg("user",
                                   R"([{"type":"tool_result","tool_use_id":"a","content":[]},)"
                                   R"({"type":"tool_result","tool_use_id":"b","content":[]}])")}
        << R"([{"type":"image","source":{}},{"type":"text","text":"more"}])"
        << "[]"
        << QString(R"(user="go" assistant=)") + compact(json(call2))
            + R"( user=[{"content":[],"tool_use_id":"a","type":"tool_result"},)"
              R"({"content":[],"tool_use_id":"b","type":"tool_result"},{"source":{},)"
              R"("type":"image"},{"text":"more","type":"text"}])";
    QTest::newRow("open calls: collected result, then not run, then the text")
        << QList<ChatMessage> {msg("user", R"("go")"), msg("assistant", call2)} << R"("next")"
        << R"([{"type":"tool_result","tool_use_id":"a","content":[{"type":"text","text":"done"}]}])"
        << QString(R"(user="go" assistant=)") + compact(json(call2))
            + R"( user=[{"content":[{"text":"done","type":"text"}],"tool_use_id":"a",)"
              R"("type":"tool_result"},{"content":[{"text":"Not run: stopped.","type":"text"}],)"
              R"("tool_use_id":"b","type":"tool_result"},{"text":"next","type":"text"}])";
    QTest::newRow("results of an older step are not reused")
        << QList<ChatMessage> {msg("user", R"("go")"), msg("assistant", call2)} << R"("next")"
        << R"([{"type":"tool_result","tool_use_id":"old","content":[]}])"
        << QString(R"(user="go" assistant=)") + compact(json(call2))
            + R"( user=[{"content":[{"text":"Not run: stopped.","type":"text"}],"tool_use_id":"a",)"
              R"("type":"tool_result"},{"content":[{"text":"Not run: stopped.","type":"text"}],)"
              R"("tool_use_id":"b","type":"tool_result"},{"text":"next","type":"text"}])";
}

void AssistantLogicTest::appendUserContent()
{
    QFETCH(QList<ChatMessage>, conversation);
    QFETCH(QString, content);
    QFETCH(QString, collected);
    ConversationLogic::appendUserContent(conversation, json(content.toUtf8()),
                                         json(collected.toUtf8()).toArray(),
                                         QLatin1String(NotRunStopped));
    QTEST(compactConversation(conversation), "expected");
}

void AssistantLogicTest::thinScreenshots()
{
    const char *picture
        = R"({"type":"image","source":{"type":"base64","media_type":"image/png","data":"AA=="}})";
    QList<ChatMessage> conversation {
        msg("user", QByteArray("[") + picture + R"(,{"type":"text","text":"like this"}])"),
        msg("assistant", R"([{"type":"tool_use","id":"a","name":"take_screenshot","input":{}}])"),
        msg("user",
            QByteArray(
                R"([{"type":"tool_result","tool_use_id":"a","content":[{"type":"text","text":"shot"},)")
                + picture + "]}]"),
        msg("assistant", R"([{"type":"text","text":"ok"}])"), msg("user", R"("plain")")};
    const QString userPicture = compact(conversation.at(0).content);
    QCOMPARE(ConversationLogic::thinScreenshots(conversation), 1);
    QCOMPARE(compact(conversation.at(0).content), userPicture); // the user's own picture stays
    const QString thinned(R"([{"content":[{"text":"shot","type":"text"},{"text":"[earlier )"
                          R"(screenshot omitted]","type":"text"}],"tool_use_id":"a",)"
                          R"("type":"tool_result"}])");
    QCOMPARE(compact(conversation.at(2).content), thinned);
    QCOMPARE(conversation.at(4).content.toString(), QStringLiteral("plain"));
    QCOMPARE(ConversationLogic::thinScreenshots(conversation), 0);
}

void AssistantLogicTest::readReply_data()
{
    QTest::addColumn<bool>("failed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("quota");

    QTest::newRow("answer")
        << false << 200
        << QByteArray(R"({"content":[{"type":"text","text":"x"}],"stop_reason":"end_turn"})")
        << true << "" << false;
    QTest::newRow("service error")
        << true << 400 << QByteArray(R"({"error":{"message":"Bad request"}})") << false
        << "Bad request" << false;
    QTest::newRow("quota words") << true << 429
                                 << QByteArray(
                                        R"({"error":{"message":"usage limit has been reached"}})")
                                 << false << "usage limit has been reached" << true;
    QTest::newRow("quota words other case")
        << true << 429 << QByteArray(R"({"error":{"message":"Usage Limit Has Been Reached"}})")
        << false << "Usage Limit Has Been Reached" << false;
    QTest::newRow("error status without error object")
        << true << 502 << QByteArray("<html>") << false << "transport (HTTP status 502)" << false;
    QTest::newRow("no status line") << true << 0 << QByteArray() << false << "transport" << false;
    QTest::newRow("redirect")
        << false << 302 << QByteArray() << false
        << "The AI service sent an answer that could not be read (HTTP status 302)." << false;
    QTest::newRow("error object in a 200")
        << false << 200 << QByteArray(R"({"error":{"message":"usage limit has been reached"}})")
        << false << "usage limit has been reached" << true;
    QTest::newRow("empty content") << false << 200 << QByteArray(R"({"content":[]})") << false
                                   << "The AI service sent an empty answer." << false;
}

void AssistantLogicTest::readReply()
{
    QFETCH(bool, failed);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    const ReplyOutcome outcome = ConversationLogic::readReply({failed, status, "transport", body});
    QTEST(outcome.success, "success");
    QTEST(outcome.errorText, "error");
    QTEST(outcome.quotaExhausted, "quota");
    if (outcome.success)
        QCOMPARE(outcome.content.size(), 1);
}

void AssistantLogicTest::extractTextBlocks_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("text");
    QTest::newRow("two texts around a call")
        << R"([{"type":"text","text":" A "},{"type":"tool_use","id":"x"},{"type":"text","text":"B\n"}])"
        << "A \n\nB";
    QTest::newRow("type compared exactly") << R"([{"type":"Text","text":"A"}])"
                                           << "";
    QTest::newRow("no text") << R"([{"type":"tool_use"}])"
                             << "";
}

void AssistantLogicTest::extractTextBlocks()
{
    QFETCH(QString, content);
    QTEST(ConversationLogic::extractTextBlocks(json(content.toUtf8()).toArray()), "text");
}

void AssistantLogicTest::toolBubbleText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("text");
    QTest::newRow("list_files") << "list_files"
                                << "{}"
                                << "Listing project files...";
    QTest::newRow("read_file") << "read_file"
                               << R"({"filename":"app.qml"})"
                               << "Reading app.qml...";
    QTest::newRow("write_file") << "write_file"
                                << R"({"filename":"a.qml"})"
                                << "Writing a.qml...";
    QTest::newRow("write_image") << "write_image"
                                 << R"({"filename":"icon.png"})"
                                 << "Drawing icon.png...";
    QTest::newRow("check_radio") << "check_radio"
                                 << "{}"
                                 << "Checking radio connection...";
    QTest::newRow("create_project") << "create_project"
                                    << R"({"name":"Clock"})"
                                    << "Creating project \"Clock\"...";
    QTest::newRow("run_project") << "run_project"
                                 << "{}"
                                 << "Uploading and running the project...";
    QTest::newRow("take_screenshot") << "take_screenshot"
                                     << "{}"
                                     << "Taking a screenshot...";
    QTest::newRow("read_debug_log") << "read_debug_log"
                                    << "{}"
                                    << "Reading the Debug terminal...";
    QTest::newRow("read_docs") << "read_docs"
                               << R"({"page":"components"})"
                               << "Checking the docs...";
    // A name of a megabyte in a bubble stalled the window for minutes.
    QTest::newRow("a name of a megabyte")
        << "write_file" << QString(R"({"filename":")" + QString(1 << 20, 'w') + R"("})")
        << QString("Writing " + QString(79, 'w') + QChar(0x2026) + "...");
    QTest::newRow("80 characters whole")
        << "read_file" << QString(R"({"filename":")" + QString(80, 'r') + R"("})")
        << QString("Reading " + QString(80, 'r') + "...");
    QTest::newRow("other") << "format_disk"
                           << "{}"
                           << "Running format_disk...";
    QTest::newRow("missing filename") << "read_file"
                                      << "{}"
                                      << "Reading ...";
    QTest::newRow("case differs") << "Read_File"
                                  << "{}"
                                  << "Running Read_File...";
}

void AssistantLogicTest::toolBubbleText()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    QTEST(ConversationLogic::toolBubbleText(name, json(input.toUtf8()).toObject()), "text");
}

void AssistantLogicTest::splitFirstCodeBlock_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("prose");
    QTest::addColumn<QString>("code");
    QTest::newRow("prose, fenced code, prose") << "Here it is:\n```qml\nItem {}\n```\nDone."
                                               << "Here it is:\n\nDone."
                                               << "Item {}";
    QTest::newRow("no closing fence") << " Start\n```qml\nItem {}"
                                      << "Start\n```qml\nItem {}"
                                      << "";
    QTest::newRow("no line feed after the fence") << "a ```qml``` b"
                                                  << "a ```qml``` b"
                                                  << "";
    QTest::newRow("blank block: fences still go") << "A\n```\n  \n```\nB"
                                                  << "A\n\nB"
                                                  << "";
    QTest::newRow("only the first block") << "```\nx\n```\nmid\n```\ny\n```"
                                          << "mid\n```\ny\n```"
                                          << "x";
    QTest::newRow("no fence") << "  plain  "
                              << "plain"
                              << "";
}

void AssistantLogicTest::splitFirstCodeBlock()
{
    QFETCH(QString, answer);
    const ChatPanelLogic::AnswerParts parts = ChatPanelLogic::splitFirstCodeBlock(answer);
    QTEST(parts.prose, "prose");
    QTEST(parts.code, "code");
}

void AssistantLogicTest::busyText_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << qint64(0) << "Thinking... (0s)";
    QTest::newRow("just under 3 s") << qint64(2999) << "Thinking... (2s)";
    QTest::newRow("3 s") << qint64(3000) << "Working... (3s)";
    QTest::newRow("7 s") << qint64(7000) << "Pondering... (7s)";
    QTest::newRow("9 s") << qint64(9000) << "Tinkering... (9s)";
    QTest::newRow("15 s") << qint64(15000) << "Cooking... (15s)";
    QTest::newRow("18 s: first word again") << qint64(18000) << "Thinking... (18s)";
    QTest::newRow("Reticulating") << qint64(12500) << "Reticulating... (12s)";
}

void AssistantLogicTest::busyText()
{
    QFETCH(qint64, elapsedMs);
    QTEST(ChatPanelLogic::busyText(elapsedMs), "text");
}

void AssistantLogicTest::quotaBar_data()
{
    QTest::addColumn<int>("used");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QString>("text");
    QTest::newRow("24 %") << 1234 << 5000 << 24 << "#4b52b8"
                          << "4h: 1,234 / 5,000 tokens (24%)";
    QTest::newRow("60 % orange") << 3000 << 5000 << 60 << "#f5a623"
                                 << "4h: 3,000 / 5,000 tokens (60%)";
    QTest::newRow("59.98 % still blue") << 2999 << 5000 << 59 << "#4b52b8"
                                        << "4h: 2,999 / 5,000 tokens (59%)";
    QTest::newRow("85 % red") << 4250 << 5000 << 85 << "#f5566a"
                              << "4h: 4,250 / 5,000 tokens (85%)";
    QTest::newRow("over the limit clamped") << 6000 << 5000 << 100 << "#f5566a"
                                            << "4h: 6,000 / 5,000 tokens (100%)";
    QTest::newRow("negative used") << -5 << 5000 << 0 << "#4b52b8"
                                   << "4h: -5 / 5,000 tokens (0%)";
    QTest::newRow("32-bit extremes") << 2147483647 << 1 << 100 << "#f5566a"
                                     << "4h: 2,147,483,647 / 1 tokens (100%)";
    QTest::newRow("zero limit unlimited") << 12345 << 0 << 0 << "#3a3d44"
                                          << "4h: 12,345 tokens (unlimited)";
    QTest::newRow("negative limit unlimited") << 7 << -1 << 0 << "#3a3d44"
                                              << "4h: 7 tokens (unlimited)";
}

void AssistantLogicTest::quotaBar()
{
    QFETCH(int, used);
    QFETCH(int, limit);
    QFETCH(QString, colour);
    const UsageQuota::BarView view
        = UsageQuota::barView(used, limit, "4h", QLocale(QLocale::English, QLocale::UnitedStates));
    QTEST(view.value, "value");
    QTEST(view.text, "text");
    QCOMPARE(
        view.styleSheet,
        QStringLiteral("QProgressBar { background: #1e1e1e; border: none; border-radius: 2px; } "
                       "QProgressBar::chunk { background: %1; border-radius: 2px; }")
            .arg(colour));
}

void AssistantLogicTest::countdown_data()
{
    QTest::addColumn<qint64>("msLeft");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 ms") << qint64(1) << "0:01";
    QTest::newRow("60000 ms") << qint64(60000) << "0:01";
    QTest::newRow("60001 ms") << qint64(60001) << "0:02";
    QTest::newRow("90 minutes") << qint64(90 * 60000) << "1:30";
    QTest::newRow("4 hours less 30 s") << qint64(4 * 3600000 - 30000) << "4:00";
}

void AssistantLogicTest::countdown()
{
    QFETCH(qint64, msLeft);
    QFETCH(QString, text);
    QCOMPARE(UsageQuota::countdownText(msLeft), "4-hour limit reached - resets in " + text);
}

void AssistantLogicTest::planBadge_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("badge");
    QTest::newRow("lower case") << "pro"
                                << "Pro";
    QTest::newRow("already upper case") << "MAX"
                                        << "MAX";
    QTest::newRow("empty keeps the badge") << ""
                                           << "Free";
    QTest::newRow("non-ASCII") << "élite"
                               << "Élite";
}

void AssistantLogicTest::planBadge()
{
    QFETCH(QString, plan);
    QTEST(UsageQuota::planBadgeText(plan, "Free"), "badge");
}

void AssistantLogicTest::attachmentSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("sent");
    QTest::newRow("wide photo") << QSize(4000, 1000) << QSize(1568, 392);
    QTest::newRow("tall") << QSize(1000, 4000) << QSize(392, 1568);
    QTest::newRow("at the cap") << QSize(1568, 1568) << QSize(1568, 1568);
    QTest::newRow("small, never enlarged") << QSize(20, 10) << QSize(20, 10);
}

void AssistantLogicTest::attachmentSize()
{
    QFETCH(QSize, size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QImage sent = QImage::fromData(ChatPanelLogic::attachmentPng(image), "PNG");
    QTEST(sent.size(), "sent");
    QVERIFY(ChatPanelLogic::attachmentPng(QImage()).isEmpty());
}

void AssistantLogicTest::noisyAttachmentFitsTheServiceLimit()
{
    // Noise does not compress: at 1568 x 1568 its PNG is about 7-10 MB.
    const QImage noise = TestImages::noise(1568, 1568, 7);
    QVERIFY(TestImages::png(noise).size() > 3932160);
    const QByteArray png = ChatPanelLogic::attachmentPng(noise);
    QVERIFY2(png.size() <= 3932160, QByteArray::number(png.size()));
    QVERIFY(png.toBase64().size() <= 5 * 1024 * 1024);
    const QImage sent = QImage::fromData(png, "PNG");
    QVERIFY(sent.width() == sent.height());
    QVERIFY(sent.width() >= 800); // shrunk no further than needed
}

QTEST_MAIN(AssistantLogicTest)
void AssistantLogicTest::pieceEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    const QString words = QString("word ").repeated(500); // 2500 characters
    QTest::newRow("the rest fits") << QString(2000, 'a') << 0 << 2000;
    QTest::newRow("after the last line feed")
        << QString(1500, 'a') + "\n" + QString(1000, 'b') << 0 << 1501;
    QTest::newRow("a line feed too early: after the last space")
        << QString(500, 'a') + "\n" + words << 0 << 1996;
    QTest::newRow("no break: 2000 characters") << QString(3000, 'a') << 0 << 2000;
    QTest::newRow("from a start") << QString(3000, 'a') << 1000 << 3000;
    QTest::newRow("never inside a surrogate pair")
        << QString(1999, 'a') + QString::fromUtf8("\xF0\x9F\x98\x80") + "bbb" << 0 << 1999;
}

void AssistantLogicTest::pieceEnd()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QTEST(ChatPanelLogic::pieceEnd(text, start, 2000), "end");
    // The labels of the typing reveal and of a finished answer.
    QCOMPARE(ChatPanelLogic::ShownPieceChars, 2000);
    QCOMPARE(ChatPanelLogic::FinishedPieceChars, 4000);
    QCOMPARE(ChatPanelLogic::MaxRichTextChars, 65536);
}

void AssistantLogicTest::breakableText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("breaks"); // zero-width spaces added
    QTest::newRow("short words stay")
        << "a few short words, and 29 letters xxxxxxxxxxxxxxxxxxxxxxxxxxxxx" << 0;
    QTest::newRow("a 30-letter word") << "see " + QString(30, 'x') + " here" << 30;
    QTest::newRow("a 200-letter word") << QString(200, 'y') << 200;
    QTest::newRow("pairs kept together")
        << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(20) << 20;
}

void AssistantLogicTest::breakableText()
{
    QFETCH(QString, text);
    QFETCH(int, breaks);
    const QString out = ChatPanelLogic::breakableText(text);
    QCOMPARE(int(out.count(QChar(0x200B))), breaks);
    QString back = out;
    QCOMPARE(back.remove(QChar(0x200B)), text);
    for (int i = 0; i + 1 < out.size(); ++i)
        QVERIFY(!(out.at(i).isHighSurrogate() && out.at(i + 1) == QChar(0x200B)));
}

#include "tst_assistantlogic.moc"
