#include "SimThread.h"

#include "JoystickBridge.h"
#include "UhidJoystick.h"

SimThread::SimThread(QObject *parent)
    : QThread(parent)
{
}

SimThread::~SimThread() = default;

void SimThread::run()
{
    if (bridge)
        return;
    joystick = std::make_unique<UhidJoystick>(devicePath);
    bridge = std::make_unique<JoystickBridge>(*joystick, stopFlag);
    bridge->setStatusHandler([this](int status) { emit statusReported(status); });
    bridge->run();
}
