#pragma once

#include <QtGlobal>

class QNetworkReply;

namespace ReplyReadLimit {

// What a window holds past an answer's limit: more than a read's worth, so that passing the
// limit is always seen.
constexpr qint64 Slack = 2 * 1024 * 1024;

// Keeps Qt from reading more than `bytes` of an answer ahead of the program. Qt passes a
// reply's read-buffer size to its network thread only once the request has started there;
// a size set before is lost, and the answer is then read without any bound, in a loop that
// never returns while the peer sends faster than it is read. A POST starts on the next turn
// of the event loop, a request waiting for the network session later still: the size is set
// now and again each time the request starts.
void keep(QNetworkReply *reply, qint64 bytes);

} // namespace ReplyReadLimit
