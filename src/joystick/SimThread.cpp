#include "SimThread.h"

SimThread::SimThread(QObject *parent)
    : QThread(parent)
{
}

void SimThread::run()
{
    // The bridge is not built yet: the worker ends at once.
}
