#pragma once

#include <QString>
#include <QVector>

class QJsonArray;

// The radio's /log/list answer, read defensively: the radio's JSON is untrusted.
namespace RadioLogList {

struct Entry
{
    qint64 id = 0;
    QString name;
    qint64 length = 0; // tenths of a second
};

// Largest id or length taken: every integer up to it is exact in a JSON number (double).
inline constexpr qint64 MaxValue = qint64(1) << 53;

// The complete triples (id, name, length) of the flat "list" array, in order. A triple
// whose id or length is not a finite number in 0..MaxValue, or whose name is not a string,
// is skipped; so is a trailing incomplete triple. Fractional numbers are truncated.
// At most RadioText::MaxListEntries are taken; *cut tells whether more were there.
QVector<Entry> parse(const QJsonArray &list, bool *cut = nullptr);

// "m:ss" of a length in tenths of a second, rounded to whole seconds (halves up).
QString durationText(qint64 length);

} // namespace RadioLogList
