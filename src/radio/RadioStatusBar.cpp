#include "RadioStatusBar.h"

#include "RadioScanner.h"
#include "RadioText.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolButton>
#include <QTransform>
#include <QVBoxLayout>

RadioStatusBar::RadioStatusBar(RadioScanner *scanner, QWidget *parent)
    : QWidget(parent)
    , scanner(scanner)
{
    spinnerPixmap = QPixmap(14, 14);
    spinnerPixmap.fill(Qt::transparent);
    {
        QPainter painter(&spinnerPixmap);
        QSvgRenderer(QStringLiteral(":/icons/spinner.svg")).render(&painter);
    }
    spinnerAngle = 0;

    spinnerTimer = new QTimer(this);
    spinnerTimer->setInterval(80);
    connect(spinnerTimer, &QTimer::timeout, this, &RadioStatusBar::onSpinnerTick);

    iconLabel = new QLabel(this);
    iconLabel->setFixedSize(18, 18);
    iconLabel->setAlignment(Qt::AlignCenter);
    textLabel = new QLabel(tr("<b>Scanning for Kelo radio...</b>"), this);
    textLabel->setWordWrap(true);
    copyButton = new QToolButton(this);
    copyButton->setText(tr("Copy"));
    copyButton->setToolTip(tr("Copy serial number"));
    copyButton->setAutoRaise(true);
    copyButton->hide();
    connect(copyButton, &QToolButton::clicked, this, &RadioStatusBar::onCopySerialClicked);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *row = new QHBoxLayout;
    row->addWidget(iconLabel, 0);
    row->addWidget(textLabel, 1);
    row->addWidget(copyButton, 0);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 6, 8, 6);
    outer->addLayout(row);
    outer->addWidget(line);

    connect(scanner, &RadioScanner::scanStarted, this, &RadioStatusBar::onScanStarted);
    connect(scanner, &RadioScanner::deviceFound, this, &RadioStatusBar::onDeviceFound);
    connect(scanner, &RadioScanner::deviceNotFound, this, &RadioStatusBar::onDeviceNotFound);
    connect(scanner, &RadioScanner::serialFound, this, &RadioStatusBar::onSerialFound);

    if (!scanner->ip.isEmpty())
        showFound();
}

void RadioStatusBar::onScanStarted()
{
    textLabel->setText(tr("Scanning for Kelo radio..."));
    spinnerAngle = 0;
    spinnerTimer->start();
}

void RadioStatusBar::onSpinnerTick()
{
    spinnerAngle = (spinnerAngle + 30) % 360;
    iconLabel->setPixmap(
        spinnerPixmap.transformed(QTransform().rotate(spinnerAngle), Qt::SmoothTransformation));
}

void RadioStatusBar::onDeviceFound(const QString &, const QString &, const QString &)
{
    showFound();
}

void RadioStatusBar::showFound()
{
    spinnerTimer->stop();
    iconLabel->clear();
    updateStatusText();
}

void RadioStatusBar::onSerialFound(const QString &)
{
    updateStatusText();
}

void RadioStatusBar::onDeviceNotFound()
{
    spinnerTimer->stop();
    iconLabel->clear();
    textLabel->setText(tr("Kelo radio not found"));
    copyButton->hide();
}

void RadioStatusBar::updateStatusText()
{
    // Model and serial come from the radio: cut to a name's length and escaped, since the
    // label renders them as rich text.
    auto shown = [](const QString &fromRadio) {
        return RadioText::forDisplay(fromRadio).toHtmlEscaped();
    };
    QString text = tr("RADIO: %1").arg(scanner->ip.toHtmlEscaped());
    if (!scanner->modelName.isEmpty())
        text += tr("&nbsp;&nbsp;MODEL: <b>%1</b>").arg(shown(scanner->modelName));
    if (!scanner->serial.isEmpty())
        text += tr("&nbsp;&nbsp;SERIAL: <b>%1</b>").arg(shown(scanner->serial));
    textLabel->setText(text);
    copyButton->setVisible(!scanner->serial.isEmpty());
}

void RadioStatusBar::onCopySerialClicked()
{
    if (scanner->serial.isEmpty())
        return;
    QApplication::clipboard()->setText(scanner->serial);
    copyButton->setText(tr("Copied!"));
    QTimer::singleShot(1500, this, [this]() { copyButton->setText(tr("Copy")); });
}
