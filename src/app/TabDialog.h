#pragma once

#include <QDialog>
#include <QString>

class JoystickStatusWidget;
class QTabWidget;
class RadioScanner;
class SimThread;

// The main window: status strip on top, the eight tabs down the left. Its event loop is
// the program's main loop; closing it ends the process.
class TabDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TabDialog(QWidget *parent = nullptr);
    ~TabDialog() override;

    RadioScanner *radioScanner() const { return scanner; }

signals:
    // One joystick bridge status code, emitted on the worker thread.
    void signalResultAppend(int result);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setWindowSize();
    void get_version(QString &version);
    void restoreLastTab();
    void saveLastTab(int index);
    QString tabConfigPath() const;

    JoystickStatusWidget *joystickWidget = nullptr;
    RadioScanner *scanner = nullptr;
    QTabWidget *pages = nullptr;
};

extern QString res_path;
extern TabDialog *tab_dlg;
extern QTabWidget *tabWidget;
extern SimThread simThread;

// Prints "> Closing app" and ends the process at once: status 0 for flag 0, -1 otherwise.
[[noreturn]] void term_signal(int flag);
