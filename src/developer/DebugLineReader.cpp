#include "DebugLineReader.h"
#include "RadioText.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QTextCodec>
#include <QTextDecoder>

#include <utility>

namespace {

// Printable ASCII and tabs: shown as they are, each character a cluster of its own.
bool isPlainAscii(const QString &line)
{
    for (const QChar c : line) {
        const ushort u = c.unicode();
        if ((u < 0x20 && u != '\t') || u >= 0x7f)
            return false;
    }
    return true;
}

// Characters that would act on the view rather than show: they reorder the line, hide, start
// a new line, or are the text document's own frame and object marks.
bool actsOnView(uint code)
{
    return RadioText::actsOnText(code) || code == 0xfdd0 || code == 0xfdd1
        || code == QChar::ObjectReplacementCharacter;
}

void appendCode(QString &out, uint code)
{
    out += QLatin1String("<U+");
    out += QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    out += QLatin1Char('>');
}

// C0 controls as their control pictures (a carriage return as U+240D), the others as <U+XXXX>.
QString spelledOut(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate()) {
            const uint code = QChar::surrogateToUcs4(c, line.at(i + 1));
            if (actsOnView(code)) {
                appendCode(out, code);
            } else {
                out += c;
                out += line.at(i + 1);
            }
            ++i;
        } else if (c.isSurrogate()) {
            out += QChar(QChar::ReplacementCharacter);
        } else if (u == '\t') {
            out += c;
        } else if (u < 0x20) {
            out += QChar(0x2400 + u);
        } else if (u == 0x7f) {
            out += QChar(0x2421);
        } else if (actsOnView(u)) {
            appendCode(out, u);
        } else {
            out += c;
        }
    }
    return out;
}

// Each grapheme cluster longer than the limit keeps its start, up to a whole character, and
// a replacement character for the rest.
QString clustersCut(const QString &text)
{
    bool simple = true;
    for (const QChar c : text) {
        // Below U+0300 nothing joins the character before it (the line holds no CR LF).
        if (c.unicode() >= 0x300) {
            simple = false;
            break;
        }
    }
    if (simple)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    QString out;
    out.reserve(text.size());
    int start = 0;
    for (int end = finder.toNextBoundary(); end > start; end = finder.toNextBoundary()) {
        if (end - start > DebugLineReader::MaxClusterLength) {
            int keep = DebugLineReader::MaxClusterLength;
            if (text.at(start + keep - 1).isHighSurrogate())
                --keep;
            out += text.midRef(start, keep);
            out += QChar(QChar::ReplacementCharacter);
        } else {
            out += text.midRef(start, end - start);
        }
        start = end;
    }
    return out;
}

// Pieces of at most maxLength, never ending between the halves of a surrogate pair.
void appendCut(QStringList &lines, const QString &text, int maxLength)
{
    int from = 0;
    while (text.size() - from > maxLength) {
        int length = maxLength;
        if (text.at(from + length - 1).isHighSurrogate())
            --length;
        lines.append(text.mid(from, length));
        from += length;
    }
    lines.append(from == 0 ? text : text.mid(from));
}

} // namespace

DebugLineReader::DebugLineReader()
{
    reset();
}

DebugLineReader::~DebugLineReader() = default;

void DebugLineReader::reset()
{
    // A character split between two reads is joined again, not turned into replacement
    // characters.
    decoder.reset(QTextCodec::codecForMib(106)->makeDecoder(QTextCodec::IgnoreHeader));
    lineBuffer.clear();
}

bool DebugLineReader::isAccessLogLine(const QString &line)
{
    static const QRegularExpression accessLog = [] {
        QRegularExpression re(QStringLiteral(
            "^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} \\[\\d+\\] (New connection|Connection "
            "closed|[A-Z]+ \\S+ HTTP/\\d\\.\\d \\(\\d+\\))$"));
        re.optimize();
        return re;
    }();
    // Every access-log line starts with a digit; most debug output does not.
    return !line.isEmpty() && line.at(0).isDigit() && accessLog.match(line).hasMatch();
}

QStringList DebugLineReader::shownLines(const QString &line)
{
    if (isPlainAscii(line) && line.size() <= MaxLineLength)
        return {line};
    QStringList lines;
    appendCut(lines, clustersCut(spelledOut(line)), MaxLineLength);
    return lines;
}

void DebugLineReader::take(QStringList &lines, QString line) const
{
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    // The filter sees the text as sent, before anything is spelled out.
    if (!isAccessLogLine(line))
        lines.append(shownLines(line));
}

QStringList DebugLineReader::feed(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    lineBuffer += decoder->toUnicode(bytes.constData(), nul < 0 ? bytes.size() : nul);

    QStringList lines;
    int from = 0;
    for (;;) {
        const int lineFeed = lineBuffer.indexOf(QLatin1Char('\n'), from);
        const int end = lineFeed < 0 ? lineBuffer.size() : lineFeed;
        if (end - from > MaxLineLength) {
            int length = MaxLineLength;
            if (lineBuffer.at(from + length - 1).isHighSurrogate())
                --length;
            take(lines, lineBuffer.mid(from, length));
            from += length;
            continue;
        }
        if (lineFeed < 0)
            break;
        take(lines, lineBuffer.mid(from, lineFeed - from));
        from = lineFeed + 1;
    }
    lineBuffer.remove(0, from);
    return lines;
}

QStringList DebugLineReader::flush()
{
    QStringList lines;
    if (!lineBuffer.isEmpty())
        take(lines, std::exchange(lineBuffer, QString()));
    return lines;
}
