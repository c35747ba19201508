#pragma once

#include "DeveloperWorkspace.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>

class QImage;
class QNetworkAccessManager;
class QNetworkReply;
class RadioScanner;

// What the assistant's tools reach on the tab: the open project and file, the editor, the
// lists that show the project's files, the debug terminal and a run. The Developer tab is one;
// a test may give its own.
class DeveloperToolHost
{
public:
    virtual ~DeveloperToolHost() = default;

    // The open project and the open file's path; "" when none.
    virtual QString toolProject() const = 0;
    virtual QString toolOpenFilePath() const = 0;
    // The editor's text, and whether it holds changes not yet saved.
    virtual QString toolEditorText() const = 0;
    virtual bool toolEditorModified() const = 0;
    // The open file now holds bytes, content's UTF-8: the editor shows it, saved, as one edit
    // the user can undo.
    virtual void toolOpenFileWritten(const QString &content, const QByteArray &bytes) = 0;
    // A file the project's list does not show yet was created in src/.
    virtual void toolFileCreated(const QString &name, bool image) = 0;
    // An image already listed was drawn again: its thumbnail, and its page when on view.
    virtual void toolImageReplaced(const QString &name, const QImage &image) = 0;
    // src/icon.png was written (or its write was tried).
    virtual void toolIconWritten() = 0;
    // A project was created: listed, keeping the open project and its text.
    virtual void toolProjectCreated(const QString &name) = 0;
    // Saves the unsaved changes before another project opens; the name of the entry whose
    // changes could not be saved, "" when none are left.
    virtual QString toolSaveUnsavedWork() = 0;
    // Opens the project as a click in the Projects list would.
    virtual void toolOpenProject(const QString &name) = 0;
    // The radio the tab talks to; "" when none.
    virtual QString toolRadioAddress() const = 0;
    // Opens and connects the debug terminal; its newest text of at most maxBytes of UTF-8.
    // wasOpen: the terminal was already open before.
    virtual QString toolDebugLog(int maxBytes, bool *wasOpen) = 0;
    // Saves, packages, uploads and starts the open project; done is called once with the
    // message that ends the run.
    virtual void toolRunProject(const std::function<void(const QString &message)> &done) = 0;
};

// The assistant's tool calls carried out on the open project, the radio and the tab. Every
// call is answered exactly once through its callback, or the assistant's turn would hang.
// What needs neither the tab nor the disk (input reading, name and drawing checks) is in
// AiToolRules.
class DeveloperToolBackend : public QObject
{
    Q_OBJECT
public:
    // text for the model, and a PNG picture ("" none).
    using Answer = std::function<void(const QString &text, const QByteArray &image)>;

    // The scanner's values answer check_radio; screenshots go through manager.
    DeveloperToolBackend(DeveloperToolHost *host, RadioScanner *scanner,
                         QNetworkAccessManager *manager, QObject *parent = nullptr);

    // Carries out the call of the tool of that name; answer is called at once or, for the
    // tools that wait on the radio, later from the event loop.
    void call(const QString &toolName, const QJsonObject &input, const Answer &answer);

    // The tools, each answering for the model.
    QString listFiles() const;
    QString readFile(const QString &filename) const;
    // contentGiven: the input held "content" as a string; without it nothing is written.
    QString writeFile(const QString &filename, const QString &content, bool contentGiven);
    QString writeImage(const QString &filename, const QString &svg, int width, int height);
    QString checkRadio() const;
    QString createProject(const QString &name, const QString &type);
    QString readDebugLog();
    QString readDocs(const QString &page) const;
    void runProject(const Answer &answer);
    void takeScreenshot(const Answer &answer);

private:
    QString ownProject(QString *refusal) const;
    void onScreenshotReplyFinished(QNetworkReply *reply, const Answer &answer);

    DeveloperToolHost *host = nullptr;
    RadioScanner *scanner = nullptr;
    QNetworkAccessManager *networkManager = nullptr;
};
