// The assistant's work on the GUI thread at Send and at each tool step: building and
// serialising the request body (a long conversation, and one carrying six 3.75 MB
// pictures), thinning, and decoding a picture for the user bubble's thumbnail; also the
// shrinking of a dropped picture, which runs on a worker thread; and the typing reveal of
// long answers, per tick and when the next answer finishes it at once.
#include "AiServiceApi.h"
#include "AssistantRequest.h"
#include "BenchSupport.h"
#include "ChatPanelLogic.h"
#include "ConversationLogic.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QJsonDocument>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

// The reveal's position is set directly to time a tick in the middle of a long answer; the
// same file builds against the panel before and after its answers were cut into pieces.
#define private public
#define protected public
#include "AiAssistantWidget.h"
#undef private
#undef protected
#if __has_include("FlowLayout.h")
#define REVEAL_IN_PIECES 1
#endif

namespace {

template<typename F> void report(const char *what, int runs, F &&f)
{
    const BenchSupport::Stats s = BenchSupport::timeRuns(runs, f);
    std::printf("  %-44s median %8.2f ms, best %8.2f ms, worst %8.2f ms (%d runs)\n", what,
                s.median, s.best, s.worst, runs);
}

QImage noise(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator random(5);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

QImage photo(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(x * 255 / w, y * 255 / h, (x ^ y) & 0xff);
    }
    return image;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A working session: each step a tool call with a file written and its result.
QList<ChatMessage> longConversation(int steps, const QByteArray &screenshot)
{
    const QString file = QString(2000, QLatin1Char('x'));
    QList<ChatMessage> c {{"user", QStringLiteral("Build me a telemetry page")}};
    for (int i = 0; i < steps; ++i) {
        const QString id = QStringLiteral("toolu_%1").arg(i);
        c.append({"assistant",
                  QJsonArray {
                      AssistantRequest::textBlock("Writing the page."),
                      QJsonObject {
                          {"type", "tool_use"},
                          {"id", id},
                          {"name", "write_file"},
                          {"input", QJsonObject {{"filename", "app.qml"}, {"content", file}}}}}});
        c.append({"user",
                  QJsonArray {AssistantRequest::toolResultBlock(
                      id, "Written.", i + 1 == steps ? screenshot : QByteArray())}});
    }
    return c;
}

// Answers the panel's requests at once, from a queue, without a network.
class CannedReply : public QNetworkReply
{
public:
    CannedReply(const QNetworkRequest &request, QNetworkAccessManager::Operation op,
                const QByteArray &body, QObject *parent)
        : QNetworkReply(parent)
        , body(body)
    {
        setRequest(request);
        setOperation(op);
        setUrl(request.url());
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        QTimer::singleShot(0, this, [this]() {
            setFinished(true);
            emit readyRead();
            emit finished();
        });
    }
    void abort() override { }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return body.size() - offset + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(body.size()) - offset);
        memcpy(data, body.constData() + offset, size_t(n));
        offset += n;
        return n;
    }

private:
    QByteArray body;
    qint64 offset = 0;
};

class CannedManager : public QNetworkAccessManager
{
public:
    QList<QByteArray> answers;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *) override
    {
        const bool messages = request.url().path() == QLatin1String("/v1/messages");
        return new CannedReply(request, op,
                               messages && !answers.isEmpty() ? answers.takeFirst() : "{}", this);
    }
};

QByteArray answer(const QString &text)
{
    const QJsonObject body {
        {"content", QJsonArray {QJsonObject {{"type", "text"}, {"text", text}}}},
        {"stop_reason", "end_turn"}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

// Prose as a model writes it: sentences in paragraphs.
QString prose(int chars)
{
    const QString sentence = QStringLiteral(
        "The readout sits in a GroupFrame above the footer and shows the battery voltage. ");
    QString text;
    int n = 0;
    while (text.size() < chars) {
        text += sentence;
        if (++n % 5 == 0)
            text += QStringLiteral("\n\n");
    }
    text.truncate(chars);
    return text;
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
}

// Runs the event loop until done() holds; the longest single turn of it and the sum.
struct Block
{
    double longest = 0;
    double total = 0;
    int turns = 0;
};
Block runUntil(const std::function<bool()> &done)
{
    Block b;
    QElapsedTimer all;
    all.start();
    while (!done() && all.elapsed() < 600000) {
        const double ms = BenchSupport::timeMs([] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        });
        b.longest = qMax(b.longest, ms);
        if (qEnvironmentVariableIsSet("BENCH_TRACE") && ms > 30)
            std::printf("    turn %d: %.1f ms\n", b.turns, ms);
        ++b.turns;
    }
    settle();
    b.total = all.nsecsElapsed() / 1e6;
    return b;
}

void benchReveal(int chars)
{
    CannedManager manager;
    AiServiceApi::setBaseUrl(QUrl("http://127.0.0.1:9"));
    AiAssistantWidget panel(&manager);
    panel.resize(360, 700);
    panel.show();
    settle();
    const QString text = prose(chars);
    manager.answers << answer(text) << answer(QStringLiteral("Next."));
    panel.input->setPlainText(QStringLiteral("write it all"));
    panel.onSendClicked();
    runUntil([&] { return panel.typeTimer->isActive(); });
    panel.typeTimer->stop();
    // The middle of the answer, as if half of it had been typed out.
    const int mid = int(text.size()) / 2;
#ifdef REVEAL_IN_PIECES
    panel.typingPieceStart = 0;
    while (ChatPanelLogic::pieceEnd(text, panel.typingPieceStart, ChatPanelLogic::ShownPieceChars)
           < mid)
        panel.typingPieceStart = ChatPanelLogic::pieceEnd(text, panel.typingPieceStart,
                                                          ChatPanelLogic::ShownPieceChars);
    panel.typingPieceEnd
        = ChatPanelLogic::pieceEnd(text, panel.typingPieceStart, ChatPanelLogic::ShownPieceChars);
#endif
    panel.typingPos = mid;
    panel.onTypeTick();
    settle();
    const BenchSupport::Stats tick = BenchSupport::timeRuns(20, [&](int) {
        panel.onTypeTick();
        settle();
    });
    std::printf("  %7d chars: tick mid-answer median %8.2f ms, worst %8.2f ms\n", chars,
                tick.median, tick.worst);
    // The next answer finishes this one at once.
    panel.input->setPlainText(QStringLiteral("next"));
    panel.onSendClicked();
    const Block finish = runUntil([&] {
        const bool filling =
#ifdef REVEAL_IN_PIECES
            panel.fillTimer->isActive();
#else
            false;
#endif
        return !panel.typeTimer->isActive() && panel.typingLabel == nullptr && !filling
            && manager.answers.isEmpty();
    });
    std::printf("  %7d chars: finished at once: longest GUI block %8.2f ms, all %8.2f ms\n", chars,
                finish.longest, finish.total);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchSupport::printBuildKind();
    // "reveal": only the typing reveal.
    const bool revealOnly = argc > 1 && qstrcmp(argv[1], "reveal") == 0;
    const auto revealBench = []() {
        std::printf(
            "Typing reveal (GUI thread; a tick every 20 ms); goal: finishing under 50 ms\n");
        for (int chars : {4000, 200000, 2000000})
            benchReveal(chars);
    };
    if (revealOnly) {
        revealBench();
        return 0;
    }
    const QString prompt(10665, QLatin1Char('p'));
    QJsonArray tools;
    for (int i = 0; i < 10; ++i)
        tools.append(QJsonObject {{"name", QStringLiteral("tool%1").arg(i)},
                                  {"description", QString(600, QLatin1Char('d'))}});

    const QByteArray screenshot = png(photo(800, 480));
    const QList<ChatMessage> session = longConversation(100, screenshot);
    std::printf("Request body (GUI thread, at Send and each tool step); goal: under 50 ms\n");
    QByteArray body;
    report("100 tool steps, written afresh", 20, [&](int) {
        body = AssistantRequest::serialize(AssistantRequest::buildBody(session, prompt, tools));
    });
    AssistantRequest::BodyWriter sessionWriter;
    sessionWriter.write(session, prompt, tools);
    report("100 tool steps, body writer", 20,
           [&](int) { body = sessionWriter.write(session, prompt, tools); });
    std::printf("    (%.1f MB)\n", body.size() / 1e6);

    const QByteArray bigPng = ChatPanelLogic::attachmentPng(noise(1568, 1568));
    QJsonArray pictures;
    AssistantRequest::BodyWriter writer;
    for (int i = 0; i < 6; ++i) {
        // As a drop prepares them: one block and its text each, written off the GUI thread.
        const QJsonObject block = AssistantRequest::imageBlock(bigPng + QByteArray::number(i));
        writer.remember(block, AssistantRequest::blockJson(block));
        pictures.append(block);
    }
    pictures.append(AssistantRequest::textBlock("like these"));
    const QList<ChatMessage> withPictures {{"user", pictures}};
    std::printf("Six 3.75 MB pictures sent at once, then a tool step\n");
    report("written afresh (JSON library)", 10, [&](int) {
        body
            = AssistantRequest::serialize(AssistantRequest::buildBody(withPictures, prompt, tools));
    });
    std::printf("    (%.1f MB)\n", body.size() / 1e6);
    report("body writer at Send", 10, [&](int) {
        AssistantRequest::BodyWriter fresh = writer;
        body = fresh.write(withPictures, prompt, tools);
    });
    QList<ChatMessage> stepped = withPictures;
    stepped.append({"assistant",
                    QJsonArray {QJsonObject {{"type", "tool_use"},
                                             {"id", "t"},
                                             {"name", "list_files"},
                                             {"input", QJsonObject()}}}});
    stepped.append({"user", QJsonArray {AssistantRequest::toolResultBlock("t", "app.qml")}});
    writer.write(withPictures, prompt, tools);
    report("body writer at the next tool step", 10,
           [&](int) { body = writer.write(stepped, prompt, tools); });

    report("thin screenshots, 100 steps", 20, [&](int) {
        QList<ChatMessage> copy = session;
        ConversationLogic::thinScreenshots(copy);
    });

    std::printf("User bubble thumbnail (GUI thread, per picture at Send)\n");
    report("decode 3.75 MB PNG, scale to 96", 10, [&](int) {
        QPixmap pixmap;
        pixmap.loadFromData(bigPng, "PNG");
        pixmap = pixmap.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    });

    std::printf("Dropped picture (worker thread)\n");
    const QImage camera = photo(4000, 3000);
    report("12 MP photo to PNG", 5, [&](int) { ChatPanelLogic::attachmentPng(camera); });
    const QImage hardest = noise(1568, 1568);
    report("noisy 1568 x 1568 to 3.75 MB", 5, [&](int) { ChatPanelLogic::attachmentPng(hardest); });
    revealBench();
    return 0;
}
