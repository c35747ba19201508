// The radio's usage quota under the panel's header: the bars, the plan badge and the
// countdown of a reached four-hour limit.
#include "AiAssistantWidget.h"

#include "AiServiceApi.h"
#include "UsageQuota.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

static QProgressBar *makeQuotaBar(QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(4);
    bar->hide();
    return bar;
}

static QLabel *makeQuotaLabel(const char *style, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setStyleSheet(QLatin1String(style));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->hide();
    return label;
}

void AiAssistantWidget::buildQuotaRows(QVBoxLayout *layout)
{
    static const char *const FiguresStyle = "color: #8b93a0; font-size: 10px;";
    fourHourBar = makeQuotaBar(this);
    fourHourBar->setObjectName(QStringLiteral("fourHourBar"));
    fourHourBar->setCursor(Qt::PointingHandCursor);
    fourHourBar->setToolTip(tr("Click for weekly usage and exact numbers"));
    limitLabel = makeQuotaLabel("color: #f5566a; font-size: 10px; font-weight: bold;", this);
    limitLabel->setObjectName(QStringLiteral("limitLabel"));
    fourHourLabel = makeQuotaLabel(FiguresStyle, this);
    fourHourLabel->setObjectName(QStringLiteral("fourHourLabel"));
    weekBar = makeQuotaBar(this);
    weekBar->setObjectName(QStringLiteral("weekBar"));
    weekLabel = makeQuotaLabel(FiguresStyle, this);
    weekLabel->setObjectName(QStringLiteral("weekLabel"));
    for (QWidget *row : {static_cast<QWidget *>(fourHourBar), static_cast<QWidget *>(limitLabel),
                         static_cast<QWidget *>(fourHourLabel), static_cast<QWidget *>(weekBar),
                         static_cast<QWidget *>(weekLabel)})
        layout->addWidget(row);
}

void AiAssistantWidget::setRadioSerial(const QString &serial)
{
    session->setRadioSerial(serial);
    if (!serial.isEmpty())
        return;
    quotaKnown = false;
    quotaExpanded = false;
    applyQuotaVisibility();
}

void AiAssistantWidget::onUsageReceived(const AiServiceApi::Usage &usage)
{
    updateQuotaBars(usage.fourHourTokens, usage.fourHourLimit, usage.weekTokens, usage.weekLimit);
    updatePlanBadge(usage.plan);
}

void AiAssistantWidget::updateQuotaBars(int fourHourTokens, int fourHourLimit, int weekTokens,
                                        int weekLimit)
{
    applyQuotaBar(fourHourBar, fourHourLabel, fourHourTokens, fourHourLimit, tr("4h"));
    applyQuotaBar(weekBar, weekLabel, weekTokens, weekLimit, tr("Week"));
    quotaKnown = true;
    applyQuotaVisibility();
}

void AiAssistantWidget::applyQuotaBar(QProgressBar *bar, QLabel *label, int used, int limit,
                                      const QString &name)
{
    const UsageQuota::BarView view = UsageQuota::barView(used, limit, name, QLocale());
    bar->setValue(view.value);
    bar->setStyleSheet(view.styleSheet);
    label->setText(view.text);
}

void AiAssistantWidget::updatePlanBadge(const QString &plan)
{
    if (plan.isEmpty())
        return;
    // A button would take "&" as a shortcut marker.
    planBadge->setText(
        UsageQuota::planBadgeText(plan, QString()).replace(QLatin1Char('&'), QLatin1String("&&")));
}

void AiAssistantWidget::applyQuotaVisibility()
{
    fourHourBar->setVisible(quotaKnown);
    fourHourLabel->setVisible(quotaKnown && quotaExpanded);
    weekBar->setVisible(quotaKnown && quotaExpanded);
    weekLabel->setVisible(quotaKnown && quotaExpanded);
}

void AiAssistantWidget::onLimitCountdown(qint64 msLeft)
{
    if (msLeft <= 0) {
        limitLabel->hide();
        return;
    }
    limitLabel->setText(UsageQuota::countdownText(msLeft));
    limitLabel->show();
}

void AiAssistantWidget::onCountdownTick()
{
    session->countdownTick();
}
