#include "WelcomeScreenWidget.h"

#include "PageScrollArea.h"
#include "Theme.h"

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

WelcomeScreenWidget::WelcomeScreenWidget(const QString &iconPath, const QString &titleHtml,
                                         const QString &subtitle, const QString &step1,
                                         const QString &step2, QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    // Scoped to the page: a bare rule would also paint every label of the card.
    setObjectName(QStringLiteral("welcomeScreen"));
    setStyleSheet(Theme::pageStyleSheet(QStringLiteral("welcomeScreen")));

    auto *iconLabel = new QLabel(this);
    iconLabel->setFixedSize(88, 88);
    iconLabel->setAlignment(Qt::AlignCenter);
    iconLabel->setStyleSheet(Theme::iconBadgeStyleSheet());
    iconLabel->setPixmap(QIcon(iconPath).pixmap(QSize(40, 40), QIcon::Normal, QIcon::Off));

    auto *titleLabel = new QLabel(this);
    titleLabel->setTextFormat(Qt::RichText);
    titleLabel->setText(titleHtml);
    titleLabel->setAlignment(Qt::AlignCenter);
    QFont titleFont = titleLabel->font();
    titleFont.setPointSize(titleFont.pointSize() + 10);
    titleFont.setWeight(QFont::Bold);
    titleLabel->setFont(titleFont);

    auto *subtitleLabel = new QLabel(this);
    subtitleLabel->setTextFormat(Qt::PlainText);
    subtitleLabel->setText(subtitle);
    subtitleLabel->setAlignment(Qt::AlignCenter);
    subtitleLabel->setWordWrap(true);
    subtitleLabel->setStyleSheet(Theme::secondaryTextStyleSheet());
    QFont subtitleFont = subtitleLabel->font();
    subtitleFont.setPointSize(subtitleFont.pointSize() + 1);
    subtitleLabel->setFont(subtitleFont);
    subtitleLabel->setFixedWidth(460);
    // The card's layout asks for the height at the card's width, not at these 460 px.
    subtitleLabel->setMinimumHeight(subtitleLabel->heightForWidth(460));

    auto *openButton = new QPushButton(tr("Open Log File..."), this);
    openButton->setCursor(Qt::PointingHandCursor);
    openButton->setMinimumHeight(44);
    openButton->setMinimumWidth(220);
    QFont buttonFont = openButton->font();
    buttonFont.setWeight(QFont::Bold);
    buttonFont.setPointSize(buttonFont.pointSize() + 1);
    openButton->setFont(buttonFont);
    openButton->setStyleSheet(Theme::primaryButtonStyleSheet());
    connect(openButton, &QPushButton::clicked, this, &WelcomeScreenWidget::openLogFileClicked);

    auto *logsTitle = new QLabel(tr("Radio Logs"), this);
    QFont logsTitleFont = logsTitle->font();
    logsTitleFont.setWeight(QFont::Bold);
    logsTitle->setFont(logsTitleFont);

    logList = new QListWidget(this);
    logList->setMinimumSize(380, 170);
    logList->setMaximumHeight(170);
    logList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(logList, &QListWidget::itemClicked, this, &WelcomeScreenWidget::logItemClicked);

    placeholderLabel = new QLabel(this);
    placeholderLabel->setObjectName(QStringLiteral("radioLogsPlaceholder"));
    placeholderLabel->setTextFormat(Qt::PlainText); // may hold the network layer's error text
    setRadioLogsNote(QString());
    placeholderLabel->setStyleSheet(QStringLiteral("color: %1;").arg(Theme::MutedText));
    placeholderLabel->setWordWrap(true);
    placeholderLabel->setAlignment(Qt::AlignCenter);
    placeholderLabel->setMinimumSize(380, 170);
    placeholderLabel->setMaximumHeight(170);

    auto *logsColumn = new QVBoxLayout;
    logsColumn->addWidget(logsTitle, 0, Qt::AlignHCenter);
    logsColumn->addWidget(logList);
    logsColumn->addWidget(placeholderLabel);

    loadingLabel = new QLabel(this);
    loadingLabel->setObjectName(QStringLiteral("loadingLabel"));
    loadingLabel->setTextFormat(Qt::PlainText); // file and radio log names
    loadingLabel->setAlignment(Qt::AlignCenter);
    loadingLabel->setStyleSheet(Theme::secondaryTextStyleSheet());
    loadingLabel->hide();
    loadingBar = createBusyBar(this);
    loadingBar->setObjectName(QStringLiteral("loadingBar"));
    loadingBar->setFixedWidth(220);

    auto *stepsRow = new QHBoxLayout;
    stepsRow->addWidget(createStepRow(this, 1, step1), 1);
    stepsRow->addSpacing(24);
    stepsRow->addWidget(createStepRow(this, 2, step2), 1);

    auto *card = new QWidget(this);
    card->setObjectName(QStringLiteral("welcomeCard"));
    card->setAttribute(Qt::WA_StyledBackground);
    card->setStyleSheet(Theme::cardStyleSheet(QStringLiteral("welcomeCard")));
    card->setMaximumWidth(620);
    auto *cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(40, 36, 40, 32);
    cardLayout->setSpacing(14);
    cardLayout->addWidget(iconLabel, 0, Qt::AlignHCenter);
    cardLayout->addSpacing(6);
    cardLayout->addWidget(titleLabel);
    cardLayout->addWidget(subtitleLabel, 0, Qt::AlignHCenter);
    cardLayout->addSpacing(10);
    cardLayout->addWidget(openButton, 0, Qt::AlignHCenter);
    cardLayout->addWidget(loadingLabel);
    cardLayout->addWidget(loadingBar, 0, Qt::AlignHCenter);
    cardLayout->addSpacing(18);
    cardLayout->addLayout(logsColumn);
    cardLayout->addSpacing(18);
    cardLayout->addLayout(stepsRow);

    auto *centreRow = new QHBoxLayout;
    centreRow->addStretch(1);
    centreRow->addWidget(card);
    centreRow->addStretch(1);
    // The card keeps its size: in a small window the page scrolls.
    auto *outer = new QVBoxLayout(PageScrollArea::addTo(this));
    outer->addStretch(1);
    outer->addLayout(centreRow);
    outer->addStretch(1);

    logList->hide();
    placeholderLabel->show();
}

void WelcomeScreenWidget::setRadioLogsAvailable(bool available)
{
    logList->setVisible(available);
    placeholderLabel->setVisible(!available);
}

void WelcomeScreenWidget::setRadioLogsNote(const QString &note)
{
    placeholderLabel->setText(
        note.isEmpty() ? tr("Connect to your Kelo radio to browse its stored logs here.") : note);
}

void WelcomeScreenWidget::setLoadingText(const QString &text)
{
    loadingLabel->setText(text);
    loadingLabel->setVisible(!text.isEmpty());
    loadingBar->setVisible(!text.isEmpty());
}

QProgressBar *WelcomeScreenWidget::createBusyBar(QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("busyBar"));
    bar->setRange(0, 0); // no known end: the bar runs back and forth
    bar->setTextVisible(false);
    bar->setFixedHeight(6);
    bar->hide();
    return bar;
}

QWidget *WelcomeScreenWidget::createStepRow(QWidget *parent, int number, const QString &text)
{
    auto *row = new QWidget(parent);
    auto *numberLabel = new QLabel(QString::number(number), row);
    numberLabel->setFixedSize(26, 26);
    numberLabel->setAlignment(Qt::AlignCenter);
    numberLabel->setStyleSheet(
        QStringLiteral("background: %1; color: white; border-radius: 13px; font-weight: bold;")
            .arg(Theme::Accent));
    auto *textLabel = new QLabel(row);
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setText(text);
    textLabel->setWordWrap(true);
    // The row is as tall as the other step's text: start level with the number.
    textLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    textLabel->setStyleSheet(QStringLiteral("color: #d0d0d5;"));
    auto *layout = new QHBoxLayout(row);
    // Level with the card's other content, and room for the text to wrap.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(numberLabel, 0, Qt::AlignTop);
    layout->addSpacing(10);
    layout->addWidget(textLabel, 1);
    return row;
}
