// The assistant's work on the GUI thread at Send and at each tool step: building and
// serialising the request body (a long conversation, and one carrying six 3.75 MB
// pictures), thinning, and decoding a picture for the user bubble's thumbnail; also the
// shrinking of a dropped picture, which runs on a worker thread.
#include "AssistantRequest.h"
#include "BenchSupport.h"
#include "ChatPanelLogic.h"
#include "ConversationLogic.h"

#include <QApplication>
#include <QBuffer>
#include <QJsonDocument>
#include <QPixmap>
#include <QRandomGenerator>

#include <cstdio>

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

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchSupport::printBuildKind();
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
    return 0;
}
