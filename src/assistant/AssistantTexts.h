#pragma once

#include <QJsonArray>
#include <QString>

// The fixed texts every assistant request carries: the system prompt and the ten tool
// definitions. Kept apart from the panel so a table test can read them without a window.
namespace AssistantTexts {

// The system prompt, plain ASCII, fifteen paragraphs separated by blank lines.
QString systemPrompt();

// The ten tool objects ("name", "description", "input_schema"), read_docs last.
// Built afresh on every call.
QJsonArray toolDefinitions();

} // namespace AssistantTexts
