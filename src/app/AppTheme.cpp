#include "AppTheme.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QStyleFactory>

static const char *const StyleTemplate
    = "QToolTip { background-color: %2; color: %1; border: 1px solid %3; padding: 4px 6px; "
      "border-radius: 4px; }\n"
      "QTabWidget::pane { border: 1px solid %3; border-radius: 6px; left: -1px; background: %5; }\n"
      "QTabBar::tab { background: %2; color: %4; padding: 6px 18px; border: 1px solid %3; "
      "border-right: none; border-top-left-radius: 6px; border-bottom-left-radius: 6px; "
      "margin-bottom: 2px; }\n"
      "QTabBar::tab:selected { background: %5; color: %1; }\n"
      "QTabBar::tab:hover:!selected { background: %6; }\n"
      "QPushButton { background-color: %2; color: %1; border: 1px solid %3; border-radius: 6px; "
      "padding: 6px 14px; }\n"
      "QPushButton:hover { background-color: %6; }\n"
      "QPushButton:pressed { background-color: %7; color: white; border-color: %7; }\n"
      "QPushButton:disabled { color: %4; background-color: %5; }\n"
      "QListWidget, QTableWidget, QTableView { background-color: %5; "
      "alternate-background-color: %8; border: 1px solid %3; border-radius: 6px; }\n"
      "QHeaderView::section { background-color: %2; color: %4; border: none; "
      "border-bottom: 1px solid %3; padding: 4px 6px; }\n"
      "QScrollBar:vertical { background: transparent; width: 11px; margin: 0; }\n"
      "QScrollBar::handle:vertical { background: %9; border-radius: 5px; min-height: 24px; }\n"
      "QScrollBar::handle:vertical:hover { background: %6; }\n"
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }\n"
      "QScrollBar:horizontal { background: transparent; height: 11px; margin: 0; }\n"
      "QScrollBar::handle:horizontal { background: %9; border-radius: 5px; min-width: 24px; }\n"
      "QScrollBar::handle:horizontal:hover { background: %6; }\n"
      "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }\n"
      "QListView { padding: 6px 2px; }\n"
      "QListView::item { padding: 3px 2px; }\n"
      "QListView::indicator { width: 16px; height: 16px; }\n"
      "QListView::indicator:unchecked { image: url(:/icons/checkbox-unchecked.svg); }\n"
      "QListView::indicator:checked { image: url(:/icons/checkbox-checked.svg); }\n";

QString appStyleSheet()
{
    // One pass, so a filled-in value can never be taken for a placeholder.
    const QString values[]
        = {Theme::Text,  Theme::Button, Theme::Border,    Theme::SecondaryText, Theme::Window,
           Theme::Hover, Theme::Accent, Theme::Alternate, Theme::ScrollHandle};
    const QString tmpl = QString::fromLatin1(StyleTemplate);
    QString out;
    out.reserve(tmpl.size() + 64);
    for (int i = 0; i < tmpl.size(); ++i) {
        const QChar c = tmpl.at(i);
        if (c == QLatin1Char('%') && i + 1 < tmpl.size() && tmpl.at(i + 1) >= QLatin1Char('1')
            && tmpl.at(i + 1) <= QLatin1Char('9')) {
            out += values[tmpl.at(i + 1).unicode() - '1'];
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void applyAppTheme(QApplication &app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QPalette palette;
    auto all = [&palette](QPalette::ColorRole role, const QColor &color) {
        palette.setBrush(QPalette::All, role, QBrush(color));
    };
    all(QPalette::Window, QColor(Theme::Window));
    all(QPalette::WindowText, QColor(Theme::Text));
    all(QPalette::Base, QColor(Theme::Base));
    all(QPalette::AlternateBase, QColor(Theme::Alternate));
    all(QPalette::ToolTipBase, QColor(Theme::Button));
    all(QPalette::ToolTipText, QColor(Theme::Text));
    all(QPalette::Text, QColor(Theme::Text));
    all(QPalette::Button, QColor(Theme::Button));
    all(QPalette::ButtonText, QColor(Theme::Text));
    all(QPalette::BrightText, QColor(Theme::BrightText));
    all(QPalette::Link, QColor(Theme::Accent));
    all(QPalette::LinkVisited, QColor(Theme::Accent));
    all(QPalette::Highlight, QColor(Theme::Accent));
    all(QPalette::HighlightedText, QColor(Qt::white));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setBrush(QPalette::Disabled, role, QBrush(QColor(Theme::SecondaryText)));
    app.setPalette(palette);

    QFont font;
    font.setFamilies({QStringLiteral("SF Pro Text"), QStringLiteral("Helvetica Neue"),
                      QStringLiteral("Segoe UI"), QStringLiteral("Noto Sans"),
                      QStringLiteral("Cantarell"), QStringLiteral("Ubuntu"),
                      QStringLiteral("Arial")});
    app.setFont(font);

    app.setStyleSheet(appStyleSheet());
}
