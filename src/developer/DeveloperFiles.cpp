// The Developer tab's file actions: new QML file, add image, delete, the project icon and
// the version. The rules and the disk work are DeveloperWorkspace's; this is the tab's side.
#include "DeveloperWidget.h"

#include "AiToolRules.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>

QString DeveloperWidget::developerRootPath() const
{
    return DeveloperWorkspace::developerRootPath();
}

DeveloperWidget::ProjectType DeveloperWidget::projectTypeForName(const QString &name) const
{
    return DeveloperWorkspace::projectTypeForName(name);
}

QIcon DeveloperWidget::projectTypeIcon(ProjectType type) const
{
    return DeveloperWorkspace::projectTypeIcon(type);
}

bool DeveloperWidget::createProject(const QString &name, ProjectType type, QString &error)
{
    return DeveloperWorkspace::createProject(name, type, error);
}

QString DeveloperWidget::sourceFolder() const
{
    return DeveloperWorkspace::sourcePath(currentProject);
}

void DeveloperWidget::addQmlFileItem(const QString &name)
{
    auto *item = new QListWidgetItem(
        QIcon(DeveloperWorkspace::fileKindIconPath(DeveloperWorkspace::FileKind::Qml)), name,
        fileList);
    item->setData(Qt::UserRole, name);
}

void DeveloperWidget::addImageFileItem(const QString &name)
{
    auto *item = new QListWidgetItem(imageThumbnail(sourceFolder() + QLatin1Char('/') + name), name,
                                     fileList);
    item->setData(Qt::UserRole, name);
}

QIcon DeveloperWidget::imageThumbnail(const QString &path) const
{
    return DeveloperWorkspace::imageThumbnail(path);
}

QIcon DeveloperWidget::projectIconThumbnail() const
{
    return imageThumbnail(sourceFolder() + QStringLiteral("/icon.png"));
}

bool DeveloperWidget::parseVersionString(const QString &text, int &major, int &minor, int &patch,
                                         QString &error) const
{
    return DeveloperWorkspace::parseVersionString(text, major, minor, patch, error);
}

bool DeveloperWidget::packageProjectFiles(const QString &name, ProjectType type,
                                          const QString &outputFile, QString &error) const
{
    // The tools' own rule: a folder reached through a link is someone else's files.
    if (!AiToolRules::projectFoldersAreOwn(name)) {
        error = tr("the project's folder or its src/ is a link to a folder outside the Kelo "
                   "Developer folder; it is not packaged.");
        return false;
    }
    // A project folder made by hand may have no output/ yet; a link there is left alone (the
    // package write refuses it).
    const QString output = DeveloperWorkspace::outputPath(name);
    if (!DeveloperWorkspace::entryExists(output))
        QDir().mkdir(output);
    return DeveloperWorkspace::packageProjectFiles(name, type, outputFile, error);
}

QString DeveloperWidget::linkedFilesNote(const QString &name) const
{
    const int linked = DeveloperWorkspace::linkedSourceFiles(name);
    if (linked == 0)
        return QString();
    return linked == 1 ? tr("1 linked file in src/ was left out of the package (links are not "
                            "followed).")
                       : tr("%1 linked files in src/ were left out of the package (links are not "
                            "followed).")
                             .arg(linked);
}

void DeveloperWidget::onNewFileClicked()
{
    if (currentProject.isEmpty())
        return;
    const QString project = currentProject;
    QString typed;
    if (!askForName(tr("New QML File"), tr("Enter file name:"), 0, typed))
        return;
    // The dialog's event loop may have let another project be selected meanwhile.
    if (project != currentProject)
        return;
    QString name;
    QString error;
    if (!DeveloperWorkspace::createQmlFile(project, typed, name, error)) {
        showWarning(tr("New QML File"), error);
        return;
    }
    addQmlFileItem(name);
    fileList->setCurrentRow(fileList->count() - 1);
}

void DeveloperWidget::onAddImageClicked()
{
    if (currentProject.isEmpty())
        return;
    const QString project = currentProject;
    const QString path = QFileDialog::getOpenFileName(this, tr("Add Image"), QString(),
                                                      tr("Images (*.png *.jpg *.jpeg)"));
    if (path.isEmpty() || project != currentProject)
        return;
    QString name;
    QString error;
    if (!DeveloperWorkspace::addImageFile(project, path, name, error)) {
        showWarning(tr("Add Image"), error);
        return;
    }
    addImageFileItem(name);
    fileList->setCurrentRow(fileList->count() - 1);
}

void DeveloperWidget::deleteProjectFile(const QString &name)
{
    const QString project = currentProject;
    const QString title = tr("Delete File");
    if (!askYesNo(title, tr("Are you sure you want to delete \"%1\"?").arg(name)))
        return;
    if (!DeveloperWorkspace::deleteProjectFile(project, name)) {
        showWarning(title, tr("Failed to delete \"%1\".").arg(name));
        return;
    }
    // The question's event loop may have rebuilt the list: find the entry again.
    if (project != currentProject)
        return;
    for (int row = 0; row < fileList->count(); ++row) {
        QListWidgetItem *entry = fileList->item(row);
        if (entry->data(Qt::UserRole).toString() != name)
            continue;
        if (entry == currentFileItem)
            currentFileItem = nullptr;
        delete entry;
        break;
    }
    if (!fileList->currentItem() && fileList->count() > 0)
        fileList->setCurrentRow(0);
}

void DeveloperWidget::onUploadIconClicked()
{
    if (currentProject.isEmpty())
        return;
    const QString project = currentProject;
    const QString title = tr("Upload New Icon");
    const QString path
        = QFileDialog::getOpenFileName(this, title, QString(), tr("PNG Images (*.png)"));
    if (path.isEmpty() || project != currentProject)
        return;
    QString error;
    if (!DeveloperWorkspace::checkIconFile(path, error)) {
        showWarning(title, error);
        return;
    }
    iconInfoLabel->clear();
    if (!replaceProjectIcon(path)) {
        showWarning(title, tr("Failed to copy the icon into the project."));
        return;
    }
    iconInfoLabel->setText(tr("Icon updated."));
}

void DeveloperWidget::onDefaultIconClicked()
{
    if (currentProject.isEmpty())
        return;
    iconInfoLabel->clear();
    if (!replaceProjectIcon(QStringLiteral(":/dev/icon.png"))) {
        showWarning(tr("Default Icon"), tr("Failed to copy the icon into the project."));
        return;
    }
    iconInfoLabel->setText(tr("Default icon restored."));
}

bool DeveloperWidget::replaceProjectIcon(const QString &sourcePath)
{
    QString error;
    // A failed copy keeps the old icon whole; the preview shows whichever icon is there.
    const bool replaced = DeveloperWorkspace::replaceProjectIcon(currentProject, sourcePath, error);
    updateIconPreview();
    refreshProjectFileIcon();
    return replaced;
}

void DeveloperWidget::updateIconPreview()
{
    QPixmap pixmap;
    if (!pixmap.load(sourceFolder() + QStringLiteral("/icon.png"))) {
        iconPreview->setPixmap(QPixmap());
        iconPreview->setText(tr("No icon"));
        return;
    }
    iconPreview->setPixmap(
        pixmap.scaled(iconPreview->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void DeveloperWidget::refreshProjectFileIcon()
{
    for (int row = 0; row < fileList->count(); ++row) {
        QListWidgetItem *item = fileList->item(row);
        if (item->data(Qt::UserRole).toString() == QLatin1String("icon.png")) {
            item->setIcon(projectIconThumbnail());
            return;
        }
    }
}

void DeveloperWidget::onSaveVersionClicked()
{
    if (currentProject.isEmpty())
        return;
    QString error;
    if (!DeveloperWorkspace::saveVersion(currentProject, versionEdit->text(), error)) {
        showWarning(tr("Save Version"), error);
        return;
    }
    setItemModified(currentFileItem, false);
    versionEdit->setModified(false);
    versionInfoLabel->setText(tr("Version updated."));
}
