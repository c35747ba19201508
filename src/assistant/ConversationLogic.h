#pragma once

#include "AssistantRequest.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The conversation rules of the assistant, without a widget: what an answer holds, how the
// history is kept valid for the next request, and what the chat says about a tool call.
namespace ConversationLogic {

// Answers for tool calls that were never carried out: the model reads them.
inline const char *const NotRunStopped = "Not run: stopped.";
inline const char *const NotRunCutOff = "Not run: the answer was cut off.";
inline const char *const ThinnedScreenshot = "[earlier screenshot omitted]";
constexpr int MaxToolSteps = 10;
// The service refuses a request carrying more images than this.
constexpr int MaxImagesPerRequest = 100;

// The "text" of every block of type "text", joined by blank lines, trimmed.
QString extractTextBlocks(const QJsonArray &content);

// The blocks of type "tool_use", in order.
QList<QJsonObject> toolUseBlocks(const QJsonArray &content);

// Replaces every image inside a tool result already in the conversation by a text block, in
// place; images the user sent stay. Returns how many were replaced.
int thinScreenshots(QList<ChatMessage> &conversation);

// Appends the user's content so the history stays one the service accepts: tool calls left
// open at its end (after Stop or the step limit) are answered first, in call order, by the
// results already collected or by notRunText; content sent after a user message that got no
// answer (Stop, an error) joins that message instead of following it.
void appendUserContent(QList<ChatMessage> &conversation, const QJsonValue &content,
                       const QJsonArray &collectedResults, const QString &notRunText);

// The grey line the chat shows while a tool runs.
QString toolBubbleText(const QString &toolName, const QJsonObject &input);

// An answer's content as it is kept: only blocks the service takes back. Text blocks keep
// their text; a tool call keeps its id, name and input when the id is new (not in usedIds, not
// repeated), of the letters the API allows, the name is one of toolNames and the input an
// object. Empty texts and blocks of other types are left out. A faulty call is left out too,
// and notes says why, for the model to read in the next user message.
struct KeptAnswer
{
    QJsonArray content;
    QStringList notes;
};
KeptAnswer keptAnswer(const QJsonArray &content, const QSet<QString> &usedIds,
                      const QStringList &toolNames);

// The ids of every tool call in the conversation.
QSet<QString> toolUseIds(const QList<ChatMessage> &conversation);

// The images a request with this conversation carries, tool results included.
int imageCount(const QList<ChatMessage> &conversation);

// How a messages reply ended, as the chat reports it.
struct ReplyFacts
{
    bool failed = false; // a transport failure or an HTTP error status
    int httpStatus = 0; // 0 when no status line arrived
    QString transportError; // the network library's text
    QByteArray body;
};

struct ReplyOutcome
{
    bool success = false;
    QJsonArray content; // success: never empty
    QString stopReason;
    QString errorText; // failure: the message after "Error: "
    bool quotaExhausted = false;
};

// Success only for a JSON object with a non-empty "content" array; a 302, an HTML page or an
// empty answer is a failure that says so, never a silent end.
ReplyOutcome readReply(const ReplyFacts &facts);

} // namespace ConversationLogic
