#include "ApplicationsWidget.h"

#include "ListFiller.h"
#include "PageScrollArea.h"
#include "PlainMessageBox.h"
#include "RadioApi.h"
#include "RadioPictureQueue.h"
#include "RadioReply.h"
#include "RadioScanner.h"
#include "RadioTabSupport.h"
#include "RadioText.h"
#include "RadioUpload.h"
#include "Theme.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

// "." and ".." cannot name a path segment: the URL layer resolves them before sending,
// so the request would reach another resource of the radio (/media/icon.png).
static bool fitsInPath(const QString &appName)
{
    return appName != QLatin1String(".") && appName != QLatin1String("..");
}

static QLabel *greyLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(Theme::secondaryTextStyleSheet());
    return label;
}

ApplicationsWidget::ApplicationsWidget(RadioScanner *scanner, QWidget *parent)
    : QWidget(parent)
    , scanner(scanner)
    , networkManager(scanner->networkManager)
    , pictureQueue(RadioPictureQueue::of(scanner->networkManager))
{
    auto *layout = new QVBoxLayout(PageScrollArea::addTo(this));
    notFoundLabel = RadioTabSupport::createNotFoundLabel(
        tr("Kelo radio not found.\nConnect to a Kelo radio to see its installed apps."), this);
    contentWidget = new QWidget(this);
    layout->addWidget(notFoundLabel, 1);
    layout->addWidget(contentWidget, 1);

    auto *contentLayout = new QHBoxLayout(contentWidget);
    contentLayout->setContentsMargins(0, 0, 0, 0);

    auto *appsBox = new QGroupBox(tr("Applications"), contentWidget);
    auto *appsLayout = new QVBoxLayout(appsBox);
    appList = new QListWidget(appsBox);
    appList->setIconSize(QSize(IconSize, IconSize));
    appList->setSpacing(2);
    appList->setMaximumWidth(260);
    // Every row is 72 pixels high: the view need not measure thousands of them.
    appList->setUniformItemSizes(true);
    appsLayout->addWidget(appList);
    listNoteLabel = greyLabel(appsBox);
    listNoteLabel->setWordWrap(true);
    listNoteLabel->hide();
    appsLayout->addWidget(listNoteLabel);
    auto *installRow = new QHBoxLayout();
    installButton = new QPushButton(tr("Install from File..."), appsBox);
    installStatusLabel = greyLabel(appsBox);
    installStatusLabel->setWordWrap(true);
    installRow->addWidget(installButton);
    installRow->addWidget(installStatusLabel, 1);
    appsLayout->addLayout(installRow);

    auto *detailsBox = new QGroupBox(tr("Details"), contentWidget);
    auto *detailsLayout = new QVBoxLayout(detailsBox);
    iconLabel = new QLabel(detailsBox);
    iconLabel->setFixedSize(DetailIconSize, DetailIconSize);
    iconLabel->setAlignment(Qt::AlignCenter);
    nameLabel = new QLabel(detailsBox);
    nameLabel->setTextFormat(Qt::PlainText);
    QFont nameFont = nameLabel->font();
    nameFont.setWeight(75);
    nameFont.setBold(true);
    if (nameFont.pointSizeF() > 0)
        nameFont.setPointSizeF(nameFont.pointSizeF() + 2);
    nameLabel->setFont(nameFont);
    versionLabel = greyLabel(detailsBox);
    detailLabel = greyLabel(detailsBox);
    // Texts from the radio take the width there is, wrapped at their spaces: a name without
    // any, however long, is cut at the box's edge instead of widening the page.
    for (QLabel *label : {nameLabel, versionLabel, detailLabel}) {
        label->setWordWrap(true);
        label->setSizePolicy(QSizePolicy::Ignored, label->sizePolicy().verticalPolicy());
    }
    detailLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    detailsLayout->addWidget(iconLabel);
    detailsLayout->addWidget(nameLabel);
    detailsLayout->addWidget(versionLabel);
    detailsLayout->addWidget(detailLabel, 1);
    auto *commandRow = new QHBoxLayout();
    executeButton = new QPushButton(tr("Execute"), detailsBox);
    executeButton->setEnabled(false);
    uninstallButton = new QPushButton(tr("Uninstall"), detailsBox);
    uninstallButton->setEnabled(false);
    statusLabel = greyLabel(detailsBox);
    commandRow->addWidget(executeButton);
    commandRow->addWidget(uninstallButton);
    commandRow->addWidget(statusLabel, 1);
    detailsLayout->addLayout(commandRow);

    // Names for tests and style sheets.
    notFoundLabel->setObjectName(QStringLiteral("notFoundLabel"));
    contentWidget->setObjectName(QStringLiteral("contentWidget"));
    appList->setObjectName(QStringLiteral("appList"));
    installButton->setObjectName(QStringLiteral("installButton"));
    installStatusLabel->setObjectName(QStringLiteral("installStatusLabel"));
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    detailLabel->setObjectName(QStringLiteral("detailLabel"));
    executeButton->setObjectName(QStringLiteral("executeButton"));
    uninstallButton->setObjectName(QStringLiteral("uninstallButton"));
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    listNoteLabel->setObjectName(QStringLiteral("listNoteLabel"));
    filler = new ListFiller(this);

    contentLayout->addWidget(appsBox, 0);
    contentLayout->addWidget(detailsBox, 1);

    connect(appList, &QListWidget::currentItemChanged, this,
            &ApplicationsWidget::onAppSelectionChanged);
    connect(installButton, &QPushButton::clicked, this,
            &ApplicationsWidget::onInstallButtonClicked);
    connect(executeButton, &QPushButton::clicked, this,
            &ApplicationsWidget::onExecuteButtonClicked);
    connect(uninstallButton, &QPushButton::clicked, this,
            &ApplicationsWidget::onUninstallButtonClicked);
    listRetryTimer = RadioTabSupport::createListRetryTimer(this);
    connect(listRetryTimer, &QTimer::timeout, this, [this]() {
        if (!radioIp.isEmpty() && !listLoaded)
            fetchAppList();
    });
    connect(scanner, &RadioScanner::deviceFound, this, &ApplicationsWidget::onRadioDeviceFound);
    connect(scanner, &RadioScanner::deviceNotFound, this,
            &ApplicationsWidget::onRadioDeviceNotFound);

    if (!scanner->ip.isEmpty())
        onRadioDeviceFound(scanner->ip, scanner->networkName, scanner->modelName);
    else
        onRadioDeviceNotFound();
}

QString ApplicationsWidget::versionText(const QByteArray &body)
{
    const int zero = body.indexOf('\0');
    const QByteArray text = zero < 0 ? body : body.left(zero);
    return QString::fromUtf8(text).simplified().replace(QLatin1Char(' '), QLatin1Char('.'));
}

void ApplicationsWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!radioIp.isEmpty())
        fetchAppList();
}

void ApplicationsWidget::onRadioDeviceFound(const QString &ip, const QString &,
                                            const QString &modelName)
{
    // Another radio under the same model name must not keep the first one's list while
    // commands go to the new address.
    if (ip != radioIp) {
        clearApps();
        listLoaded = false;
    }
    radioIp = ip;
    notFoundLabel->hide();
    contentWidget->show();
    if (modelName != listModelName) {
        listModelName = modelName;
        listLoaded = false;
    }
    // A retry already waiting fetches soon enough; the scanner's repeats must not start
    // request after request while the list keeps failing.
    if (!listLoaded && isVisible() && !listRetryTimer->isActive())
        fetchAppList();
}

void ApplicationsWidget::onRadioDeviceNotFound()
{
    radioIp.clear();
    listModelName.clear();
    listLoaded = false;
    listRetryTimer->stop();
    clearApps();
    notFoundLabel->show();
    contentWidget->hide();
}

void ApplicationsWidget::cancelReply(QNetworkReply *reply)
{
    // Disconnected first: abort() emits finished at once.
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

QString ApplicationsWidget::fullName(const QListWidgetItem *item)
{
    return item->data(FullNameRole).toString();
}

void ApplicationsWidget::clearApps()
{
    filler->cancel();
    if (pictureQueue)
        pictureQueue->cancel(this);
    listNoteLabel->hide();
    if (listReply) {
        QNetworkReply *reply = listReply;
        listReply = nullptr;
        cancelReply(reply);
    }
    if (versionReply) {
        QNetworkReply *reply = versionReply;
        versionReply = nullptr;
        cancelReply(reply);
    }
    // The items are deleted before a selection signal could name them; the details are
    // cleared below instead.
    {
        const QSignalBlocker blocker(appList);
        appList->clear();
    }
    iconLabel->clear();
    nameLabel->clear();
    versionLabel->clear();
    detailLabel->clear();
    statusLabel->clear();
    executeButton->setEnabled(false);
    uninstallButton->setEnabled(false);
}

void ApplicationsWidget::fetchAppList()
{
    if (radioIp.isEmpty() || listReply)
        return;
    // This request stands for any retry still waiting.
    listRetryTimer->stop();
    listReply = RadioApi::get(networkManager, radioIp, QString::fromLatin1(RadioApi::AppListPath),
                              RadioApi::ShortTimeoutMs);
    connect(listReply, &QNetworkReply::finished, this, &ApplicationsWidget::onAppListReply);
}

void ApplicationsWidget::onAppListReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply == listReply)
        listReply = nullptr;
    clearApps();
    if (radioIp.isEmpty())
        return;

    if (reply->error() != QNetworkReply::NoError) {
        listRetryTimer->start();
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(RadioReply::body(reply), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        listRetryTimer->start();
        return;
    }

    const QJsonArray list = doc.object().value(QStringLiteral("list")).toArray();
    QVector<QPair<QString, QString>> apps;
    bool cut = false;
    for (int i = 0; i + 1 < list.size(); i += 2) {
        const QString name = list.at(i).toString();
        if (name.isEmpty())
            continue;
        if (apps.size() == RadioText::MaxListEntries) {
            cut = true;
            break;
        }
        apps.append({name, list.at(i + 1).toString()});
    }
    listLoaded = true;
    if (cut) {
        listNoteLabel->setText(RadioText::listCutNote());
        listNoteLabel->show();
    }
    // A slice at a time; a list of a few hundred apps is whole before the first is made
    // current.
    filler->start(apps.size(), [this, apps](int i) {
        const QString &name = apps.at(i).first;
        auto *item = new QListWidgetItem(RadioText::forDisplay(name));
        item->setData(FullNameRole, name);
        item->setData(Qt::UserRole, apps.at(i).second);
        item->setSizeHint(QSize(0, RowHeight));
        appList->addItem(item);
        requestIcon(item);
    });
    if (!apps.isEmpty())
        appList->setCurrentRow(0);
}

void ApplicationsWidget::requestIcon(QListWidgetItem *item)
{
    if (!pictureQueue || !fitsInPath(fullName(item)))
        return;
    // The item lives as long as its list, and clearing the list cancels its icons.
    pictureQueue->fetch(
        this, radioIp, RadioApi::appIconPath(fullName(item)), RadioPicture::Use::Icon,
        QSize(IconSize, IconSize), [this, item](const RadioPictureQueue::Picture &picture) {
            if (!picture.downloaded || picture.result.status != RadioPicture::Status::Ok)
                return;
            item->setIcon(QIcon(QPixmap::fromImage(picture.result.image)));
            if (appList->currentItem() == item)
                iconLabel->setPixmap(item->icon().pixmap(DetailIconSize, DetailIconSize));
        });
}

void ApplicationsWidget::onAppSelectionChanged(QListWidgetItem *current, QListWidgetItem *)
{
    statusLabel->clear();
    versionLabel->clear();
    if (!current) {
        iconLabel->clear();
        nameLabel->clear();
        detailLabel->clear();
        executeButton->setEnabled(false);
        uninstallButton->setEnabled(false);
        return;
    }
    iconLabel->setPixmap(current->icon().pixmap(DetailIconSize, DetailIconSize));
    nameLabel->setText(current->text());
    detailLabel->setText(
        RadioText::forDisplay(current->data(Qt::UserRole).toString(), RadioText::DetailChars));
    executeButton->setEnabled(true);
    uninstallButton->setEnabled(true);
    fetchVersion(fullName(current));
}

void ApplicationsWidget::fetchVersion(const QString &name)
{
    if (versionReply) {
        QNetworkReply *reply = versionReply;
        versionReply = nullptr;
        cancelReply(reply);
    }
    if (radioIp.isEmpty() || !fitsInPath(name))
        return;
    versionReply = RadioApi::get(networkManager, radioIp, RadioApi::appVersionPath(name),
                                 RadioApi::ShortTimeoutMs);
    versionReply->setProperty("app_name", name);
    connect(versionReply, &QNetworkReply::finished, this, &ApplicationsWidget::onVersionReply);
}

void ApplicationsWidget::onVersionReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply == versionReply)
        versionReply = nullptr;
    QListWidgetItem *current = appList->currentItem();
    if (!current || fullName(current) != reply->property("app_name").toString()
        || reply->error() != QNetworkReply::NoError)
        return;
    const QString version = versionText(RadioReply::body(reply));
    if (!version.isEmpty())
        versionLabel->setText(tr("Version: %1").arg(RadioText::forDisplay(version)));
}

void ApplicationsWidget::onExecuteButtonClicked()
{
    QListWidgetItem *current = appList->currentItem();
    if (!current || radioIp.isEmpty())
        return;
    QNetworkReply *reply
        = RadioApi::get(networkManager, radioIp, RadioApi::appExecPath(fullName(current)),
                        RadioApi::CommandTimeoutMs);
    connect(reply, &QNetworkReply::finished, this, &ApplicationsWidget::onExecReply);
    statusLabel->setText(tr("Launching %1...").arg(current->text()));
}

void ApplicationsWidget::onExecReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        statusLabel->setText(tr("Execute failed: %1").arg(RadioReply::errorString(reply)));
    else
        statusLabel->setText(tr("Executed"));
}

void ApplicationsWidget::onUninstallButtonClicked()
{
    QListWidgetItem *current = appList->currentItem();
    if (!current || radioIp.isEmpty())
        return;
    const QString name = fullName(current);
    const QString shown = current->text();
    const auto answer = showPlainMessage(this, QMessageBox::Question, tr("Uninstall Application"),
                                         tr("Do you really want to uninstall %1?").arg(shown),
                                         QMessageBox::Yes | QMessageBox::No);
    // The radio may have been lost while the question was open.
    if (answer != QMessageBox::Yes || radioIp.isEmpty())
        return;
    QNetworkReply *reply = RadioApi::get(networkManager, radioIp, RadioApi::appRemovePath(name),
                                         RadioApi::CommandTimeoutMs);
    connect(reply, &QNetworkReply::finished, this, &ApplicationsWidget::onRemoveReply);
    statusLabel->setText(tr("Uninstalling %1...").arg(shown));
}

void ApplicationsWidget::onRemoveReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        statusLabel->setText(tr("Uninstall failed: %1").arg(RadioReply::errorString(reply)));
        return;
    }
    statusLabel->setText(tr("Uninstalled"));
    if (!radioIp.isEmpty())
        fetchAppList();
}

void ApplicationsWidget::onInstallButtonClicked()
{
    if (radioIp.isEmpty())
        return;
    const QString title = tr("Install from File");
    const QString path = QFileDialog::getOpenFileName(this, title, QString(),
                                                      tr("Kelo Studio packages (*.app *.kbm)"));
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    const QString extension = info.suffix().toLower();
    if (extension != QLatin1String("app") && extension != QLatin1String("kbm")) {
        showPlainMessage(this, QMessageBox::Warning, title,
                         tr("Only .app and .kbm files can be installed."));
        return;
    }
    const auto answer = showPlainMessage(
        this, QMessageBox::Warning, title,
        tr("Installing a file from your computer can be potentially dangerous - only install "
           "files from sources you trust. A malicious or broken package could misbehave once "
           "it runs on your radio.\n\nDo you want to continue installing \"%1\"?")
            .arg(fileName),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;

    QFile file(path);
    QByteArray data;
    bool readOk = file.open(QIODevice::ReadOnly);
    if (readOk) {
        data = file.readAll();
        readOk = file.error() == QFileDevice::NoError;
        file.close();
    }
    if (!readOk) {
        showPlainMessage(this, QMessageBox::Warning, title,
                         tr("Could not read \"%1\".").arg(fileName));
        return;
    }
    // The radio may have been lost while the questions were open.
    if (radioIp.isEmpty())
        return;

    QString refusal;
    QNetworkReply *reply
        = RadioUpload::post(networkManager, radioIp, fileName, RadioUpload::OctetStreamType, data,
                            RadioApi::TransferTimeoutMs, &refusal);
    if (!reply) {
        installStatusLabel->setText(refusal);
        return;
    }
    reply->setProperty("install_extension", extension);
    reply->setProperty("install_filename", fileName);
    connect(reply, &QNetworkReply::finished, this, &ApplicationsWidget::onInstallUploadReply);
    installStatusLabel->setText(tr("Installing %1...").arg(fileName));
}

void ApplicationsWidget::onInstallUploadReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    const QString extension = reply->property("install_extension").toString();
    const QString fileName = reply->property("install_filename").toString();
    if (reply->error() != QNetworkReply::NoError) {
        installStatusLabel->setText(tr("Install failed: %1").arg(RadioReply::errorString(reply)));
        return;
    }
    if (radioIp.isEmpty()) {
        // The radio went away meanwhile: say what became of the install, send nothing more.
        if (extension == QLatin1String("kbm"))
            installStatusLabel->setText(
                tr("Installed %1, but applying it was not attempted: the Kelo radio was lost.")
                    .arg(fileName));
        else
            installStatusLabel->setText(tr("Installed %1").arg(fileName));
        return;
    }
    if (extension != QLatin1String("kbm")) {
        installStatusLabel->setText(tr("Installed %1").arg(fileName));
        fetchAppList();
        return;
    }
    QNetworkReply *apply
        = RadioApi::get(networkManager, radioIp, QString::fromLatin1(RadioApi::ModelBaseExecPath),
                        RadioApi::CommandTimeoutMs);
    apply->setProperty("install_filename", fileName);
    connect(apply, &QNetworkReply::finished, this, &ApplicationsWidget::onInstallExecReply);
    installStatusLabel->setText(tr("Applying %1...").arg(fileName));
}

void ApplicationsWidget::onInstallExecReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    const QString fileName = reply->property("install_filename").toString();
    if (reply->error() != QNetworkReply::NoError)
        installStatusLabel->setText(tr("Installed %1, but applying it failed: %2")
                                        .arg(fileName, RadioReply::errorString(reply)));
    else
        installStatusLabel->setText(tr("Installed and applied %1").arg(fileName));
}
