#include "JoystickStatusWidget.h"

#include "JoystickBridge.h"
#include "Theme.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QScrollArea>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

static const char *const ForumAddress = "https://forum.varnek.com";
static const char *const ManualAddress = "https://www.varnek.com/kelo/manual";

JoystickStatusWidget::JoystickStatusWidget(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground, true);
    // Scoped to the page: a bare rule would also paint every label of the card.
    setObjectName(QStringLiteral("joystickPage"));
    setStyleSheet(Theme::pageStyleSheet(QStringLiteral("joystickPage")));

    auto *card = new QWidget(this);
    card->setObjectName(QStringLiteral("joystickCard"));
    card->setAttribute(Qt::WA_StyledBackground, true);
    card->setStyleSheet(Theme::cardStyleSheet(QStringLiteral("joystickCard")));
    card->setMaximumWidth(620);

    auto *badge = new QLabel(card);
    badge->setFixedSize(88, 88);
    badge->setAlignment(Qt::AlignCenter);
    badge->setStyleSheet(Theme::iconBadgeStyleSheet());
    badge->setPixmap(QIcon(QStringLiteral(":/icons/tab-joystick.svg")).pixmap(40, 40));

    auto *title
        = new QLabel(tr("<span style='color:%1;'>Kelo</span> Joystick").arg(Theme::Accent), card);
    title->setTextFormat(Qt::RichText);
    title->setAlignment(Qt::AlignCenter);
    QFont titleFont = title->font();
    titleFont.setPointSize(titleFont.pointSize() + 10);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto *subtitle = new QLabel(
        tr("Use your Kelo radio's sticks and switches as a PC joystick/gamepad."), card);
    subtitle->setTextFormat(Qt::PlainText);
    subtitle->setAlignment(Qt::AlignCenter);
    subtitle->setWordWrap(true);
    subtitle->setStyleSheet(Theme::secondaryTextStyleSheet());
    QFont subtitleFont = subtitle->font();
    subtitleFont.setPointSize(subtitleFont.pointSize() + 1);
    subtitle->setFont(subtitleFont);
    subtitle->setFixedWidth(460);
    // The card's layout asks for the height at the card's width, not at these 460 px.
    subtitle->setMinimumHeight(subtitle->heightForWidth(460));

    statusLabel = new QLabel(card);
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setAlignment(Qt::AlignCenter);
    statusLabel->setStyleSheet(QStringLiteral("color: %1;").arg(Theme::Text));
    QFont statusFont = statusLabel->font();
    statusFont.setPointSize(statusFont.pointSize() + 2);
    statusLabel->setFont(statusFont);

    hintLabel = new QLabel(card);
    hintLabel->setTextFormat(Qt::PlainText);
    hintLabel->setAlignment(Qt::AlignCenter);
    hintLabel->setStyleSheet(QStringLiteral("color: #aaaaaa;"));

    auto *links = new QHBoxLayout;
    links->addStretch(1);
    links->addWidget(createLinkButton(QStringLiteral(":/icons/panel-icon-chat.png"),
                                      tr("Community Forum"), QString::fromLatin1(ForumAddress)));
    links->addSpacing(24);
    links->addWidget(createLinkButton(QStringLiteral(":/icons/panel-icon-help.png"),
                                      tr("Online Manual"), QString::fromLatin1(ManualAddress)));
    links->addStretch(1);

    auto *cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(40, 36, 40, 32);
    cardLayout->setSpacing(14);
    cardLayout->addWidget(badge, 0, Qt::AlignHCenter);
    cardLayout->addSpacing(6);
    cardLayout->addWidget(title);
    cardLayout->addWidget(subtitle, 0, Qt::AlignHCenter);
    cardLayout->addSpacing(18);
    cardLayout->addWidget(statusLabel);
    cardLayout->addWidget(hintLabel);
    cardLayout->addSpacing(18);
    cardLayout->addLayout(links);

    auto *centreRow = new QHBoxLayout;
    centreRow->addStretch(1);
    centreRow->addWidget(card);
    centreRow->addStretch(1);

    auto *footer
        = new QLabel(tr("Copyright \u00a9 2026 Varnek System. All rights reserved."), this);
    footer->setTextFormat(Qt::PlainText);
    footer->setAlignment(Qt::AlignCenter);
    footer->setStyleSheet(QStringLiteral("color: #6b6b70; font-size: 11px;"));

    // The card keeps its size: in a small window the page scrolls.
    auto *body = new QWidget;
    auto *page = new QVBoxLayout(body);
    page->addStretch(1);
    page->addLayout(centreRow);
    page->addStretch(1);
    page->addWidget(footer);
    auto *scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidget(body);
    auto *tabLayout = new QVBoxLayout(this);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->addWidget(scroller);

    updateStatusLabels();
}

QToolButton *JoystickStatusWidget::createLinkButton(const QString &iconPath, const QString &toolTip,
                                                    const QString &address)
{
    auto *button = new QToolButton(this);
    button->setIcon(QIcon(iconPath));
    button->setIconSize(QSize(32, 32));
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QToolButton::clicked, button,
            [address]() { QDesktopServices::openUrl(QUrl(address)); });
    return button;
}

QString JoystickStatusWidget::statusText(int status)
{
    switch (status) {
    case BridgeChecking:
        return tr("Checking Wireless Joystick Bus.");
    case BridgeServerFailed:
        return tr("Can't create Server. Please check Firewall.");
    case BridgeWaiting:
        return tr("Waiting for Kelo Radio...");
    case BridgeConnected:
        return tr("Varnek Kelo is connected.");
    case BridgeDisconnected:
        return tr("Varnek Kelo was disconnected.");
    case 10:
    case 11:
    case 12:
        return tr("Please install ViGEmBus Driver first.");
    default:
        return QString();
    }
}

void JoystickStatusWidget::setStatus(int newStatus)
{
    status = newStatus;
    updateStatusLabels();
}

void JoystickStatusWidget::setRadioFound(bool found)
{
    radioFound = found;
    updateStatusLabels();
}

void JoystickStatusWidget::updateStatusLabels()
{
    QFont font = statusLabel->font();
    if (status == BridgeWaiting && radioFound) {
        statusLabel->setText(tr("Kelo Radio found!"));
        font.setBold(true);
        statusLabel->setFont(font);
        hintLabel->setText(tr("Start Apps/Simulator/Sim Over WiFi"));
        statusLabel->show();
        hintLabel->show();
        return;
    }
    hintLabel->hide();
    const QString text = statusText(status);
    font.setBold(false);
    statusLabel->setFont(font);
    statusLabel->setText(text);
    statusLabel->setVisible(!text.isEmpty());
}
