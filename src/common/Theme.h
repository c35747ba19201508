#pragma once

#include <QColor>
#include <QString>

// The theme colours, for every style sheet of the program.
namespace Theme {
inline const char *const Window = "#1e1e1e";
inline const char *const Base = "#232325";
inline const char *const Alternate = "#2a2a2c";
inline const char *const Button = "#3a3a3c";
inline const char *const Hover = "#454547";
inline const char *const Border = "#3f3f42";
inline const char *const Text = "#eaeaea";
inline const char *const SecondaryText = "#b0b0b6";
inline const char *const Accent = "#0a84ff";
inline const char *const AccentHover = "#3d9fff";
inline const char *const AccentPressed = "#086ad1";
// Placeholders, line numbers and plot axes: quieter than SecondaryText.
inline const char *const MutedText = "#8c8c92";
// Behind images, previews and the 3D model, darker than the window.
inline const char *const ImageBackground = "#141414";
inline const char *const ScrollHandle = "#545456";
inline const char *const BrightText = "#ff453a";

// A theme colour seen through: overlays on plots and tables.
QColor withAlpha(const char *colour, int alpha);

// The program's one style of a primary (blue, pill-shaped) push button.
QString primaryButtonStyleSheet();
// Grey text beside the main text: subtitles, notes, status lines.
QString secondaryTextStyleSheet();
// A field the user types or reads code in.
QString editorStyleSheet();
// The frame around a radio's screen or an image preview.
QString imageFrameStyleSheet();
// A tab's welcome page, and the card in its middle, by object name.
QString pageStyleSheet(const QString &objectName);
QString cardStyleSheet(const QString &objectName);
// The round, accent-tinted badge behind a welcome page's icon.
QString iconBadgeStyleSheet();
} // namespace Theme
