#pragma once

#include "FakeRadio.h"
#include "RadioScanner.h"
#include "RecordingNetworkManager.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// Answers the modal dialogs that come next, one step per new dialog, in order: a file
// dialog is given a path, a message box a button. Texts of the boxes are kept. Anything
// still open at the deadline is rejected, so a test never hangs in a modal loop. The
// script ends when its last dialog has closed, or with the script object: a script left
// watching would reject a later test's dialog at its deadline.
struct ModalScript
{
    using Step = std::function<void(QWidget *)>;
    std::shared_ptr<QStringList> texts = std::make_shared<QStringList>();
    std::shared_ptr<QList<Qt::TextFormat>> formats = std::make_shared<QList<Qt::TextFormat>>();

    ModalScript() = default;
    ModalScript(const ModalScript &) = delete;
    ModalScript &operator=(const ModalScript &) = delete;
    ~ModalScript()
    {
        for (const QPointer<QTimer> &timer : qAsConst(timers))
            delete timer.data();
    }

    void run(QList<Step> steps, int timeoutMs = 15000)
    {
        auto *timer = new QTimer(qApp);
        timers.append(timer);
        timer->setInterval(10);
        // Every dialog a step was given: a file dialog is modal again for a moment after
        // its overwrite question closes, and must not take the next step.
        auto handled = std::make_shared<QList<QPointer<QWidget>>>();
        auto remaining = std::make_shared<QList<Step>>(std::move(steps));
        const QDeadlineTimer deadline(timeoutMs);
        auto texts = this->texts;
        auto formats = this->formats;
        QObject::connect(timer, &QTimer::timeout, timer, [=]() {
            QWidget *modal = QApplication::activeModalWidget();
            if (deadline.hasExpired()) {
                // Reject whatever is still open, one tick at a time, then stop.
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
                else
                    timer->deleteLater();
                return;
            }
            if (remaining->isEmpty()
                && (!modal || handled->isEmpty() || handled->last().isNull())) {
                timer->deleteLater(); // every step taken, its dialog closed
                return;
            }
            if (!modal || handled->contains(modal) || remaining->isEmpty())
                return;
            handled->append(modal);
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                texts->append(box->text());
                formats->append(box->textFormat());
            }
            const Step step = remaining->takeFirst();
            step(modal);
        });
        timer->start();
    }

private:
    QList<QPointer<QTimer>> timers;

public:
    static Step chooseFile(const QString &path)
    {
        return [path](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog) {
                qWarning() << "expected a file dialog, got" << w;
                if (auto *d = qobject_cast<QDialog *>(w))
                    d->reject();
                return;
            }
            TestSupport::selectFileInDialog(dialog, path);
            // Later, so an overwrite question opened by accept() is not nested in this step.
            QTimer::singleShot(0, dialog, [dialog]() { static_cast<QDialog *>(dialog)->accept(); });
        };
    }

    static Step press(QMessageBox::StandardButton which)
    {
        return [which](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QAbstractButton *button = box ? box->button(which) : nullptr;
            if (!button) {
                qWarning() << "expected a message box with that button, got" << w
                           << (box ? box->text() : QString());
                if (auto *d = qobject_cast<QDialog *>(w))
                    d->reject();
                return;
            }
            QTimer::singleShot(0, button, [button]() { button->click(); });
        };
    }
};

// What a tab test sets up around every test function: the fake radio, a recording network
// manager, a scanner that uses it (and sends nothing by itself) and the tab under test.
template<typename Widget> struct RemoteTabFixture
{
    FakeRadio *radio = nullptr;
    RecordingNetworkManager *manager = nullptr;
    RadioScanner *scanner = nullptr;
    Widget *widget = nullptr;

    // Takes the fake radio and makes a fresh manager and scanner.
    void setUpRadio(FakeRadio *fake)
    {
        radio = fake;
        manager = new RecordingNetworkManager();
        scanner = new RadioScanner();
        scanner->networkManager = manager;
    }
    void tearDown()
    {
        delete widget;
        widget = nullptr;
        delete scanner;
        delete manager;
        delete radio;
    }
    template<typename T> T *child(const char *name)
    {
        return widget->template findChild<T *>(QString::fromLatin1(name));
    }
};
