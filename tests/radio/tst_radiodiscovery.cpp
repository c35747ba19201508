#include "RadioApi.h"
#include "RadioDiscovery.h"
#include "RadioText.h"

#include <QtTest>

using RadioDiscovery::AddressEntry;
using RadioDiscovery::InterfaceInfo;

Q_DECLARE_METATYPE(QList<InterfaceInfo>)

static InterfaceInfo iface(std::initializer_list<std::pair<const char *, int>> entries,
                           bool up = true, bool loopback = false)
{
    InterfaceInfo info;
    info.up = up;
    info.loopback = loopback;
    for (const auto &e : entries)
        info.addresses.append({QHostAddress(QString::fromLatin1(e.first)), e.second});
    return info;
}

static QStringList hosts(const char *prefix, int from, int to, int skip = -1)
{
    QStringList out;
    for (int i = from; i <= to; ++i) {
        if (i != skip)
            out << QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(i);
    }
    return out;
}

class RadioDiscoveryTest : public QObject
{
    Q_OBJECT
private slots:
    void candidates_data();
    void candidates();
    void systemInfo_data();
    void systemInfo();
    void serial_data();
    void serial();
    void percentEncoding_data();
    void percentEncoding();
    void paths();
    void displayText_data();
    void displayText();
};

void RadioDiscoveryTest::candidates_data()
{
    QTest::addColumn<QList<InterfaceInfo>>("interfaces");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("/24 without own address")
        << QList<InterfaceInfo> {iface({{"192.168.1.37", 24}})} << hosts("192.168.1.", 1, 254, 37);
    // A wide network is swept only in the /24 around the own address.
    QTest::newRow("/16 gives own /24 only")
        << QList<InterfaceInfo> {iface({{"10.20.30.40", 16}})} << hosts("10.20.30.", 1, 254, 40);
    QTest::newRow("/8 gives own /24 only")
        << QList<InterfaceInfo> {iface({{"10.1.2.3", 8}})} << hosts("10.1.2.", 1, 254, 3);
    QTest::newRow("/28 whole") << QList<InterfaceInfo> {iface({{"192.168.5.20", 28}})}
                               << hosts("192.168.5.", 17, 30, 20);
    QTest::newRow("/30 two hosts, own left out")
        << QList<InterfaceInfo> {iface({{"192.168.5.9", 30}})} << QStringList {"192.168.5.10"};
    QTest::newRow("/31 nothing") << QList<InterfaceInfo> {iface({{"192.168.5.8", 31}})}
                                 << QStringList();
    QTest::newRow("/32 nothing") << QList<InterfaceInfo> {iface({{"10.77.0.2", 32}})}
                                 << QStringList();
    QTest::newRow("/0 nothing") << QList<InterfaceInfo> {iface({{"10.0.0.1", 0}})} << QStringList();
    QTest::newRow("link-local nothing")
        << QList<InterfaceInfo> {iface({{"169.254.10.20", 16}})} << QStringList();
    QTest::newRow("IPv6 nothing") << QList<InterfaceInfo> {iface(
        {{"fe80::1", 64}, {"2001:db8::5", 120}})}
                                  << QStringList();
    QTest::newRow("loopback interface nothing")
        << QList<InterfaceInfo> {iface({{"127.0.0.1", 8}}, true, true)} << QStringList();
    QTest::newRow("down interface nothing")
        << QList<InterfaceInfo> {iface({{"192.168.1.37", 24}}, false)} << QStringList();
    // The second own address is asked like any host; only the first one is left out.
    QTest::newRow("same /24 twice on two interfaces")
        << QList<InterfaceInfo> {iface({{"192.168.1.37", 24}}), iface({{"192.168.1.50", 24}})}
        << hosts("192.168.1.", 1, 254, 37);
    QTest::newRow("same /24 twice on one interface")
        << QList<InterfaceInfo> {iface({{"192.168.1.37", 24}, {"192.168.1.50", 23}})}
        << hosts("192.168.1.", 1, 254, 37);
    QTest::newRow("two nets in interface order")
        << QList<InterfaceInfo> {iface({{"10.0.0.5", 30}}), iface({{"192.168.2.1", 30}})}
        << QStringList {"10.0.0.6", "192.168.2.2"};
    QTest::newRow("test LAN: /24 plus a /32 radio")
        << QList<InterfaceInfo> {iface({{"10.77.0.1", 24}}), iface({{"10.77.0.2", 32}})}
        << hosts("10.77.0.", 2, 254);
    QTest::newRow("no interfaces") << QList<InterfaceInfo> {} << QStringList();
}

void RadioDiscoveryTest::candidates()
{
    QFETCH(QList<InterfaceInfo>, interfaces);
    QFETCH(QStringList, expected);
    QCOMPARE(RadioDiscovery::candidateAddresses(interfaces), expected);
}

void RadioDiscoveryTest::systemInfo_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("model");

    QTest::newRow("valid") << QByteArray(R"({"network":"X","ip":"10.0.0.9","mdlcur":"M"})") << true
                           << "X"
                           << "M";
    QTest::newRow("no mdlcur") << QByteArray(R"({"network":"X","ip":""})") << true << "X"
                               << "";
    QTest::newRow("no ip") << QByteArray(R"({"network":"X","mdlcur":"M"})") << false << ""
                           << "";
    QTest::newRow("no network") << QByteArray(R"({"ip":"1.2.3.4","mdlcur":"M"})") << false << ""
                                << "";
    QTest::newRow("non-string values")
        << QByteArray(R"({"network":5,"ip":null,"mdlcur":{"a":1}})") << true << ""
        << "";
    QTest::newRow("array") << QByteArray(R"([{"network":"X","ip":"1"}])") << false << ""
                           << "";
    QTest::newRow("junk after JSON")
        << QByteArray(R"({"network":"X","ip":"1"} trailing)") << false << ""
        << "";
    QTest::newRow("empty body") << QByteArray() << false << ""
                                << "";
    QTest::newRow("html") << QByteArray("<html>router</html>") << false << ""
                          << "";
    QTest::newRow("markup in model kept as text")
        << QByteArray(R"({"network":"N","ip":"1","mdlcur":"<b>M</b>"})") << true << "N"
        << "<b>M</b>";
}

void RadioDiscoveryTest::systemInfo()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(QString, network);
    QFETCH(QString, model);
    QString gotNetwork, gotModel;
    QCOMPARE(RadioDiscovery::parseSystemInfo(body, &gotNetwork, &gotModel), ok);
    if (ok) {
        QCOMPARE(gotNetwork, network);
        QCOMPARE(gotModel, model);
    }
}

void RadioDiscoveryTest::serial_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("serial"); // empty = must be refused

    QTest::newRow("plain") << QByteArray("{1,2,3,4,5,6}") << "1-2-3-4-5-6";
    QTest::newRow("spacing trimmed") << QByteArray("{ 12, AB ,3,4,5, 6 }\n") << "12-AB-3-4-5-6";
    QTest::newRow("white space around and inside")
        << QByteArray("  { 1 , 2 , 3 , 4 , 5 , 6 }  ") << "1-2-3-4-5-6";
    QTest::newRow("NUL tail ignored") << QByteArray("{1,2,3,4,5,6}\0garbage", 21) << "1-2-3-4-5-6";
    QTest::newRow("quotes stay in field") << QByteArray("{\"a\",2,3,4,5,6}") << "\"a\"-2-3-4-5-6";
    QTest::newRow("five fields") << QByteArray("{1,2,3,4,5}") << QString();
    QTest::newRow("seven fields") << QByteArray("{1,2,3,4,5,6,7}") << QString();
    QTest::newRow("empty field") << QByteArray("{1,,3,4,5,6}") << QString();
    QTest::newRow("blank field") << QByteArray("{1, ,3,4,5,6}") << QString();
    QTest::newRow("no braces") << QByteArray("1,2,3,4,5,6") << QString();
    QTest::newRow("only opening brace") << QByteArray("{1,2,3,4,5,6") << QString();
    QTest::newRow("empty braces") << QByteArray("{}") << QString();
    QTest::newRow("single brace") << QByteArray("{") << QString();
    QTest::newRow("empty body") << QByteArray() << QString();
    // The serial travels in an HTTP header later: no line breaks or other controls.
    QTest::newRow("CR LF in a field") << QByteArray("{1,2\r\nX: y,3,4,5,6}") << QString();
    QTest::newRow("tab inside a field") << QByteArray("{1,2\t3,3,4,5,6}") << QString();
    QTest::newRow("NUL inside braces cuts the text")
        << QByteArray("{1,2,3\0,4,5,6}", 14) << QString();
    QTest::newRow("DEL in a field") << QByteArray("{1,2\x7f,3,4,5,6}") << QString();
    // Format characters make one serial look like another: "EVIL" shown reversed.
    QTest::newRow("right-to-left override") << QByteArray("{\xe2\x80\xae"
                                                          "EVIL,2,3,4,5,6}")
                                            << QString();
    QTest::newRow("zero-width space") << QByteArray("{1,2\xe2\x80\x8b,3,4,5,6}") << QString();
    QTest::newRow("format character outside the BMP") << QByteArray("{1,\xf3\xa0\x81\x81"
                                                                    "2,3,4,5,6}")
                                                      << QString();
    QTest::newRow("letters beyond ASCII kept")
        << QByteArray("{\xc3\x84,2,3,4,5,6}") << QString::fromUtf8("\xc3\x84-2-3-4-5-6");
    // It goes into the publish upload and the header of every AI request: 128 characters
    // joined at the most.
    const auto serialOf = [](int chars) {
        return QByteArray(chars - 10, 'S') + ",1,2,3,4,5";
    };
    QTest::newRow("128 characters")
        << "{" + serialOf(128) + "}" << QString(118, 'S') + "-1-2-3-4-5";
    QTest::newRow("129 characters") << "{" + serialOf(129) + "}" << QString();
    QTest::newRow("128 characters of two bytes each") << "{" + QByteArray("\xc3\x84").repeated(118)
            + ",1,2,3,4,5}" << QString(118, QChar(0xC4)) + "-1-2-3-4-5";
    QTest::newRow("153,610 characters") << "{" + serialOf(153610) + "}" << QString();
}

void RadioDiscoveryTest::serial()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, serial);
    QString out = QStringLiteral("unchanged");
    const bool ok = RadioDiscovery::parseSerial(body, &out);
    QCOMPARE(ok, !serial.isEmpty());
    QCOMPARE(out, ok ? serial : QStringLiteral("unchanged"));
}

void RadioDiscoveryTest::percentEncoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("space") << "My App" << QByteArray("My%20App");
    QTest::newRow("slash") << "a/b" << QByteArray("a%2Fb");
    QTest::newRow("utf-8") << QString::fromUtf8("\xc3\xa9") << QByteArray("%C3%A9");
    QTest::newRow("percent") << "100%" << QByteArray("100%25");
    QTest::newRow("dots stay") << ".." << QByteArray("..");
    QTest::newRow("unreserved stay") << "Az09-._~" << QByteArray("Az09-._~");
    QTest::newRow("query chars") << "a?b&c=d#e" << QByteArray("a%3Fb%26c%3Dd%23e");
    QTest::newRow("plus and quote") << "a+\"b" << QByteArray("a%2B%22b");
}

void RadioDiscoveryTest::percentEncoding()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, encoded);
    QCOMPARE(RadioApi::percentEncodeName(name), encoded);
}

void RadioDiscoveryTest::paths()
{
    // The encoded bytes reach the wire as they are.
    QCOMPARE(RadioApi::url("127.0.0.1:8080", RadioApi::appIconPath("My App")).toEncoded(),
             QByteArray("http://127.0.0.1:8080/media/apps/My%20App/icon.png"));
    QCOMPARE(RadioApi::url("10.0.0.2", RadioApi::appRemovePath("a/b")).toEncoded(),
             QByteArray("http://10.0.0.2/app/remove?app=a%2Fb"));
    QCOMPARE(RadioApi::url("10.0.0.2", RadioApi::mediaImagePath("../../app/remove?app=Clock"))
                 .toEncoded(),
             QByteArray("http://10.0.0.2/media/image/..%2F..%2Fapp%2Fremove%3Fapp%3DClock"));
    QCOMPARE(RadioApi::logGetPath(3, 1234), QStringLiteral("/log/get/3-1234"));
    QCOMPARE(RadioApi::touchPath(10, 20, "press"),
             QStringLiteral("/touch/click?x=10&y=20&op=press"));
    QCOMPARE(RadioApi::screenshotPath(1733820000123),
             QStringLiteral("/screenshot.png?t=1733820000123"));
    QCOMPARE(RadioApi::request("1.2.3.4", "/system/info", 1200).transferTimeout(), 1200);
    const QNetworkRequest check = RadioApi::discoveryRequest("1.2.3.4", "/system/info");
    QCOMPARE(check.url().toEncoded(), QByteArray("http://1.2.3.4/system/info"));
    QCOMPARE(check.transferTimeout(), 1200);
    QCOMPARE(check.priority(), QNetworkRequest::HighPriority);
}

void RadioDiscoveryTest::displayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxChars");
    QTest::addColumn<QString>("shown");
    const QString ellipsis(QChar(0x2026));
    QTest::newRow("short kept") << "Heli 450" << 80 << "Heli 450";
    QTest::newRow("exactly the length kept") << QString(80, 'a') << 80 << QString(80, 'a');
    QTest::newRow("one over cut") << QString(81, 'a') << 80 << QString(79, 'a') + ellipsis;
    QTest::newRow("a megabyte cut") << QString(1 << 20, 'm') << 80 << QString(79, 'm') + ellipsis;
    // Cutting between the two halves of a surrogate pair would leave a broken character.
    const QString emoji = QString::fromUtf8("\xf0\x9f\x9a\x81"); // two UTF-16 units
    QTest::newRow("surrogate pair not split")
        << QString(3, 'a') + emoji + QString(10, 'b') << 5 << QString(3, 'a') + ellipsis;
}

void RadioDiscoveryTest::displayText()
{
    QFETCH(QString, text);
    QFETCH(int, maxChars);
    QFETCH(QString, shown);
    QCOMPARE(RadioText::forDisplay(text, maxChars), shown);
}

QTEST_GUILESS_MAIN(RadioDiscoveryTest)
#include "tst_radiodiscovery.moc"
