#pragma once

#include <QByteArray>
#include <QQuaternion>

struct LogVariable;

// The attitude arithmetic behind the replay's 3D model: the log's quaternion samples,
// their interpolation and the change into the scene's frame.
namespace ModelScene {

inline const char *const ViewportUrl = "qrc:/qml/model3d/ModelViewport.qml";

// How often the lighting rig moves while the replay is paused: ten steps a second. The pulse
// and the sweep are slow (a second and eight seconds a period), so this keeps them smooth,
// while a software renderer draws few enough frames to keep the computer nearly idle.
constexpr int PausedLightIntervalMs = 100;

// The lighting rig's animation, ms after it started: the pulsing light's intensity (0.3 to
// 0.8 and back each second, cosine curve) and the spot light's rotation about z in degrees
// (-60 to 60 in 4 s and back in 4 s, in-out quadratic), as its looping animations had them.
double lightPulse(qint64 ms);
double lightSweep(qint64 ms);

// The OpenGL renderer's name, e.g. "llvmpipe (LLVM 15.0.6, 256 bits)"; empty where no
// context can be created at all (a headless display).
QByteArray openGLRenderer();

// Whether the renderer draws on the CPU. There multisampling costs the 3D view more than
// the rest of a frame together: the scene is drawn without it.
bool isSoftwareRenderer(const QByteArray &renderer);

// Sample k of the attitude, normalised. A zero quaternion (no attitude recorded)
// stands for the identity rather than the meaningless (0, 0, 0, 0).
QQuaternion sample(const LogVariable &w, const LogVariable &x, const LogVariable &y,
                   const LogVariable &z, int k);

// The attitude at t in the log's frame: the first or last sample outside the samples'
// span, otherwise the shorter-arc slerp between the two samples around t. Null
// pointers or no samples give the identity. The times of w serve all four.
QQuaternion interpolate(const LogVariable *w, const LogVariable *x, const LogVariable *y,
                        const LogVariable *z, double t);

// (w, x, y, z) of the log as (w, -x, z, y) in the scene, whose up axis is y: a proper
// rotation of the axes, so the model turns the way the aircraft did.
inline QQuaternion toScene(const QQuaternion &q)
{
    return QQuaternion(q.scalar(), -q.x(), q.z(), q.y());
}

} // namespace ModelScene
