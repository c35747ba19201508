// The request validator itself: it passes a well-formed body and names the fault of each
// broken one, so a panel test that passes it has really been checked.
#include "MessagesBodyValidator.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <functional>

namespace {

const QJsonObject Mark {{"type", "ephemeral"}};

QJsonObject text(const QString &t)
{
    return {{"type", "text"}, {"text", t}};
}

QJsonObject withMark(QJsonObject o)
{
    o.insert("cache_control", Mark);
    return o;
}

QString pngBase64()
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(png.toBase64());
}

QJsonObject image(const QString &data, const QString &mediaType = "image/png")
{
    return {
        {"type", "image"},
        {"source", QJsonObject {{"type", "base64"}, {"media_type", mediaType}, {"data", data}}}};
}

QJsonArray tools()
{
    QJsonArray list;
    for (const char *name :
         {"list_files", "read_file", "write_file", "write_image", "check_radio", "create_project",
          "run_project", "take_screenshot", "read_debug_log", "read_docs"}) {
        list.append(QJsonObject {{"name", name},
                                 {"description", "d"},
                                 {"input_schema",
                                  QJsonObject {{"type", "object"},
                                               {"properties", QJsonObject()},
                                               {"required", QJsonArray()}}}});
    }
    list.replace(9, withMark(list.at(9).toObject()));
    return list;
}

QJsonObject message(const char *role, const QJsonValue &content)
{
    return {{"role", role}, {"content", content}};
}

// A user text, an assistant asking for two tools, the user answering both with a picture.
QJsonObject validBody()
{
    const QJsonObject result1 {{"type", "tool_result"},
                               {"tool_use_id", "toolu_1"},
                               {"content", QJsonArray {text("ok"), image(pngBase64())}}};
    const QJsonObject result2 {
        {"type", "tool_result"}, {"tool_use_id", "toolu_2"}, {"content", QJsonArray {text("ok")}}};
    const QJsonArray messages {
        message("user", "hello"),
        message("assistant",
                QJsonArray {text("Looking."),
                            QJsonObject {{"type", "tool_use"},
                                         {"id", "toolu_1"},
                                         {"name", "take_screenshot"},
                                         {"input", QJsonObject()}},
                            QJsonObject {{"type", "tool_use"},
                                         {"id", "toolu_2"},
                                         {"name", "read_file"},
                                         {"input", QJsonObject {{"filename", "app.qml"}}}}}),
        message("user", QJsonArray {result1, withMark(result2)})};
    return {{"model", "claude-sonnet-5"},
            {"max_tokens", 4096},
            {"system", QJsonArray {withMark(text("prompt"))}},
            {"messages", messages},
            {"tools", tools()}};
}

QByteArray serialized(const QJsonObject &body)
{
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

using Edit = std::function<void(QJsonObject &)>;

// Applies edit to the messages array.
Edit onMessages(std::function<void(QJsonArray &)> edit)
{
    return [edit](QJsonObject &body) {
        QJsonArray messages = body.value("messages").toArray();
        edit(messages);
        body.insert("messages", messages);
    };
}

void setContent(QJsonArray &messages, int index, const QJsonValue &content)
{
    QJsonObject m = messages.at(index).toObject();
    m.insert("content", content);
    messages.replace(index, m);
}

QJsonArray contentOf(const QJsonArray &messages, int index)
{
    return messages.at(index).toObject().value("content").toArray();
}

} // namespace

class MessagesBodyValidatorTest : public QObject
{
    Q_OBJECT
private slots:
    void check_data();
    void check();
    void python();
};

void MessagesBodyValidatorTest::check_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("problem"); // a fragment of the expected line; empty = valid

    const auto row = [](const char *name, const Edit &edit, const QString &problem) {
        QJsonObject body = validBody();
        edit(body);
        QTest::newRow(name) << serialized(body) << problem;
    };
    row(
        "valid", [](QJsonObject &) {}, QString());
    QTest::newRow("not JSON") << QByteArray("<html>") << "not a JSON object";
    QTest::newRow("truncated") << serialized(validBody()).left(100) << "not a JSON object";

    row(
        "unknown top-level key", [](QJsonObject &b) { b.insert("temprature", 1); },
        "unexpected key \"temprature\"");
    row(
        "other max_tokens", [](QJsonObject &b) { b.insert("max_tokens", 1024); }, "not 4096");
    row(
        "other model", [](QJsonObject &b) { b.insert("model", "claude"); }, "claude-sonnet-5");
    row(
        "tool missing",
        [](QJsonObject &b) {
            QJsonArray t = b.value("tools").toArray();
            t.removeAt(3);
            b.insert("tools", t);
        },
        "not the program's ten tools");
    row(
        "tool name with a space",
        [](QJsonObject &b) {
            QJsonArray t = b.value("tools").toArray();
            QJsonObject tool = t.at(0).toObject();
            tool.insert("name", "list files");
            t.replace(0, tool);
            b.insert("tools", t);
        },
        "tool name \"list files\" is not allowed");
    row("assistant first",
        onMessages([](QJsonArray &m) { m.prepend(message("assistant", QJsonArray {text("x")})); }),
        "where \"user\" alternates in");
    row("two user messages in a row",
        onMessages([](QJsonArray &m) { m.insert(1, message("user", "again")); }), "alternates in");
    row("assistant last", onMessages([](QJsonArray &m) {
            m.append(message("assistant", QJsonArray {withMark(text("x"))}));
            QJsonArray c = contentOf(m, 2);
            QJsonObject last = c.last().toObject();
            last.remove("cache_control");
            c.replace(1, last);
            setContent(m, 2, c);
        }),
        "the last message is not the user's");
    row("unknown role", onMessages([](QJsonArray &m) {
            QJsonObject first = m.at(0).toObject();
            first.insert("role", "system");
            m.replace(0, first);
        }),
        "role \"system\"");
    row("empty string content", onMessages([](QJsonArray &m) { setContent(m, 0, ""); }),
        "empty string content");
    row("empty content array", onMessages([](QJsonArray &m) { setContent(m, 0, QJsonArray()); }),
        "empty content array");
    row("tool call left open",
        onMessages([](QJsonArray &m) { setContent(m, 2, QJsonArray {withMark(text("go on"))}); }),
        "do not answer the calls [toolu_1,toolu_2]");
    row("results out of call order", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 2);
            QJsonObject first = c.at(0).toObject();
            QJsonObject second = c.at(1).toObject();
            second.remove("cache_control");
            first.insert("cache_control", Mark);
            setContent(m, 2, QJsonArray {second, first});
        }),
        "in call order");
    row("text before the results", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 2);
            c.prepend(text("here"));
            setContent(m, 2, c);
        }),
        "results come first");
    row("result for a call never made", onMessages([](QJsonArray &m) {
            setContent(m, 0,
                       QJsonArray {QJsonObject {
                           {"type", "tool_result"}, {"tool_use_id", "toolu_0"}, {"content", "x"}}});
        }),
        "do not answer the calls []");
    row("tool_use in a user message", onMessages([](QJsonArray &m) {
            setContent(m, 0,
                       QJsonArray {QJsonObject {{"type", "tool_use"},
                                                {"id", "toolu_9"},
                                                {"name", "list_files"},
                                                {"input", QJsonObject()}}});
        }),
        "block type \"tool_use\" in a user message");
    row("image in an assistant message", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 1);
            c.replace(0, image(pngBase64()));
            setContent(m, 1, c);
        }),
        "block type \"image\" in a assistant message");
    row("tool_use of a tool not offered", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 1);
            QJsonObject call = c.at(1).toObject();
            call.insert("name", "format_disk");
            c.replace(1, call);
            setContent(m, 1, c);
        }),
        "not a tool of this request");
    row("same tool_use id twice", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 1);
            QJsonObject call = c.at(2).toObject();
            call.insert("id", "toolu_1");
            c.replace(2, call);
            setContent(m, 1, c);
        }),
        "used twice");
    row("tool_use input not an object", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 1);
            QJsonObject call = c.at(1).toObject();
            call.insert("input", "x");
            c.replace(1, call);
            setContent(m, 1, c);
        }),
        "input is not an object");
    row("Base64 with a line break", onMessages([](QJsonArray &m) {
            setContent(m, 0, QJsonArray {image(pngBase64().insert(8, "\n")), text("hi")});
        }),
        "not standard Base64");
    row("URL-safe Base64", onMessages([](QJsonArray &m) {
            setContent(m, 0,
                       QJsonArray {image(pngBase64().replace('+', '-').replace('/', '_') + "-_A="),
                                   text("hi")});
        }),
        "not standard Base64");
    row("PNG that does not decode", onMessages([](QJsonArray &m) {
            const QByteArray broken = QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(64, 'x');
            setContent(m, 0,
                       QJsonArray {image(QString::fromLatin1(broken.toBase64())), text("hi")});
        }),
        "does not decode");
    row("JPEG called PNG", onMessages([](QJsonArray &m) {
            setContent(
                m, 0,
                QJsonArray {image(QString::fromLatin1(QByteArray("\xff\xd8\xff\xe0").toBase64())),
                            text("hi")});
        }),
        "PNG signature");
    row("image over 5 MB", onMessages([](QJsonArray &m) {
            setContent(
                m, 0,
                QJsonArray {image(QString(5 * 1024 * 1024 + 4, QLatin1Char('A')), "image/jpeg"),
                            text("hi")});
        }),
        "over 5 MB");
    row("media type not an image", onMessages([](QJsonArray &m) {
            setContent(m, 0, QJsonArray {image(pngBase64(), "application/pdf"), text("hi")});
        }),
        "unsupported media_type");
    row("no mark on the last block", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 2);
            QJsonObject last = c.last().toObject();
            last.remove("cache_control");
            c.replace(1, last);
            setContent(m, 2, c);
        }),
        "cache marks at");
    row("mark inside a tool result", onMessages([](QJsonArray &m) {
            QJsonArray c = contentOf(m, 2);
            QJsonObject last = c.last().toObject();
            last.remove("cache_control");
            last.insert("content", QJsonArray {withMark(text("ok"))});
            c.replace(1, last);
            setContent(m, 2, c);
        }),
        "cache marks at");
    row(
        "five marks",
        [](QJsonObject &b) {
            QJsonArray t = b.value("tools").toArray();
            for (int i = 0; i < 3; ++i)
                t.replace(i, withMark(t.at(i).toObject()));
            b.insert("tools", t);
        },
        "over the API's 4");
    row(
        "mark of another type",
        [](QJsonObject &b) {
            QJsonObject system = text("prompt");
            system.insert("cache_control", QJsonObject {{"type", "persistent"}});
            b.insert("system", QJsonArray {system});
        },
        "not \"ephemeral\"");
    row(
        "system block not text",
        [](QJsonObject &b) { b.insert("system", QJsonArray {withMark(image(pngBase64()))}); },
        "system block is not a text block");
    row("text block without text", onMessages([](QJsonArray &m) {
            setContent(m, 0, QJsonArray {QJsonObject {{"type", "text"}, {"txt", "x"}}});
        }),
        "without a string \"text\"");
}

void MessagesBodyValidatorTest::check()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, problem);
    const QStringList problems = MessagesBodyValidator::check(body);
    if (problem.isEmpty()) {
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        return;
    }
    QVERIFY2(problems.join('\n').contains(problem), qPrintable(problems.join('\n')));
}

void MessagesBodyValidatorTest::python()
{
    const QByteArray good = serialized(validBody());
    QByteArray spaced = good;
    spaced.replace("\"max_tokens\":4096", "\"max_tokens\": 4096");
    QByteArray unsorted = good;
    unsorted.replace("{\"content\":\"hello\",\"role\":\"user\"}",
                     "{\"role\":\"user\",\"content\":\"hello\"}");
    QVERIFY(unsorted != good);
    QByteArray escaped = good;
    escaped.replace("\"hello\"", "\"h\\u00e9llo\"");
    const QStringList problems
        = MessagesBodyValidator::checkWithPython({good, spaced, unsorted, escaped});
    QCOMPARE(problems.size(), 3);
    QVERIFY(problems.at(0).startsWith("body 1 differs"));
    QVERIFY(problems.at(1).startsWith("body 2 differs"));
    // Python writes non-ASCII as UTF-8, as the program does, not as \u escapes.
    QVERIFY(problems.at(2).startsWith("body 3 differs"));
}

QTEST_GUILESS_MAIN(MessagesBodyValidatorTest)
#include "tst_messagesbodyvalidator.moc"
