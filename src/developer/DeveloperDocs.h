#pragma once

#include <QMap>
#include <QString>

// The built-in developer documentation that the assistant's read_docs tool reads: six HTML
// pages compiled in under ":/devdoc/", each with exactly one <main> holding its content.
namespace DeveloperDocs {

// Page key -> resource path; iterating gives the keys in sorted order, as they are listed to
// the model.
const QMap<QString, QString> &docsPageMap();

// The page's content as plain text for the model: only the part from the first "<main" up to
// the first "</main>" when both are there in that order (else the whole page), rendered as
// plain text (tags dropped, entities decoded, block elements on lines of their own), runs
// of three or more line feeds squeezed to two, trimmed.
QString mainText(const QString &html);

} // namespace DeveloperDocs
