#pragma once

#include "AiServiceApi.h"
#include "AssistantRequest.h"
#include "AssistantSession.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <QWidget>

#include <functional>

class QFrame;
class QHBoxLayout;
class QLabel;
class QNetworkAccessManager;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QTimer;
class QToolButton;
class QVBoxLayout;

// An image waiting to be sent with the next message.
struct ImageAttachment
{
    qint64 id = 0; // unique within the panel, from 1, never reused
    QByteArray png;
    // Made with the PNG off the GUI thread: the image block as sent, and the user bubble's
    // thumbnail (decoding a 3.75 MB PNG at Send would hold the GUI for some 30 ms each).
    QJsonObject block;
    QImage thumbnail;
};

// The AI assistant's chat panel: the view of an AssistantSession (the conversation with the
// maker's AI service, Anthropic Messages API format), whose tool calls it hands one at a time
// to its owner through toolCallRequested / handleToolResult; it shows the usage quota of the
// radio. Split by concern: AiAssistantWidget.cpp (panel, busy state, bubbles, typing reveal,
// keys), AiAssistantConversation.cpp (Send/Stop/Clear, the session's signals),
// AiAssistantAttachments.cpp (dropped images), AiAssistantQuota.cpp (usage quota).
class AiAssistantWidget : public QWidget
{
    Q_OBJECT
public:
    explicit AiAssistantWidget(QNetworkAccessManager *networkManager, QWidget *parent = nullptr);
    ~AiAssistantWidget() override;

    // The service's endpoints (AiServiceApi), and the plan page of the maker's web site that
    // the plan badge and the Upgrade button open.
    static QUrl messagesUrl();
    static QUrl usageUrl();
    static QUrl planUrl();

    QString systemPrompt() const;
    QJsonArray toolDefinitions() const;

    // The owner's answer to the call last emitted by toolCallRequested, exactly once, at once
    // or later; an id that is not the pending call is ignored.
    void handleToolResult(const QString &toolUseId, const QString &text, const QByteArray &image);

    // Tests drive the quota countdown with their own clock (ms since the epoch).
    void setClock(std::function<qint64()> clock);

    static QPixmap spinnerPixmap(int frame, int frameCount, int size);

    // How long a messages or usage answer may take in all, in ms; tests shorten them.
    int messagesReplyDeadline() const { return session->messagesReplyDeadline(); }
    int usageReplyDeadline() const { return session->usageReplyDeadline(); }
    void setReplyDeadlines(int messagesMs, int usageMs);

public slots:
    // Empty: no radio. Fetches the usage for a serial, or hides the quota.
    void setRadioSerial(const QString &serial);

signals:
    void toolCallRequested(const QString &toolUseId, const QString &toolName,
                           const QJsonObject &input);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

private slots:
    void onSendClicked();
    void onStopClicked();
    void onClearClicked();
    void onCountdownTick();
    void onBusyTick();
    void onTypeTick();
    void onFillTick();

private:
    // The session's signals (AiAssistantConversation.cpp).
    void connectSession();

    // Panel (AiAssistantWidget.cpp).
    void buildPanel();
    void setBusy(bool busy);
    void appendUserBubble(const QString &text, const QList<QByteArray> &images,
                          const QList<QImage> &thumbnails = {});
    void startTypingReveal(const QString &text);
    void finishTypingReveal();
    void appendToolBubble(const QString &text);
    void appendErrorBubble(const QString &message);
    QFrame *makeBubbleFrame(const QString &borderColour, QWidget *parent);
    QLabel *makeBubbleLabel(const QString &text, QWidget *parent);
    QLabel *makeAnswerPiece(QWidget *bubble, bool plain);
    void setPieceText(QLabel *label, const QString &piece, bool plain);
    struct PendingFill
    {
        QPointer<QWidget> bubble;
        QVBoxLayout *layout = nullptr; // the bubble's prose pieces
        QString text;
        int pos = 0;
        bool plain = true;
    };
    bool fillSome(PendingFill &fill, int pieces);
    void insertBubble(QFrame *bubble);
    void scrollChatToBottom();
    void removeBubbles();
    void updateSendAvailability();

    // Attachments (AiAssistantAttachments.cpp).
    void addImageAttachment(const QImage &image);
    void prepareAttachments(const QList<QImage> &images, const QStringList &files);
    void addPreparedAttachment(const ImageAttachment &attachment, const QByteArray &blockJson,
                               const QImage &chipImage);
    void clearAttachments();

    // Usage quota (AiAssistantQuota.cpp).
    void buildQuotaRows(QVBoxLayout *layout);
    void onUsageReceived(const AiServiceApi::Usage &usage);
    void updateQuotaBars(int fourHourTokens, int fourHourLimit, int weekTokens, int weekLimit);
    void applyQuotaBar(QProgressBar *bar, QLabel *label, int used, int limit, const QString &name);
    void updatePlanBadge(const QString &plan);
    void applyQuotaVisibility();
    void onLimitCountdown(qint64 msLeft);

    AssistantSession *session;

    QList<ImageAttachment> attachments;
    qint64 nextAttachmentId = 0;
    int preparingAttachments = 0; // drops still being shrunk off the GUI thread
    quint64 attachmentGeneration = 0; // bumped by clearAttachments: late results are dropped
    QThreadPool attachmentPool;

    QProgressBar *fourHourBar = nullptr;
    QLabel *fourHourLabel = nullptr;
    QProgressBar *weekBar = nullptr;
    QLabel *weekLabel = nullptr;
    bool quotaKnown = false;
    bool quotaExpanded = false;
    QLabel *limitLabel = nullptr;

    QPushButton *upgradeButton = nullptr;
    QPushButton *planBadge = nullptr;
    QToolButton *clearButton = nullptr;
    QScrollArea *chatScroll = nullptr;
    QVBoxLayout *chatLayout = nullptr;
    bool chatFollowsBottom = true;
    QWidget *attachmentStrip = nullptr;
    QHBoxLayout *attachmentLayout = nullptr;
    QPlainTextEdit *input = nullptr;
    QPushButton *sendButton = nullptr;
    QPushButton *stopButton = nullptr;
    QLabel *spinnerLabel = nullptr;
    QLabel *statusLabel = nullptr;
    QTimer *busyTimer = nullptr;
    QElapsedTimer busyElapsed;
    int spinnerFrame = 0;
    QTimer *typeTimer = nullptr;
    QLabel *typingLabel = nullptr;
    QVBoxLayout *typingLayout = nullptr;
    QString typingText;
    int typingPos = 0;
    QVBoxLayout *typingPieces = nullptr; // the labels of the answer, one piece each
    int typingPieceStart = 0;
    int typingPieceEnd = 0;
    bool typingPlain = true;
    QList<PendingFill> fills; // finished answers whose later pieces are still to be shown
    QTimer *fillTimer = nullptr;
};
