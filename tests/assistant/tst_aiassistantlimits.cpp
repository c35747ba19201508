// What the assistant takes from the service, and what it keeps: answers past their size or
// time are dropped with a clear error, a dropped connection is reported and never repeated,
// faulty blocks never reach the next request, and a request never carries more images than
// the service accepts. Every request is checked by the Messages API validator.
#include "AssistantTestSupport.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QImage>
#include <QMimeData>
#include <QProgressBar>

Q_DECLARE_METATYPE(FakeResponse)

namespace {

QJsonObject toolUse(const QJsonValue &id, const QJsonValue &name, const QJsonValue &input)
{
    QJsonObject block {{"type", "tool_use"}, {"name", name}, {"input", input}};
    if (!id.isUndefined())
        block.insert("id", id);
    return block;
}

QJsonObject text(const QString &t)
{
    return {{"type", "text"}, {"text", t}};
}

int replies(const PanelFixture &f)
{
    return f.panel->findChildren<QNetworkReply *>().size();
}

// Each image a drop of its own, as the application delivers it.
void dropImages(QWidget *target, int count)
{
    for (int i = 0; i < count; ++i) {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 3 % 360, 200, 200));
        QMimeData data;
        data.setImageData(image);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
    }
}

int chips(const PanelFixture &f)
{
    return f.panel->findChildren<QFrame *>("attachmentChip").size();
}

} // namespace

class AiAssistantLimitsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::unsetProxies(); }
    void limitsAreFixed();
    void answerPastItsBounds_data();
    void answerPastItsBounds();
    void usagePastItsBounds_data();
    void usagePastItsBounds();
    void droppedConnectionIsNotRepeated();
    void faultyBlocksNeverReachTheNextRequest_data();
    void faultyBlocksNeverReachTheNextRequest();
    void answerWithNothingUsable();
    void attachmentsBoundedAtOneHundred();
    void conversationOverOneHundredImagesRefusedAtSend();
};

void AiAssistantLimitsTest::limitsAreFixed()
{
    // A real answer (max_tokens 4096) is a few hundred kB and may take a few minutes.
    PanelFixture f;
    QCOMPARE(f.panel->messagesReplyDeadline(), 300000);
    QCOMPARE(f.panel->usageReplyDeadline(), 30000);
    QCOMPARE(AiServiceApi::MaxMessagesAnswerBytes, Q_INT64_C(16777216));
    QCOMPARE(AiServiceApi::MaxUsageAnswerBytes, Q_INT64_C(65536));
    QCOMPARE(ConversationLogic::MaxImagesPerRequest, 100);
}

void AiAssistantLimitsTest::answerPastItsBounds_data()
{
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<int>("deadlineMs");
    QTest::addColumn<QString>("error"); // "answer: ..." when the answer is taken
    const QString tooLarge = "error: Error: The AI service's answer is larger than 16 MB; it was "
                             "dropped.";
    QTest::newRow("endless body") << FakeAiService::endlessAnswer() << 300000 << tooLarge;
    QTest::newRow("16 MiB + 1") << FakeAiService::answerOfSize("Big.", 16777217) << 300000
                                << tooLarge;
    QTest::newRow("16 MiB + 1 announced, without end")
        << FakeResponse::hugeLength(16777217) << 300000 << tooLarge;
    QTest::newRow("16 MiB exactly")
        << FakeAiService::answerOfSize("Big.", 16777216) << 300000 << "answer: Big.";
    // 40 bytes a second: a short answer that still takes far longer than the deadline.
    QTest::newRow("trickle past the deadline")
        << FakeAiService::trickledAnswer("Slow.", 50, 2) << 1500
        << "error: Error: The AI service did not finish its answer within 1 second(s).";
    QTest::newRow("trickle within the deadline")
        << FakeAiService::trickledAnswer("Slow.", 1, 64) << 20000 << "answer: Slow.";
}

void AiAssistantLimitsTest::answerPastItsBounds()
{
    QFETCH(FakeResponse, answer);
    QFETCH(int, deadlineMs);
    QFETCH(QString, error);
    PanelFixture f;
    f.panel->setReplyDeadlines(deadlineMs, 30000);
    f.service.queueAnswer(answer);
    f.send("Hello");
    QTRY_VERIFY_WITH_TIMEOUT(f.idle(), 60000);
    QTRY_COMPARE(f.chat().last(), error);
    if (error.startsWith("error: ")) {
        // The reply and what it buffered are let go; the stream ends with it.
        QTRY_COMPARE(replies(f), 0);
        QVERIFY2(f.service.server().streamedBytes() < Q_INT64_C(64) * 1024 * 1024,
                 qPrintable(QString::number(f.service.server().streamedBytes())));
    }
    // The conversation stays one the service takes: the next Send goes out and is answered.
    f.service.queueText("Next.");
    f.send("Again");
    QTRY_VERIFY_WITH_TIMEOUT(f.idle(), 20000);
    QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Next."));
    QCOMPARE(f.service.messagesRequests().size(), 2);
    VERIFY_BODIES(f);
}

void AiAssistantLimitsTest::usagePastItsBounds_data()
{
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<int>("deadlineMs");
    QTest::newRow("endless body") << FakeResponse::endless("{", "application/json") << 30000;
    QTest::newRow("64 KiB + 1") << FakeResponse::json(R"({"fourHourTokens":1,"fourHourLimit":5000})"
                                                      + QByteArray(65537 - 41, ' '))
                                << 30000;
    QTest::newRow("trickle past the deadline")
        << FakeResponse::trickle(R"({"fourHourTokens":1,"fourHourLimit":5000})", 100, 1) << 1000;
}

void AiAssistantLimitsTest::usagePastItsBounds()
{
    QFETCH(FakeResponse, answer);
    QFETCH(int, deadlineMs);
    PanelFixture f;
    f.panel->setReplyDeadlines(300000, deadlineMs);
    f.service.queueUsage(answer);
    f.service.queueUsage(FakeResponse::json(R"({"fourHourTokens":2500,"fourHourLimit":5000})"));
    f.panel->setRadioSerial("12-AB-3-4-5-6");
    QTRY_COMPARE(f.service.usageRequests().size(), 1);
    // Dropped like a failed answer: no quota shown from it, nothing kept.
    QTRY_COMPARE_WITH_TIMEOUT(replies(f), 0, 20000);
    QVERIFY(!f.child<QProgressBar>("fourHourBar")->isVisibleTo(f.panel.get()));
    QVERIFY(f.service.server().streamedBytes() < Q_INT64_C(64) * 1024 * 1024);
    // The next fetch is read as usual.
    f.panel->setRadioSerial("12-AB-3-4-5-7");
    QTRY_VERIFY(f.child<QProgressBar>("fourHourBar")->isVisibleTo(f.panel.get()));
    QCOMPARE(f.child<QProgressBar>("fourHourBar")->value(), 50);
}

void AiAssistantLimitsTest::droppedConnectionIsNotRepeated()
{
    PanelFixture f;
    f.service.queueAnswer(FakeResponse::drop());
    f.service.queueText("A second copy of the request was answered.");
    f.send("Write the page");
    QTRY_VERIFY(f.idle());
    QTRY_COMPARE(f.chat().last(),
                 QStringLiteral("error: Error: The connection to the AI service was lost before "
                                "it answered; the request was not sent again."));
    QCOMPARE(f.service.messagesRequests().size(), 1);
    QCOMPARE(f.chat().first(), QStringLiteral("user: Write the page"));
    // Nothing was lost: the next Send carries the first message with it.
    f.send("Please go on");
    QTRY_COMPARE(f.chat().last(),
                 QStringLiteral("answer: A second copy of the request was answered."));
    QStringList texts;
    for (const QJsonValue &v : f.service.messages(1).first().toObject().value("content").toArray())
        texts.append(v.toObject().value("text").toString());
    QCOMPARE(texts, QStringList({"Write the page", "Please go on"}));
    VERIFY_BODIES(f);
}

void AiAssistantLimitsTest::faultyBlocksNeverReachTheNextRequest_data()
{
    QTest::addColumn<QJsonArray>("content");
    QTest::addColumn<QJsonArray>("kept"); // the assistant message of the next request
    QTest::addColumn<QStringList>("calls"); // the tool calls run
    QTest::addColumn<QStringList>("told"); // what the next request tells the model

    const QJsonObject good = toolUse("toolu_a", "list_files", QJsonObject());
    const QString rest = ". Call the tool again if you still need it.";
    const QString notRun = "A tool call of your last answer was not run and was removed: ";
    QTest::newRow("unknown block type")
        << QJsonArray {text("Hi."), QJsonObject {{"type", "thinking"}, {"thinking", "hm"}},
                       QJsonObject {{"type", "brand_new"}}}
        << QJsonArray {text("Hi.")} << QStringList() << QStringList();
    QTest::newRow("empty text and a text without a string")
        << QJsonArray {text(""), QJsonObject {{"type", "text"}, {"text", 5}}, text("Ok.")}
        << QJsonArray {text("Ok.")} << QStringList() << QStringList();
    QTest::newRow("extra keys of a text block")
        << QJsonArray {QJsonObject {{"type", "text"}, {"text", "Ok."}, {"extra", 1}}}
        << QJsonArray {text("Ok.")} << QStringList() << QStringList();
    QTest::newRow("tool_use without id")
        << QJsonArray {text("Let me look."),
                       toolUse(QJsonValue::Undefined, "list_files", QJsonObject())}
        << QJsonArray {text("Let me look.")} << QStringList()
        << QStringList {notRun + "it had no usable id" + rest};
    QTest::newRow("tool_use with an empty id")
        << QJsonArray {toolUse("", "list_files", QJsonObject()), good} << QJsonArray {good}
        << QStringList {"toolu_a"} << QStringList {notRun + "it had no usable id" + rest};
    QTest::newRow("duplicate ids in one answer")
        << QJsonArray {good, toolUse("toolu_a", "read_file", QJsonObject {{"filename", "a"}})}
        << QJsonArray {good} << QStringList {"toolu_a"}
        << QStringList {notRun + "its id toolu_a was already used by an earlier call" + rest};
    QTest::newRow("input an array")
        << QJsonArray {toolUse("toolu_b", "list_files", QJsonArray {1}), good} << QJsonArray {good}
        << QStringList {"toolu_a"}
        << QStringList {notRun + "its input was not a JSON object" + rest};
    QTest::newRow("input a string")
        << QJsonArray {toolUse("toolu_b", "read_file", "app.qml")} << QJsonArray() << QStringList()
        << QStringList {notRun + "its input was not a JSON object" + rest};
    QTest::newRow("not one of the tools")
        << QJsonArray {text("Hm."), toolUse("toolu_b", "format_disk", QJsonObject())}
        << QJsonArray {text("Hm.")} << QStringList()
        << QStringList {notRun + "\"format_disk\" is not one of the tools" + rest};
    // The note goes out with every later request: a name of a megabyte is cut.
    QTest::newRow("a name of a megabyte")
        << QJsonArray {toolUse("toolu_b", QString(1 << 20, 'n'), QJsonObject())} << QJsonArray()
        << QStringList()
        << QStringList {notRun + "\"" + QString(63, 'n') + QChar(0x2026)
                        + "\" is not one of the tools" + rest};
    QTest::newRow("extra keys of a tool_use")
        << QJsonArray {QJsonObject {{"type", "tool_use"},
                                    {"id", "toolu_a"},
                                    {"name", "list_files"},
                                    {"input", QJsonObject()},
                                    {"extra", true}}}
        << QJsonArray {good} << QStringList {"toolu_a"} << QStringList();
}

void AiAssistantLimitsTest::faultyBlocksNeverReachTheNextRequest()
{
    QFETCH(QJsonArray, content);
    QFETCH(QJsonArray, kept);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, told);
    PanelFixture f;
    ToolOwner owner(f.panel.get(), ToolOwner::Deferred);
    f.service.queueContent(content, calls.isEmpty() && told.isEmpty() ? "end_turn" : "tool_use");
    f.service.queueText("Answered.");
    f.send("Go");
    QTRY_VERIFY(f.idle());
    QStringList run;
    for (const ToolOwner::Call &call : qAsConst(owner.calls))
        run.append(call.id);
    QCOMPARE(run, calls);
    if (kept.isEmpty()) {
        // Nothing usable: an error, and the user's message waits for the next Send.
        QCOMPARE(f.chat().last(),
                 QStringLiteral("error: Error: The AI service sent an answer without anything "
                                "the program can use."));
        QCOMPARE(f.service.messagesRequests().size(), 1);
        f.send("Again");
        QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Answered."));
        QCOMPARE(f.service.messages(1).size(), 1);
        VERIFY_BODIES(f);
        return;
    }
    // The next request holds the answer as kept, and tells the model why a call went.
    const bool turnEnded = calls.isEmpty() && told.isEmpty();
    if (turnEnded) {
        f.send("Next");
        QTRY_VERIFY(f.idle());
    }
    QTRY_COMPARE(f.service.messagesRequests().size(), 2);
    const QJsonArray messages = f.service.messages(1);
    QCOMPARE(messages.at(1).toObject().value("content").toArray(), kept);
    QStringList texts;
    for (const QJsonValue &v : messages.at(2).toObject().value("content").toArray()) {
        if (v.toObject().value("type") == "text")
            texts.append(v.toObject().value("text").toString());
    }
    if (turnEnded)
        QCOMPARE(texts, QStringList {"Next"});
    else
        QCOMPARE(texts, told);
    QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Answered."));
    VERIFY_BODIES(f);
}

void AiAssistantLimitsTest::answerWithNothingUsable()
{
    // Only faulty calls: nothing is stored, the error says so, the next Send is valid.
    PanelFixture f;
    f.service.queueContent({toolUse(QJsonValue::Undefined, "list_files", QJsonObject())},
                           "tool_use");
    f.send("Go");
    QTRY_VERIFY(f.idle());
    QCOMPARE(f.chat().last(),
             QStringLiteral("error: Error: The AI service sent an answer without anything the "
                            "program can use."));
    f.service.queueText("Fine.");
    f.send("Again");
    QTRY_COMPARE(f.chat().last(), QStringLiteral("answer: Fine."));
    VERIFY_BODIES(f);
}

void AiAssistantLimitsTest::attachmentsBoundedAtOneHundred()
{
    PanelFixture f;
    dropImages(f.panel.get(), 101);
    QTRY_COMPARE_WITH_TIMEOUT(chips(f), 100, 60000);
    QTRY_COMPARE(f.chat().last(),
                 QStringLiteral("error: Error: At most 100 images can go with one message; 1 "
                                "image(s) not added."));
    f.send("These");
    QTRY_VERIFY(f.idle());
    int images = 0;
    for (const QJsonValue &v : f.service.messages(0).first().toObject().value("content").toArray())
        images += v.toObject().value("type") == "image";
    QCOMPARE(images, 100);
    VERIFY_BODIES(f);
}

void AiAssistantLimitsTest::conversationOverOneHundredImagesRefusedAtSend()
{
    PanelFixture f;
    dropImages(f.panel.get(), 60);
    QTRY_COMPARE_WITH_TIMEOUT(chips(f), 60, 60000);
    f.send("First sixty");
    QTRY_VERIFY(f.idle());
    dropImages(f.panel.get(), 41);
    QTRY_COMPARE_WITH_TIMEOUT(chips(f), 41, 60000);
    f.send("Forty-one more");
    // Refused before anything goes out, and nothing is lost: the text and the images stay.
    QCOMPARE(f.chat().last(),
             QStringLiteral("error: Error: The request would carry 101 images; the AI service "
                            "takes at most 100. Remove some, or press Clear to start a new "
                            "conversation."));
    QCOMPARE(f.service.messagesRequests().size(), 1);
    QCOMPARE(f.input()->toPlainText(), QStringLiteral("Forty-one more"));
    QCOMPARE(chips(f), 41);
    f.panel->findChildren<QToolButton *>("removeAttachment").first()->click();
    QTRY_COMPARE(chips(f), 40);
    QMetaObject::invokeMethod(f.panel.get(), "onSendClicked");
    QTRY_VERIFY(f.idle());
    QTRY_COMPARE(f.service.messagesRequests().size(), 2);
    VERIFY_BODIES(f);
}

QTEST_MAIN(AiAssistantLimitsTest)
#include "tst_aiassistantlimits.moc"
