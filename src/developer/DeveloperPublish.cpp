// Publishing to the app store: save, package output/<name>.app (or .kbm), ask, then a
// multipart upload to the developer portal with the radio's serial when one is known. The
// portal's answer says where the user finishes publishing in the browser.
#include "DeveloperWidget.h"

#include "DeveloperPortal.h"
#include "RadioReply.h"
#include "RadioScanner.h"
#include "RadioUpload.h"
#include "SaveFileCommit.h"

#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>

void DeveloperWidget::publishProject(const QString &name)
{
    if (name.isEmpty())
        return;
    const QString title = tr("Publish");
    if (name == currentProject && !saveCurrentQmlFile()) {
        showWarning(title, tr("Failed to save before packaging."));
        return;
    }
    const ProjectType type = projectTypeForName(name);
    const QString fileName = name
        + (type == ProjectType::HomeScreen ? QStringLiteral(".kbm") : QStringLiteral(".app"));
    const QString packagePath
        = developerRootPath() + QLatin1Char('/') + name + QStringLiteral("/output/") + fileName;
    // Any listed project; only a name that would break the upload's part header is refused.
    QString error = RadioUpload::refusalReason(fileName, QByteArray());
    if (error.isEmpty())
        packageProjectFiles(name, type, packagePath, error);
    if (!error.isEmpty()) {
        showWarning(title, tr("Failed to prepare \"%1\" for publishing: %2").arg(name, error));
        return;
    }
    const QString note = linkedFilesNote(name);
    if (!note.isEmpty())
        statusLabel->setText(note);
    if (!askYesNo(title,
                  tr("\"%1\" is prepared for publishing.\n\nDo you want to proceed with "
                     "publish request into Varnek App Store?")
                          .arg(name)
                      + (note.isEmpty() ? QString() : QStringLiteral("\n\n") + note)))
        return;
    uploadForPublish(packagePath);
}

void DeveloperWidget::uploadForPublish(const QString &packagePath)
{
    auto *package = new QFile();
    if (!openRegularFile(packagePath, *package)) {
        delete package;
        showWarning(tr("Publish"), tr("Failed to read the packaged file."));
        return;
    }
    auto *body = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    package->setParent(body);
    QHttpPart filePart;
    filePart.setRawHeader("Content-Disposition",
                          QByteArrayLiteral("form-data; name=\"file\"; filename=\"")
                              + QFileInfo(packagePath).fileName().toUtf8() + '"');
    filePart.setHeader(QNetworkRequest::ContentTypeHeader,
                       QByteArray(RadioUpload::OctetStreamType));
    filePart.setBodyDevice(package);
    body->append(filePart);
    if (!scanner->serial.isEmpty()) {
        QHttpPart serialPart;
        serialPart.setRawHeader("Content-Disposition", "form-data; name=\"serial\"");
        serialPart.setBody(scanner->serial.toUtf8());
        body->append(serialPart);
    }

    QNetworkRequest request(DeveloperPortal::publishUploadUrl());
    request.setRawHeader(DeveloperPortal::ApiKeyHeader, DeveloperPortal::ApiKey);
    const int timeoutMs = DeveloperPortal::publishTimeoutMs();
    request.setTransferTimeout(timeoutMs);
    statusLabel->setText(tr("Uploading to Varnek App Store..."));
    const qint64 uploadBytes = package->size();
    QNetworkReply *reply = networkManager->post(request, body);
    body->setParent(reply);
    // Read like a radio's answer: an endless body is cut off at the limit, and a portal that
    // trickles meets the deadline of the whole transfer, not only the inactivity time-out.
    RadioReply::bound(reply, RadioReply::Kind::Text, timeoutMs, uploadBytes);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply]() { onPublishReplyFinished(reply); });
}

void DeveloperWidget::onPublishReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    // The body is read whatever the status: a refusal carries its reason in it. Bounded by
    // RadioReply; a refused answer is not read at all.
    const bool tooLarge = RadioReply::tooLarge(reply);
    const DeveloperPortal::PublishAnswer answer
        = DeveloperPortal::parsePublishAnswer(tooLarge ? QByteArray() : reply->readAll());
    const QString title = tr("Publish");
    if (reply->error() == QNetworkReply::NoError && answer.success) {
        statusLabel->setText(tr("Uploaded - finish publishing in your browser."));
        openUrl(title, DeveloperPortal::submissionPage(answer));
        return;
    }
    statusLabel->setText(tr("Publish upload failed."));
    QString reason = answer.error.isEmpty() ? reply->errorString() : answer.error;
    if (tooLarge)
        reason = tr("the portal's answer was too large");
    showWarning(title,
                tr("Could not upload to the Varnek App Store: %1\n\nThe packaged file is still "
                   "available via \"Show Files\" if you'd rather submit it by hand.")
                    .arg(DeveloperPortal::shownText(reason)));
    openUrl(title, DeveloperPortal::storePageUrl());
}
