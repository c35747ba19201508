#include "AssistantTexts.h"

#include <QJsonObject>

namespace AssistantTexts {

QString systemPrompt()
{
    // Written in full by the assistant's prompt work; the request code only needs its shape.
    return QStringLiteral("You write QML apps for the Kelo radio in Kelo Studio.");
}

static QJsonObject toolDefinition(const QString &name, const QString &description,
                                  const QJsonObject &properties, const QJsonArray &required)
{
    QJsonObject schema;
    schema.insert(QStringLiteral("type"), QStringLiteral("object"));
    schema.insert(QStringLiteral("properties"), properties);
    schema.insert(QStringLiteral("required"), required);
    QJsonObject tool;
    tool.insert(QStringLiteral("name"), name);
    tool.insert(QStringLiteral("description"), description);
    tool.insert(QStringLiteral("input_schema"), schema);
    return tool;
}

QJsonArray toolDefinitions()
{
    const QJsonObject stringType {{QStringLiteral("type"), QStringLiteral("string")}};
    const QJsonObject integerType {{QStringLiteral("type"), QStringLiteral("integer")}};

    QJsonArray tools;
    tools.append(toolDefinition(
        QStringLiteral("list_files"),
        QStringLiteral("Lists the source files of the project open in Kelo Studio."), {}, {}));
    tools.append(toolDefinition(
        QStringLiteral("read_file"),
        QStringLiteral("Read the full current contents of a file in the currently open project."),
        {{QStringLiteral("filename"), stringType}}, {QStringLiteral("filename")}));
    tools.append(toolDefinition(
        QStringLiteral("write_file"),
        QStringLiteral(
            "Create or overwrite a .qml file in the currently open project with the given "
            "content, writing straight to disk. If that file is open in the editor its "
            "content updates immediately (shown there as unsaved changes, same as any "
            "manual edit). Always pass the file's complete new content, never a diff or "
            "partial snippet."),
        {{QStringLiteral("filename"), stringType}, {QStringLiteral("content"), stringType}},
        {QStringLiteral("filename"), QStringLiteral("content")}));
    tools.append(toolDefinition(
        QStringLiteral("write_image"),
        QStringLiteral(
            "Create or overwrite an image file in the currently open project by giving its "
            "complete SVG source, which is rendered to a real PNG/JPG and written to disk - "
            "there's no way to invent raster pixels directly, so draw it as SVG "
            "shapes/paths/gradients/text instead. Use exactly the filename \"icon.png\" for "
            "the project's own launcher icon (always rendered at a fixed 64x64 regardless "
            "of width/height passed here); any other .png or .jpg filename is a regular "
            "project image at the size you specify, referenceable from QML the same way "
            "any Add Image file is."),
        {{QStringLiteral("filename"), stringType},
         {QStringLiteral("svg"), stringType},
         {QStringLiteral("width"), integerType},
         {QStringLiteral("height"), integerType}},
        {QStringLiteral("filename"), QStringLiteral("svg")}));
    tools.append(toolDefinition(QStringLiteral("check_radio"),
                                QStringLiteral("Checks whether a Kelo radio is reachable."), {},
                                {}));
    tools.append(
        toolDefinition(QStringLiteral("create_project"),
                       QStringLiteral("Creates a new Kelo Studio project and opens it."),
                       {{QStringLiteral("name"), stringType}, {QStringLiteral("type"), stringType}},
                       {QStringLiteral("name"), QStringLiteral("type")}));
    tools.append(toolDefinition(
        QStringLiteral("run_project"),
        QStringLiteral(
            "Save, package, upload, and execute the currently open project on the "
            "connected radio - an Application launches immediately, a Home Screen becomes "
            "the radio's home screen immediately (rather than only the next time the pilot "
            "happens to navigate back to it). Requires a radio connection - call "
            "check_radio first if unsure."),
        {}, {}));
    tools.append(toolDefinition(
        QStringLiteral("take_screenshot"),
        QStringLiteral(
            "Capture what the radio's screen is currently showing, as an image, so you can "
            "visually check the result of run_project actually looks and works as "
            "intended. Requires a radio connection."),
        {}, {}));
    tools.append(toolDefinition(
        QStringLiteral("read_debug_log"),
        QStringLiteral(
            "Read whatever the radio has sent to its own debug/log output since the Debug "
            "terminal last connected - real runtime messages from the radio itself "
            "(errors, warnings, whatever the QML engine or the rest of the firmware logs), "
            "already filtered to drop routine per-request bookkeeping. Opens/connects the "
            "Debug terminal automatically if it wasn't already. If it just connected for "
            "the first time there may be nothing captured yet - call run_project, then "
            "call this again to see what that run produced. Requires a radio connection."),
        {}, {}));
    tools.append(
        toolDefinition(QStringLiteral("read_docs"),
                       QStringLiteral("Reads one page of Kelo Studio's developer documentation."),
                       {{QStringLiteral("page"), stringType}}, {QStringLiteral("page")}));
    return tools;
}

} // namespace AssistantTexts
