#pragma once

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

// The program's one style of a primary (blue, pill-shaped) push button.
QString primaryButtonStyleSheet();
} // namespace Theme
