#include "DeveloperPortal.h"

#include "RadioText.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace DeveloperPortal {

static QUrl &base()
{
    static QUrl url(QStringLiteral("https://developer.varnek.com"));
    return url;
}

QUrl baseUrl()
{
    return base();
}

void setBaseUrl(const QUrl &url)
{
    base() = url;
}

static QUrl withPath(const char *path)
{
    QUrl url = base();
    url.setPath(url.path() + QLatin1String(path));
    return url;
}

QUrl publishUploadUrl()
{
    return withPath("/publish-project/api/upload.php");
}

QUrl storePageUrl()
{
    return withPath("/publish-project");
}

QUrl docsUrl()
{
    return withPath("/dev/");
}

PublishAnswer parsePublishAnswer(const QByteArray &body)
{
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    PublishAnswer answer;
    answer.success = object.value(QStringLiteral("success")).toBool(false);
    answer.submitUrl = object.value(QStringLiteral("submit_url")).toString();
    answer.error = object.value(QStringLiteral("error")).toString();
    return answer;
}

static int publishTimeoutOverride = 0;

int publishTimeoutMs()
{
    return publishTimeoutOverride > 0 ? publishTimeoutOverride : PublishTimeoutMs;
}

void setPublishTimeoutForTesting(int ms)
{
    publishTimeoutOverride = qMax(ms, 0);
}

QString shownText(const QString &text)
{
    // Line breaks would make the warning taller than the screen.
    return RadioText::forDisplay(text.simplified(), ShownTextChars);
}

bool isBrowserUrl(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

QUrl submissionPage(const PublishAnswer &answer)
{
    const QUrl url(answer.submitUrl, QUrl::StrictMode);
    return isBrowserUrl(url) ? url : storePageUrl();
}

} // namespace DeveloperPortal
