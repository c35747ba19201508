#include "AiAssistantWidget.h"

#include "AiServiceApi.h"
#include "ChatInput.h"
#include "ChatPanelLogic.h"
#include "EscapeFilter.h"
#include "FlowLayout.h"
#include "Theme.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFont>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A word-wrapped label lays its whole text out again each time a layout asks its height; an
// answer shown in many labels would cost every layout pass time in the whole answer's length.
class BubbleLabel : public QLabel
{
public:
    using QLabel::QLabel;
    int heightForWidth(int width) const override
    {
        const QString current = text();
        if (current != cachedText) {
            cachedText = current;
            heights.clear();
        }
        const auto known = heights.constFind(width);
        if (known != heights.constEnd())
            return known.value();
        if (heights.size() > 8)
            heights.clear();
        const int height = QLabel::heightForWidth(width);
        heights.insert(width, height);
        return height;
    }

protected:
    void changeEvent(QEvent *event) override
    {
        heights.clear(); // a font or style change
        QLabel::changeEvent(event);
    }

    // Long words carry zero-width spaces so they can wrap; a copy must hand over the words
    // as the service sent them, or pasted code breaks.
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Copy) && hasSelectedText()) {
            copySelection();
            event->accept();
            return;
        }
        QLabel::keyPressEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent *event) override
    {
        QMenu menu(this);
        QAction *copy = menu.addAction(tr("Copy"), this, &BubbleLabel::copySelection);
        copy->setEnabled(hasSelectedText());
        menu.addAction(tr("Select All"), this,
                       [this]() { setSelection(0, int(text().size())); });
        menu.exec(event->globalPos());
    }

private:
    void copySelection() const
    {
        QApplication::clipboard()->setText(
            ChatPanelLogic::withoutBreakHints(selectedText()));
    }

private:
    mutable QString cachedText;
    mutable QHash<int, int> heights;
};

} // namespace

static const char *const PlanPage = "https://www.varnek.com/ai-plan/";

AiAssistantWidget::AiAssistantWidget(QNetworkAccessManager *networkManager, QWidget *parent)
    : QWidget(parent)
    , session(new AssistantSession(networkManager, this))
{
    attachmentPool.setMaxThreadCount(1);
    buildPanel();
    connectSession();
}

AiAssistantWidget::~AiAssistantWidget()
{
    // The session's replies must not call back into a half-destroyed panel.
    delete session;
}

QUrl AiAssistantWidget::messagesUrl()
{
    return AiServiceApi::messagesRequest(QString()).url();
}

QUrl AiAssistantWidget::usageUrl()
{
    return AiServiceApi::usageRequest(QString()).url();
}

QUrl AiAssistantWidget::planUrl()
{
    return QUrl(QString::fromLatin1(PlanPage));
}

void AiAssistantWidget::setClock(std::function<qint64()> clockFunction)
{
    session->setClock(std::move(clockFunction));
}

void AiAssistantWidget::buildPanel()
{
    auto *layout = new QVBoxLayout(this);

    auto *header = new QHBoxLayout;
    auto *title = new QLabel(tr("AI Assistant"), this);
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    planBadge = new QPushButton(tr("Free"), this);
    planBadge->setObjectName(QStringLiteral("planBadge"));
    planBadge->setToolTip(tr("Your AI plan - click to view or change it"));
    planBadge->setCursor(Qt::PointingHandCursor);
    planBadge->setStyleSheet(
        QStringLiteral(
            "QPushButton { background: rgba(255,255,255,0.08); color: %1; border: 1px solid "
            "rgba(255,255,255,0.16); border-radius: 8px; padding: 1px 8px; font-size: 10px; "
            "font-weight: 600; } QPushButton:hover { background: rgba(255,255,255,0.16); color: "
            "%2; }")
            .arg(Theme::SecondaryText, Theme::Text));
    upgradeButton = new QPushButton(tr("Upgrade"), this);
    upgradeButton->setObjectName(QStringLiteral("upgradeButton"));
    upgradeButton->setToolTip(tr("Get a higher token limit"));
    upgradeButton->setStyleSheet(QStringLiteral(
        "QPushButton { background: #4b52b8; color: white; border: none; border-radius: 4px; "
        "padding: 3px 10px; font-size: 11px; } QPushButton:hover { background: #5b63d0; }"));
    upgradeButton->hide();
    clearButton = new QToolButton(this);
    clearButton->setObjectName(QStringLiteral("clearButton"));
    clearButton->setText(tr("Clear"));
    clearButton->setToolTip(tr("Clear conversation"));
    clearButton->setAutoRaise(true);
    header->addWidget(title);
    header->addWidget(planBadge);
    header->addStretch(1);
    header->addWidget(upgradeButton);
    header->addWidget(clearButton);
    layout->addLayout(header);

    buildQuotaRows(layout);

    chatScroll = new QScrollArea(this);
    chatScroll->setObjectName(QStringLiteral("chatScroll"));
    chatScroll->setFrameShape(QFrame::NoFrame);
    chatScroll->setWidgetResizable(true);
    chatScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *chatContent = new QWidget(chatScroll);
    chatLayout = new QVBoxLayout(chatContent);
    chatLayout->setContentsMargins(4, 4, 4, 4);
    chatLayout->setSpacing(10);
    chatLayout->addStretch();
    chatScroll->setWidget(chatContent);
    layout->addWidget(chatScroll, 1);
    // While the chat is shown to its end it stays there as bubbles grow.
    QScrollBar *bar = chatScroll->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { chatFollowsBottom = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (chatFollowsBottom)
            bar->setValue(maximum);
    });

    // The chips scroll sideways inside the panel: many of them would otherwise widen it and
    // push Send and Clear out of sight.
    auto *strip = new QScrollArea(this);
    strip->setObjectName(QStringLiteral("attachmentStrip"));
    strip->setFrameShape(QFrame::NoFrame);
    strip->setWidgetResizable(true);
    strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *chipRow = new QWidget(strip);
    chipRow->setObjectName(QStringLiteral("attachmentRow"));
    attachmentLayout = new QHBoxLayout(chipRow);
    attachmentLayout->setContentsMargins(0, 0, 0, 0);
    attachmentLayout->setSpacing(6);
    attachmentLayout->addStretch();
    strip->setWidget(chipRow);
    strip->setFixedHeight(48 + strip->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
    attachmentStrip = strip;
    attachmentStrip->hide();
    layout->addWidget(attachmentStrip);

    auto *inputRow = new QHBoxLayout;
    input = new ChatInput(this);
    input->setObjectName(QStringLiteral("input"));
    input->setFixedHeight(72);
    input->setStyleSheet(Theme::editorStyleSheet());
    input->setPlaceholderText(
        tr("Ask me to build or fix something, e.g. \"add a battery voltage readout\" - I can "
           "read/write this project's files, run and check the result myself, and you can drag a "
           "reference image in to show me what you want..."));
    sendButton = new QPushButton(tr("Send"), this);
    sendButton->setObjectName(QStringLiteral("sendButton"));
    stopButton = new QPushButton(tr("Stop"), this);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    stopButton->hide();
    inputRow->addWidget(input, 1);
    inputRow->addWidget(sendButton, 0, Qt::AlignBottom);
    inputRow->addWidget(stopButton, 0, Qt::AlignBottom);
    layout->addLayout(inputRow);

    auto *statusRow = new QHBoxLayout;
    statusRow->setSpacing(6);
    spinnerLabel = new QLabel(this);
    spinnerLabel->setObjectName(QStringLiteral("spinnerLabel"));
    spinnerLabel->setFixedSize(16, 16);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setStyleSheet(
        QStringLiteral("color: %1; font-size: 11px;").arg(Theme::SecondaryText));
    statusLabel->setWordWrap(true);
    statusRow->addWidget(spinnerLabel);
    statusRow->addWidget(statusLabel);
    statusRow->addStretch(1);
    layout->addLayout(statusRow);

    setAcceptDrops(true);
    fourHourBar->installEventFilter(this);
    input->installEventFilter(this);
    // Mouse presses in the text area reach the viewport, not the edit itself.
    input->viewport()->installEventFilter(this);

    busyTimer = new QTimer(this);
    busyTimer->setObjectName(QStringLiteral("busyTimer"));
    typeTimer = new QTimer(this);
    typeTimer->setObjectName(QStringLiteral("typeTimer"));
    fillTimer = new QTimer(this);
    fillTimer->setObjectName(QStringLiteral("fillTimer"));
    connect(fillTimer, &QTimer::timeout, this, &AiAssistantWidget::onFillTick);
    connect(busyTimer, &QTimer::timeout, this, &AiAssistantWidget::onBusyTick);
    connect(typeTimer, &QTimer::timeout, this, &AiAssistantWidget::onTypeTick);

    connect(sendButton, &QPushButton::clicked, this, &AiAssistantWidget::onSendClicked);
    connect(stopButton, &QPushButton::clicked, this, &AiAssistantWidget::onStopClicked);
    connect(clearButton, &QToolButton::clicked, this, &AiAssistantWidget::onClearClicked);
    const auto openPlanPage = []() {
        QDesktopServices::openUrl(planUrl());
    };
    connect(planBadge, &QPushButton::clicked, this, openPlanPage);
    connect(upgradeButton, &QPushButton::clicked, this, openPlanPage);
}

void AiAssistantWidget::setBusy(bool on)
{
    QWidget *focus = QApplication::focusWidget();
    const bool focusInPanel = focus == this || isAncestorOf(focus);
    // Hiding Send or disabling the input would hand the focus on, maybe out of the panel or
    // to nothing, where Escape reaches the main window: the panel keeps it meanwhile.
    if (on && focusInPanel)
        setFocus(Qt::OtherFocusReason);
    sendButton->setVisible(!on);
    stopButton->setVisible(on);
    input->setEnabled(!on);
    if (on) {
        spinnerFrame = 0;
        busyElapsed.start();
        onBusyTick();
        busyTimer->start(130);
        return;
    }
    busyTimer->stop();
    spinnerLabel->clear();
    statusLabel->clear();
    updateSendAvailability();
    if (focusInPanel)
        input->setFocus(Qt::OtherFocusReason);
}

void AiAssistantWidget::onBusyTick()
{
    spinnerFrame = (spinnerFrame + 1) % 12;
    spinnerLabel->setPixmap(spinnerPixmap(spinnerFrame, 12, 16));
    statusLabel->setText(ChatPanelLogic::busyText(busyElapsed.elapsed()));
}

QPixmap AiAssistantWidget::spinnerPixmap(int frame, int frameCount, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(ChatPanelLogic::spinnerSvg(frame, frameCount));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return pixmap;
}

QFrame *AiAssistantWidget::makeBubbleFrame(const QString &borderColour, QWidget *parent)
{
    auto *frame = new QFrame(parent);
    frame->setStyleSheet(
        QStringLiteral("QFrame { background: #202024; border: 1px solid %1; border-radius: 8px; }")
            .arg(borderColour));
    new QVBoxLayout(frame);
    return frame;
}

QLabel *AiAssistantWidget::makeBubbleLabel(const QString &text, QWidget *parent)
{
    // A long word or address would otherwise widen the chat column past the panel.
    auto *label = new BubbleLabel(
        Qt::mightBeRichText(text) ? text : ChatPanelLogic::breakableText(text), parent);
    label->setMinimumWidth(1);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setStyleSheet(
        QStringLiteral("color: %1; background: transparent; border: none;").arg(Theme::Text));
    return label;
}

void AiAssistantWidget::insertBubble(QFrame *bubble)
{
    chatLayout->insertWidget(chatLayout->count() - 1, bubble);
    scrollChatToBottom();
}

void AiAssistantWidget::scrollChatToBottom()
{
    QScrollBar *bar = chatScroll->verticalScrollBar();
    chatFollowsBottom = true;
    bar->setValue(bar->maximum());
}

void AiAssistantWidget::appendUserBubble(const QString &text, const QList<QByteArray> &images,
                                         const QList<QImage> &thumbnails)
{
    QFrame *bubble = makeBubbleFrame(Theme::Border, chatScroll->widget());
    bubble->setObjectName(QStringLiteral("userBubble"));
    auto *layout = static_cast<QVBoxLayout *>(bubble->layout());
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(6);
    if (!images.isEmpty()) {
        // Rows wrap: a row of many thumbnails would widen the chat column past the panel.
        auto *row = new FlowLayout(nullptr, 4);
        for (int i = 0; i < images.size(); ++i) {
            QPixmap pixmap = QPixmap::fromImage(thumbnails.value(i));
            if (pixmap.isNull())
                pixmap.loadFromData(images.at(i), "PNG");
            auto *thumbnail = new QLabel(bubble);
            thumbnail->setObjectName(QStringLiteral("thumbnail"));
            thumbnail->setStyleSheet(
                QStringLiteral("border: 1px solid #55585e; border-radius: 4px;"));
            if (!pixmap.isNull())
                thumbnail->setPixmap(
                    pixmap.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            row->addWidget(thumbnail);
        }
        layout->addLayout(row);
    }
    if (!text.isEmpty())
        layout->addWidget(makeBubbleLabel(text, bubble));
    insertBubble(bubble);
}

void AiAssistantWidget::appendToolBubble(const QString &text)
{
    QFrame *bubble = makeBubbleFrame(QStringLiteral("#2a2d33"), chatScroll->widget());
    bubble->setObjectName(QStringLiteral("toolBubble"));
    bubble->layout()->setContentsMargins(12, 6, 12, 6);
    QLabel *label = makeBubbleLabel(text, bubble);
    label->setStyleSheet(QStringLiteral("color: #8b93a0; background: transparent; border: none; "
                                        "font-style: italic; font-size: 12px;"));
    bubble->layout()->addWidget(label);
    insertBubble(bubble);
}

void AiAssistantWidget::appendErrorBubble(const QString &message)
{
    QFrame *bubble = makeBubbleFrame(QStringLiteral("#f5566a"), chatScroll->widget());
    bubble->setObjectName(QStringLiteral("errorBubble"));
    bubble->layout()->setContentsMargins(12, 8, 12, 8);
    QLabel *label = makeBubbleLabel(tr("Error: %1").arg(message), bubble);
    label->setStyleSheet(QStringLiteral("color: #f5566a; background: transparent; border: none;"));
    bubble->layout()->addWidget(label);
    insertBubble(bubble);
}

QLabel *AiAssistantWidget::makeAnswerPiece(QWidget *bubble, bool plain)
{
    QLabel *label = makeBubbleLabel(QString(), bubble);
    if (plain)
        label->setTextFormat(Qt::PlainText);
    return label;
}

void AiAssistantWidget::setPieceText(QLabel *label, const QString &piece, bool plain)
{
    if (!plain) {
        label->setText(piece);
        return;
    }
    // The line feed that ends a piece is the break between two labels.
    label->setText(ChatPanelLogic::breakableText(
        piece.endsWith(QLatin1Char('\n')) ? piece.left(piece.size() - 1) : piece));
}

static bool showsAsPlainText(const QString &text)
{
    return text.size() > ChatPanelLogic::MaxRichTextChars || !Qt::mightBeRichText(text);
}

void AiAssistantWidget::startTypingReveal(const QString &text)
{
    finishTypingReveal();
    QFrame *bubble = makeBubbleFrame(QStringLiteral("#4b52b8"), chatScroll->widget());
    bubble->setObjectName(QStringLiteral("answerBubble"));
    typingLayout = static_cast<QVBoxLayout *>(bubble->layout());
    typingLayout->setContentsMargins(12, 8, 12, 8);
    typingLayout->setSpacing(8);
    typingPieces = new QVBoxLayout;
    typingPieces->setContentsMargins(0, 0, 0, 0);
    typingPieces->setSpacing(0);
    typingLayout->addLayout(typingPieces);
    typingText = text;
    typingPlain = showsAsPlainText(text);
    typingLabel = makeAnswerPiece(bubble, typingPlain);
    typingPieces->addWidget(typingLabel);
    insertBubble(bubble);
    typingPos = 0;
    typingPieceStart = 0;
    typingPieceEnd = typingPlain
        ? ChatPanelLogic::pieceEnd(text, 0, ChatPanelLogic::ShownPieceChars)
        : int(text.size());
    onTypeTick();
    if (typingLabel)
        typeTimer->start(20);
}

void AiAssistantWidget::onTypeTick()
{
    if (!typingLabel)
        return;
    typingPos = qMin(typingPos + 3, int(typingText.size()));
    // Only the last piece changes: a tick costs the same early and late in a long answer.
    while (typingPos > typingPieceEnd) {
        setPieceText(typingLabel,
                     typingText.mid(typingPieceStart, typingPieceEnd - typingPieceStart),
                     typingPlain);
        typingPieceStart = typingPieceEnd;
        typingPieceEnd = ChatPanelLogic::pieceEnd(typingText, typingPieceStart,
                                                  ChatPanelLogic::ShownPieceChars);
        typingLabel = makeAnswerPiece(typingLabel->parentWidget(), typingPlain);
        typingPieces->addWidget(typingLabel);
    }
    setPieceText(typingLabel, typingText.mid(typingPieceStart, typingPos - typingPieceStart),
                 typingPlain);
    scrollChatToBottom();
    if (typingPos >= typingText.size())
        finishTypingReveal();
}

bool AiAssistantWidget::fillSome(PendingFill &fill, int pieces)
{
    if (!fill.bubble)
        return true;
    for (int i = 0; i < pieces; ++i) {
        const int end = fill.plain
            ? ChatPanelLogic::pieceEnd(fill.text, fill.pos, ChatPanelLogic::FinishedPieceChars)
            : int(fill.text.size());
        QLabel *label = nullptr;
        if (fill.pos == 0) {
            label = qobject_cast<QLabel *>(fill.layout->itemAt(0)->widget());
            label->setTextFormat(fill.plain ? Qt::PlainText : Qt::AutoText);
        } else {
            label = makeAnswerPiece(fill.bubble, fill.plain);
            fill.layout->addWidget(label);
        }
        setPieceText(label, fill.text.mid(fill.pos, end - fill.pos), fill.plain);
        fill.pos = end;
        if (fill.pos >= fill.text.size())
            return true;
    }
    return false;
}

void AiAssistantWidget::onFillTick()
{
    // A few pieces per turn of the event loop: a long answer never holds the window up.
    if (!fills.isEmpty() && fillSome(fills.first(), 1))
        fills.removeFirst();
    if (fills.isEmpty())
        fillTimer->stop();
}

void AiAssistantWidget::finishTypingReveal()
{
    if (!typingLabel)
        return;
    typeTimer->stop();
    const ChatPanelLogic::AnswerParts parts = ChatPanelLogic::splitFirstCodeBlock(typingText);
    // The first label stays and shows the start of the prose; the rest follow in pieces.
    while (typingPieces->count() > 1) {
        QLayoutItem *item = typingPieces->takeAt(1);
        delete item->widget();
        delete item;
    }
    PendingFill fill;
    fill.bubble = typingLabel->parentWidget();
    fill.layout = typingPieces;
    fill.text = parts.prose;
    fill.plain = showsAsPlainText(parts.prose);
    if (!fillSome(fill, 1)) {
        fills.append(fill);
        fillTimer->start(0);
    }
    if (!parts.code.isEmpty()) {
        auto *codeBox = new QPlainTextEdit(parts.code, fill.bubble);
        codeBox->setObjectName(QStringLiteral("codeBox"));
        codeBox->setReadOnly(true);
        codeBox->setFixedHeight(140);
        codeBox->setLineWrapMode(QPlainTextEdit::NoWrap);
        QFont mono(QStringLiteral("Monospace"));
        mono.setStyleHint(QFont::Monospace);
        codeBox->setFont(mono);
        codeBox->setStyleSheet(Theme::editorStyleSheet());
        typingLayout->addWidget(codeBox);
    }
    typingLabel = nullptr;
    typingLayout = nullptr;
    typingPieces = nullptr;
    scrollChatToBottom();
}

void AiAssistantWidget::removeBubbles()
{
    typeTimer->stop();
    typingLabel = nullptr;
    typingLayout = nullptr;
    typingPieces = nullptr;
    fills.clear();
    fillTimer->stop();
    while (chatLayout->count() > 1) {
        QLayoutItem *item = chatLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
}

void AiAssistantWidget::keyPressEvent(QKeyEvent *event)
{
    // Escape would reach the main window, which ends the program and loses the conversation.
    if (EscapeFilter::consume(event))
        return;
    QWidget::keyPressEvent(event);
}

bool AiAssistantWidget::event(QEvent *event)
{
    // Taken before any shortcut of the window: the focus may be on the panel itself.
    if (event->type() == QEvent::ShortcutOverride && EscapeFilter::consume(event))
        return true;
    return QWidget::event(event);
}

bool AiAssistantWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == fourHourBar && event->type() == QEvent::MouseButtonPress) {
        quotaExpanded = !quotaExpanded;
        applyQuotaVisibility();
        return true;
    }
    if ((watched == input || watched == input->viewport())
        && event->type() == QEvent::MouseButtonPress)
        input->setPlaceholderText(QString());
    if (watched == input
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Taken here so neither a key press nor a shortcut reaches the main window.
        if (EscapeFilter::consume(event))
            return true;
        if (event->type() == QEvent::KeyPress
            && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && key->modifiers() == Qt::NoModifier) {
            onSendClicked();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
