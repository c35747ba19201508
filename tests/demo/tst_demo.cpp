// scripts/demo.sh as a user starts it, without building and without a display: the demo
// radio and, in place of the program, this test's child (the program's own start-up with
// a hook), both inside the demo's private namespace. The child reports when the program
// found the radio and what the Log Viewer lists; tests/demo/demo_capture.sh records the
// namespace and every packet in it, so the test can show that nothing went anywhere but
// between the program and the demo radio.
#include "KeloMain.h"
#include "PlotWidget.h"
#include "RadioScanner.h"
#include "TabDialog.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>

namespace {

QElapsedTimer sinceStart;

void reportWhenLogsListed(TabDialog *dialog)
{
    RadioScanner *scanner = dialog->radioScanner();
    QObject::connect(scanner, &RadioScanner::deviceFound, dialog,
                     [](const QString &ip, const QString &, const QString &model) {
                         static bool once = false;
                         if (once)
                             return;
                         once = true;
                         std::printf("FOUND: %s %s after %lld ms\n", qPrintable(ip),
                                     qPrintable(model), sinceStart.elapsed());
                         std::fflush(stdout);
                     });
    auto *poll = new QTimer(dialog);
    QObject::connect(poll, &QTimer::timeout, dialog, [dialog, poll]() {
        auto *logViewer = dialog->findChild<PlotWidget *>();
        QStringList texts;
        for (QListWidget *list : logViewer->findChildren<QListWidget *>()) {
            for (int i = 0; i < list->count(); ++i) {
                if (!texts.contains(list->item(i)->text()))
                    texts << list->item(i)->text();
            }
        }
        if (texts.isEmpty() && sinceStart.elapsed() < 60000)
            return;
        poll->stop();
        for (const QString &text : texts)
            std::printf("LOG: %s\n", qPrintable(text));
        std::fflush(stdout);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    poll->start(50);
    dialog->show();
}

QString sourceDir()
{
    return qEnvironmentVariable("KELO_SOURCE_DIR");
}

struct Packet
{
    QStringList fields; // as tshark prints them: the columns of Fields below
};

// Every captured packet: its protocols, IPv4 and IPv6 addresses, TCP ports and ARP target.
const QStringList Fields
    = {"frame.protocols",    "ip.src",   "ip.dst",  "tcp.srcport", "tcp.dstport",
       "arp.dst.proto_ipv4", "ipv6.src", "ipv6.dst"};

QList<QStringList> readCapture(const QString &file, QString *error)
{
    QStringList args = {QStringLiteral("-r"), file, QStringLiteral("-T"), QStringLiteral("fields")};
    for (const QString &f : Fields)
        args << QStringLiteral("-e") << f;
    QProcess tshark;
    tshark.start(QStringLiteral("tshark"), args);
    if (!tshark.waitForFinished(60000) || tshark.exitCode() != 0) {
        *error = QString::fromLocal8Bit(tshark.readAllStandardError());
        return {};
    }
    QList<QStringList> packets;
    for (const QByteArray &line : tshark.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            packets << QString::fromUtf8(line).split(QLatin1Char('\t'));
    }
    return packets;
}

} // namespace

class DemoTest : public QObject
{
    Q_OBJECT
private slots:
    void demoFindsTheRadioListsItsLogsAndTalksToNothingElse();
    void refusesToStartOutsideItsNamespace();
};

void DemoTest::demoFindsTheRadioListsItsLogsAndTalksToNothingElse()
{
    QTemporaryDir home;
    QTemporaryDir record;
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("Documents"))));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KELO_DEMO_BUILD"), QStringLiteral(KELO_BINARY_DIR));
    env.insert(QStringLiteral("KELO_DEMO_PROGRAM"),
               sourceDir() + QStringLiteral("/tests/demo/demo_capture.sh"));
    env.insert(QStringLiteral("KELO_DEMO_CHILD"), QCoreApplication::applicationFilePath());
    env.insert(QStringLiteral("KELO_DEMO_RECORD"), record.path());

    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.start(sourceDir() + QStringLiteral("/scripts/demo.sh"), QStringList());
    QVERIFY(demo.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(demo.state() == QProcess::NotRunning, 150000);
    const QString out = QString::fromLocal8Bit(demo.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(demo.readAllStandardError());
    QVERIFY2(demo.exitStatus() == QProcess::NormalExit && demo.exitCode() == 0,
             qPrintable(out + err));

    // The program found the demo radio by its own sweep and lists its three logs.
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList found = lines.filter(QRegularExpression(QStringLiteral("^FOUND: ")));
    QCOMPARE(found.size(), 1);
    QVERIFY2(found.first().startsWith(QStringLiteral("FOUND: 10.77.0.2 Heli 450 after ")),
             qPrintable(out));
    qInfo("%s", qPrintable(found.first()));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^LOG: "))),
             QStringList({QStringLiteral("LOG: Endurance  (8:00)"),
                          QStringLiteral("LOG: Hover practice  (2:30)"),
                          QStringLiteral("LOG: Sport flight  (5:00)")}));

    // The namespace: loopback and the veth pair of the test LAN, no route out of it.
    QFile links(record.filePath(QStringLiteral("links")));
    QVERIFY(links.open(QIODevice::ReadOnly));
    QStringList linkNames;
    for (const QByteArray &line : links.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() > 1)
            linkNames << QString::fromUtf8(parts[1].trimmed().split('@').first());
    }
    linkNames.sort();
    QCOMPARE(linkNames, QStringList({"kelo0", "kelo1", "lo"}));
    QFile routes(record.filePath(QStringLiteral("routes")));
    QVERIFY(routes.open(QIODevice::ReadOnly));
    const QByteArray routeTable = routes.readAll();
    QVERIFY2(!routeTable.contains("default"), routeTable.constData());

    // Every IPv4 packet went between the program and the demo radio (or stayed on
    // loopback); the sweep's other addresses never got past ARP, and IPv6 stayed link-local.
    QString error;
    const QList<QStringList> packets
        = readCapture(record.filePath(QStringLiteral("traffic.pcapng")), &error);
    QVERIFY2(!packets.isEmpty(), qPrintable(error));
    const QStringList peers = {QStringLiteral("10.77.0.1"), QStringLiteral("10.77.0.2")};
    int toRadio = 0, fromRadio = 0;
    for (const QStringList &p : packets) {
        const QString what = p.join(QLatin1Char(' '));
        const QString src = p.value(1), dst = p.value(2);
        if (p.value(0).contains(QLatin1String(":icmp:ip:"))) {
            // The host telling itself that a probe of the sweep found nobody there (its ARP
            // went unanswered, which takes seconds, so it shows on a slow run): tshark gives
            // the addresses of the message and of the probe it quotes, and neither left.
            QVERIFY2(src == QStringLiteral("10.77.0.1,10.77.0.1")
                         && dst.startsWith(QLatin1String("10.77.0.1,10.77.0.")),
                     qPrintable(what));
        } else if (!src.isEmpty()) {
            const bool loopback
                = src.startsWith(QLatin1String("127.")) && dst.startsWith(QLatin1String("127."));
            // The radio's address is the namespace's own, so much of this runs over lo.
            QVERIFY2(loopback || (peers.contains(src) && peers.contains(dst)), qPrintable(what));
            toRadio += dst == peers[1] && p.value(4) == QLatin1String("80");
            fromRadio += src == peers[1] && p.value(3) == QLatin1String("80");
        } else if (p.value(0).contains(QLatin1String("arp"))) {
            QVERIFY2(p.value(5).startsWith(QLatin1String("10.77.0.")), qPrintable(what));
        } else if (!p.value(6).isEmpty()) {
            QVERIFY2(p.value(6).startsWith(QLatin1String("fe80:"))
                         || p.value(6) == QLatin1String("::"),
                     qPrintable(what));
            QVERIFY2(p.value(7).startsWith(QLatin1String("fe80:"))
                         || p.value(7).startsWith(QLatin1String("ff02:")),
                     qPrintable(what));
        } else {
            QFAIL(qPrintable(QStringLiteral("neither IPv4, ARP nor IPv6: ") + what));
        }
    }
    QVERIFY(toRadio > 0 && fromRadio > 0);
}

void DemoTest::refusesToStartOutsideItsNamespace()
{
    // As if netns.sh had been skipped: the inner part must notice and start nothing.
    QTemporaryDir record;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KELO_DEMO_INNER"), QStringLiteral("1"));
    env.insert(QStringLiteral("KELO_DEMO_BUILD"), QStringLiteral(KELO_BINARY_DIR));
    env.insert(QStringLiteral("KELO_DEMO_PROGRAM"),
               sourceDir() + QStringLiteral("/tests/demo/demo_capture.sh"));
    env.insert(QStringLiteral("KELO_DEMO_RECORD"), record.path());
    env.remove(QStringLiteral("KELO_NETNS"));
    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.start(sourceDir() + QStringLiteral("/scripts/demo.sh"), QStringList());
    QVERIFY(demo.waitForFinished(30000));
    QCOMPARE(demo.exitCode(), 3);
    QVERIFY(demo.readAllStandardError().contains("refusing to start"));
    QVERIFY(!QFile::exists(record.filePath(QStringLiteral("links"))));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0) {
        sinceStart.start();
        return keloMain(1, argv, reportWhenLogsListed);
    }
    QCoreApplication app(argc, argv);
    DemoTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_demo.moc"
