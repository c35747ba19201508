#include "JoystickProtocol.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cstring>

using namespace JoystickProtocol;

Q_DECLARE_METATYPE(QVector<int>)

// Packets, reports, the descriptor and the reassembly of the TCP stream.
class JoystickProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void axisValue_data();
    void axisValue();
    void report_data();
    void report();
    void descriptor();
    void descriptorThroughWireshark();
    void reassembly_data();
    void reassembly();
    void partialFrameIsKept();
};

void JoystickProtocolTest::axisValue_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("normal");
    QTest::addColumn<int>("inverted");
    QTest::newRow("centre") << 0 << 0 << 0;
    QTest::newRow("+8192") << 8192 << 64 << -64; // 63.5019 rounds up
    QTest::newRow("-8192") << -8192 << -64 << 64;
    QTest::newRow("+16383") << 16383 << 127 << -127;
    QTest::newRow("-16383") << -16383 << -127 << 127;
    QTest::newRow("+16384 clamps") << 16384 << 127 << -127;
    QTest::newRow("-16384 clamps") << -16384 << -127 << 127;
    QTest::newRow("+32767") << 32767 << 127 << -127;
    // -2 * -32768 does not fit in 16 bits: must still give full scale, not wrap.
    QTest::newRow("-32768") << -32768 << -127 << 127;
    QTest::newRow("+1 rounds to 0") << 1 << 0 << 0;
    QTest::newRow("+129 rounds to 1") << 129 << 1 << -1; // 258 * 127 / 32767 = 0.99997
    QTest::newRow("+4096") << 4096 << 32 << -32;
}

void JoystickProtocolTest::axisValue()
{
    QFETCH(int, value);
    QFETCH(int, normal);
    QFETCH(int, inverted);
    QCOMPARE(JoystickProtocol::axisValue(qint16(value)), normal);
    QCOMPARE(JoystickProtocol::axisValue(qint16(value), true), inverted);
}

static QByteArray packetOf(const QByteArray &head, char filler)
{
    QByteArray packet = head;
    packet.append(PacketSize - head.size(), filler);
    return packet;
}

void JoystickProtocolTest::report_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("all centred") << packetOf(QByteArray(12, '\0'), '\0')
                                 << QByteArray::fromHex("0000000000");
    // Y 0x1000, X 0x2000, Z 0x0c00, Rx 0xe000 among filler that must be ignored.
    QTest::newRow("filler differs from axes") << packetOf(QByteArray::fromHex("deadbeef001000200"
                                                                              "00c00e0"),
                                                          '\x5a')
                                              << QByteArray::fromHex("4020e8c000");
    QTest::newRow("full scale, Z inverted")
        << packetOf(QByteArray::fromHex("00000000ff7fff7fff7fff7f"), '\0')
        << QByteArray::fromHex("7f7f817f00");
    QTest::newRow("most negative, Z inverted")
        << packetOf(QByteArray::fromHex("000000000080008000800080"), '\0')
        << QByteArray::fromHex("81817f8100");
    // Only offsets 4..11 count: the head and tail bytes all set must change nothing.
    QTest::newRow("ignored bytes all set") << QByteArray::fromHex("ffffffff") + QByteArray(8, '\0')
            + QByteArray(26, '\xff') << QByteArray::fromHex("0000000000");
    QTest::newRow("each axis its own byte") << packetOf(QByteArray::fromHex("00000000"
                                                                            "0020"
                                                                            "00e0"
                                                                            "0010"
                                                                            "00f0"),
                                                        '\0')
                                            << QByteArray::fromHex("c040e0e000");
}

void JoystickProtocolTest::report()
{
    QFETCH(QByteArray, packet);
    QFETCH(QByteArray, report);
    QCOMPARE(packet.size(), PacketSize);
    quint8 out[ReportSize];
    std::memset(out, 0xcc, sizeof out);
    buildReport(reinterpret_cast<const quint8 *>(packet.constData()), out);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), ReportSize).toHex(), report.toHex());
}

void JoystickProtocolTest::descriptor()
{
    const QByteArray expected = QByteArray::fromHex("05010904a101a10005010930093109320933"
                                                    "1581257f750895048102"
                                                    "05091901290815002501750195085500650081"
                                                    "02c0c0");
    QCOMPARE(expected.size(), ReportDescriptorSize);
    QCOMPARE(
        QByteArray(reinterpret_cast<const char *>(joy_reportdesc), ReportDescriptorSize).toHex(),
        expected.toHex());
}

// A Linux usbmon capture (pcap, link type 220) of a HID device answering the host's
// configuration and report descriptor requests, so Wireshark's HID dissector reads it.
static QByteArray usbmonCapture(const QByteArray &reportDescriptor)
{
    auto le = [](QByteArray &out, quint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char((value >> (8 * i)) & 0xff));
    };
    auto urb
        = [&](quint64 id, char type, const QByteArray &setup, const QByteArray &data, int length) {
              QByteArray r;
              le(r, id, 8);
              r.append(type);
              r.append(char(2)); // control transfer
              r.append(char(0x80)); // endpoint 0, IN
              r.append(char(1)); // device
              le(r, 1, 2); // bus
              r.append(setup.isEmpty() ? '-' : '\0');
              r.append(data.isEmpty() ? '<' : '\0');
              le(r, 0, 8); // seconds
              le(r, 0, 4); // microseconds
              le(r, type == 'C' ? 0 : quint32(-115), 4); // status: -EINPROGRESS on submit
              le(r, quint64(length), 4);
              le(r, quint64(data.size()), 4);
              r.append(setup.isEmpty() ? QByteArray(8, '\0') : setup);
              r.append(QByteArray(16, '\0')); // interval, start frame, flags, iso descriptors
              return r + data;
          };
    auto getDescriptor = [&](int requestType, int value, int length) {
        QByteArray setup;
        le(setup, quint64(requestType), 1);
        le(setup, 6, 1); // GET_DESCRIPTOR
        le(setup, quint64(value), 2);
        le(setup, 0, 2);
        le(setup, quint64(length), 2);
        return setup;
    };
    // One HID interface (class 3) with a report descriptor of the given length.
    QByteArray config = QByteArray::fromHex("09022200010100a032"
                                            "090400000103000000"
                                            "0921110100012200000705810308000a");
    config[25] = char(reportDescriptor.size());
    const QByteArray urbs[] = {
        urb(1, 'S', getDescriptor(0x80, 0x0200, config.size()), {}, config.size()),
        urb(1, 'C', {}, config, config.size()),
        urb(2, 'S', getDescriptor(0x81, 0x2200, reportDescriptor.size()), {},
            reportDescriptor.size()),
        urb(2, 'C', {}, reportDescriptor, reportDescriptor.size()),
    };
    QByteArray capture;
    le(capture, 0xa1b2c3d4, 4);
    le(capture, 2, 2);
    le(capture, 4, 2);
    le(capture, 0, 8);
    le(capture, 65535, 4);
    le(capture, 220, 4);
    int i = 0;
    for (const QByteArray &r : urbs) {
        le(capture, 1, 4);
        le(capture, quint64(i++), 4);
        le(capture, quint64(r.size()), 4);
        le(capture, quint64(r.size()), 4);
        capture += r;
    }
    return capture;
}

// Wireshark's HID report parser is the independent reader here: every item, its value and
// the nesting of the collections, as it decodes them.
void JoystickProtocolTest::descriptorThroughWireshark()
{
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        QSKIP("tshark (Wireshark) is not installed");
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("descriptor.pcap")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(usbmonCapture(
        QByteArray(reinterpret_cast<const char *>(joy_reportdesc), ReportDescriptorSize)));
    file.close();

    QProcess process;
    process.start(tshark,
                  {QStringLiteral("-r"), file.fileName(), QStringLiteral("-Y"),
                   QStringLiteral("frame.number == 4"), QStringLiteral("-T"),
                   QStringLiteral("pdml")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);

    QStringList items; // "depth summary", one per descriptor item
    QXmlStreamReader xml(process.readAllStandardOutput());
    bool inHid = false;
    int depth = 0;
    QVector<bool> itemOpen; // per open <field>: whether it is an item
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("proto"))
            inHid = xml.attributes().value(QLatin1String("name")) == QLatin1String("usbhid");
        if (!inHid)
            continue;
        if (xml.isStartElement() && xml.name() == QLatin1String("field")) {
            const auto attributes = xml.attributes();
            const QString name = attributes.value(QLatin1String("name")).toString();
            const QString show = attributes.value(QLatin1String("show")).toString();
            const bool item = name.isEmpty() && show != QLatin1String("Header");
            if (item)
                items << QStringLiteral("%1 %2").arg(depth).arg(show);
            // Wireshark 4.0 prints this item's summary wrongly; its value field is right.
            if (name == QLatin1String("usbhid.item.global.unit_exp"))
                items.last() = QStringLiteral("%1 Unit Exponent (%2)").arg(depth - 1).arg(show);
            itemOpen.append(item);
            if (item)
                ++depth;
        } else if (xml.isEndElement() && xml.name() == QLatin1String("field")) {
            if (!itemOpen.isEmpty() && itemOpen.takeLast())
                --depth;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    const QStringList expected = {
        "0 Usage Page (Generic Desktop Controls)",
        "0 Usage (Joystick)",
        "0 Collection (Application)",
        "1 Collection (Physical)",
        "2 Usage Page (Generic Desktop Controls)",
        "2 Usage (X)",
        "2 Usage (Y)",
        "2 Usage (Z)",
        "2 Usage (Rx)",
        "2 Logical Minimum (-127)",
        "2 Logical Maximum (127)",
        "2 Report Size (8)",
        "2 Report Count (4)",
        "2 Input (Data,Var,Abs)",
        "2 Usage Page (Button)",
        "2 Usage Minimum (0x01)",
        "2 Usage Maximum (0x08)",
        "2 Logical Minimum (0)",
        "2 Logical Maximum (1)",
        "2 Report Size (1)",
        "2 Report Count (8)",
        "2 Unit Exponent (0)",
        "2 Unit (0x00)",
        "2 Input (Data,Var,Abs)",
        "2 End Collection",
        "1 End Collection",
    };
    QCOMPARE(items, expected);
}

static QByteArray numberedPackets(int count)
{
    QByteArray stream;
    for (int i = 0; i < count; ++i) {
        QByteArray packet(PacketSize, char(0xa0 + i));
        packet[OffsetX] = char(i * 7);
        packet[OffsetY] = char(i * 13);
        stream += packet;
    }
    return stream;
}

void JoystickProtocolTest::reassembly_data()
{
    QTest::addColumn<int>("packets");
    QTest::addColumn<QVector<int>>("chunks");
    QTest::newRow("whole packets") << 3 << QVector<int> {38, 38, 38};
    QTest::newRow("20 + 18") << 1 << QVector<int> {20, 18};
    QTest::newRow("2.5 packets then the rest") << 3 << QVector<int> {95, 19};
    QTest::newRow("two at once") << 2 << QVector<int> {76};
    QTest::newRow("1-byte dribble") << 2 << QVector<int>(76, 1);
    // A chunk that completes one packet, holds a whole one and starts a third.
    QTest::newRow("37, 40, 37") << 3 << QVector<int> {37, 40, 37};
}

void JoystickProtocolTest::reassembly()
{
    QFETCH(int, packets);
    QFETCH(QVector<int>, chunks);
    const QByteArray stream = numberedPackets(packets);
    PacketAssembler assembler;
    QVector<QByteArray> seen;
    int offset = 0;
    for (int size : chunks) {
        assembler.feed(reinterpret_cast<const quint8 *>(stream.constData()) + offset,
                       std::size_t(size), [&](const quint8 *packet) {
                           seen.append(
                               QByteArray(reinterpret_cast<const char *>(packet), PacketSize));
                       });
        offset += size;
    }
    QCOMPARE(offset, stream.size());
    QCOMPARE(seen.size(), packets);
    for (int i = 0; i < packets; ++i)
        QCOMPARE(seen[i].toHex(), stream.mid(i * PacketSize, PacketSize).toHex());
    QCOMPARE(assembler.pendingBytes(), 0);
}

void JoystickProtocolTest::partialFrameIsKept()
{
    const QByteArray stream = numberedPackets(2);
    PacketAssembler assembler;
    int seen = 0;
    auto count = [&](const quint8 *) {
        ++seen;
    };
    assembler.feed(reinterpret_cast<const quint8 *>(stream.constData()), 50, count);
    QCOMPARE(seen, 1);
    QCOMPARE(assembler.pendingBytes(), 12);
    assembler.clear();
    // After a clear (a new connection) the old 12 bytes must not join the next stream.
    assembler.feed(reinterpret_cast<const quint8 *>(stream.constData()), 38, count);
    QCOMPARE(seen, 2);
    QCOMPARE(assembler.pendingBytes(), 0);
}

QTEST_APPLESS_MAIN(JoystickProtocolTest)
#include "tst_joystick_protocol.moc"
