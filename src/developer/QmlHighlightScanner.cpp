#include "QmlHighlightScanner.h"

#include <QStringList>

#include <array>
#include <vector>

namespace QmlHighlightScanner {

const QStringList &keywords()
{
    static const QStringList words {
        "import", "property",  "signal", "function", "var",     "let",      "const",
        "if",     "else",      "for",    "while",    "return",  "true",     "false",
        "null",   "undefined", "alias",  "readonly", "default", "required", "component",
        "enum",   "of",        "in",     "new",      "typeof",  "this",     "as"};
    return words;
}

const QStringList &typeNames()
{
    static const QStringList words {
        "Item",         "Rectangle", "Text",       "Image",     "Row",      "Column",    "Grid",
        "MouseArea",    "ListView",  "Component",  "QtObject",  "Timer",    "Button",    "Label",
        "ColumnLayout", "RowLayout", "GridLayout", "TextField", "TextEdit", "Flickable", "int",
        "string",       "real",      "bool",       "color",     "url",      "list"};
    return words;
}

namespace {

// The rules match with ASCII classes: \w is [A-Za-z0-9_], \s the six ASCII blanks.
inline bool isWord(ushort c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
inline bool isDigit(ushort c)
{
    return c >= '0' && c <= '9';
}
inline bool isBlank(ushort c)
{
    return c == ' ' || (c >= 0x09 && c <= 0x0d);
}

// Words by length, so a run of word characters is compared only with words as long.
struct WordTable
{
    struct Entry
    {
        QString word;
        Kind kind;
    };
    std::array<std::vector<Entry>, 16> byLength;

    WordTable()
    {
        for (const QString &w : keywords())
            byLength[w.size()].push_back({w, Keyword});
        for (const QString &w : typeNames())
            byLength[w.size()].push_back({w, Type});
    }

    Kind lookup(const ushort *p, int length) const
    {
        if (length >= int(byLength.size()))
            return Plain;
        for (const Entry &e : byLength[length]) {
            const ushort *w = e.word.utf16();
            int i = 0;
            while (i < length && w[i] == p[i])
                ++i;
            if (i == length)
                return e.kind;
        }
        return Plain;
    }
};

const WordTable &wordTable()
{
    static const WordTable table;
    return table;
}

inline int wordEnd(const ushort *t, int n, int i)
{
    while (i < n && isWord(t[i]))
        ++i;
    return i;
}

inline bool allDigits(const ushort *t, int from, int to)
{
    for (int i = from; i < to; ++i) {
        if (!isDigit(t[i]))
            return false;
    }
    return true;
}

inline void mark(unsigned char *kinds, int from, int to, Kind kind)
{
    std::fill(kinds + from, kinds + to, static_cast<unsigned char>(kind));
}

// Every quoted run, the way a left-to-right search for quote, non-quotes, quote finds them.
void markQuoted(const ushort *t, int n, ushort quote, unsigned char *kinds)
{
    int i = 0;
    for (;;) {
        while (i < n && t[i] != quote)
            ++i;
        int close = i + 1;
        while (close < n && t[close] != quote)
            ++close;
        if (close >= n)
            return;
        mark(kinds, i, close + 1, String);
        i = close + 1;
    }
}

} // namespace

Result scanLine(const QString &text, int previousState)
{
    const int n = text.size();
    const ushort *t = text.utf16();
    Result result;
    if (n == 0) {
        result.state = previousState == InsideComment ? InsideComment : OutsideComment;
        return result;
    }

    // One kind per character, written in rule order so later rules win.
    // Reused from line to line: most lines fit in what the previous ones needed.
    static thread_local std::vector<unsigned char> kinds;
    kinds.assign(size_t(n), Plain);
    unsigned char *k = kinds.data();

    const WordTable &table = wordTable();
    for (int i = 0; i < n;) {
        if (!isWord(t[i])) {
            ++i;
            continue;
        }
        const int end = wordEnd(t, n, i);
        const Kind kind = table.lookup(t + i, end - i);
        if (kind != Plain)
            mark(k, i, end, kind);
        i = end;
    }

    // Numbers: a word of digits only, optionally "." and another word of digits only.
    for (int i = 0; i < n;) {
        if (!isWord(t[i])) {
            ++i;
            continue;
        }
        const int end = wordEnd(t, n, i);
        if (!allDigits(t, i, end)) {
            i = end;
            continue;
        }
        int matchEnd = end;
        if (end + 1 < n && t[end] == '.' && isDigit(t[end + 1])) {
            const int fractionEnd = wordEnd(t, n, end + 1);
            if (allDigits(t, end + 1, fractionEnd))
                matchEnd = fractionEnd;
        }
        mark(k, i, matchEnd, Number);
        i = matchEnd;
    }

    markQuoted(t, n, '"', k);
    markQuoted(t, n, '\'', k);

    // "id" starting a word, blanks, and a colon that stays uncoloured.
    for (int i = 0; i + 1 < n; ++i) {
        if (t[i] != 'i' || t[i + 1] != 'd' || (i > 0 && isWord(t[i - 1])))
            continue;
        int j = i + 2;
        while (j < n && isBlank(t[j]))
            ++j;
        if (j < n && t[j] == ':') {
            mark(k, i, j, Id);
            i = j;
        }
    }

    for (int i = 0; i + 1 < n; ++i) {
        if (t[i] != '/' || t[i + 1] != '/')
            continue;
        int end = i + 2;
        while (end < n && t[end] != '\n')
            ++end;
        mark(k, i, end, Comment);
        i = end;
    }

    // Block comments ignore everything above. The closer is looked for from the opener's
    // own position, so "/*/" is a whole comment.
    auto find = [&](ushort a, ushort b, int from) {
        for (int i = from; i + 1 < n; ++i) {
            if (t[i] == a && t[i + 1] == b)
                return i;
        }
        return -1;
    };
    result.state = OutsideComment;
    int start = previousState == InsideComment ? 0 : find('/', '*', 0);
    while (start >= 0) {
        const int close = find('*', '/', start);
        int length;
        if (close < 0) {
            result.state = InsideComment;
            length = n - start;
        } else {
            length = close - start + 2;
        }
        mark(k, start, start + length, BlockComment);
        start = find('/', '*', start + length);
    }

    for (int i = 0; i < n;) {
        const unsigned char kind = k[i];
        int end = i + 1;
        while (end < n && k[end] == kind)
            ++end;
        if (kind != Plain)
            result.spans.append({i, end - i, Kind(kind)});
        i = end;
    }
    return result;
}

} // namespace QmlHighlightScanner
