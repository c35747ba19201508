// The six developer documentation pages that the assistant's read_docs tool reads: their
// structure, read by a strict XML reader and by Python's HTML parser, their links, every
// name shown as code, and the plain text the model gets from them. A made-up component,
// property or signal in these pages would be copied into apps by the model and silently
// break them on the radio.
#include "DeveloperDocs.h"
#include "KeloResources.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QStringList pageFiles = {"api-reference.html", "battery-manager.html", "components.html",
                               "index.html",         "inputs-channels.html", "telemetry.html"};

QByteArray readResource(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray readPage(const QString &file)
{
    return readResource(QStringLiteral(":/devdoc/") + file);
}

// What a page holds, as read by QXmlStreamReader (the pages are well-formed XHTML).
struct ParsedPage
{
    QString error;
    QString rootName;
    QString headTitle;
    QString mainHeading;
    int mains = 0;
    int headers = 0;
    int navs = 0;
    int asides = 0;
    int footers = 0;
    int styles = 0;
    QStringList navLinks;
    QStringList currentNavLinks;
    QStringList asideLinks;
    QStringList sectionIds; // inside <main>, in order
    QStringList ids; // every id on the page
    QStringList links; // every href
    QStringList codeTexts; // <code>/<pre> contents, file names left out
};

ParsedPage parsePage(const QByteArray &bytes)
{
    ParsedPage p;
    QXmlStreamReader xml(bytes);
    QStringList path;
    int codeDepth = 0;
    int fileDepth = 0;
    QString code;
    QString *textSink = nullptr;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            const QXmlStreamAttributes attrs = xml.attributes();
            if (path.isEmpty())
                p.rootName = name;
            const bool inMain = path.contains(QStringLiteral("main"));
            if (name == QLatin1String("main"))
                ++p.mains;
            else if (name == QLatin1String("header"))
                ++p.headers;
            else if (name == QLatin1String("nav"))
                ++p.navs;
            else if (name == QLatin1String("aside"))
                ++p.asides;
            else if (name == QLatin1String("footer"))
                ++p.footers;
            else if (name == QLatin1String("style"))
                ++p.styles;
            if (attrs.hasAttribute(QStringLiteral("id"))) {
                const QString id = attrs.value(QStringLiteral("id")).toString();
                p.ids << id;
                if (inMain && name == QLatin1String("section"))
                    p.sectionIds << id;
            }
            if (name == QLatin1String("a")) {
                const QString href = attrs.value(QStringLiteral("href")).toString();
                p.links << href;
                if (path.contains(QStringLiteral("nav"))) {
                    p.navLinks << href;
                    if (attrs.value(QStringLiteral("class")) == QLatin1String("current"))
                        p.currentNavLinks << href;
                } else if (path.contains(QStringLiteral("aside"))) {
                    p.asideLinks << href;
                }
            }
            if (name == QLatin1String("title") && path.endsWith(QStringLiteral("head")))
                textSink = &p.headTitle;
            else if (name == QLatin1String("h1") && inMain)
                textSink = &p.mainHeading;
            if (name == QLatin1String("code") || name == QLatin1String("pre")) {
                if (attrs.value(QStringLiteral("class")) == QLatin1String("file") || fileDepth > 0)
                    ++fileDepth;
                ++codeDepth;
            }
            path << name;
        } else if (xml.isEndElement()) {
            const QString name = path.takeLast();
            if (name == QLatin1String("title") || name == QLatin1String("h1"))
                textSink = nullptr;
            if (name == QLatin1String("code") || name == QLatin1String("pre")) {
                if (fileDepth > 0)
                    --fileDepth;
                if (--codeDepth == 0) {
                    p.codeTexts << code;
                    code.clear();
                }
            }
        } else if (xml.isCharacters()) {
            if (textSink)
                *textSink += xml.text();
            if (codeDepth > 0 && fileDepth == 0)
                code += xml.text();
        }
    }
    if (xml.hasError())
        p.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return p;
}

// Reads the page with Python's own HTML parser and reports what a browser-grade tokenizer
// sees: the number of <main> elements, the navigation links and any tag that is closed
// without being open or left open.
const char *const pythonChecker = R"PY(
import html.parser, json, sys
VOID = {"meta", "link", "br", "hr", "img", "input", "col", "area", "base", "wbr", "source"}
class Checker(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack, self.errors, self.mains, self.nav = [], [], 0, []
    def handle_starttag(self, tag, attrs):
        if tag == "main":
            self.mains += 1
        if tag == "a" and "nav" in self.stack:
            self.nav.append(dict(attrs).get("href"))
        if tag not in VOID:
            self.stack.append(tag)
    def handle_startendtag(self, tag, attrs):
        if tag not in VOID:
            self.errors.append("self-closed <%s>" % tag)
    def handle_endtag(self, tag):
        if not self.stack or self.stack[-1] != tag:
            self.errors.append("unexpected </%s> at line %d" % (tag, self.getpos()[0]))
        else:
            self.stack.pop()
c = Checker()
c.feed(sys.stdin.buffer.read().decode("utf-8"))
c.close()
if c.stack:
    c.errors.append("left open: " + " ".join(c.stack))
print(json.dumps({"mains": c.mains, "nav": c.nav, "errors": c.errors}))
)PY";

// The quoted import paths of the radio's component folders.
const QSet<QString> importPaths
    = {"qrc:/qml/Item/",         "qrc:/qml/Item",        "qrc:/qml/Item/Frame",
       "qrc:/qml/Item/Window",   "qrc:/qml/Item/Button", "qrc:/qml/Item/CheckBox",
       "qrc:/qml/Item/Adjuster", "qrc:/qml/Item/Icon",   "qrc:/qml/Item/Curve",
       "qrc:/qml/Item/Label"};

// Every name a page may show as code: the radio's components, their properties and signals,
// the root object's properties, signals and functions, the Qt Quick types and members the
// project templates and the editor's highlighter use, and the QML language's own words.
// Nothing else: a name added to the pages must be added here on purpose.
const QSet<QString> knownNames = {
    // the radio's components and their members
    "GroupFrame", "DlgFrame", "TitleWindow", "TelemWindow", "ModelWindow", "DlgWindow", "OptWindow",
    "MenuButton", "DlgButton", "CheckBox", "Adjuster", "AdjusterFloat", "MenuIcon", "PanelIcon",
    "MdlTypeIcon", "Curve", "GlowingLabel", "Widget", "text", "titleText", "questionText",
    "onClickedYes", "onClickedNo", "list", "onSelectedId", "onClicked", "checked", "onToggled",
    "range_min", "range_max", "step", "postfix", "onGetValue", "onSetValue", "decimals", "iconText",
    "iconPath", "action", "onAction", // the handler of action()
    "type", "val_0", "val_1", "val_2", "val_3", "val_4", "val_5", "val_6", "val_7", "val_8",
    "value", "input", "color", "font", "position",
    // the root object: properties
    "font_size_16pt", "font_size_18pt", "font_size_20pt", "font_size_22pt", "font_size_24pt",
    "theme_font", "theme_frameopacity", "theme_frametitle", "theme_checkbox", "colorGlow",
    "system_lock", "mdl_cur_name", "stat_battery", "stat_signal", "owner_name", "fullscreen_mode",
    "input_ctrl", "input_list", "chan_list", "battery_list", "battery_current",
    "battery_current_id", "telem_varnek", "telem_rx", "telem_gps",
    // the root object: signals, functions and their parameters
    "signalVibePulse", "osSoundEffect", "signalAppsCfgLoad", "signalAppsCfgSet", "signalPowerOff",
    "signalUIRestart", "signalRFTest", "signalTelemVarnek", "signalBatteryList", "cfgGet",
    "keyboardShow", "keyboardHide", "ms", "id", "name", "param",
    // Qt Quick
    "QtQuick", "Controls", "Item", "Rectangle", "Text", "Image", "Row", "Column", "Grid",
    "MouseArea", "ListView", "Component", "QtObject", "Timer", "Button", "Label", "ColumnLayout",
    "RowLayout", "GridLayout", "TextField", "TextEdit", "TextInput", "Flickable", "ListModel",
    "Loader", "Keys", "onPressed", "onCompleted", "onDestruction", "connect", "disconnect",
    "anchors", "centerIn", "left", "right", "leftMargin", "rightMargin", "pixelSize", "x", "y",
    "width", "height", "radius", "opacity", "sourceComponent", "enabled", "parent",
    // the QML language
    "import", "property", "signal", "function", "var", "let", "const", "if", "else", "for", "while",
    "return", "true", "false", "null", "undefined", "alias", "readonly", "default", "required",
    "component", "enum", "of", "in", "new", "typeof", "this", "as", "int", "string", "real", "bool",
    "url"};

// Array indexes and configuration numbers whose meaning the pages may rely on.
const QHash<QString, QSet<int>> knownIndexes = {{"input_ctrl", {2, 3, 4, 5}},
                                                {"telem_varnek", {1, 3, 4, 5, 6, 7}},
                                                {"telem_rx", {3, 4}},
                                                {"telem_gps", {1, 2, 3, 4, 5, 6}}};
const QSet<int> knownConfigNumbers = {118};

// Names a page declares itself (ids, functions, properties) may be used in its code.
QSet<QString> declaredNames(const QStringList &codeTexts)
{
    static const QRegularExpression declaration(
        QStringLiteral(R"(\bid:\s*(\w+)|\bfunction\s+(\w+)|\bproperty\s+\w+\s+(\w+))"));
    QSet<QString> names;
    for (const QString &code : codeTexts) {
        auto it = declaration.globalMatch(code);
        while (it.hasNext()) {
            const auto m = it.next();
            for (int i = 1; i <= 3; ++i) {
                if (!m.captured(i).isEmpty())
                    names << m.captured(i);
            }
        }
    }
    return names;
}

struct CodeCheck
{
    QSet<QString> names;
    QStringList unknown;
};

CodeCheck checkCode(const QStringList &codeTexts)
{
    CodeCheck result;
    const QSet<QString> declared = declaredNames(codeTexts);
    static const QRegularExpression comment(QStringLiteral("//[^\n]*"));
    static const QRegularExpression path(QStringLiteral(R"(qrc:/[^\s"]*)"));
    static const QRegularExpression quoted(QStringLiteral(R"("[^"\n]*")"));
    static const QRegularExpression number(QStringLiteral(R"(\b[0-9]+(\.[0-9]+)?\b)"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z_][A-Za-z0-9_]*"));
    static const QRegularExpression index(QStringLiteral(R"((\w+)\[\s*([0-9]+)\s*\])"));
    static const QRegularExpression config(QStringLiteral(R"(\bcfgGet\(\s*([0-9]+)\s*\))"));

    for (QString code : codeTexts) {
        code.remove(comment);
        auto paths = path.globalMatch(code);
        while (paths.hasNext()) {
            const QString p = paths.next().captured(0);
            if (!importPaths.contains(p))
                result.unknown << p;
        }
        code.remove(path);
        code.remove(quoted);

        auto indexes = index.globalMatch(code);
        while (indexes.hasNext()) {
            const auto m = indexes.next();
            if (!knownIndexes.value(m.captured(1)).contains(m.captured(2).toInt()))
                result.unknown << m.captured(0);
        }
        auto configs = config.globalMatch(code);
        while (configs.hasNext()) {
            const auto m = configs.next();
            if (!knownConfigNumbers.contains(m.captured(1).toInt()))
                result.unknown << m.captured(0);
        }

        code.remove(number);
        auto words = word.globalMatch(code);
        while (words.hasNext()) {
            const QString w = words.next().captured(0);
            result.names << w;
            if (!knownNames.contains(w) && !declared.contains(w))
                result.unknown << w;
        }
    }
    result.unknown.removeDuplicates();
    return result;
}

void addPageRows()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    QTest::newRow("api_reference") << "api-reference.html"
                                   << "API Reference";
    QTest::newRow("battery_manager") << "battery-manager.html"
                                     << "Battery Manager";
    QTest::newRow("components") << "components.html"
                                << "Component Reference";
    QTest::newRow("getting_started") << "index.html"
                                     << "Getting Started";
    QTest::newRow("inputs_channels") << "inputs-channels.html"
                                     << "Inputs & Channels";
    QTest::newRow("telemetry") << "telemetry.html"
                               << "Status & Telemetry";
}

} // namespace

class DevDocPagesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initKeloResources(); }
    void structure_data() { addPageRows(); }
    void structure();
    void pythonHtmlParser_data() { addPageRows(); }
    void pythonHtmlParser();
    void linksResolve();
    void codeNamesAreKnown_data() { addPageRows(); }
    void codeNamesAreKnown();
    void checkerCatchesMadeUpNames_data();
    void checkerCatchesMadeUpNames();
    void pagesCoverTheirArea_data();
    void pagesCoverTheirArea();
    void templatesAsShown_data();
    void templatesAsShown();
    void pageMap();
    void mainText_data();
    void mainText();
    void pageText_data() { addPageRows(); }
    void pageText();
};

void DevDocPagesTest::structure()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    const QByteArray bytes = readPage(file);
    QVERIFY2(!bytes.isEmpty(), qPrintable(file));
    QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes); // valid UTF-8

    const ParsedPage p = parsePage(bytes);
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    QCOMPARE(p.rootName, QStringLiteral("html"));
    QVERIFY(p.headTitle.startsWith(title));
    QCOMPARE(p.mainHeading, title);
    QCOMPARE(p.mains, 1);
    QCOMPARE(p.headers, 1);
    QCOMPARE(p.navs, 1);
    QCOMPARE(p.asides, 1);
    QCOMPARE(p.footers, 1);
    QCOMPARE(p.styles, 1);

    QStringList nav = p.navLinks;
    nav.sort();
    QCOMPARE(nav, pageFiles);
    QCOMPARE(p.currentNavLinks, QStringList {file});

    // The side list names every section of the page's content, in order.
    QVERIFY(!p.sectionIds.isEmpty());
    QStringList expectedSide;
    for (const QString &id : p.sectionIds)
        expectedSide << QLatin1Char('#') + id;
    QCOMPARE(p.asideLinks, expectedSide);

    QStringList ids = p.ids;
    ids.removeDuplicates();
    QCOMPARE(ids.size(), p.ids.size());
}

void DevDocPagesTest::pythonHtmlParser()
{
    QFETCH(QString, file);
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!python.isEmpty(), "python3 is needed to check the pages with html.parser");
    QProcess proc;
    proc.start(python, {QStringLiteral("-c"), QString::fromUtf8(pythonChecker)});
    QVERIFY(proc.waitForStarted());
    proc.write(readPage(file));
    proc.closeWriteChannel();
    QVERIFY(proc.waitForFinished(30000));
    QCOMPARE(proc.exitCode(), 0);
    const QJsonObject report = QJsonDocument::fromJson(proc.readAllStandardOutput()).object();
    QCOMPARE(report.value("mains").toInt(), 1);
    QStringList nav;
    for (const QJsonValue &v : report.value("nav").toArray())
        nav << v.toString();
    nav.sort();
    QCOMPARE(nav, pageFiles);
    QVERIFY2(report.value("errors").toArray().isEmpty(),
             QJsonDocument(report.value("errors").toArray()).toJson().constData());
}

void DevDocPagesTest::linksResolve()
{
    QHash<QString, QSet<QString>> idsByFile;
    QHash<QString, QStringList> linksByFile;
    for (const QString &file : pageFiles) {
        const ParsedPage p = parsePage(readPage(file));
        QVERIFY2(p.error.isEmpty(), qPrintable(file));
        idsByFile.insert(file, QSet<QString>(p.ids.begin(), p.ids.end()));
        linksByFile.insert(file, p.links);
    }
    for (const QString &file : pageFiles) {
        for (const QString &href : linksByFile.value(file)) {
            const int hash = href.indexOf(QLatin1Char('#'));
            const QString target = hash == 0 ? file : href.left(hash < 0 ? href.size() : hash);
            const QString fragment = hash < 0 ? QString() : href.mid(hash + 1);
            const QString where = file + QStringLiteral(": ") + href;
            QVERIFY2(pageFiles.contains(target), qPrintable(where)); // no links off the pages
            if (hash >= 0)
                QVERIFY2(idsByFile.value(target).contains(fragment), qPrintable(where));
        }
    }
}

void DevDocPagesTest::codeNamesAreKnown()
{
    QFETCH(QString, file);
    const ParsedPage p = parsePage(readPage(file));
    QVERIFY(!p.codeTexts.isEmpty());
    const CodeCheck check = checkCode(p.codeTexts);
    QVERIFY2(check.unknown.isEmpty(), qPrintable(check.unknown.join(QStringLiteral(", "))));
}

void DevDocPagesTest::checkerCatchesMadeUpNames_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("unknown"); // empty = accepted
    QTest::newRow("known names") << "Label { color: theme_font; text: mdl_cur_name }"
                                 << "";
    QTest::newRow("declared id") << "Label { id: speed }\nspeed.text = telem_gps[3]"
                                 << "";
    QTest::newRow("made-up signal") << "onClicked: signalBeep(3)"
                                    << "signalBeep";
    QTest::newRow("made-up property") << "text: stat_voltage"
                                      << "stat_voltage";
    QTest::newRow("undocumented index") << "text: telem_varnek[2]"
                                        << "telem_varnek[2]";
    QTest::newRow("undocumented config") << "if (cfgGet(7) === 1)"
                                         << "cfgGet(7)";
    QTest::newRow("unknown import") << "import \"qrc:/qml/Item/Slider\""
                                    << "qrc:/qml/Item/Slider";
    QTest::newRow("words in strings") << "text: \"Battery pack\""
                                      << "";
    QTest::newRow("comments") << "x: 3 // any words here"
                              << "";
}

void DevDocPagesTest::checkerCatchesMadeUpNames()
{
    QFETCH(QString, code);
    QFETCH(QString, unknown);
    QCOMPARE(checkCode({code}).unknown, unknown.isEmpty() ? QStringList() : QStringList {unknown});
}

void DevDocPagesTest::pagesCoverTheirArea_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("components: every component and member")
        << "components.html"
        << QStringList {
               "GroupFrame", "DlgFrame",      "TitleWindow",  "TelemWindow",  "ModelWindow",
               "DlgWindow",  "OptWindow",     "MenuButton",   "DlgButton",    "CheckBox",
               "Adjuster",   "AdjusterFloat", "MenuIcon",     "PanelIcon",    "MdlTypeIcon",
               "Curve",      "GlowingLabel",  "TextField",    "keyboardShow", "keyboardHide",
               "text",       "titleText",     "questionText", "onClickedYes", "onClickedNo",
               "list",       "onSelectedId",  "onClicked",    "checked",      "onToggled",
               "range_min",  "range_max",     "step",         "postfix",      "onGetValue",
               "onSetValue", "decimals",      "iconText",     "iconPath",     "action",
               "type",       "val_0",         "val_8",        "value",        "input"};
    QTest::newRow("telemetry: root properties and arrays")
        << "telemetry.html"
        << QStringList {
               "font_size_16pt", "font_size_18pt",    "font_size_20pt",     "font_size_22pt",
               "font_size_24pt", "theme_font",        "theme_frameopacity", "theme_frametitle",
               "theme_checkbox", "colorGlow",         "system_lock",        "mdl_cur_name",
               "stat_battery",   "stat_signal",       "telem_varnek",       "telem_rx",
               "telem_gps",      "signalTelemVarnek", "onCompleted",        "onDestruction"};
    QTest::newRow("api_reference: full screen and the root signals")
        << "api-reference.html"
        << QStringList {"fullscreen_mode",   "signalVibePulse",  "osSoundEffect",
                        "signalAppsCfgLoad", "signalAppsCfgSet", "signalPowerOff",
                        "signalUIRestart",   "signalRFTest",     "signalTelemVarnek",
                        "signalBatteryList", "cfgGet",           "keyboardShow",
                        "keyboardHide"};
    QTest::newRow("inputs_channels: raw inputs and channels")
        << "inputs-channels.html"
        << QStringList {"input_ctrl", "input_list", "chan_list", "cfgGet", "Keys", "onPressed"};
    QTest::newRow("battery_manager: the read pattern")
        << "battery-manager.html"
        << QStringList {"battery_list", "battery_current", "battery_current_id",
                        "signalBatteryList", "ListModel"};
    QTest::newRow("getting_started: templates and careful signals")
        << "index.html"
        << QStringList {"GroupFrame",     "Label",          "Loader",          "ModelWindow",
                        "Widget",         "GlowingLabel",   "owner_name",      "system_lock",
                        "font_size_20pt", "signalPowerOff", "signalUIRestart", "signalRFTest",
                        "fullscreen_mode"};
}

void DevDocPagesTest::pagesCoverTheirArea()
{
    QFETCH(QString, file);
    QFETCH(QStringList, names);
    const CodeCheck check = checkCode(parsePage(readPage(file)).codeTexts);
    for (const QString &name : names)
        QVERIFY2(check.names.contains(name), qPrintable(name));
}

void DevDocPagesTest::templatesAsShown_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addRow("app.qml") << ":/dev/app.qml";
    QTest::addRow("screen.qml") << ":/dev/screen.qml";
}

// Getting Started shows the two templates a new project starts from; they must not drift
// apart. The templates are indented with tabs, the page with four spaces.
void DevDocPagesTest::templatesAsShown()
{
    QFETCH(QString, resource);
    QString expected = QString::fromUtf8(readResource(resource));
    QVERIFY(!expected.isEmpty());
    expected.replace(QLatin1Char('\t'), QStringLiteral("    "));
    expected = expected.trimmed();
    const QStringList shown = parsePage(readPage(QStringLiteral("index.html"))).codeTexts;
    QVERIFY2(shown.contains(expected), qPrintable(expected));
}

void DevDocPagesTest::pageMap()
{
    const QMap<QString, QString> expected = {{"api_reference", ":/devdoc/api-reference.html"},
                                             {"battery_manager", ":/devdoc/battery-manager.html"},
                                             {"components", ":/devdoc/components.html"},
                                             {"getting_started", ":/devdoc/index.html"},
                                             {"inputs_channels", ":/devdoc/inputs-channels.html"},
                                             {"telemetry", ":/devdoc/telemetry.html"}};
    QCOMPARE(DeveloperDocs::docsPageMap(), expected);
    for (const QString &path : expected)
        QVERIFY2(QFile::exists(path), qPrintable(path));
}

void DevDocPagesTest::mainText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");
    QTest::newRow("only main, entities decoded")
        << "<html><head><title>X</title></head><body><nav>Menu</nav><main><h1>T</h1>"
           "<p>a &amp; b &lt;c&gt;</p></main><footer>F</footer></body></html>"
        << "T\na & b <c>";
    QTest::newRow("main with attributes") << "<nav>N</nav><main id=\"m\"><p>x</p></main>"
                                          << "x";
    QTest::newRow("no main: whole page") << "<p>x</p><p>y</p>"
                                         << "x\ny";
    QTest::newRow("no closing tag: whole page") << "<header>H</header><main><p>x</p>"
                                                << "H\nx";
    QTest::newRow("closing tag first: whole page") << "<nav>N</nav></main><main><p>x</p>"
                                                   << "N\nx";
    QTest::newRow("blank lines squeezed to one") << "<main><p>a</p><br><br><br><br><p>b</p></main>"
                                                 << "a\n\nb";
    QTest::newRow("code keeps its indentation")
        << "<main><pre><code>Item {\n    x: 1\n}</code></pre></main>"
        << "Item {\n    x: 1\n}";
    QTest::newRow("list items on lines, ends trimmed")
        << "<main><ul><li>one</li><li>two</li></ul><p>   spaced   </p></main>"
        << "one\ntwo\nspaced";
}

void DevDocPagesTest::mainText()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(DeveloperDocs::mainText(html), text);
}

void DevDocPagesTest::pageText()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    const QString text = DeveloperDocs::mainText(QString::fromUtf8(readPage(file)));
    QVERIFY(text.startsWith(title + QLatin1Char('\n')));
    // Nothing of the frame around <main>: navigation, side list, footer, style sheet.
    QVERIFY(!text.contains(QStringLiteral("Developer Documentation")));
    QVERIFY(!text.contains(QStringLiteral("On this page")));
    QVERIFY(!text.contains(QStringLiteral("shipped with Kelo Studio")));
    QVERIFY(!text.contains(QStringLiteral("font-family")));
    QVERIFY(!text.contains(QRegularExpression(QStringLiteral("<[A-Za-z/!]"))));
    QVERIFY(!text.contains(QRegularExpression(QStringLiteral("&[a-z]+;"))));
    QVERIFY(!text.contains(QStringLiteral("\n\n\n")));
    QVERIFY(text.size() > 2000);
}

QTEST_MAIN(DevDocPagesTest)
#include "tst_devdocpages.moc"
