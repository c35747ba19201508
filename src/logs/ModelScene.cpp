#include "ModelScene.h"

#include "LogVariable.h"

#include <QEasingCurve>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>

namespace ModelScene {

QByteArray openGLRenderer()
{
    QOpenGLContext probe;
    if (!probe.create())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(probe.format());
    surface.create();
    if (!probe.makeCurrent(&surface))
        return QByteArrayLiteral("unknown");
    const auto *name = reinterpret_cast<const char *>(probe.functions()->glGetString(GL_RENDERER));
    const QByteArray renderer = name && *name ? QByteArray(name) : QByteArrayLiteral("unknown");
    probe.doneCurrent();
    return renderer;
}

bool isSoftwareRenderer(const QByteArray &renderer)
{
    // Mesa's llvmpipe (also under zink), softpipe and its old swrast; Windows' GDI renderer
    // and WARP.
    static const char *const names[]
        = {"llvmpipe", "softpipe", "software rasterizer", "gdi generic", "basic render driver"};
    const QByteArray lower = renderer.toLower();
    for (const char *name : names) {
        if (lower.contains(name))
            return true;
    }
    return false;
}

QQuaternion sample(const LogVariable &w, const LogVariable &x, const LogVariable &y,
                   const LogVariable &z, int k)
{
    const auto at = [k](const LogVariable &v) {
        return k < v.values.size() ? float(v.values.at(k)) : 0.0f;
    };
    const QQuaternion q = QQuaternion(at(w), at(x), at(y), at(z)).normalized();
    return q.isNull() ? QQuaternion() : q;
}

QQuaternion interpolate(const LogVariable *w, const LogVariable *x, const LogVariable *y,
                        const LogVariable *z, double t)
{
    if (!w || !x || !y || !z || w->times.isEmpty())
        return QQuaternion();
    const QVector<double> &times = w->times;
    const int count = times.size();
    if (count == 1)
        return sample(*w, *x, *y, *z, 0);
    const int i = int(std::lower_bound(times.begin(), times.end(), t) - times.begin());
    if (i == 0)
        return sample(*w, *x, *y, *z, 0);
    if (i == count)
        return sample(*w, *x, *y, *z, count - 1);
    const double t0 = times.at(i - 1);
    const double t1 = times.at(i);
    if (t0 >= t1)
        return sample(*w, *x, *y, *z, i - 1);
    const float f = float((t - t0) / (t1 - t0));
    return QQuaternion::slerp(sample(*w, *x, *y, *z, i - 1), sample(*w, *x, *y, *z, i), f);
}

double lightPulse(qint64 ms)
{
    static const QEasingCurve curve(QEasingCurve::CosineCurve);
    const qint64 period = 1000;
    return 0.3 + 0.5 * curve.valueForProgress(double(ms % period) / period);
}

double lightSweep(qint64 ms)
{
    static const QEasingCurve curve(QEasingCurve::InOutQuad);
    const qint64 half = 4000;
    const qint64 phase = ms % (2 * half);
    if (phase < half)
        return -60 + 120 * curve.valueForProgress(double(phase) / half);
    return 60 - 120 * curve.valueForProgress(double(phase - half) / half);
}

} // namespace ModelScene
