#pragma once

#include <QDateTime>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVector>

// The demo radio's pictures, drawn rather than stored: its images, app icons and screen.
// Drawing text needs a QGuiApplication (any platform, "offscreen" will do).
namespace DemoPictures {

// The radio's screen size, in pixels.
inline constexpr int ScreenWidth = 800;
inline constexpr int ScreenHeight = 480;

// The 490x195 pictures the radio starts with, by file name.
QVector<QPair<QString, QImage>> images();

// A 64x64 icon for one of the demo apps (by name); unknown names get their initial.
QImage appIcon(const QString &appName);

struct Tile
{
    QString name;
    QImage icon;
};

struct Screen
{
    QDateTime now;
    qint64 uptimeMs = 0; // since the radio was switched on
    QString model;
    QVector<Tile> apps; // the home screen's tiles
    QString homeScreen; // the applied home-screen package, empty for the standard one
    QString runningApp; // empty on the home screen
    QImage runningIcon;
    QString runningVersion;
    qint64 runningMs = 0; // since the app started
    QVector<QPoint> trail; // the positions of the last touch, press first
    bool touching = false; // pressed and not yet released
    qint64 sinceTouchMs = -1; // since the last touch event; -1 for none
};

QImage screen(const Screen &state);

// Where a press starts an app (tile index) or leaves it (the back button).
int tileAt(const QPoint &pos, int tileCount);
QRect backButton();

} // namespace DemoPictures
