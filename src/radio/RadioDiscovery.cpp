#include "RadioDiscovery.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QSet>

namespace RadioDiscovery {

QList<InterfaceInfo> systemInterfaces()
{
    QList<InterfaceInfo> result;
    const auto all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        InterfaceInfo info;
        info.up = iface.flags().testFlag(QNetworkInterface::IsUp);
        info.loopback = iface.flags().testFlag(QNetworkInterface::IsLoopBack);
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &e : entries)
            info.addresses.append({e.ip(), e.prefixLength()});
        result.append(info);
    }
    return result;
}

QStringList candidateAddresses(const QList<InterfaceInfo> &interfaces)
{
    QStringList hosts;
    QSet<quint32> networks;
    for (const InterfaceInfo &iface : interfaces) {
        if (!iface.up || iface.loopback)
            continue;
        for (const AddressEntry &entry : iface.addresses) {
            if (entry.ip.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const quint32 own = entry.ip.toIPv4Address();
            if ((own & 0xffff0000u) == 0xa9fe0000u) // 169.254.0.0/16
                continue;
            if (entry.prefixLength < 1 || entry.prefixLength > 30)
                continue;
            const int bits = qMax(entry.prefixLength, 24);
            const quint32 mask = 0xffffffffu << (32 - bits);
            const quint32 net = own & mask;
            if (networks.contains(net))
                continue;
            networks.insert(net);
            const quint32 span = ~mask;
            for (quint32 off = 1; off < span; ++off) {
                const quint32 host = net + off;
                if (host != own)
                    hosts.append(QHostAddress(host).toString());
            }
        }
    }
    return hosts;
}

bool parseSystemInfo(const QByteArray &body, QString *networkName, QString *modelName)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject obj = doc.object();
    if (!obj.contains(QLatin1String("network")) || !obj.contains(QLatin1String("ip")))
        return false;
    *networkName = obj.value(QLatin1String("network")).toString();
    *modelName = obj.value(QLatin1String("mdlcur")).toString();
    return true;
}

bool parseSerial(const QByteArray &body, QString *serial)
{
    const int nul = body.indexOf('\0');
    const QByteArray bytes = nul < 0 ? body : body.left(nul);
    // Four UTF-8 bytes per character at the most, and white space around: a body far past
    // that is not a serial, and need not be decoded to tell.
    if (bytes.size() > 8 * MaxSerialChars)
        return false;
    const QString text = QString::fromUtf8(bytes).trimmed();
    if (text.size() < 2 || !text.startsWith(QLatin1Char('{')) || !text.endsWith(QLatin1Char('}')))
        return false;
    const QStringList parts = text.mid(1, text.size() - 2).split(QLatin1Char(','));
    if (parts.size() != 6)
        return false;
    QStringList fields;
    for (const QString &part : parts) {
        const QString field = part.trimmed();
        if (field.isEmpty())
            return false;
        // Format characters (bidirectional overrides, zero-width joiners, ...) would make
        // the serial look like another one.
        for (const uint c : field.toUcs4()) {
            const QChar::Category category = QChar::category(c);
            if (category == QChar::Other_Control || category == QChar::Other_Format)
                return false;
        }
        fields.append(field);
    }
    const QString joined = fields.join(QLatin1Char('-'));
    // It goes into the publish upload and the header of every AI request.
    if (joined.size() > MaxSerialChars)
        return false;
    *serial = joined;
    return true;
}

} // namespace RadioDiscovery
