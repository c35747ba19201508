#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

// The Joystick page: explains the bridge and shows its state and whether a radio is present.
class JoystickStatusWidget : public QWidget
{
    Q_OBJECT
public:
    explicit JoystickStatusWidget(QWidget *parent = nullptr);

    // The line for a bridge status; empty for codes that show no line.
    static QString statusText(int status);

public slots:
    void setStatus(int status);
    void setRadioFound(bool found);

private:
    void updateStatusLabels();
    QToolButton *createLinkButton(const QString &iconPath, const QString &toolTip,
                                  const QString &address);

    int status = 0;
    bool radioFound = false;
    QLabel *statusLabel = nullptr;
    QLabel *hintLabel = nullptr;
};
