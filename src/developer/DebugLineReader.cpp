#include "DebugLineReader.h"

#include <QRegularExpression>
#include <QTextCodec>
#include <QTextDecoder>

#include <utility>

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

void DebugLineReader::take(QStringList &lines, QString line) const
{
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (!isAccessLogLine(line))
        lines.append(line);
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
