#pragma once

// The program's start-up: scale, application, theme, names, locale line, translator,
// then the main window's event loop. Returns its exec() result.
// onWindowBuilt, when given, runs once the main window exists (whole-program tests).
class TabDialog;
int keloMain(int argc, char **argv, void (*onWindowBuilt)(TabDialog *) = nullptr);
