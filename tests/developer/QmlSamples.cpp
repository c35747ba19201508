#include "QmlSamples.h"

#include <QRandomGenerator>
#include <QStringList>

namespace QmlSamples {

QString realistic(int lines)
{
    static const QStringList unit = {
        "import QtQuick 2.15",
        "import QtQuick.Controls 2.15",
        "",
        "/* The status card of the model: battery, timer",
        "   and the last telemetry values. */",
        "Item {",
        "    id: root",
        "    width: 480; height: 272",
        "    property int counter: 0",
        "    property real voltage: 12.4",
        "    property string title: \"Heli 700 // main\"",
        "    readonly property color accent: '#0a84ff'",
        "    signal tapped(int x, int y)",
        "",
        "    function format(value) {",
        "        if (value === undefined || value === null)",
        "            return \"--\" // nothing yet",
        "        var text = value.toFixed(1) + \" V\"",
        "        return text",
        "    }",
        "",
        "    Rectangle {",
        "        id : card",
        "        anchors.fill: parent",
        "        color: \"#1e1e1e\"; radius: 6",
        "        Text { text: root.format(root.voltage); color: \"white\"; font.pixelSize: 24 }",
        "        MouseArea { anchors.fill: parent; onClicked: root.tapped(mouse.x, mouse.y) }",
        "    }",
        "    Timer { interval: 500; running: true; repeat: true; onTriggered: root.counter++ }",
        "}",
    };
    QString text;
    text.reserve(lines * 32);
    for (int i = 0; i < lines; ++i) {
        text += unit.at(i % unit.size());
        if (i + 1 < lines)
            text += QLatin1Char('\n');
    }
    return text;
}

QString adversarial(int lines, quint32 seed)
{
    static const QStringList pieces = {"import",
                                       "property",
                                       "Component",
                                       "component",
                                       "Item",
                                       "Items",
                                       "xItem",
                                       "Item_",
                                       "_if",
                                       "if1",
                                       "in",
                                       "of",
                                       "as",
                                       "this",
                                       "typeof",
                                       "ColumnLayout",
                                       "list",
                                       "url",
                                       "id",
                                       "id:",
                                       "id :",
                                       "id\t:",
                                       "myid:",
                                       "_id:",
                                       "9id:",
                                       "id\u00a0:",
                                       "id\u000b:",
                                       "id\u0085:",
                                       ".id:",
                                       "(id):",
                                       "1.5",
                                       "10px",
                                       "x1",
                                       "0x1F",
                                       "-3",
                                       "1.",
                                       "1.x",
                                       "1.5.3",
                                       "1.5px",
                                       "12_3",
                                       "007",
                                       "3.14159",
                                       "\u0663",
                                       "1\u00e9",
                                       "\u00e91",
                                       "\"",
                                       "'",
                                       "\"a\"",
                                       "'b'",
                                       "\"it's\"",
                                       "'say \"hi\"'",
                                       "\"//\"",
                                       "'/*'",
                                       "\"*/\"",
                                       "//",
                                       "/*",
                                       "*/",
                                       "/*/",
                                       "*/*",
                                       "/**/",
                                       "///",
                                       "/",
                                       "*",
                                       ":",
                                       ";",
                                       "{",
                                       "}",
                                       "(",
                                       ")",
                                       ".",
                                       ",",
                                       " ",
                                       "  ",
                                       "\t",
                                       "\u00a0",
                                       "\u2003",
                                       "\u00e9t\u00e9",
                                       "\u00c9l\u00e9ment",
                                       "\u6587\u5b57",
                                       "\U0001F600",
                                       "if\U0001F600",
                                       "\U0001F600if",
                                       "true",
                                       "false",
                                       "null",
                                       "undefined",
                                       "readonly",
                                       "required",
                                       "enum",
                                       "Flickable",
                                       "TextEdit",
                                       "\\",
                                       "\\\"",
                                       "\r",
                                       "\f"};
    QRandomGenerator random(seed);
    QString text;
    for (int i = 0; i < lines; ++i) {
        const int count = random.bounded(0, 14);
        for (int p = 0; p < count; ++p)
            text += pieces.at(random.bounded(pieces.size()));
        if (i + 1 < lines)
            text += QLatin1Char('\n');
    }
    return text;
}

} // namespace QmlSamples
