#pragma once

#include <QString>

// Texts from the radio as the program shows them. A name can be a megabyte long; shown,
// it is cut with an ellipsis, while the full value stays for the requests that use it.
namespace RadioText {

// Names: models, networks, serials, logs, images, apps, versions.
inline constexpr int NameChars = 80;
// Longer texts such as an app's description.
inline constexpr int DetailChars = 1000;

// At most maxChars characters: a longer text keeps its first maxChars - 1 and ends with
// "…". A surrogate pair is never split.
QString forDisplay(const QString &text, int maxChars = NameChars);

// Characters that act on the text around them instead of showing: controls, format
// characters (a right-to-left override, a zero-width space), line and paragraph separators.
bool actsOnText(uint code);

// Entries a list from the radio shows at most: more than any radio holds.
inline constexpr int MaxListEntries = 10000;

// The note a tab shows when the radio's list was cut to MaxListEntries.
QString listCutNote();

} // namespace RadioText
