#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// Checks a request body for the AI service's messages endpoint against the public Anthropic
// Messages API shapes, written from the API's documentation rather than from the program's
// code, plus what this program promises on top (its model, its ten tools, its three cache
// marks, user messages last). Every test that makes the panel send runs its bodies through it.
namespace MessagesBodyValidator {

// The problems of one body; empty when it is valid.
QStringList check(const QByteArray &body);

// Byte equality with Python's json.dumps(sort_keys=True, separators=(',',':'),
// ensure_ascii=False) of the same parsed object, for every body; one line per mismatch.
QStringList checkWithPython(const QList<QByteArray> &bodies);

} // namespace MessagesBodyValidator
