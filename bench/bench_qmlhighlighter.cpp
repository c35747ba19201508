// The QML highlighter with files of 10k and 100k lines: the rule-table algorithm (sixty
// regular expressions per line) against the one-pass scanner, in the same run, each figure
// the median of three. Loading a file into the editor (against the editor's own time without
// a highlighter), colouring the whole file again, and the worst keystroke: "*" completing
// "/*" at the top of a file without block comments, which turns every line into comment.
#include "BenchSupport.h"
#include "QmlCodeEditor.h"
#include "QmlHighlightScanner.h"
#include "QmlSamples.h"
#include "QmlSyntaxHighlighter.h"
#include "ReferenceQmlHighlighter.h"

#include <QApplication>
#include <QTextBlock>
#include <QTextDocument>

#include <cstdio>
#include <memory>

namespace {

enum class Kind { None, RuleTable, Scanner };

std::unique_ptr<QSyntaxHighlighter> attach(Kind kind, QTextDocument *doc)
{
    if (kind == Kind::RuleTable)
        return std::make_unique<ReferenceQmlHighlighter>(doc);
    if (kind == Kind::Scanner)
        return std::make_unique<QmlSyntaxHighlighter>(doc);
    return nullptr;
}

const char *name(Kind kind)
{
    return kind == Kind::None     ? "no highlighter"
        : kind == Kind::RuleTable ? "rule table"
                                  : "scanner";
}

struct Figures
{
    QVector<double> load, rehighlight, keystroke;
};

void runOnce(Kind kind, const QString &text, const QString &flat, Figures &f)
{
    QmlCodeEditor editor;
    editor.setLineWrapMode(QPlainTextEdit::NoWrap); // as the Developer tab has it
    editor.resize(900, 700);
    editor.show();
    QApplication::processEvents();
    auto highlighter = attach(kind, editor.document());

    f.load << BenchSupport::timeMs([&] {
        editor.setPlainText(text);
        QApplication::processEvents();
    });
    if (!highlighter)
        return;
    f.rehighlight << BenchSupport::timeMs([&] { highlighter->rehighlight(); });

    editor.setPlainText(flat);
    QApplication::processEvents();
    QTextCursor top(editor.document());
    top.insertText("/");
    QApplication::processEvents();
    f.keystroke << BenchSupport::timeMs([&] {
        top.insertText("*");
        QApplication::processEvents();
    });
    if (editor.document()->lastBlock().userState() != 1)
        std::printf("  (the comment did not reach the last line!)\n");
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchSupport::printBuildKind();
    std::printf("goal: at 100k lines, colouring on load and the worst keystroke <= 500 ms\n");
    for (int lines : {10000, 100000}) {
        const QString text = QmlSamples::realistic(lines);
        QString flat = text;
        flat.replace("/*", "//").remove("*/");

        const QStringList split = text.split('\n');
        const BenchSupport::Stats scan = BenchSupport::timeRuns(3, [&](int) {
            int state = 0;
            for (const QString &line : split)
                state = QmlHighlightScanner::scanLine(line, state).state;
        });
        std::printf("%dk lines (scanLine alone %.1f ms)\n", lines / 1000, scan.median);
        for (Kind kind : {Kind::None, Kind::RuleTable, Kind::Scanner}) {
            Figures f;
            for (int run = 0; run < 3; ++run)
                runOnce(kind, text, flat, f);
            if (kind == Kind::None) {
                std::printf("  %-14s load %8.1f ms\n", name(kind),
                            BenchSupport::stats(f.load).median);
                continue;
            }
            std::printf("  %-14s load %8.1f ms, colour again %8.1f ms, keystroke \"*\" %8.1f ms\n",
                        name(kind), BenchSupport::stats(f.load).median,
                        BenchSupport::stats(f.rehighlight).median,
                        BenchSupport::stats(f.keystroke).median);
        }
    }
    std::printf("peak memory %ld MB\n", BenchSupport::peakRssMb());
    return 0;
}
