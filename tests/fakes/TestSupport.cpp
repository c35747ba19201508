#include "TestSupport.h"

#include <QPaintEvent>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdlib>

namespace TestSupport {

static QString g_lastModalText;

void unsetProxies()
{
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "ftp_proxy", "FTP_PROXY"})
        unsetenv(name);
}

bool inShard(int row)
{
    const QStringList shard = qEnvironmentVariable("KELO_TEST_SHARD").split(QLatin1Char('/'));
    if (shard.size() != 2)
        return true;
    const int index = shard.at(0).toInt();
    const int count = shard.at(1).toInt();
    if (count < 1 || index < 1 || index > count)
        qFatal("KELO_TEST_SHARD must be i/n with 1 <= i <= n");
    return row % count == index - 1;
}

bool startChild(QProcess &child, const QStringList &arguments, const QProcessEnvironment &env)
{
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    return child.waitForStarted();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void sendMouse(QWidget *w, QEvent::Type type, const QPointF &pos, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos.toPoint()), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

void sendMouse(QWidget *w, QEvent::Type type, const QPointF &pos, Qt::MouseButton button)
{
    sendMouse(w, type, pos, type == QEvent::MouseMove ? Qt::NoButton : button,
              type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons());
}

QProcessEnvironment programEnvironment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The program sets these from its scale file; none may come from the test's own.
    env.remove(QStringLiteral("QT_SCALE_FACTOR"));
    env.remove(QStringLiteral("QT_AUTO_SCREEN_SCALE_FACTOR"));
    return env;
}

FakeRadioProgram::FakeRadioProgram(const QString &path)
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(path,
                  {QStringLiteral("10.77.0.2"), QStringLiteral("80"), QStringLiteral("Heli 450")});
}

FakeRadioProgram::~FakeRadioProgram()
{
    stop();
}

bool FakeRadioProgram::waitUntilListening(int timeoutMs)
{
    if (!process.waitForStarted(timeoutMs))
        return false;
    return QTest::qWaitFor(
        [this]() {
            output += process.readAllStandardOutput();
            return output.contains("listening");
        },
        timeoutMs);
}

bool FakeRadioProgram::stop()
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    return process.waitForFinished(10000);
}

QStringList FakeRadioProgram::lines()
{
    output += process.readAllStandardOutput();
    return QString::fromLocal8Bit(output).split(QLatin1Char('\n'));
}

void answerNextModal(std::function<void(QWidget *)> answer, int timeoutMs)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, deadline, timeoutMs]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                g_lastModalText = box->text();
            timer->stop();
            timer->deleteLater();
            // Fail-safe: never leave a test blocked in this dialog. Only this one: a later
            // test's dialog open at that moment is none of this answer's business.
            QPointer<QDialog> answered = qobject_cast<QDialog *>(modal);
            QTimer::singleShot(timeoutMs, qApp, [answered]() {
                if (answered && answered->isVisible())
                    answered->reject();
            });
            answer(modal);
            return;
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

std::shared_ptr<int> rejectAndCountNextModal(int timeoutMs)
{
    auto count = std::make_shared<int>(0);
    answerNextModal(
        [count](QWidget *modal) {
            ++*count;
            static_cast<QDialog *>(modal)->reject();
        },
        timeoutMs);
    return count;
}

void selectFileInDialog(QFileDialog *dialog, const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QFileInfo(folder).isDir())
        dialog->setDirectory(folder);
    auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (field)
        field->clearFocus();
    else
        qWarning("selectFileInDialog: the dialog has no file-name field");
    dialog->selectFile(path);
}

FileSizeLimit::FileSizeLimit(rlim_t maxBytes)
{
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = maxBytes;
    // Past the limit the kernel sends SIGXFSZ, which would end the test; ignored, the
    // write fails with EFBIG instead.
    savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
}

QString lastModalText()
{
    return g_lastModalText;
}

OpenedUrls::OpenedUrls(const QStringList &schemes)
    : schemes(schemes)
{
    for (const QString &scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

OpenedUrls::~OpenedUrls()
{
    for (const QString &scheme : qAsConst(schemes))
        QDesktopServices::unsetUrlHandler(scheme);
}

bool PaintWatch::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        ++paints;
        painted += static_cast<QPaintEvent *>(event)->region();
    }
    return false;
}

} // namespace TestSupport
