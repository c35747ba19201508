#include "Theme.h"

QColor Theme::withAlpha(const char *colour, int alpha)
{
    QColor color(colour);
    color.setAlpha(alpha);
    return color;
}

QString Theme::primaryButtonStyleSheet()
{
    return QStringLiteral(
               "QPushButton { background-color: %1; color: white; border: none; border-radius: "
               "22px; padding: 8px 28px; }"
               "QPushButton:hover { background-color: %2; }"
               "QPushButton:pressed { background-color: %3; }")
        .arg(Accent, AccentHover, AccentPressed);
}

QString Theme::secondaryTextStyleSheet()
{
    return QStringLiteral("color: %1;").arg(SecondaryText);
}

QString Theme::editorStyleSheet()
{
    return QStringLiteral("background-color: %1; color: %2; border: 1px solid %3; "
                          "border-radius: 6px;")
        .arg(Window, Text, Border);
}

QString Theme::imageFrameStyleSheet()
{
    return QStringLiteral("background: %1; border: 1px solid %2; border-radius: 6px;")
        .arg(ImageBackground, Border);
}

QString Theme::pageStyleSheet(const QString &objectName)
{
    return QStringLiteral("#%1 { background: %2; }").arg(objectName, Window);
}

QString Theme::cardStyleSheet(const QString &objectName)
{
    return QStringLiteral("#%1 { background: %2; border: 1px solid %3; border-radius: 16px; }")
        .arg(objectName, Base, Border);
}

QString Theme::iconBadgeStyleSheet()
{
    const QColor accent(Accent);
    const QString rgb
        = QStringLiteral("%1, %2, %3").arg(accent.red()).arg(accent.green()).arg(accent.blue());
    return QStringLiteral("background: rgba(%1, 40); border: 1px solid rgba(%1, 90); "
                          "border-radius: 44px;")
        .arg(rgb);
}
