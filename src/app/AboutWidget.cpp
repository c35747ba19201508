#include "AboutWidget.h"

#include "PageScrollArea.h"
#include "Theme.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QVBoxLayout>

static const char *const MakerSite = "https://www.varnek.com";
static const char *const MakerMail = "contact@varnek.com";

AboutWidget::AboutWidget(const QString &version, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(PageScrollArea::addTo(this));
    layout->addStretch(1);

    auto *disc = new QWidget(this);
    disc->setFixedSize(200, 200);
    disc->setStyleSheet(
        QStringLiteral("background-color: %1; border-radius: 100px;").arg(Theme::Text));
    auto *discLayout = new QVBoxLayout(disc);
    discLayout->setContentsMargins(0, 0, 0, 0);
    auto *logo = new QLabel(disc);
    logo->setObjectName(QStringLiteral("logoLabel"));
    // The disc's rule would otherwise paint the label as a light square over the circle.
    logo->setStyleSheet(QStringLiteral("background: transparent;"));
    QPixmap logoPixmap(150, 150);
    logoPixmap.fill(Qt::transparent);
    {
        QPainter painter(&logoPixmap);
        QSvgRenderer renderer(QStringLiteral(":/icons/kelo.svg"));
        // Keep the drawing's aspect inside the 150 x 150 square.
        const QSizeF box = renderer.defaultSize().scaled(150, 150, Qt::KeepAspectRatio);
        renderer.render(
            &painter,
            QRectF((150 - box.width()) / 2, (150 - box.height()) / 2, box.width(), box.height()));
    }
    logo->setPixmap(logoPixmap);
    logo->setAlignment(Qt::AlignCenter);
    discLayout->addWidget(logo, 0, Qt::AlignCenter);
    layout->addWidget(disc, 0, Qt::AlignHCenter);
    layout->addSpacing(12);

    auto centred = [this, layout](const QString &text) {
        auto *label = new QLabel(text, this);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
        return label;
    };
    QLabel *title = centred(tr("Kelo Studio"));
    QFont titleFont = title->font();
    titleFont.setPointSize(titleFont.pointSize() + 8);
    titleFont.setBold(true);
    title->setFont(titleFont);
    centred(tr("Version %1").arg(version))->setObjectName(QStringLiteral("versionLabel"));
    layout->addSpacing(18);
    centred(tr("Copyright \u00a9 2026 Varnek System. All rights reserved."));

    auto link = [&centred](const QString &href, const QString &text) {
        QLabel *label = centred(QStringLiteral("<a href=\"%1\">%2</a>").arg(href, text));
        label->setTextFormat(Qt::RichText);
        label->setOpenExternalLinks(true);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        return label;
    };
    link(QString::fromLatin1(MakerSite), QStringLiteral("www.varnek.com"));
    link(QStringLiteral("mailto:") + QString::fromLatin1(MakerMail),
         QString::fromLatin1(MakerMail));
    layout->addSpacing(18);
    centred(tr("Running on %1").arg(platformName()))
        ->setObjectName(QStringLiteral("platformLabel"));
    layout->addStretch(1);
}

QString AboutWidget::platformName()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("macOS");
#elif defined(Q_OS_WIN)
    return QStringLiteral("Windows");
#elif defined(Q_OS_LINUX)
    return QStringLiteral("Linux");
#else
    return QSysInfo::productType();
#endif
}
