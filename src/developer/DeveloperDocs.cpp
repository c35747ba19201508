#include "DeveloperDocs.h"

#include <QRegularExpression>
#include <QTextDocumentFragment>

namespace DeveloperDocs {

const QMap<QString, QString> &docsPageMap()
{
    static const QMap<QString, QString> map = {
        {QStringLiteral("api_reference"), QStringLiteral(":/devdoc/api-reference.html")},
        {QStringLiteral("battery_manager"), QStringLiteral(":/devdoc/battery-manager.html")},
        {QStringLiteral("components"), QStringLiteral(":/devdoc/components.html")},
        {QStringLiteral("getting_started"), QStringLiteral(":/devdoc/index.html")},
        {QStringLiteral("inputs_channels"), QStringLiteral(":/devdoc/inputs-channels.html")},
        {QStringLiteral("telemetry"), QStringLiteral(":/devdoc/telemetry.html")},
    };
    return map;
}

QString mainText(const QString &html)
{
    QString content = html;
    const int start = html.indexOf(QLatin1String("<main"));
    const int end = html.indexOf(QLatin1String("</main>"));
    if (start >= 0 && start < end)
        content = html.mid(start, end - start);

    static const QRegularExpression blankRuns(QStringLiteral("\n{3,}"));
    QString text = QTextDocumentFragment::fromHtml(content).toPlainText();
    text.replace(blankRuns, QStringLiteral("\n\n"));
    return text.trimmed();
}

} // namespace DeveloperDocs
