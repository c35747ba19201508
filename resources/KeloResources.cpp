#include "KeloResources.h"

#include <QtCore/qresource.h>

static void initAll()
{
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(joystick);
    Q_INIT_RESOURCE(replay);
    Q_INIT_RESOURCE(dev);
    Q_INIT_RESOURCE(devdoc);
}

void initKeloResources()
{
    static bool done = false;
    if (!done) {
        done = true;
        initAll();
    }
}
