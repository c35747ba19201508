#pragma once

#include <QLatin1String>
#include <QString>

// The assistant's ten tools by name: the one table the tool definitions, the bubbles and the
// tab that carries the calls out all read, so a renamed tool cannot fall through to "Unknown
// tool" in one of them.
namespace AssistantToolNames {

enum class Tool {
    ListFiles,
    ReadFile,
    WriteFile,
    WriteImage,
    CheckRadio,
    CreateProject,
    RunProject,
    TakeScreenshot,
    ReadDebugLog,
    ReadDocs,
    Unknown
};

inline constexpr QLatin1String ListFiles("list_files");
inline constexpr QLatin1String ReadFile("read_file");
inline constexpr QLatin1String WriteFile("write_file");
inline constexpr QLatin1String WriteImage("write_image");
inline constexpr QLatin1String CheckRadio("check_radio");
inline constexpr QLatin1String CreateProject("create_project");
inline constexpr QLatin1String RunProject("run_project");
inline constexpr QLatin1String TakeScreenshot("take_screenshot");
inline constexpr QLatin1String ReadDebugLog("read_debug_log");
inline constexpr QLatin1String ReadDocs("read_docs");

// In the order the tools are offered to the model; indexed by Tool.
inline constexpr QLatin1String Names[]
    = {ListFiles,     ReadFile,   WriteFile,      WriteImage,   CheckRadio,
       CreateProject, RunProject, TakeScreenshot, ReadDebugLog, ReadDocs};
inline constexpr int Count = int(sizeof(Names) / sizeof(Names[0]));
static_assert(Count == int(Tool::Unknown), "every tool has its name");

// The tool of that exact name (letter case and spaces count); Unknown for any other.
inline Tool toolNamed(const QString &name)
{
    for (int i = 0; i < Count; ++i) {
        if (name == Names[i])
            return Tool(i);
    }
    return Tool::Unknown;
}

} // namespace AssistantToolNames
