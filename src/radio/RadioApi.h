#pragma once

#include "RadioReply.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// Everything the program asks of the radio's firmware, in one place: the paths,
// the transfer time-outs and the encoding of names inside URLs.
namespace RadioApi {

// Transfer time-outs by kind of request, in milliseconds.
enum Timeout : int {
    DiscoveryTimeoutMs = 1200, // /system/info, /system/serial
    ShortTimeoutMs = 3000,
    CommandTimeoutMs = 5000,
    ListTimeoutMs = 10000,
    TransferTimeoutMs = 15000,
};

inline constexpr int HttpPort = 80;
inline constexpr int DebugPort = 9022;
inline constexpr int JoystickPort = 2600;

// Paths. The %-placeholders are filled by the helpers below.
inline const char *const SystemInfoPath = "/system/info";
inline const char *const SystemSerialPath = "/system/serial";
inline const char *const LogListPath = "/log/list";
inline const char *const ImageListPath = "/image/list";
inline const char *const UploadPath = "/upload.html";
inline const char *const AppListPath = "/app/list";
inline const char *const ModelBaseExecPath = "/model/base/exec";
inline const char *const ModelBaseDeletePath = "/model/base/delete";

// Percent-encodes a name for use in a URL path or query: the UTF-8 bytes, every byte
// other than A-Z a-z 0-9 - . _ ~ written as "%XX" with upper-case hex digits.
QByteArray percentEncodeName(const QString &name);

QString logGetPath(qint64 id, qint64 length);
QString mediaImagePath(const QString &fileName);
QString appIconPath(const QString &appName);
QString appVersionPath(const QString &appName);
QString appExecPath(const QString &appName);
QString appRemovePath(const QString &appName);
QString screenshotPath(qint64 msSinceEpoch);
QString touchPath(int x, int y, const QString &op);

// "http://%1" + path, %1 the radio's address ("a.b.c.d" or "host:port"), parsed in
// tolerant mode; already-encoded path bytes stay as they are.
QUrl url(const QString &address, const QString &path);
QNetworkRequest request(const QString &address, const QString &path, int timeoutMs);
// A discovery request (/system/info, /system/serial): DiscoveryTimeoutMs, and ahead of the
// tabs' requests in the manager's queue, since its time-out runs while it waits there.
QNetworkRequest discoveryRequest(const QString &address, const char *path);

// A GET of a radio path with the given transfer time-out, its answer bounded for its kind
// (see RadioReply): small texts unless told otherwise.
QNetworkReply *get(QNetworkAccessManager *manager, const QString &address, const QString &path,
                   int timeoutMs, RadioReply::Kind kind = RadioReply::Kind::Text);
// The same for a prepared request (extra attributes); the time-out is the request's.
QNetworkReply *get(QNetworkAccessManager *manager, const QNetworkRequest &request,
                   RadioReply::Kind kind);

} // namespace RadioApi
