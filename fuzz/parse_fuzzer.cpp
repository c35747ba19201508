// libFuzzer target: LogReader::parseData on arbitrary bytes, checked against the plain
// reference parser, once whole and once in small parts that the threads parse side by
// side. Any crash, sanitizer report, hang or mismatch is a finding.
#include "LogReader.h"
#include "ReferenceParser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

void check(const QByteArray &bytes, const QVector<LogVariable> &ref)
{
    QVector<LogVariable> vars;
    QString error;
    const bool ok = LogReader::parseData(bytes, vars, error);
    if (ok != !vars.isEmpty())
        fail("result does not match the variables");
    if (!ok && error != QLatin1String("No recognized log entries found in file"))
        fail("wrong failure text");
    if (ok && !error.isEmpty())
        fail("error text set on success");

    if (ref.size() != vars.size())
        fail("variable count differs from the reference");
    for (int i = 0; i < vars.size(); ++i) {
        const LogVariable &a = vars[i], &b = ref[i];
        if (a.name != b.name || a.times.size() != b.times.size()
            || a.values.size() != a.times.size() || b.values.size() != b.times.size())
            fail("variable differs from the reference");
        bool ascending = true, finite = true;
        for (int j = 0; j < a.times.size(); ++j) {
            if (!same(a.times[j], b.times[j]) || !same(a.values[j], b.values[j]))
                fail("sample differs from the reference");
            if (j > 0 && a.times[j - 1] > a.times[j])
                ascending = false;
            if (!std::isfinite(a.values[j]))
                finite = false;
        }
        if (ascending != a.timesAscending || finite != a.allFinite)
            fail("wrong order or finiteness flag");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: reads past the input end hit the fuzzer's own buffer bounds.
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QVector<LogVariable> ref = ReferenceParser::parse(bytes);
    check(bytes, ref);
    // Two to sixteen parts, as the input's last byte says: their boundaries fall before
    // any record the mutations put there.
    const qint64 parts = size > 0 ? 2 + data[size - 1] % 15 : 2;
    LogReader::setPartBytesForTesting(std::max<qint64>(1, qint64(size) / parts));
    check(bytes, ref);
    LogReader::setPartBytesForTesting(0);
    return 0;
}
