#include "NetnsGuard.h"

#include "TestSupport.h"

#include <QNetworkInterface>

namespace NetnsGuard {

bool insideTestLan(QString *why)
{
    if (qgetenv("KELO_NETNS") != "lan") {
        *why = QStringLiteral("not inside the test namespace (run it through scripts/netns.sh)");
        return false;
    }
    const auto all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        if (!iface.flags().testFlag(QNetworkInterface::IsUp)
            || iface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &e : iface.addressEntries()) {
            if (e.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            if ((e.ip().toIPv4Address() & 0xffffff00u) != 0x0a4d0000u) { // 10.77.0.0/24
                *why = QStringLiteral("interface %1 has %2, outside the test LAN")
                           .arg(iface.name(), e.ip().toString());
                return false;
            }
        }
    }
    return true;
}

QString refusalOutsideTestLan(const char *what)
{
    TestSupport::unsetProxies();
    QString why;
    if (insideTestLan(&why))
        return QString();
    return QStringLiteral("refusing to %1: %2").arg(QLatin1String(what), why);
}

} // namespace NetnsGuard
