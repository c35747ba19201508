#pragma once

#include <QByteArray>
#include <QEvent>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

#include <sys/resource.h>

class QFileDialog;
class QWidget;

namespace TestSupport {

// Unsets the proxy variables Qt honours, so test traffic goes straight to the fakes.
void unsetProxies();

// The environment of a whole-program child run: this process's, with HOME (and so Documents
// and the settings) in the given folder, on the offscreen platform.
QProcessEnvironment programEnvironment(const QString &home);

// Starts this test executable again as the whole program, with the given arguments (the
// child's part, e.g. "--child") in env, standard output and error kept apart. False when it
// did not start.
bool startChild(QProcess &child, const QStringList &arguments, const QProcessEnvironment &env);

// Writes bytes as the whole file at path, making missing folders; false on any failure.
bool writeFile(const QString &path, const QByteArray &bytes);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString &path);

// Sends w a mouse event at pos (w's coordinates): button is the one that changed, held the
// buttons down after it.
void sendMouse(QWidget *w, QEvent::Type type, const QPointF &pos, Qt::MouseButton button,
               Qt::MouseButtons held);
// The same for one button: a press holds it; a move (naming no button) and a release hold none.
void sendMouse(QWidget *w, QEvent::Type type, const QPointF &pos,
               Qt::MouseButton button = Qt::LeftButton);

// The stand-alone fake radio program (tests/fakes/fake_radio) for whole-program runs, at
// 10.77.0.2 port 80 with the model "Heli 450"; ended when destroyed.
class FakeRadioProgram
{
public:
    explicit FakeRadioProgram(const QString &path);
    ~FakeRadioProgram();
    FakeRadioProgram(const FakeRadioProgram &) = delete;
    FakeRadioProgram &operator=(const FakeRadioProgram &) = delete;

    // Started and listening, within timeoutMs.
    bool waitUntilListening(int timeoutMs = 10000);
    bool stop();
    // Every line it printed so far.
    QStringList lines();

private:
    QProcess process;
    QByteArray output;
};

// Installed as an event filter: counts the paints its widgets get and gathers their regions.
class PaintWatch : public QObject
{
public:
    int paints = 0;
    QRegion painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Answers the next modal dialog when it appears: calls answer(dialog), which should
// close it. A fail-safe rejects any modal still open after timeoutMs.
void answerNextModal(std::function<void(QWidget *)> answer, int timeoutMs = 5000);

// Rejects a modal dialog that appears within timeoutMs and counts it: for tests that must
// see none. The count outlives the test function, as the watch may.
std::shared_ptr<int> rejectAndCountNextModal(int timeoutMs);

// Puts path into an open file dialog's file-name field, ready for accept(). In Qt 5.15
// selectFile() leaves the field alone while it has focus, which window activation may
// give it at any moment: the folder (when it exists) is set first and the field's focus
// cleared.
void selectFileInDialog(QFileDialog *dialog, const QString &path);

// Until destroyed, no file of this process may grow beyond maxBytes: writes then fail as on
// a full disk. A file smaller than Qt's write buffer fails only when it is flushed.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t maxBytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved {};
    void (*savedHandler)(int) = nullptr;
};

// Whether a suite's row belongs to this run: KELO_TEST_SHARD "i/n" (set by kelo_add_qtest's
// SHARDS) takes rows i-1, i-1+n, ...; without it every row does.
bool inShard(int row);

// Waits until the modal dialog is gone (or timeoutMs) and returns its last text, if any.
QString lastModalText();

// Takes what QDesktopServices::openUrl is asked to open for the given schemes, instead of
// the desktop's browser or mail program, for as long as it lives; openUrl then returns true.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    explicit OpenedUrls(const QStringList &schemes = {"http", "https", "file"});
    ~OpenedUrls() override;

    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }

private:
    QStringList schemes;
};

} // namespace TestSupport
