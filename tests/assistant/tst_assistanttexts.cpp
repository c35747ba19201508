// The fixed texts every request to the AI service carries: the system prompt and the ten
// tool definitions. The model only knows the radio through them, so a lost name or a changed
// schema silently changes what it builds.
#include "AssistantTexts.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

using namespace AssistantTexts;

class AssistantTextsTest : public QObject
{
    Q_OBJECT
private slots:
    void promptShape();
    void promptNames_data();
    void promptNames();
    void promptNamesTheToolsInOrder();
    void toolSchemas_data();
    void toolSchemas();
    void fixedDescriptions_data();
    void fixedDescriptions();
    void writtenDescriptions_data();
    void writtenDescriptions();
    void readDocsNamesThePagesInOrder();
};

static QStringList paragraphs()
{
    return systemPrompt().split(QStringLiteral("\n\n"));
}

static bool isPlainAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c != QLatin1Char('\n') && (c.unicode() < 0x20 || c.unicode() > 0x7e))
            return false;
    }
    return true;
}

// Sentences end with a period followed by a space or the end of the text; "app.qml" does not
// end one.
static int sentenceCount(const QString &text)
{
    return text.count(QRegularExpression(QStringLiteral("\\.( |$)")));
}

static const QStringList toolNames
    = {"list_files",     "read_file",   "write_file",      "write_image",    "check_radio",
       "create_project", "run_project", "take_screenshot", "read_debug_log", "read_docs"};

void AssistantTextsTest::promptShape()
{
    const QString prompt = systemPrompt();
    QCOMPARE(prompt.size(), 10665);
    QVERIFY(isPlainAscii(prompt));
    QVERIFY(!prompt.contains(QStringLiteral("\n\n\n")));
    QCOMPARE(prompt.trimmed(), prompt);
    const QStringList parts = paragraphs();
    QCOMPARE(parts.size(), 15);
    for (const QString &p : parts) {
        QVERIFY2(!p.trimmed().isEmpty(), qPrintable(p));
        QCOMPARE(p.trimmed(), p);
    }
}

void AssistantTextsTest::promptNames_data()
{
    QTest::addColumn<int>("paragraph"); // 1-based
    QTest::addColumn<QString>("name");

    auto rows = [](int paragraph, const QStringList &names) {
        for (const QString &name : names)
            QTest::addRow("%d %s", paragraph, qPrintable(name)) << paragraph << name;
    };
    rows(1,
         {"Varnek System Kelo radio", "Kelo Studio", "Kelo Apps", "Varnek UI", "app.qml",
          "screen.qml", "Application", "Home Screen"});
    rows(2, {"\"application\""});
    rows(3, {"write_image", "SVG", "PNG", "JPG", "Rectangle", "Text", "icon.png", "64x64"});
    rows(4, {"check_radio, run_project and take_screenshot", "800x480"});
    rows(5,
         {"fullscreen_mode", "800x320", "40 px", "120 px", "320 px", "fullscreen_mode = true",
          "Component.onCompleted", "\"api_reference\""});
    rows(6, {"read_debug_log", "run_project"});
    rows(8,
         {"read_docs", "\"components\"", "\"telemetry\"", "\"api_reference\"",
          "\"getting_started\""});
    // The catalogue: every import path quoted as QML imports it, every component and property.
    rows(9,
         {"\"qrc:/qml/Item/Frame\"", "\"qrc:/qml/Item/Window\"", "\"qrc:/qml/Item/Button\"",
          "\"qrc:/qml/Item/CheckBox\"", "\"qrc:/qml/Item/Adjuster\"", "\"qrc:/qml/Item/Icon\"",
          "\"qrc:/qml/Item/Curve\"", "\"qrc:/qml/Item/Label\""});
    rows(9,
         {"GroupFrame", "DlgFrame", "TitleWindow", "TelemWindow", "ModelWindow", "DlgWindow",
          "OptWindow", "MenuButton", "DlgButton", "CheckBox", "Adjuster", "AdjusterFloat",
          "MenuIcon", "PanelIcon", "MdlTypeIcon", "Curve", "GlowingLabel", "Label",
          "QtQuick.Controls"});
    rows(9,
         {"text",         "48 px",        "y 50",        "15 px",     "200",       "titleText",
          "questionText", "onClickedYes", "onClickedNo", "list",      "ListModel", "onSelectedId",
          "onClicked",    "checked",      "onToggled",   "range_min", "range_max", "step",
          "postfix",      "onGetValue",   "onSetValue",  "decimals",  "iconText",  "iconPath",
          "action()",     "type",         "val_0",       "val_8",     "value",     "input",
          "color",        "font"});
    rows(10,
         {"font_size_16pt", "font_size_18pt", "font_size_20pt", "font_size_22pt", "font_size_24pt",
          "theme_font", "theme_frameopacity", "theme_frametitle", "theme_checkbox", "colorGlow",
          "system_lock", "mdl_cur_name", "stat_battery", "stat_signal"});
    rows(11,
         {"signalVibePulse(ms)", "osSoundEffect(id)", "signalAppsCfgLoad(name)",
          "signalAppsCfgSet(name, param, value)", "signalPowerOff", "signalUIRestart",
          "signalRFTest", "factory reset", "firmware-flashing"});
    rows(12,
         {"Keys.onPressed", "WASD", "input_ctrl", "LV/LH at indexes 2 and 3",
          "RV/RH at indexes 4 and 5", "cfgGet(118)", "(1 to 4)", "modes 2, 3 and 4", "Index 2",
          "\"inputs_channels\"", "TextField", "TextInput", "keyboardShow()", "keyboardHide()",
          "\"components\""});
    rows(13,
         {"Component.onCompleted", "Component.onDestruction", "signalTelemVarnek",
          "telem_varnek[3]", "telem_varnek 1 vibration, 3 rpm, 4 altitude, 5 pitch, 6 roll, 7 yaw",
          "telem_rx 3 signal %, 4 transmitter power %",
          "telem_gps 1 longitude, 2 latitude, 3 speed, 4 altitude, 5 heading, 6 satellites"});
    rows(14,
         {"import QtQuick 2.12\n", "import QtQuick.Controls 2.12\n",
          "import \"qrc:/qml/Item/Frame\"\n", "import \"qrc:/qml/Item/Window\"\n",
          "import \"qrc:/qml/Item/Button\"\n", "Item {", "property string name: \"My App\"",
          "GroupFrame {", "x: 30; y: 30; width: 740; height: 270", "Label {",
          "anchors.centerIn: frame", "color: \"white\"", "font.pixelSize: font_size_20pt",
          "text: \"Hello World!\""});
}

void AssistantTextsTest::promptNames()
{
    QFETCH(int, paragraph);
    QFETCH(QString, name);
    const QString text = paragraphs().value(paragraph - 1);
    QVERIFY2(text.contains(name),
             qPrintable(QStringLiteral("missing in paragraph %1: %2").arg(paragraph).arg(name)));
}

void AssistantTextsTest::promptNamesTheToolsInOrder()
{
    const QString tools = paragraphs().value(1);
    int from = 0;
    for (const QString &name : toolNames) {
        const int at = tools.indexOf(name, from);
        QVERIFY2(at >= 0, qPrintable(name));
        from = at + name.size();
    }
}

void AssistantTextsTest::toolSchemas_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("properties"); // name:type, in key order
    QTest::addColumn<QStringList>("required"); // in order

    const QStringList none;
    QTest::newRow("list_files") << 0 << "list_files" << none << none;
    QTest::newRow("read_file") << 1 << "read_file" << QStringList {"filename:string"}
                               << QStringList {"filename"};
    QTest::newRow("write_file") << 2 << "write_file"
                                << QStringList {"content:string", "filename:string"}
                                << QStringList {"filename", "content"};
    // width and height are optional: the back-end draws 256 x 256 without them.
    QTest::newRow("write_image") << 3 << "write_image"
                                 << QStringList {"filename:string", "height:integer", "svg:string",
                                                 "width:integer"}
                                 << QStringList {"filename", "svg"};
    QTest::newRow("check_radio") << 4 << "check_radio" << none << none;
    QTest::newRow("create_project")
        << 5 << "create_project" << QStringList {"name:string", "type:string"}
        << QStringList {"name", "type"};
    QTest::newRow("run_project") << 6 << "run_project" << none << none;
    QTest::newRow("take_screenshot") << 7 << "take_screenshot" << none << none;
    QTest::newRow("read_debug_log") << 8 << "read_debug_log" << none << none;
    // Last, so the request's cache mark always lands on it.
    QTest::newRow("read_docs") << 9 << "read_docs" << QStringList {"page:string"}
                               << QStringList {"page"};
}

void AssistantTextsTest::toolSchemas()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QStringList, properties);
    QFETCH(QStringList, required);

    const QJsonArray tools = toolDefinitions();
    QCOMPARE(tools.size(), 10);
    QVERIFY(tools.at(index).isObject());
    const QJsonObject tool = tools.at(index).toObject();
    QCOMPARE(tool.keys(), QStringList({"description", "input_schema", "name"}));
    QCOMPARE(tool.value("name").toString(), name);
    QVERIFY(tool.value("description").isString());

    // The service refuses a schema whose properties or required key is missing, so tools
    // without parameters carry an empty object and an empty array.
    QVERIFY(tool.value("input_schema").isObject());
    const QJsonObject schema = tool.value("input_schema").toObject();
    QCOMPARE(schema.keys(), QStringList({"properties", "required", "type"}));
    QCOMPARE(schema.value("type").toString(), QStringLiteral("object"));
    QVERIFY(schema.value("properties").isObject());
    QVERIFY(schema.value("required").isArray());

    QStringList gotProperties;
    const QJsonObject props = schema.value("properties").toObject();
    for (auto it = props.begin(); it != props.end(); ++it) {
        QVERIFY(it.value().isObject());
        const QJsonObject p = it.value().toObject();
        QCOMPARE(p.keys(), QStringList({"type"})); // no description, enum or default
        gotProperties << it.key() + QLatin1Char(':') + p.value("type").toString();
    }
    QCOMPARE(gotProperties, properties);

    QStringList gotRequired;
    for (const QJsonValue &r : schema.value("required").toArray()) {
        QVERIFY(r.isString());
        gotRequired << r.toString();
    }
    QCOMPARE(gotRequired, required);
}

void AssistantTextsTest::fixedDescriptions_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("description");
    QTest::newRow("read_file")
        << 1 << "Read the full current contents of a file in the currently open project.";
    QTest::newRow("write_file")
        << 2
        << "Create or overwrite a .qml file in the currently open project with the given content, "
           "writing straight to disk. If that file is open in the editor its content updates "
           "immediately (shown there as unsaved changes, same as any manual edit). Always pass "
           "the file's complete new content, never a diff or partial snippet.";
    QTest::newRow("write_image")
        << 3
        << "Create or overwrite an image file in the currently open project by giving its "
           "complete SVG source, which is rendered to a real PNG/JPG and written to disk - "
           "there's no way to invent raster pixels directly, so draw it as SVG "
           "shapes/paths/gradients/text instead. Use exactly the filename \"icon.png\" for the "
           "project's own launcher icon (always rendered at a fixed 64x64 regardless of "
           "width/height passed here); any other .png or .jpg filename is a regular project "
           "image at the size you specify, referenceable from QML the same way any Add Image "
           "file is.";
    QTest::newRow("run_project")
        << 6
        << "Save, package, upload, and execute the currently open project on the connected radio "
           "- an Application launches immediately, a Home Screen becomes the radio's home screen "
           "immediately (rather than only the next time the pilot happens to navigate back to "
           "it). Requires a radio connection - call check_radio first if unsure.";
    QTest::newRow("take_screenshot")
        << 7
        << "Capture what the radio's screen is currently showing, as an image, so you can "
           "visually check the result of run_project actually looks and works as intended. "
           "Requires a radio connection.";
    QTest::newRow("read_debug_log")
        << 8
        << "Read whatever the radio has sent to its own debug/log output since the Debug terminal "
           "last connected - real runtime messages from the radio itself (errors, warnings, "
           "whatever the QML engine or the rest of the firmware logs), already filtered to drop "
           "routine per-request bookkeeping. Opens/connects the Debug terminal automatically if "
           "it wasn't already. If it just connected for the first time there may be nothing "
           "captured yet - call run_project, then call this again to see what that run produced. "
           "Requires a radio connection.";
}

void AssistantTextsTest::fixedDescriptions()
{
    QFETCH(int, index);
    QFETCH(QString, description);
    QCOMPARE(toolDefinitions().at(index).toObject().value("description").toString(), description);
}

void AssistantTextsTest::writtenDescriptions_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("sentences"); // 0 = not fixed
    QTest::addColumn<QStringList>("mentions");

    QTest::newRow("list_files") << 0 << 149 << 1
                                << QStringList {"Kelo Studio", "editor", "unsaved changes"};
    QTest::newRow("check_radio") << 4 << 212 << 2
                                 << QStringList {"Kelo radio", "local network", "IP address",
                                                 "model name", "run_project",   "take_screenshot"};
    QTest::newRow("create_project")
        << 5 << 531 << 0
        << QStringList {"Kelo Studio",    "Create Project", "\"application\"", "app.qml",
                        "icon.png",       "version",        "\"home_screen\"", "screen.qml",
                        "already exists", "empty",          "16 characters",   "list_files",
                        "read_file",      "write_file"};
    QTest::newRow("read_docs") << 9 << 1761 << 0
                               << QStringList {"Kelo Studio",
                                               "Developer Documentation",
                                               "qrc:/qml/Item/",
                                               "TextField",
                                               "keyboardShow()",
                                               "keyboardHide()",
                                               "fullscreen_mode",
                                               "input_ctrl",
                                               "input_list",
                                               "chan_list",
                                               "percent",
                                               "battery_list",
                                               "ListModel",
                                               "battery_current",
                                               "battery_current_id",
                                               "signalBatteryList()"};
}

void AssistantTextsTest::writtenDescriptions()
{
    QFETCH(int, index);
    QFETCH(int, length);
    QFETCH(int, sentences);
    QFETCH(QStringList, mentions);
    const QString text = toolDefinitions().at(index).toObject().value("description").toString();
    QCOMPARE(text.size(), length);
    QVERIFY(isPlainAscii(text));
    QVERIFY(!text.contains(QLatin1Char('\n')));
    QCOMPARE(text.trimmed(), text);
    if (sentences > 0)
        QCOMPARE(sentenceCount(text), sentences);
    for (const QString &m : mentions)
        QVERIFY2(text.contains(m), qPrintable(m));
}

void AssistantTextsTest::readDocsNamesThePagesInOrder()
{
    const QString text = toolDefinitions().at(9).toObject().value("description").toString();
    int from = 0;
    for (const char *page : {"getting_started", "components", "telemetry", "api_reference",
                             "inputs_channels", "battery_manager"}) {
        const QString quoted = QStringLiteral("\"%1\"").arg(QLatin1String(page));
        const int at = text.indexOf(quoted, from);
        QVERIFY2(at >= 0, page);
        from = at + quoted.size();
    }
}

QTEST_APPLESS_MAIN(AssistantTextsTest)
#include "tst_assistanttexts.moc"
