#pragma once

#include <QWidget>

// The Joystick page: shows the bridge's state and whether a radio is present.
class JoystickStatusWidget : public QWidget
{
    Q_OBJECT
public:
    explicit JoystickStatusWidget(QWidget *parent = nullptr);

public slots:
    void setStatus(int status);
    void setRadioFound(bool found);
};
