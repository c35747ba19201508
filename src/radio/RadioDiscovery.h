#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

class QNetworkInterface;

// The pure parts of radio discovery, kept apart from the network so tables can test them.
namespace RadioDiscovery {

struct AddressEntry
{
    QHostAddress ip;
    int prefixLength = -1;
};

struct InterfaceInfo
{
    bool up = false;
    bool loopback = false;
    QList<AddressEntry> addresses;
};

// Describes the system's interfaces in the order the system reports them.
QList<InterfaceInfo> systemInterfaces();

// The hosts to ask in a sweep: for each usable IPv4 entry (up, not loopback, not
// 169.254/16, prefix 1..30) the hosts of its network, no wider than the /24 around
// the own address, each network once, without the network, broadcast and own address.
QStringList candidateAddresses(const QList<InterfaceInfo> &interfaces);

// A /system/info body is a radio when it is one JSON object holding "network" and "ip".
// "network" and "mdlcur" are read as strings (empty when missing or not a string).
bool parseSystemInfo(const QByteArray &body, QString *networkName, QString *modelName);

// A /system/serial body: six comma-separated, non-empty fields between braces,
// read up to the first NUL byte; joined with "-". Fields holding control characters
// are refused, since the serial travels in an HTTP header later, and so are fields
// holding format characters (category Cf), which reorder or hide what is shown. A serial
// longer than MaxSerialChars UTF-16 units (joined) is refused: it travels in the publish
// upload and in the header of every AI request.
inline constexpr int MaxSerialChars = 128;
bool parseSerial(const QByteArray &body, QString *serial);

} // namespace RadioDiscovery
