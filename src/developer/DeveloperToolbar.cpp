// The toolbar's own actions: Create Project (type, then name), Delete Home Screen and the
// documentation page. Play is in DeveloperRun.cpp, the file actions in DeveloperFiles.cpp.
#include "DeveloperWidget.h"

#include "DeveloperPortal.h"
#include "RadioApi.h"
#include "RadioReply.h"
#include "Theme.h"

#include <QDialog>
#include <QLabel>
#include <QNetworkReply>
#include <QPushButton>
#include <QVBoxLayout>

bool DeveloperWidget::showProjectTypeDialog(ProjectType &type)
{
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Select Project Type"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(36, 30, 36, 30);
    layout->setSpacing(18);
    auto *question = new QLabel(tr("What kind of project do you want to create?"), &dialog);
    question->setAlignment(Qt::AlignCenter);
    layout->addWidget(question);

    bool chosen = false;
    ProjectType choice = ProjectType::Application;
    auto addChoice = [&](const QString &text, ProjectType value, const char *objectName) {
        auto *button = new QPushButton(text, &dialog);
        button->setObjectName(QLatin1String(objectName));
        button->setCursor(Qt::PointingHandCursor);
        button->setMinimumHeight(44);
        button->setMinimumWidth(260);
        QFont font = button->font();
        font.setWeight(75);
        font.setPointSize(font.pointSize() + 1);
        button->setFont(font);
        button->setStyleSheet(Theme::primaryButtonStyleSheet());
        layout->addWidget(button, 0, Qt::AlignHCenter);
        connect(button, &QPushButton::clicked, &dialog, [&, value]() {
            choice = value;
            chosen = true;
            dialog.accept();
        });
    };
    addChoice(tr("Application"), ProjectType::Application, "applicationButton");
    addChoice(tr("Home Screen"), ProjectType::HomeScreen, "homeScreenButton");

    dialog.exec();
    if (chosen)
        type = choice;
    return chosen;
}

void DeveloperWidget::onCreateProjectClicked()
{
    ProjectType type = ProjectType::Application;
    if (!showProjectTypeDialog(type))
        return;

    const QString title = tr("Create Project");
    QString typed;
    if (!askForName(title, tr("Enter Project name (max 16 characters):"), 16, typed))
        return;

    const QString name = typed.trimmed();
    if (name.isEmpty()) {
        showWarning(title, tr("Please enter a project name."));
        return;
    }
    QString error;
    if (!createProject(name, type, error)) {
        showWarning(title, error);
        return;
    }
    refreshProjectList();
    selectProjectByName(name);
}

void DeveloperWidget::onDeleteHomeScreenClicked()
{
    if (radioIp.isEmpty())
        return;
    if (!askYesNo(tr("Delete Home Screen"),
                  tr("Delete the radio's custom Home Screen and revert it to the built-in "
                     "default? This cannot be undone from here - you'd need to Play a Home "
                     "Screen project again to restore one.")))
        return;
    // The question's event loop may have seen the radio go.
    if (radioIp.isEmpty())
        return;
    QNetworkReply *reply
        = RadioApi::get(networkManager, radioIp, QString::fromLatin1(RadioApi::ModelBaseDeletePath),
                        RadioApi::CommandTimeoutMs);
    statusLabel->setText(tr("Deleting Home Screen..."));
    connect(reply, &QNetworkReply::finished, this, [this, reply]() {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError)
            statusLabel->setText(
                tr("Failed to delete Home Screen: %1").arg(RadioReply::errorString(reply)));
        else
            statusLabel->setText(tr("Home Screen deleted - reverted to the radio's default."));
    });
}

void DeveloperWidget::onDocsButtonClicked()
{
    openUrl(tr("Open Developer Documentation"), DeveloperPortal::docsUrl());
}
