#include "JoystickProtocol.h"

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
