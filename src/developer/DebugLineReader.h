#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QByteArray;
class QTextDecoder;

// Turns the radio's debug stream into the lines the terminal shows: UTF-8 text ended by
// a line feed, an optional carriage return before it dropped, the web server's access-log
// lines left out. A line that grows past MaxLineLength without a line feed is cut there,
// so a radio that never ends its line cannot grow the buffer without bound.
//
// What is shown is inert: control and format characters (a carriage return inside a line,
// bidirectional overrides, zero-width characters, ...) appear as visible symbols instead of
// acting on the view, and a grapheme cluster longer than MaxClusterLength (a letter under
// thousands of combining marks) is cut, since shaping one costs the view seconds.
class DebugLineReader
{
public:
    static constexpr int MaxLineLength = 64 * 1024;
    static constexpr int MaxClusterLength = 32;

    DebugLineReader();
    ~DebugLineReader();

    // Forgets any partial line and any half-received character (a new connection).
    void reset();

    // One read from the socket; bytes from a NUL on are ignored. Returns the lines it
    // completed that are to be shown.
    QStringList feed(const QByteArray &bytes);

    // The text after the last line feed as a line of its own, if there is any.
    QStringList flush();

    static bool isAccessLogLine(const QString &line);

    // The line as the terminal shows it: controls visible, long clusters cut. Never longer
    // than MaxLineLength; a line that grows past it when its controls are spelled out
    // continues on the next one.
    static QStringList shownLines(const QString &line);

private:
    void take(QStringList &lines, QString line) const;

    std::unique_ptr<QTextDecoder> decoder;
    QString lineBuffer;
};
