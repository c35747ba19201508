#include "Theme.h"

QString Theme::primaryButtonStyleSheet()
{
    return QStringLiteral(
        "QPushButton { background-color: #0a84ff; color: white; border: none; border-radius: "
        "22px; padding: 8px 28px; }"
        "QPushButton:hover { background-color: #3d9fff; }"
        "QPushButton:pressed { background-color: #086ad1; }");
}
