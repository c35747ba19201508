#include "JoystickStatusWidget.h"

JoystickStatusWidget::JoystickStatusWidget(QWidget *parent)
    : QWidget(parent)
{
}

void JoystickStatusWidget::setStatus(int) { }

void JoystickStatusWidget::setRadioFound(bool) { }
