// The assistant's session on its own, under a QCoreApplication (no widget exists): the order
// of the signals a view relies on, Stop during a tool step, the step limit and teardown with a
// request out. The chat panel's suites check the bubbles and bodies this drives.
#include "AiServiceApi.h"
#include "AssistantSession.h"
#include "FakeAiService.h"
#include "FakeRadio.h"
#include "MessagesBodyValidator.h"
#include "ProcessMemory.h"
#include "TestImages.h"
#include "TestSupport.h"

#include <QGuiApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

// The session's signals as one line each, in the order they came.
struct Recorder
{
    QStringList events;
    // Answers each call inside the emit unless manual is set.
    bool manual = false;

    explicit Recorder(AssistantSession *session)
    {
        QObject::connect(session, &AssistantSession::busyChanged, [this](bool busy) {
            events.append(busy ? QStringLiteral("busy") : QStringLiteral("idle"));
        });
        QObject::connect(session, &AssistantSession::errorOccurred,
                         [this](const QString &m) { events.append("error: " + m); });
        QObject::connect(session, &AssistantSession::answerReceived,
                         [this](const QString &t) { events.append("answer: " + t); });
        QObject::connect(session, &AssistantSession::quotaExhausted, [this](bool exhausted) {
            events.append(exhausted ? QStringLiteral("quota") : QStringLiteral("quota ok"));
        });
        QObject::connect(
            session, &AssistantSession::toolCallRequested,
            [this, session](const QString &id, const QString &name, const QJsonObject &) {
                events.append("tool: " + name);
                ids.append(id);
                if (!manual)
                    session->handleToolResult(id, name + " ok", QByteArray());
            });
    }
    QStringList ids;
};

struct SessionFixture
{
    FakeAiService service;
    QNetworkAccessManager manager;
    std::unique_ptr<AssistantSession> session;

    SessionFixture()
    {
        if (!service.listen())
            qFatal("fake AI service cannot listen");
        AiServiceApi::setBaseUrl(service.url());
        session = std::make_unique<AssistantSession>(&manager);
    }
    QStringList problems() const
    {
        return service.problems() + MessagesBodyValidator::checkWithPython(service.bodies());
    }
};

} // namespace

class AssistantSessionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::unsetProxies(); }
    void toolLoopSignalsInOrder();
    void stopDuringToolStep();
    void stepLimit();
    void refusedSendChangesNothing();
    void destroyedWithRequestOutSaysNothing();
    void floodedAnswersAreReadNoFurther();
};

void AssistantSessionTest::toolLoopSignalsInOrder()
{
    QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()));
    SessionFixture f;
    Recorder r(f.session.get());
    f.service.queueToolCalls("Let me look.",
                             {{"list_files", {}}, {"read_file", {{"filename", "a"}}}});
    f.service.queueText("Done here.");
    QCOMPARE(f.session->send(QStringLiteral("look")), QString());
    QVERIFY(f.session->isBusy());
    QVERIFY(f.session->isWaiting());
    QTRY_VERIFY(!f.session->isBusy());
    // A view shows the answer's text before its calls, and the turn ends once.
    QCOMPARE(r.events,
             QStringList({"busy", "quota ok", "answer: Let me look.", "tool: list_files",
                          "tool: read_file", "quota ok", "answer: Done here.", "idle"}));
    QVERIFY(!f.session->isWaiting());
    QCOMPARE(f.service.messagesRequests().size(), 2);
    // Both results went back in one user message, in call order.
    const QJsonArray second = f.service.messages(1);
    QCOMPARE(second.size(), 3);
    const QJsonArray results = second.at(2).toObject().value("content").toArray();
    QCOMPARE(results.size(), 2);
    QCOMPARE(FakeAiService::toolResultText(results.at(0).toObject()), QString("list_files ok"));
    QCOMPARE(FakeAiService::toolResultText(results.at(1).toObject()), QString("read_file ok"));
    QCOMPARE(f.session->messages().size(), 4);
    QCOMPARE(f.session->messages().last().role, QString("assistant"));
    const QStringList problems = f.problems();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void AssistantSessionTest::stopDuringToolStep()
{
    SessionFixture f;
    Recorder r(f.session.get());
    r.manual = true;
    const QStringList ids
        = f.service.queueToolCalls("", {{"list_files", {}}, {"read_file", {{"filename", "a"}}}});
    QCOMPARE(f.session->send(QStringLiteral("go")), QString());
    QTRY_COMPARE(r.ids.size(), 1);
    r.events.clear();
    f.session->stop();
    // The running tool is not cancelled: nothing ends until it answers, and Clear waits too.
    QCOMPARE(r.events, QStringList());
    QVERIFY(f.session->isBusy());
    QVERIFY(f.session->isWaiting());
    QVERIFY(!f.session->clear());
    // A late answer to a call never asked for changes nothing.
    f.session->handleToolResult(ids.at(1), "stray", QByteArray());
    QCOMPARE(r.events, QStringList());
    f.session->handleToolResult(ids.at(0), "listed", QByteArray());
    QCOMPARE(r.events, QStringList({"idle", "error: Stopped."}));
    QVERIFY(!f.session->isWaiting());
    // The history ends with the open calls; no request went out for them.
    QCOMPARE(f.session->messages().size(), 2);
    QCOMPARE(f.session->messages().last().role, QString("assistant"));
    QCOMPARE(f.service.messagesRequests().size(), 1);
    // The same answer again is no longer the pending call.
    f.session->handleToolResult(ids.at(0), "listed", QByteArray());
    QCOMPARE(r.events.size(), 2);

    // The next send answers the first call with its result, the second as not run.
    f.service.queueText("Ok.");
    QCOMPARE(f.session->send(QStringLiteral("again")), QString());
    QTRY_VERIFY(!f.session->isBusy());
    const QJsonArray last = f.service.messages(1).last().toObject().value("content").toArray();
    QCOMPARE(last.size(), 3);
    QCOMPARE(FakeAiService::toolResultText(last.at(0).toObject()), QString("listed"));
    QCOMPARE(last.at(1).toObject().value("tool_use_id").toString(), ids.at(1));
    QCOMPARE(FakeAiService::toolResultText(last.at(1).toObject()), QString("Not run: stopped."));
    QCOMPARE(last.at(2).toObject().value("text").toString(), QString("again"));
    QVERIFY(f.session->clear());
    QVERIFY(f.session->messages().isEmpty());
    const QStringList problems = f.problems();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void AssistantSessionTest::stepLimit()
{
    SessionFixture f;
    Recorder r(f.session.get());
    for (int i = 0; i < 12; ++i)
        f.service.queueToolCalls(QString(), {{"list_files", {}}});
    QCOMPARE(f.session->send(QStringLiteral("loop")), QString());
    QTRY_VERIFY(!f.session->isBusy());
    // Ten calls run; the eleventh answer's call is kept open, never asked of the host.
    QCOMPARE(r.events.filter(QRegularExpression("^tool: ")).size(), 10);
    QCOMPARE(f.service.messagesRequests().size(), 11);
    QCOMPARE(r.events.mid(r.events.size() - 2),
             QStringList({"idle",
                          "error: Stopped after 10 steps without finishing - ask me to continue "
                          "if I'm not done."}));
    QCOMPARE(r.events.count("idle"), 1);
    QCOMPARE(f.session->messages().size(), 22);
    QCOMPARE(f.session->messages().last().role, QString("assistant"));
    QVERIFY(!f.session->isWaiting());
    QCOMPARE(f.service.queuedAnswers(), 1);
    const QStringList problems = f.problems();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void AssistantSessionTest::refusedSendChangesNothing()
{
    SessionFixture f;
    Recorder r(f.session.get());
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    QJsonArray blocks;
    for (int i = 0; i < 101; ++i)
        blocks.append(AssistantRequest::imageBlock(TestImages::png(pixel)));
    QCOMPARE(f.session->send(blocks),
             QString("The request would carry 101 images; the AI service takes at most 100. "
                     "Remove some, or press Clear to start a new conversation."));
    // The view keeps the user's input: no signal, no request, no history.
    QCOMPARE(r.events, QStringList());
    QVERIFY(!f.session->isBusy());
    QVERIFY(f.session->messages().isEmpty());
    blocks.removeLast();
    f.service.queueText("Seen.");
    QCOMPARE(f.session->send(blocks), QString());
    QTRY_VERIFY(!f.session->isBusy());
    QCOMPARE(r.events, QStringList({"busy", "quota ok", "answer: Seen.", "idle"}));
    QCOMPARE(f.service.messagesRequests().size(), 1);
}

void AssistantSessionTest::destroyedWithRequestOutSaysNothing()
{
    SessionFixture f;
    f.service.queueAnswer(FakeResponse::hang());
    f.session->setRadioSerial(QStringLiteral("SN1"));
    Recorder r(f.session.get());
    QCOMPARE(f.session->send(QStringLiteral("hi")), QString());
    QVERIFY(f.service.server().waitForRequests("/v1/messages", 1));
    QCOMPARE(r.events, QStringList({"busy"}));
    f.session.reset();
    QCOMPARE(r.events, QStringList({"busy"}));
}

// A service on a thread of its own floods every answer, the usage's and the chat's, faster
// than it can be read: each is refused at its limit (64 KiB, 16 MiB), and Qt reads little
// past it. Without
// the read window, Qt's network thread reads until the socket is empty, which it never is
// here: past the limit, past the abort, until memory runs out.
void AssistantSessionTest::floodedAnswersAreReadNoFurther()
{
    ThreadedFakeRadio service([](FakeRadio &s) {
        s.setResponse("/v1/messages", FakeAiService::endlessAnswer());
        s.setResponse("/v1/usage", FakeResponse::endless("{", "application/json"));
        // A GET starts inside get(), before its window can be set: an answer flooding in
        // from the first byte would outrun it when this thread is slow to get there.
        s.setStreamPace(FakeHttpServer::WifiBytesPerSecond, FakeHttpServer::PacedStartMs);
    });
    QVERIFY(service.isListening());
    AiServiceApi::setBaseUrl(QUrl("http://" + service.address()));
    QNetworkAccessManager manager;
    AssistantSession session(&manager);
    Recorder r(&session);
    long before = 0; // per round: the sanitizer build keeps what was freed for a while
    long growthMb = 0;
    bool cutOff = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        growthMb = qMax(growthMb, ProcessMemory::rssMb() - before);
        if (growthMb > 1024 && !cutOff) {
            cutOff = true; // a regression fails here instead of exhausting the machine
            service.close();
        }
    });
    watch.start(5);
    qint64 streamedBefore = 0;
    for (int round = 1; round <= 5; ++round) {
        r.events.clear();
        before = ProcessMemory::rssMb();
        growthMb = 0;
        session.setRadioSerial(QStringLiteral("SERIAL%1").arg(round)); // asks for the usage
        QCOMPARE(session.send(QStringLiteral("Hello")), QString());
        QTRY_VERIFY2_WITH_TIMEOUT(!session.isBusy(), qPrintable(r.events.join('\n')), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(session.findChildren<QNetworkReply *>().isEmpty(), 30000);
        const qint64 streamed = service.streamedBytes() - streamedBefore;
        streamedBefore += streamed;
        const QByteArray what = "round " + QByteArray::number(round) + ": "
            + QByteArray::number(streamed) + " bytes sent, memory grew "
            + QByteArray::number(qint64(growthMb)) + " MB";
        QVERIFY2(!cutOff, what.constData());
        QVERIFY2(r.events.contains("error: The AI service's answer is larger than 16 MB; it was "
                                   "dropped."),
                 qPrintable(r.events.join('\n')));
        // 16 MiB and 64 KiB, a 2 MiB window each and what the sockets hold between.
        QVERIFY2(streamed < Q_INT64_C(48) * 1024 * 1024, what.constData());
        QVERIFY2(growthMb < 256, what.constData());
        qInfo("%s", what.constData());
    }
    QCOMPARE(service.countFor("/v1/usage"), 5);
    QCOMPARE(service.countFor("/v1/messages"), 5);
    QVERIFY(!r.events.contains("quota ok"));
}

QTEST_GUILESS_MAIN(AssistantSessionTest)
#include "tst_assistantsession.moc"
