#include "DemoPictures.h"

#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <functional>

namespace DemoPictures {

namespace {

const QColor Accent(0x0a, 0x84, 0xff);
constexpr int MaxTiles = 6;

QRect tileRect(int index)
{
    return QRect(16 + index * 128, 330, 120, 132);
}

QFont font(int pixels, int weight = QFont::Normal)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setWeight(weight);
    // Whole-pixel glyph positions: the same screen renders to the same pixels every time.
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// A side view of a helicopter, nose to the right, in a box of w x about w/2.
void drawHelicopter(QPainter &p, const QPointF &at, qreal w, const QColor &color)
{
    p.save();
    p.translate(at);
    p.scale(w / 100.0, w / 100.0);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    QPainterPath body;
    body.moveTo(40, 22);
    body.cubicTo(62, 14, 86, 18, 92, 30);
    body.cubicTo(95, 38, 86, 44, 66, 44);
    body.lineTo(46, 44);
    body.cubicTo(40, 44, 36, 38, 36, 32);
    body.closeSubpath();
    p.drawPath(body);
    p.drawRect(QRectF(2, 27, 40, 5)); // tail boom
    QPainterPath fin;
    fin.moveTo(0, 16);
    fin.lineTo(8, 16);
    fin.lineTo(10, 32);
    fin.lineTo(2, 32);
    fin.closeSubpath();
    p.drawPath(fin);
    p.drawRect(QRectF(60, 10, 4, 10)); // mast
    p.drawRoundedRect(QRectF(14, 6, 96, 4), 2, 2); // main rotor
    p.drawRect(QRectF(50, 44, 3, 8)); // skid struts
    p.drawRect(QRectF(76, 44, 3, 8));
    p.drawRoundedRect(QRectF(42, 51, 46, 3), 1.5, 1.5);
    p.setBrush(QColor(255, 255, 255, 60));
    QPainterPath canopy;
    canopy.moveTo(74, 21);
    canopy.cubicTo(84, 21, 89, 26, 90, 31);
    canopy.lineTo(76, 31);
    canopy.closeSubpath();
    p.drawPath(canopy);
    p.restore();
}

void drawCaption(QPainter &p, const QRect &area, const QString &text)
{
    p.setFont(font(30, QFont::Bold));
    p.setPen(QColor(0, 0, 0, 110));
    p.drawText(area.translated(2, 2), Qt::AlignLeft | Qt::AlignBottom, text);
    p.setPen(Qt::white);
    p.drawText(area, Qt::AlignLeft | Qt::AlignBottom, text);
}

// A 490x195 picture: a sky of the gradient's colours down to skyHeight, then the scene.
QImage banner(const QGradientStops &skyColours, int skyHeight,
              const std::function<void(QPainter &)> &scene)
{
    QImage image(490, 195, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, skyHeight);
    sky.setStops(skyColours);
    p.fillRect(QRect(0, 0, 490, skyHeight), sky);
    scene(p);
    return image;
}

void sunsetScene(QPainter &p)
{
    QRadialGradient sun(QPointF(350, 150), 60);
    sun.setColorAt(0, QColor(255, 236, 170));
    sun.setColorAt(0.5, QColor(255, 200, 110, 200));
    sun.setColorAt(1, QColor(255, 160, 80, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(350, 150), 60, 60);
    QPainterPath hills;
    hills.moveTo(0, 195);
    for (int x = 0; x <= 490; x += 10)
        hills.lineTo(x, 160 - 14 * std::sin(x / 55.0) - 8 * std::sin(x / 17.0 + 1));
    hills.lineTo(490, 195);
    p.setBrush(QColor("#1b0f2e"));
    p.drawPath(hills);
    drawHelicopter(p, QPointF(250, 40), 150, QColor("#140a22"));
    drawCaption(p, QRect(20, 0, 300, 180), QStringLiteral("Heli 450"));
}

void fieldScene(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    for (const QPointF c :
         {QPointF(90, 40), QPointF(115, 34), QPointF(140, 42), QPointF(380, 30), QPointF(402, 25)})
        p.drawEllipse(c, 24, 12);
    p.fillRect(QRect(0, 105, 490, 90), QColor("#4c9a2a"));
    for (int i = 0; i < 6; ++i) // mown stripes
        p.fillRect(QRect(0, 105 + i * 16, 490, 8), QColor(255, 255, 255, 14));
    QPolygonF strip({QPointF(205, 105), QPointF(285, 105), QPointF(400, 195), QPointF(90, 195)});
    p.setBrush(QColor("#b9a77a"));
    p.drawPolygon(strip);
    p.setBrush(QColor("#2f5e1a"));
    for (int i = 0; i < 9; ++i)
        p.drawEllipse(QPointF(10 + i * 58 + (i % 2) * 12, 100 - (i % 3) * 3), 18, 14);
    drawHelicopter(p, QPointF(300, 40), 110, QColor("#d8332f"));
    drawCaption(p, QRect(20, 0, 300, 185), QStringLiteral("Club field"));
}

void nightScene(QPainter &p)
{
    p.setPen(Qt::NoPen);
    quint32 seed = 17;
    for (int i = 0; i < 70; ++i) { // a fixed sky, the same in every run
        seed = seed * 1103515245u + 12345u;
        const int x = int(seed >> 8) % 490;
        seed = seed * 1103515245u + 12345u;
        const int y = int(seed >> 8) % 150;
        p.setBrush(QColor(255, 255, 255, 90 + int(seed >> 24) % 160));
        p.drawEllipse(QPointF(x, y), 1.1, 1.1);
    }
    p.setBrush(QColor("#f4f1d0"));
    p.drawEllipse(QPointF(420, 45), 22, 22);
    p.setBrush(QColor("#020617"));
    p.drawEllipse(QPointF(430, 38), 20, 20);
    QPainterPath trail;
    trail.moveTo(20, 150);
    trail.cubicTo(120, 40, 200, 180, 300, 90);
    for (const auto &[color, dy] : {std::pair<QColor, int> {QColor("#00e5ff"), 0},
                                    std::pair<QColor, int> {QColor("#ff2bd6"), 8}}) {
        p.setPen(QPen(color, 3));
        p.setBrush(Qt::NoBrush);
        p.drawPath(trail.translated(0, dy));
    }
    p.setPen(Qt::NoPen);
    drawHelicopter(p, QPointF(290, 60), 120, QColor("#0b1020"));
    p.setBrush(QColor("#00e5ff"));
    p.drawEllipse(QPointF(400, 96), 4, 4);
    drawCaption(p, QRect(20, 0, 300, 185), QStringLiteral("Night flight"));
}

QColor appColor(const QString &name)
{
    if (name == QLatin1String("Clock"))
        return QColor("#0a84ff");
    if (name == QLatin1String("Flight Timer"))
        return QColor("#ff9f0a");
    if (name == QLatin1String("Telemetry"))
        return QColor("#30d158");
    if (name == QLatin1String("Battery Check"))
        return QColor("#ff453a");
    if (name == QLatin1String("Lap Counter"))
        return QColor("#bf5af2");
    return QColor::fromHsv(int(qHash(name) % 360), 150, 200);
}

void drawClockFace(QPainter &p, const QPointF &c, qreal r, const QTime &t, const QColor &ink,
                   bool seconds)
{
    p.setPen(QPen(ink, r / 9));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    for (int i = 0; i < 12 && r > 40; ++i) {
        const qreal a = i * M_PI / 6;
        p.setPen(QPen(ink, i % 3 == 0 ? 4 : 2));
        p.drawLine(c + QPointF(std::sin(a), -std::cos(a)) * r * 0.82,
                   c + QPointF(std::sin(a), -std::cos(a)) * r * 0.92);
    }
    auto hand = [&](qreal turns, qreal length, qreal width) {
        const qreal a = turns * 2 * M_PI;
        p.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c, c + QPointF(std::sin(a), -std::cos(a)) * length);
    };
    const qreal sec = t.second() + t.msec() / 1000.0;
    hand((t.hour() % 12 + t.minute() / 60.0) / 12.0, r * 0.5, r / 8);
    hand((t.minute() + sec / 60.0) / 60.0, r * 0.75, r / 12);
    if (seconds) {
        p.setPen(QPen(QColor("#ff9f0a"), 2));
        const qreal a = sec / 60.0 * 2 * M_PI;
        p.drawLine(c, c + QPointF(std::sin(a), -std::cos(a)) * r * 0.85);
    }
}

void drawStatusBar(QPainter &p, const Screen &s)
{
    p.fillRect(QRect(0, 0, ScreenWidth, 44), QColor("#0b0f14"));
    p.setPen(QColor("#eaeaea"));
    p.setFont(font(20, QFont::Bold));
    p.drawText(QRect(16, 0, 300, 44), Qt::AlignVCenter | Qt::AlignLeft, s.model);
    p.setFont(font(20));
    p.drawText(QRect(0, 0, ScreenWidth, 44), Qt::AlignCenter,
               s.now.toString(QStringLiteral("HH:mm")));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#30d158"));
    for (int i = 0; i < 4; ++i) // link bars
        p.drawRect(QRect(660 + i * 8, 30 - i * 5, 5, 6 + i * 5));
    p.setPen(QColor("#eaeaea"));
    p.setFont(font(18));
    const double tx = 8.1 - s.now.time().msecsSinceStartOfDay() % 3600000 / 3600000.0 * 0.6;
    p.drawText(QRect(700, 0, 90, 44), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("%1 V").arg(tx, 0, 'f', 1));
}

void drawTiles(QPainter &p, const Screen &s)
{
    for (int i = 0; i < s.apps.size() && i < MaxTiles; ++i) {
        const QRect r = tileRect(i);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 18));
        p.drawRoundedRect(r, 14, 14);
        if (!s.apps[i].icon.isNull())
            p.drawImage(QRect(r.x() + 28, r.y() + 14, 64, 64), s.apps[i].icon);
        p.setPen(QColor("#eaeaea"));
        p.setFont(font(15));
        p.drawText(QRect(r.x() + 4, r.y() + 86, r.width() - 8, 40),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, s.apps[i].name);
    }
}

void drawHome(QPainter &p, const Screen &s)
{
    if (!s.homeScreen.isEmpty()) {
        QLinearGradient g(0, 44, 800, 480);
        g.setColorAt(0, QColor("#3a1c71"));
        g.setColorAt(0.5, QColor("#d76d77"));
        g.setColorAt(1, QColor("#ffaf7b"));
        p.fillRect(QRect(0, 44, ScreenWidth, ScreenHeight - 44), g);
        p.setPen(QColor(255, 255, 255, 220));
        p.setFont(font(18, QFont::Bold));
        p.drawText(QRect(0, 54, ScreenWidth, 30), Qt::AlignCenter,
                   QStringLiteral("Home Screen: %1").arg(s.homeScreen));
    }
    const QTime t = s.now.time();
    p.setPen(Qt::white);
    p.setFont(font(92, QFont::Bold));
    const QString hms = t.toString(QStringLiteral("HH:mm:ss"));
    const QFontMetrics big(p.font());
    const int bigWidth = big.horizontalAdvance(hms);
    p.setFont(font(44, QFont::Bold));
    const QString tenth = QStringLiteral(".%1").arg(t.msec() / 100);
    const int smallWidth = QFontMetrics(p.font()).horizontalAdvance(tenth);
    const int x = (ScreenWidth - bigWidth - smallWidth) / 2;
    p.setFont(font(92, QFont::Bold));
    p.drawText(QPoint(x, 190), hms);
    p.setFont(font(44, QFont::Bold));
    p.setPen(QColor("#ff9f0a"));
    p.drawText(QPoint(x + bigWidth, 190), tenth);
    p.setPen(QColor("#b0b0b6"));
    p.setFont(font(22));
    p.drawText(QRect(0, 205, ScreenWidth, 34), Qt::AlignCenter,
               QLocale::c().toString(s.now.date(), QStringLiteral("dddd, d MMMM yyyy")));

    const int sec = int(s.uptimeMs / 1000);
    const QStringList cards
        = {QStringLiteral("Model timer\n%1:%2")
               .arg(sec / 60 % 100, 2, 10, QLatin1Char('0'))
               .arg(sec % 60, 2, 10, QLatin1Char('0')),
           QStringLiteral("RX battery\n%1 V").arg(7.9 + 0.1 * std::sin(sec / 7.0), 0, 'f', 2),
           QStringLiteral("RX signal\n%1 %").arg(92 + (sec * 7) % 8)};
    for (int i = 0; i < cards.size(); ++i) {
        const QRect r(40 + i * 246, 252, 226, 64);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 22));
        p.drawRoundedRect(r, 10, 10);
        const QStringList lines = cards[i].split(QLatin1Char('\n'));
        p.setPen(QColor("#b0b0b6"));
        p.setFont(font(14));
        p.drawText(r.adjusted(14, 6, -10, -34), Qt::AlignLeft | Qt::AlignVCenter, lines[0]);
        p.setPen(Qt::white);
        p.setFont(font(22, QFont::Bold));
        p.drawText(r.adjusted(14, 26, -10, -4), Qt::AlignLeft | Qt::AlignVCenter, lines[1]);
    }
    drawTiles(p, s);
}

void drawApp(QPainter &p, const Screen &s)
{
    const QColor color = appColor(s.runningApp);
    p.fillRect(QRect(0, 44, ScreenWidth, 56), color.darker(160));
    const QRect back = backButton();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(back, 10, 10);
    p.setPen(Qt::white);
    p.setFont(font(20, QFont::Bold));
    p.drawText(back, Qt::AlignCenter, QStringLiteral("< Home"));
    p.drawText(QRect(0, 44, ScreenWidth, 56), Qt::AlignCenter, s.runningApp);

    const QRect body(0, 100, ScreenWidth, ScreenHeight - 100);
    const qint64 ms = s.runningMs;
    if (s.runningApp == QLatin1String("Clock")) {
        drawClockFace(p, body.center(), 160, s.now.time(), Qt::white, true);
    } else if (s.runningApp == QLatin1String("Flight Timer")) {
        p.setFont(font(120, QFont::Bold));
        p.drawText(body.adjusted(0, 0, 0, -60), Qt::AlignCenter,
                   QStringLiteral("%1:%2.%3")
                       .arg(ms / 60000, 2, 10, QLatin1Char('0'))
                       .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                       .arg(ms / 100 % 10));
        p.setPen(QColor("#b0b0b6"));
        p.setFont(font(22));
        p.drawText(body.adjusted(0, 220, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("Flight time, running"));
    } else if (s.runningApp == QLatin1String("Telemetry")) {
        const double t = ms / 1000.0;
        const QStringList rows = {
            QStringLiteral("Battery   %1 V").arg(23.9 - 0.004 * t + 0.3 * std::sin(t), 0, 'f', 2),
            QStringLiteral("Current   %1 A").arg(12 + 4 * std::sin(t * 0.7), 0, 'f', 1),
            QStringLiteral("Headspeed %1 rpm").arg(2350 + int(20 * std::sin(t * 1.3))),
            QStringLiteral("Altitude  %1 m").arg(3 + 1.5 * std::sin(t * 0.4), 0, 'f', 1)};
        QFont mono = font(40);
        mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
        p.setFont(mono);
        for (int i = 0; i < rows.size(); ++i)
            p.drawText(QRect(140, 130 + i * 76, 560, 60), Qt::AlignVCenter | Qt::AlignLeft,
                       rows[i]);
    } else {
        if (!s.runningIcon.isNull())
            p.drawImage(QRect(body.center().x() - 64, 150, 128, 128), s.runningIcon);
        p.setFont(font(24, QFont::Bold));
        p.drawText(QRect(0, 300, ScreenWidth, 40), Qt::AlignCenter,
                   QStringLiteral("Running for %1 s").arg(ms / 1000));
        p.setPen(QColor("#b0b0b6"));
        p.setFont(font(18));
        p.drawText(QRect(0, 345, ScreenWidth, 30), Qt::AlignCenter,
                   s.runningVersion.isEmpty() ? QStringLiteral("Touch the screen to interact")
                                              : QStringLiteral("Version %1").arg(s.runningVersion));
    }
}

void drawTouch(QPainter &p, const Screen &s)
{
    if (s.trail.isEmpty() || s.sinceTouchMs < 0 || (!s.touching && s.sinceTouchMs > 1500))
        return;
    const qreal fade = s.touching ? 1.0 : 1.0 - s.sinceTouchMs / 1500.0;
    QColor ink = Accent;
    ink.setAlphaF(0.9 * fade);
    if (s.trail.size() > 1) {
        p.setPen(QPen(ink, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(s.trail.constData(), s.trail.size());
    }
    const QPoint at = s.trail.last();
    p.setPen(QPen(ink, 4));
    QColor fill = Accent;
    fill.setAlphaF((s.touching ? 0.45 : 0.2) * fade);
    p.setBrush(fill);
    p.drawEllipse(at, 26, 26);
}

} // namespace

QVector<QPair<QString, QImage>> images()
{
    return {{QStringLiteral("heli-450.png"),
             banner({{0, QColor("#2b1055")}, {0.55, QColor("#d3435c")}, {1, QColor("#ffb347")}},
                    195, sunsetScene)},
            {QStringLiteral("club-field.png"),
             banner({{0, QColor("#3a7bd5")}, {1, QColor("#a6d4f2")}}, 110, fieldScene)},
            {QStringLiteral("night-flight.png"),
             banner({{0, QColor("#020617")}, {1, QColor("#0f2a4a")}}, 195, nightScene)}};
}

QImage appIcon(const QString &appName)
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor color = appColor(appName);
    QLinearGradient g(0, 0, 0, 64);
    g.setColorAt(0, color.lighter(125));
    g.setColorAt(1, color.darker(120));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    p.setBrush(Qt::NoBrush);
    const QPen ink(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    if (appName == QLatin1String("Clock")) {
        drawClockFace(p, QPointF(32, 32), 20, QTime(10, 9, 0), Qt::white, false);
    } else if (appName == QLatin1String("Flight Timer")) {
        p.drawEllipse(QPointF(32, 35), 18, 18);
        p.drawLine(QPointF(32, 12), QPointF(32, 17));
        p.drawLine(QPointF(27, 11), QPointF(37, 11));
        p.drawLine(QPointF(32, 35), QPointF(40, 27));
    } else if (appName == QLatin1String("Telemetry")) {
        p.drawPolyline(QPolygonF(
            {QPointF(12, 44), QPointF(22, 30), QPointF(31, 38), QPointF(41, 18), QPointF(52, 26)}));
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(QPointF(12, 52), QPointF(52, 52));
    } else if (appName == QLatin1String("Battery Check")) {
        p.drawRoundedRect(QRectF(12, 20, 36, 24), 4, 4);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(49, 27, 4, 10));
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(17 + i * 9, 25, 5, 14));
    } else if (appName == QLatin1String("Lap Counter")) {
        p.drawLine(QPointF(18, 12), QPointF(18, 54));
        p.setPen(Qt::NoPen);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                p.setBrush((r + c) % 2 ? QColor(255, 255, 255, 70) : QColor(Qt::white));
                p.drawRect(QRectF(20 + c * 8, 12 + r * 8, 8, 8));
            }
        }
    } else {
        p.setFont(font(34, QFont::Bold));
        p.drawText(QRect(0, 0, 64, 64), Qt::AlignCenter, appName.left(1).toUpper());
    }
    return image;
}

QImage screen(const Screen &state)
{
    QImage image(ScreenWidth, ScreenHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient g(0, 0, 0, ScreenHeight);
    g.setColorAt(0, QColor("#16222f"));
    g.setColorAt(1, QColor("#0b1118"));
    p.fillRect(image.rect(), g);
    drawStatusBar(p, state);
    if (state.runningApp.isEmpty())
        drawHome(p, state);
    else
        drawApp(p, state);
    drawTouch(p, state);
    return image;
}

int tileAt(const QPoint &pos, int tileCount)
{
    for (int i = 0; i < tileCount && i < MaxTiles; ++i) {
        if (tileRect(i).contains(pos))
            return i;
    }
    return -1;
}

QRect backButton()
{
    return QRect(12, 50, 120, 44);
}

} // namespace DemoPictures
