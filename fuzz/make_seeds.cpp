// Writes the fuzzer's seed corpus: small logs of every record type, made by the generator.
#include "LogGenerator.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QVector<QByteArray> seeds;
    seeds << LogGenerator::flight(1);
    seeds << LogGenerator::type1Flood(1100);
    LogGenerator::Fc zero;
    zero.w = 0;
    LogGenerator mixed;
    mixed.tx(0, 90)
        .rx(5, {8000, 0, 99, 100, 1})
        .esc(10, {2500, 300, 80, 10, 400, 5, 1500})
        .gps(15, {1, 2, 3, 4, 5, 6})
        .fc(20, {})
        .fc(40, zero)
        .attitude(60, 0.7071, 0.7071, 0, 0)
        .sticks(80, {1, 2, 3}, 5)
        .record(7, 90, "skip")
        .sticks(100, QVector<qint16>(127, 8192), 255);
    seeds << mixed.bytes();
    seeds << LogGenerator::belowMinimum();
    seeds << LogGenerator()
                 .attitude(100, 1, 0, 0, 0)
                 .attitude(100, 0.99, 0.14, 0, 0)
                 .attitude(50, 0.98, 0.2, 0, 0)
                 .bytes();
    QByteArray truncated = LogGenerator::flight(1);
    truncated.chop(3);
    seeds << truncated;
    for (int i = 0; i < seeds.size(); ++i) {
        QFile f(dir.filePath(QStringLiteral("seed-%1.log").arg(i)));
        if (!f.open(QIODevice::WriteOnly) || f.write(seeds[i]) != seeds[i].size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            return 1;
        }
    }
    return 0;
}
