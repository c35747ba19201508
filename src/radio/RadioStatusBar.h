#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;
class QTimer;
class QToolButton;
class RadioScanner;

// The strip above the tabs: scanning spinner, the found radio, or "not found",
// plus a button that copies the serial number.
class RadioStatusBar : public QWidget
{
    Q_OBJECT
public:
    RadioStatusBar(RadioScanner *scanner, QWidget *parent = nullptr);

private slots:
    void onScanStarted();
    void onDeviceFound(const QString &ip, const QString &networkName, const QString &modelName);
    void onDeviceNotFound();
    void onSerialFound(const QString &serial);
    void onSpinnerTick();
    void onCopySerialClicked();

private:
    void updateStatusText();
    void showFound();

    RadioScanner *scanner;
    QLabel *iconLabel;
    QLabel *textLabel;
    QToolButton *copyButton;
    QTimer *spinnerTimer;
    QPixmap spinnerPixmap;
    int spinnerAngle = 0;
};
