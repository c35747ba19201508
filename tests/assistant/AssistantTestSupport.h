#pragma once

#include "AiAssistantWidget.h"
#include "AiServiceApi.h"
#include "ConversationLogic.h"
#include "FakeAiService.h"
#include "MessagesBodyValidator.h"

#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

// A network manager that counts what the panel asks for the moment it asks, so a test can
// tell that a request was not made without waiting for it.
class CountingNetworkManager : public QNetworkAccessManager
{
public:
    using QNetworkAccessManager::QNetworkAccessManager;
    int countFor(const QString &path) const { return paths.count(path); }
    QList<QNetworkRequest> requests;
    QStringList paths;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override
    {
        requests.append(request);
        paths.append(request.url().path());
        return QNetworkAccessManager::createRequest(op, request, outgoingData);
    }
};

// The Developer tab's side of the tool contract: answers each call inside the emit (Sync),
// from the event loop as soon as it can (Deferred), or when the test says (Manual).
class ToolOwner : public QObject
{
public:
    enum Mode { Sync, Deferred, Manual };
    struct Call
    {
        QString id;
        QString name;
        QJsonObject input;
    };
    struct Answer
    {
        QString text;
        QByteArray png;
    };

    ToolOwner(AiAssistantWidget *panel, Mode mode)
        : panel(panel)
        , mode(mode)
    {
        connect(panel, &AiAssistantWidget::toolCallRequested, this,
                [this](const QString &id, const QString &name, const QJsonObject &input) {
                    calls.append({id, name, input});
                    if (this->mode == Sync)
                        answer(calls.last());
                    else if (this->mode == Deferred)
                        QTimer::singleShot(0, this, [this, id]() { answerId(id); });
                });
    }

    QList<Call> calls;
    QStringList answered;
    // What a call gets back; by default "<name> done." and no picture.
    std::function<Answer(const Call &)> reply = [](const Call &call) {
        return Answer {call.name + QStringLiteral(" done."), QByteArray()};
    };

    void answer(const Call &call)
    {
        answered.append(call.id);
        const Answer a = reply(call);
        panel->handleToolResult(call.id, a.text, a.png);
    }
    void answerId(const QString &id)
    {
        for (const Call &call : qAsConst(calls)) {
            if (call.id == id)
                return answer(call);
        }
    }
    // Manual mode: answers the last call emitted.
    void answerLast() { answer(calls.last()); }

private:
    AiAssistantWidget *panel;
    Mode mode;
};

// The panel against the fake service, with the helpers every assistant suite uses.
struct PanelFixture
{
    FakeAiService service;
    CountingNetworkManager manager;
    std::unique_ptr<AiAssistantWidget> panel;

    PanelFixture()
    {
        if (!service.listen())
            qFatal("fake AI service cannot listen");
        AiServiceApi::setBaseUrl(service.url());
        panel = std::make_unique<AiAssistantWidget>(&manager);
        panel->resize(360, 640);
    }

    template<typename T> T *child(const char *name) const
    {
        return panel->findChild<T *>(QLatin1String(name));
    }
    QPlainTextEdit *input() const { return child<QPlainTextEdit>("input"); }
    QPushButton *sendButton() const { return child<QPushButton>("sendButton"); }
    QPushButton *stopButton() const { return child<QPushButton>("stopButton"); }
    QToolButton *clearButton() const { return child<QToolButton>("clearButton"); }
    QPushButton *upgradeButton() const { return child<QPushButton>("upgradeButton"); }
    QLabel *statusLabel() const { return child<QLabel>("statusLabel"); }

    void type(const QString &text) { input()->setPlainText(text); }
    void send(const QString &text)
    {
        type(text);
        QMetaObject::invokeMethod(panel.get(), "onSendClicked");
    }
    void stop() { QMetaObject::invokeMethod(panel.get(), "onStopClicked"); }
    void clear() { QMetaObject::invokeMethod(panel.get(), "onClearClicked"); }
    bool idle() const { return sendButton()->isVisibleTo(panel.get()); }

    // The chat column's bubbles, oldest first, as "kind: text" lines ("user", "answer",
    // "tool", "error"); an answer bubble with a code box adds " [code]".
    QStringList chat() const
    {
        QStringList out;
        auto *layout
            = qobject_cast<QVBoxLayout *>(child<QScrollArea>("chatScroll")->widget()->layout());
        for (int i = 0; i < layout->count(); ++i) {
            auto *bubble = qobject_cast<QFrame *>(layout->itemAt(i)->widget());
            if (!bubble)
                continue;
            QString kind = bubble->objectName();
            kind.chop(int(qstrlen("Bubble")));
            const auto labels
                = bubble->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
            QString text = labels.isEmpty() ? QString() : labels.last()->text();
            // Long words carry zero-width spaces to let the label wrap them.
            text.remove(QChar(0x200B));
            if (bubble->findChild<QPlainTextEdit *>(QStringLiteral("codeBox")))
                text += QStringLiteral(" [code]");
            out.append(kind + QStringLiteral(": ") + text);
        }
        return out;
    }

    // Every messages body checked by the validator as it arrived, then all of them against
    // Python's json.dumps; a test ends with this.
    QStringList bodyProblems() const
    {
        return service.problems() + MessagesBodyValidator::checkWithPython(service.bodies());
    }
};

#define VERIFY_BODIES(fixture)                                                                     \
    do {                                                                                           \
        const QStringList problems_ = (fixture).service.problems()                                 \
            + MessagesBodyValidator::checkWithPython((fixture).service.bodies());                  \
        QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join(QLatin1Char('\n'))));              \
    } while (false)
