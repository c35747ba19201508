#include "RadioLogList.h"

#include "RadioText.h"

#include <QJsonArray>
#include <QJsonValue>

#include <cmath>

namespace RadioLogList {

static bool readCount(const QJsonValue &value, qint64 *out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    // The range test also refuses NaN, for which every comparison is false.
    if (!(d >= 0.0 && d <= double(MaxValue)))
        return false;
    *out = qint64(std::trunc(d));
    return true;
}

QVector<Entry> parse(const QJsonArray &list, bool *cut)
{
    QVector<Entry> entries;
    if (cut)
        *cut = false;
    for (int k = 0; k + 2 < list.size(); k += 3) {
        Entry entry;
        const QJsonValue name = list.at(k + 1);
        if (!readCount(list.at(k), &entry.id) || !name.isString()
            || !readCount(list.at(k + 2), &entry.length))
            continue;
        if (entries.size() == RadioText::MaxListEntries) {
            if (cut)
                *cut = true;
            break;
        }
        entry.name = name.toString();
        entries.append(entry);
    }
    return entries;
}

QString durationText(qint64 length)
{
    const qint64 seconds = (qMax<qint64>(length, 0) + 5) / 10;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace RadioLogList
