#include "MessagesBodyValidator.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace MessagesBodyValidator {

namespace {

// The request parameters the Messages API documents; anything else is a typo or a leak.
const QStringList KnownTopLevelKeys
    = {"model",  "max_tokens",  "messages", "system", "tools",          "tool_choice", "metadata",
       "stream", "temperature", "top_p",    "top_k",  "stop_sequences", "thinking"};

// This program's tool list, in its order.
const QStringList ProgramTools
    = {"list_files",     "read_file",   "write_file",      "write_image",    "check_radio",
       "create_project", "run_project", "take_screenshot", "read_debug_log", "read_docs"};

const QStringList ImageMediaTypes = {"image/jpeg", "image/png", "image/gif", "image/webp"};

constexpr qint64 MaxRequestBytes = 32 * 1024 * 1024;
constexpr int MaxImageBase64Chars = 5 * 1024 * 1024;
constexpr int MaxCacheMarks = 4;
// The Messages API takes at most 100 images in one request.
constexpr int MaxImagesPerRequest = 100;

struct Checker
{
    QStringList problems;
    int cacheMarks = 0;
    int images = 0;
    QStringList markPlaces;
    QSet<QString> toolNames;
    QSet<QString> toolUseIds;

    void fail(const QString &where, const QString &what) { problems.append(where + ": " + what); }

    void onlyKeys(const QJsonObject &o, const QStringList &allowed, const QString &where)
    {
        for (const QString &key : o.keys()) {
            if (!allowed.contains(key))
                fail(where, QStringLiteral("unexpected key \"%1\"").arg(key));
        }
    }

    void cacheControl(const QJsonObject &o, const QString &where)
    {
        if (!o.contains("cache_control"))
            return;
        ++cacheMarks;
        markPlaces.append(where);
        const QJsonValue mark = o.value("cache_control");
        if (!mark.isObject()) {
            fail(where, "cache_control is not an object");
            return;
        }
        const QJsonObject m = mark.toObject();
        onlyKeys(m, {"type", "ttl"}, where + ".cache_control");
        if (m.value("type").toString() != "ephemeral")
            fail(where, "cache_control type is not \"ephemeral\"");
        if (m.contains("ttl") && m.value("ttl").toString() != "5m"
            && m.value("ttl").toString() != "1h")
            fail(where, "cache_control ttl is neither \"5m\" nor \"1h\"");
    }

    // RFC 4648 alphabet, padded to a multiple of four, "=" only at the end, no line breaks.
    static bool isStrictBase64(const QString &data)
    {
        if (data.size() % 4 != 0)
            return false;
        int padding = 0;
        if (data.endsWith(QLatin1String("==")))
            padding = 2;
        else if (data.endsWith(QLatin1Char('=')))
            padding = 1;
        for (int i = 0; i < data.size() - padding; ++i) {
            const ushort c = data.at(i).unicode();
            const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
                || (c >= '0' && c <= '9') || c == '+' || c == '/';
            if (!ok)
                return false;
        }
        return true;
    }

    void textBlock(const QJsonObject &b, const QString &where)
    {
        onlyKeys(b, {"type", "text", "cache_control", "citations"}, where);
        if (!b.value("text").isString())
            fail(where, "text block without a string \"text\"");
        cacheControl(b, where);
    }

    void imageBlock(const QJsonObject &b, const QString &where)
    {
        ++images;
        onlyKeys(b, {"type", "source", "cache_control"}, where);
        cacheControl(b, where);
        const QJsonObject source = b.value("source").toObject();
        if (!b.value("source").isObject()) {
            fail(where, "image block without a source object");
            return;
        }
        onlyKeys(source, {"type", "media_type", "data"}, where + ".source");
        if (source.value("type").toString() != "base64") {
            fail(where, "image source type is not \"base64\"");
            return;
        }
        const QString mediaType = source.value("media_type").toString();
        if (!ImageMediaTypes.contains(mediaType))
            fail(where, QStringLiteral("unsupported media_type \"%1\"").arg(mediaType));
        const QString data = source.value("data").toString();
        if (data.isEmpty() || !isStrictBase64(data)) {
            fail(where, "image data is not standard Base64 without line breaks");
            return;
        }
        if (data.size() > MaxImageBase64Chars)
            fail(where,
                 QStringLiteral("image data of %1 Base64 characters, over 5 MB").arg(data.size()));
        const QByteArray bytes = QByteArray::fromBase64(data.toLatin1());
        if (mediaType == "image/png") {
            if (!bytes.startsWith("\x89PNG\r\n\x1a\n"))
                fail(where, "image/png data does not start with the PNG signature");
            else if (QImage::fromData(bytes, "PNG").isNull())
                fail(where, "image/png data does not decode");
        }
    }

    void toolUseBlock(const QJsonObject &b, const QString &where)
    {
        onlyKeys(b, {"type", "id", "name", "input", "cache_control"}, where);
        cacheControl(b, where);
        const QString id = b.value("id").toString();
        if (id.isEmpty())
            fail(where, "tool_use without an id");
        if (toolUseIds.contains(id))
            fail(where, QStringLiteral("tool_use id \"%1\" used twice").arg(id));
        toolUseIds.insert(id);
        if (!toolNames.contains(b.value("name").toString()))
            fail(where,
                 QStringLiteral("tool_use of \"%1\", not a tool of this request")
                     .arg(b.value("name").toString()));
        if (!b.value("input").isObject())
            fail(where, "tool_use input is not an object");
    }

    void toolResultBlock(const QJsonObject &b, const QString &where)
    {
        onlyKeys(b, {"type", "tool_use_id", "content", "is_error", "cache_control"}, where);
        cacheControl(b, where);
        if (!b.value("tool_use_id").isString())
            fail(where, "tool_result without a string tool_use_id");
        if (b.contains("is_error") && !b.value("is_error").isBool())
            fail(where, "tool_result is_error is not a boolean");
        const QJsonValue content = b.value("content");
        if (content.isString() || content.isUndefined())
            return;
        if (!content.isArray()) {
            fail(where, "tool_result content is neither a string nor an array");
            return;
        }
        const QJsonArray inner = content.toArray();
        for (int i = 0; i < inner.size(); ++i) {
            const QJsonObject block = inner.at(i).toObject();
            const QString w = QStringLiteral("%1.content[%2]").arg(where).arg(i);
            const QString type = block.value("type").toString();
            if (type == "text")
                textBlock(block, w);
            else if (type == "image")
                imageBlock(block, w);
            else
                fail(w, QStringLiteral("block type \"%1\" inside a tool_result").arg(type));
        }
    }

    void tools(const QJsonValue &value)
    {
        if (!value.isArray()) {
            fail("tools", "not an array");
            return;
        }
        static const QRegularExpression namePattern(QStringLiteral("^[a-zA-Z0-9_-]{1,64}$"));
        const QJsonArray list = value.toArray();
        QStringList names;
        for (int i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("tools[%1]").arg(i);
            const QJsonObject tool = list.at(i).toObject();
            onlyKeys(tool, {"name", "description", "input_schema", "cache_control"}, where);
            cacheControl(tool, where);
            const QString name = tool.value("name").toString();
            if (!namePattern.match(name).hasMatch())
                fail(where, QStringLiteral("tool name \"%1\" is not allowed").arg(name));
            if (names.contains(name))
                fail(where, QStringLiteral("tool \"%1\" given twice").arg(name));
            names.append(name);
            if (tool.contains("description") && !tool.value("description").isString())
                fail(where, "description is not a string");
            const QJsonObject schema = tool.value("input_schema").toObject();
            if (schema.value("type").toString() != "object")
                fail(where, "input_schema type is not \"object\"");
            const QJsonObject properties = schema.value("properties").toObject();
            for (const QJsonValue &required : schema.value("required").toArray()) {
                if (!properties.contains(required.toString()))
                    fail(where,
                         QStringLiteral("required \"%1\" is not a property")
                             .arg(required.toString()));
            }
        }
        toolNames = QSet<QString>(names.begin(), names.end());
        if (names != ProgramTools)
            fail("tools", "not the program's ten tools in order: " + names.join(','));
    }

    void system(const QJsonValue &value)
    {
        if (value.isString() || value.isUndefined())
            return;
        if (!value.isArray()) {
            fail("system", "neither a string nor an array");
            return;
        }
        const QJsonArray blocks = value.toArray();
        for (int i = 0; i < blocks.size(); ++i) {
            const QJsonObject block = blocks.at(i).toObject();
            const QString where = QStringLiteral("system[%1]").arg(i);
            if (block.value("type").toString() != "text")
                fail(where, "system block is not a text block");
            textBlock(block, where);
        }
    }

    // The tool_use ids an assistant message asks for, in order.
    static QStringList toolUseIdsOf(const QJsonObject &message)
    {
        QStringList ids;
        for (const QJsonValue &v : message.value("content").toArray()) {
            if (v.toObject().value("type").toString() == "tool_use")
                ids.append(v.toObject().value("id").toString());
        }
        return ids;
    }

    void messages(const QJsonValue &value)
    {
        if (!value.isArray() || value.toArray().isEmpty()) {
            fail("messages", "not a non-empty array");
            return;
        }
        const QJsonArray list = value.toArray();
        QStringList openCalls; // tool_use ids the previous assistant message asked for
        for (int i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("messages[%1]").arg(i);
            const QJsonObject message = list.at(i).toObject();
            onlyKeys(message, {"role", "content"}, where);
            const QString role = message.value("role").toString();
            if (role != "user" && role != "assistant") {
                fail(where, QStringLiteral("role \"%1\"").arg(role));
                continue;
            }
            const QString expectedRole = i % 2 == 0 ? "user" : "assistant";
            if (role != expectedRole)
                fail(where,
                     QStringLiteral("role \"%1\" where \"%2\" alternates in")
                         .arg(role, expectedRole));

            const QJsonValue content = message.value("content");
            QStringList answered;
            if (content.isString()) {
                if (content.toString().isEmpty())
                    fail(where, "empty string content");
            } else if (content.isArray()) {
                const QJsonArray blocks = content.toArray();
                if (blocks.isEmpty())
                    fail(where, "empty content array");
                bool pastResults = false;
                for (int j = 0; j < blocks.size(); ++j) {
                    const QString w = QStringLiteral("%1.content[%2]").arg(where).arg(j);
                    const QJsonObject block = blocks.at(j).toObject();
                    const QString type = block.value("type").toString();
                    if (type == "text") {
                        textBlock(block, w);
                    } else if (type == "image" && role == "user") {
                        imageBlock(block, w);
                    } else if (type == "tool_result" && role == "user") {
                        toolResultBlock(block, w);
                        if (pastResults)
                            fail(w, "tool_result after other content: results come first");
                        answered.append(block.value("tool_use_id").toString());
                    } else if (type == "tool_use" && role == "assistant") {
                        toolUseBlock(block, w);
                    } else {
                        fail(w,
                             QStringLiteral("block type \"%1\" in a %2 message").arg(type, role));
                    }
                    if (type != "tool_result")
                        pastResults = true;
                }
            } else {
                fail(where, "content is neither a string nor an array");
            }

            if (role == "user") {
                if (answered != openCalls)
                    fail(where,
                         QStringLiteral("tool results [%1] do not answer the calls "
                                        "[%2] in call order")
                             .arg(answered.join(','), openCalls.join(',')));
                openCalls.clear();
            } else {
                openCalls = toolUseIdsOf(message);
            }
        }
        if (list.last().toObject().value("role").toString() != "user")
            fail("messages", "the last message is not the user's");
    }
};

} // namespace

QStringList check(const QByteArray &body)
{
    Checker c;
    if (body.size() > MaxRequestBytes)
        c.fail("body", QStringLiteral("%1 bytes, over 32 MB").arg(body.size()));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        c.fail("body", "not a JSON object: " + error.errorString());
        return c.problems;
    }
    const QJsonObject top = doc.object();
    c.onlyKeys(top, KnownTopLevelKeys, "body");
    if (top.value("model").toString() != "claude-sonnet-5")
        c.fail("model", "not \"claude-sonnet-5\"");
    const QJsonValue maxTokens = top.value("max_tokens");
    if (!maxTokens.isDouble() || maxTokens.toDouble() != 4096)
        c.fail("max_tokens", "not 4096");

    c.tools(top.value("tools"));
    c.system(top.value("system"));
    c.messages(top.value("messages"));

    if (c.images > MaxImagesPerRequest)
        c.fail("body", QStringLiteral("%1 images, over the API's 100").arg(c.images));
    if (c.cacheMarks > MaxCacheMarks)
        c.fail("body", QStringLiteral("%1 cache marks, over the API's 4").arg(c.cacheMarks));
    // This program marks the system block, the last tool and the last block of the last
    // message, nothing else.
    const QJsonArray messages = top.value("messages").toArray();
    const QJsonValue lastContent = messages.last().toObject().value("content");
    const QStringList expectedMarks
        = {QStringLiteral("tools[%1]").arg(top.value("tools").toArray().size() - 1),
           QStringLiteral("system[0]"),
           QStringLiteral("messages[%1].content[%2]")
               .arg(messages.size() - 1)
               .arg(lastContent.toArray().size() - 1)};
    QStringList places = c.markPlaces;
    places.sort();
    QStringList expected = expectedMarks;
    expected.sort();
    if (places != expected)
        c.fail("body",
               "cache marks at [" + places.join(", ") + "], expected [" + expected.join(", ")
                   + "]");
    return c.problems;
}

QStringList checkWithPython(const QList<QByteArray> &bodies)
{
    if (bodies.isEmpty())
        return {};
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < bodies.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("body%1.json").arg(i));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bodies.at(i)) != bodies.at(i).size())
            return {QStringLiteral("cannot write %1").arg(path)};
        files.append(path);
    }
    static const char *const script = R"PY(
import json, sys
for index, path in enumerate(sys.argv[1:]):
    raw = open(path, 'rb').read()
    try:
        again = json.dumps(json.loads(raw.decode('utf-8')), sort_keys=True,
                           separators=(',', ':'), ensure_ascii=False).encode('utf-8')
    except Exception as e:
        print('body %d: %s' % (index, e))
        continue
    if again != raw:
        at = next((i for i in range(min(len(raw), len(again))) if raw[i] != again[i]),
                  min(len(raw), len(again)))
        print('body %d differs from json.dumps at byte %d: %r / %r'
              % (index, at, raw[at:at + 40], again[at:at + 40]))
)PY";
    QProcess python;
    python.start(QStringLiteral("python3"),
                 QStringList {"-c", QString::fromLatin1(script)} + files);
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit
        || python.exitCode() != 0)
        return {QStringLiteral("python3 did not run: %1 %2")
                    .arg(python.errorString(), QString::fromUtf8(python.readAllStandardError()))};
    const QString out = QString::fromUtf8(python.readAllStandardOutput()).trimmed();
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

} // namespace MessagesBodyValidator
