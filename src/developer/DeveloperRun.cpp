// Play and runProject: save, package output/<name>.tar, upload it to the radio as
// <name>.app (or <name>.kbm for a Home Screen) and start it there. Each run carries its
// own name, type, address and completion through its replies, so runs may overlap and the
// project or radio may change while one is in flight.
#include "DeveloperWidget.h"

#include "AiToolRules.h"
#include "RadioApi.h"
#include "RadioUpload.h"
#include "SaveFileCommit.h"

#include <QFile>
#include <QLabel>
#include <QNetworkReply>
#include <QToolButton>

void DeveloperWidget::onPlayButtonClicked()
{
    if (currentProject.isEmpty())
        return;
    playButton->setEnabled(false);
    runProject([this](bool, const QString &message) {
        statusLabel->setText(message);
        playButton->setEnabled(true);
    });
}

void DeveloperWidget::runProject(const RunCompletion &completion)
{
    if (currentProject.isEmpty()) {
        completion(false, tr("No project is open."));
        return;
    }
    const QString name = currentProject;
    const ProjectType type = projectTypeForName(name);
    if (!saveCurrentQmlFile()) {
        completion(false, tr("Failed to save before packaging."));
        return;
    }
    const QString packagePath = developerRootPath() + QLatin1Char('/') + name
        + QStringLiteral("/output/") + name + QStringLiteral(".tar");
    const QString fileName = name
        + (type == ProjectType::HomeScreen ? QStringLiteral(".kbm") : QStringLiteral(".app"));
    // Any listed project runs; only a name the upload's part header cannot carry is refused.
    QString error = RadioUpload::refusalReason(fileName, QByteArray());
    if (error.isEmpty())
        packageProjectFiles(name, type, packagePath, error);
    if (!error.isEmpty()) {
        completion(false, tr("Failed: %1").arg(error));
        return;
    }
    const QString note = linkedFilesNote(name);
    if (!note.isEmpty()) {
        const RunCompletion plain = completion;
        // Every later message of the run tells what the package left out.
        return runPackaged(name, type, packagePath, fileName,
                           [plain, note](bool ok, const QString &message) {
                               plain(ok, message + QLatin1Char(' ') + note);
                           });
    }
    runPackaged(name, type, packagePath, fileName, completion);
}

void DeveloperWidget::runPackaged(const QString &name, ProjectType type, const QString &packagePath,
                                  const QString &fileName, const RunCompletion &completion)
{
    const QString address = radioIp;
    if (address.isEmpty()) {
        completion(false, tr("Packaged, but no radio is connected to upload it to."));
        return;
    }
    QFile package;
    QByteArray data;
    if (openRegularFile(packagePath, package))
        data = package.read(package.size());
    if (!package.isOpen() || data.size() != package.size()) {
        completion(false, tr("Failed to read the packaged file."));
        return;
    }
    QString refusal;
    QNetworkReply *reply
        = RadioUpload::post(networkManager, address, fileName, RadioUpload::OctetStreamType, data,
                            RadioApi::TransferTimeoutMs, &refusal);
    if (!reply) {
        completion(false, tr("Upload failed: %1").arg(refusal));
        return;
    }
    statusLabel->setText(tr("Uploading..."));
    connect(reply, &QNetworkReply::finished, this,
            [=]() { onRunUploadFinished(reply, name, address, type, completion); });
}

void DeveloperWidget::onRunUploadFinished(QNetworkReply *reply, const QString &name,
                                          const QString &address, ProjectType type,
                                          const RunCompletion &completion)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        completion(false, tr("Upload failed: %1").arg(AiToolRules::radioErrorText(reply)));
        return;
    }
    // The radio the package went to, even if another one has been found since.
    const QString path = type == ProjectType::HomeScreen
        ? QString::fromLatin1(RadioApi::ModelBaseExecPath)
        : RadioApi::appExecPath(name);
    QNetworkReply *start = RadioApi::get(networkManager, address, path, RadioApi::CommandTimeoutMs);
    connect(start, &QNetworkReply::finished, this, [start, completion]() {
        start->deleteLater();
        if (start->error() != QNetworkReply::NoError)
            completion(false,
                       tr("Uploaded, but executing it failed: %1")
                           .arg(AiToolRules::radioErrorText(start)));
        else
            completion(true, tr("Uploaded and executed."));
    });
}
