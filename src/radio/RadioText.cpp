#include "RadioText.h"

#include <QCoreApplication>

namespace RadioText {

QString forDisplay(const QString &text, int maxChars)
{
    if (maxChars < 1 || text.size() <= maxChars)
        return text;
    int keep = maxChars - 1;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep) + QChar(0x2026);
}

bool actsOnText(uint code)
{
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString listCutNote()
{
    return QCoreApplication::translate("RadioText",
                                       "The radio's list is longer than %1 entries; only the "
                                       "first %1 are shown.")
        .arg(MaxListEntries);
}

} // namespace RadioText
