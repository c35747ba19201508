#include "TestSupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdlib>

namespace TestSupport {

static QString g_lastModalText;

void unsetProxies()
{
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "ftp_proxy", "FTP_PROXY"})
        unsetenv(name);
}

void answerNextModal(std::function<void(QWidget *)> answer, int timeoutMs)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, deadline]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                g_lastModalText = box->text();
            timer->stop();
            timer->deleteLater();
            answer(modal);
            return;
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    // Fail-safe: never leave a test blocked in a modal loop.
    QTimer::singleShot(timeoutMs + 1000, qApp, []() {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
}

QString lastModalText()
{
    return g_lastModalText;
}

} // namespace TestSupport
