#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QNetworkReply;

// The one bounded reader of the radio's answers. The radio is whatever answers on the
// user's network: a firmware bug or a hostile device can send an endless body, announce
// a body of terabytes or trickle a byte a second. Every reply to a radio request is
// bound here right after it is sent (RadioApi::get and RadioUpload::post do it):
//
//  - the answer is refused as soon as its announced length (Content-Length) or the bytes
//    received pass the limit of its kind; the reply is then aborted, so it finishes with
//    an error and the caller takes its ordinary failure path. tooLarge() tells such a
//    refusal apart, errorString() gives the text a tab shows for it;
//  - Qt stops reading from the network about 2 MiB past the limit, so memory stays bounded
//    even while the GUI thread is busy (the size is handed to Qt again once the request has
//    started: Qt drops a size set before, as it is for every POST);
//  - the whole transfer has an absolute deadline besides the inactivity time-out: the
//    request's time-out for most kinds; for a log download the budget grows with the
//    announced (or received) length. A reply past its deadline is aborted like one that
//    timed out.
//
// Read the answer with body() once the reply finished without error. A log's bytes are
// taken from the reply as they arrive (copying hundreds of MB at the end would hold the
// window), so its readAll() is empty; for the other kinds body() is readAll(). New radio
// requests go through RadioApi::get (also for a prepared request) with the kind that fits
// their answer; pictures are then decoded through RadioPicture.
namespace RadioReply {

enum class Kind {
    Text, // discovery, JSON lists, versions, command and upload replies
    Picture, // thumbnails, icons, screenshots
    Log, // flight-log downloads
};

struct Limit
{
    qint64 maxBytes = 0;
    // Slowest average rate the transfer may keep beyond its time-out, for kinds whose
    // answers may be long; 0: the time-out is the whole budget.
    qint64 minBytesPerSecond = 0;
    // The bytes are taken from the reply as they arrive.
    bool readAsItArrives = false;
};

// The table of limits, one row per kind.
Limit limit(Kind kind);

// The budget of a transfer of the given length: the time-out plus the time the length
// takes at the slowest rate a radio is allowed (64 KiB/s).
qint64 budgetMs(int timeoutMs, qint64 bytes);

// Bounds a reply that has just been sent. timeoutMs is the request's transfer time-out;
// uploadBytes, for a POST, widens the deadline by the time the upload may take.
void bound(QNetworkReply *reply, Kind kind, int timeoutMs, qint64 uploadBytes = 0);

// The answer of a reply that finished without error (empty otherwise); once only.
QByteArray body(QNetworkReply *reply);

// The reply was aborted because its answer passed its kind's limit.
bool tooLarge(const QNetworkReply *reply);

// The reply was aborted because the radio did not answer in time: its inactivity time-out
// or its deadline passed.
bool timedOut(const QNetworkReply *reply);

// The reply's error text: "The radio's answer was too large" after such a refusal, "The
// radio did not answer in time" after a time-out, otherwise the network layer's own.
QString errorString(const QNetworkReply *reply);
QString tooLargeText();
QString timedOutText();

// For tests that exercise a kind's limit without sending gigabytes: replaces the kind's
// byte limit; 0 restores the table's.
void setMaxBytesForTesting(Kind kind, qint64 maxBytes);

} // namespace RadioReply
