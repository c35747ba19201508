#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// The maker's developer portal: the app store's upload endpoint, the store's page and the
// developer documentation, all on one HTTPS host, and what the program reads in the store's
// answers.
namespace DeveloperPortal {

inline constexpr char ApiKeyHeader[] = "X-API-Key";
inline constexpr char ApiKey[] = "5f1a7c3e9b2d48e6a0c4f7b19e3d6a28";
inline constexpr int PublishTimeoutMs = 30000;
// The most of the portal's own words a warning shows.
inline constexpr int ShownTextChars = 500;

// The portal's root URL. Tests point it at a fake on loopback.
QUrl baseUrl();
void setBaseUrl(const QUrl &url);

QUrl publishUploadUrl(); // /publish-project/api/upload.php
QUrl storePageUrl(); // /publish-project
QUrl docsUrl(); // /dev/

// The store's answer to an upload. A body that is not a JSON object reads as an empty one.
struct PublishAnswer
{
    bool success = false; // "success" is the boolean true
    QString submitUrl; // "submit_url" when it is a string
    QString error; // "error" when it is a string
};
PublishAnswer parsePublishAnswer(const QByteArray &body);

// The transfer time-out of a publish upload: PublishTimeoutMs, unless a test set another.
int publishTimeoutMs();
void setPublishTimeoutForTesting(int ms); // 0 restores PublishTimeoutMs

// The portal's reason as a warning shows it: on one line, at most ShownTextChars characters.
QString shownText(const QString &text);

// Only http and https pages with a host are handed to the browser: a file:, javascript: or
// custom-scheme address from an answer could open or run something on this computer.
bool isBrowserUrl(const QUrl &url);

// Where to send the user after a successful upload: the answer's "submit_url" when it is a
// browser URL, otherwise the store's page.
QUrl submissionPage(const PublishAnswer &answer);

} // namespace DeveloperPortal
