#pragma once

#include "Theme.h"

#include <QString>

class QApplication;


// The application-wide style sheet, placeholders filled.
QString appStyleSheet();

// Fusion style, dark palette, font family list and style sheet; once, before any window.
void applyAppTheme(QApplication &app);
