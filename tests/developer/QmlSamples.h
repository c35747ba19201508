#pragma once

#include <QString>

// QML text for the highlighter's tests and benchmarks.
namespace QmlSamples {

// An ordinary app file repeated to the given number of lines: imports, items, properties,
// functions, strings, numbers and comments of both kinds.
QString realistic(int lines);

// Lines made of random pieces chosen to sit on the rules' edges: keywords glued to other
// word characters, numbers with fractions and suffixes, unbalanced quotes, comment markers
// inside strings, "/*/", ASCII and non-ASCII blanks and letters, characters outside the BMP.
QString adversarial(int lines, quint32 seed);

} // namespace QmlSamples
