#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QProgressBar;
class QListWidgetItem;

// The empty-state card of the log tabs: icon, title, subtitle, "Open Log File...", the
// radio's log list (filled by the owning tab) or its placeholder, and two numbered steps.
class WelcomeScreenWidget : public QWidget
{
    Q_OBJECT
public:
    WelcomeScreenWidget(const QString &iconPath, const QString &titleHtml, const QString &subtitle,
                        const QString &step1, const QString &step2, QWidget *parent = nullptr);

    // Shows the list when true, the placeholder when false; the list's content is the
    // owner's business.
    void setRadioLogsAvailable(bool available);
    // The placeholder's text while a connected radio's list cannot be shown (why not);
    // empty: the invitation to connect a radio.
    void setRadioLogsNote(const QString &note);

    // While a log loads: text (plain) and a busy bar under the button; empty hides both.
    void setLoadingText(const QString &text);

    // The slim indeterminate bar both log tabs show while a log loads; hidden at first.
    static QProgressBar *createBusyBar(QWidget *parent);

    // Filled and cleared by the owning tab.
    QListWidget *logList = nullptr;

signals:
    void openLogFileClicked();
    void logItemClicked(QListWidgetItem *item);

private:
    static QWidget *createStepRow(QWidget *parent, int number, const QString &text);

    QLabel *placeholderLabel = nullptr;
    QLabel *loadingLabel = nullptr;
    QProgressBar *loadingBar = nullptr;
};
