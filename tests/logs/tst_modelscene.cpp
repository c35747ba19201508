#include "FramePacer.h"
#include "KeloResources.h"
#include "LogNames.h"
#include "LogTestSupport.h"
#include "ModelScene.h"
#include "RadioScanner.h"
#include "ReplayWidget.h"

#include <QApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickView>
#include <QtTest>

#include <cmath>

namespace {

// Attitude variables from samples (t, w, x, y, z).
QVector<LogVariable> attitude(const QVector<std::array<double, 5>> &samples)
{
    QVector<LogVariable> q {var(LogNames::VarnekQuatW, {}, {}), var(LogNames::VarnekQuatX, {}, {}),
                            var(LogNames::VarnekQuatY, {}, {}), var(LogNames::VarnekQuatZ, {}, {})};
    for (const auto &s : samples) {
        for (int c = 0; c < 4; ++c) {
            q[c].times.append(s[0]);
            q[c].values.append(s[1 + c]);
        }
    }
    return q;
}

QQuaternion at(const QVector<LogVariable> &q, double t)
{
    return ModelScene::interpolate(&q[0], &q[1], &q[2], &q[3], t);
}

bool fuzzyEqual(const QQuaternion &a, const QQuaternion &b, float eps = 1e-5f)
{
    return std::abs(a.scalar() - b.scalar()) < eps && std::abs(a.x() - b.x()) < eps
        && std::abs(a.y() - b.y()) < eps && std::abs(a.z() - b.z()) < eps;
}

#define COMPARE_QUAT(a, b)                                                                         \
    do {                                                                                           \
        const QQuaternion qa = (a), qb = (b);                                                      \
        QVERIFY2(fuzzyEqual(qa, qb),                                                               \
                 qPrintable(QStringLiteral("(%1 %2 %3 %4) vs (%5 %6 %7 %8)")                       \
                                .arg(qa.scalar())                                                  \
                                .arg(qa.x())                                                       \
                                .arg(qa.y())                                                       \
                                .arg(qa.z())                                                       \
                                .arg(qb.scalar())                                                  \
                                .arg(qb.x())                                                       \
                                .arg(qb.y())                                                       \
                                .arg(qb.z())));                                                    \
    } while (false)

struct Silhouette
{
    int pixels = 0;
    double centreY = 0;
};

// Pixels clearly brighter or more coloured than the scene's #141414 background.
Silhouette silhouette(const QImage &image)
{
    Silhouette s;
    double sumY = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int d = std::max(
                {std::abs(c.red() - 0x14), std::abs(c.green() - 0x14), std::abs(c.blue() - 0x14)});
            if (d > 40) {
                ++s.pixels;
                sumY += y;
            }
        }
    }
    if (s.pixels > 0)
        s.centreY = sumY / s.pixels;
    return s;
}

QQuickView *sceneView()
{
    for (QWindow *w : QGuiApplication::allWindows()) {
        if (auto *view = qobject_cast<QQuickView *>(w))
            return view;
    }
    return nullptr;
}

// Shows tab at the scene tests' size and finds its 3D view and the view's root item.
bool showTab(ReplayWidget &tab, QQuickView *&view, QQuickItem *&root)
{
    tab.resize(1000, 760);
    tab.show();
    if (!QTest::qWaitForWindowExposed(&tab))
        return false;
    view = sceneView();
    root = view ? view->rootObject() : nullptr;
    return root != nullptr;
}

// The Scene3D item under the view's root, once the scene has started.
QQuickItem *scene3D(QQuickItem *root)
{
    for (QQuickItem *item : root->findChildren<QQuickItem *>()) {
        if (item->inherits("Qt3DRender::Scene3DItem"))
            return item;
    }
    return nullptr;
}

} // namespace

class ModelSceneTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void toSceneAxes();
    void interpolation();
    void oppositeSignsTakeTheShortArc();
    void missingOrEmptyIsIdentity();
    void sceneDrivenByTheReplay();
    void sceneGraphErrorHidesTheView();
    void viewStartsAfterThePage();
    void lightAnimation_data();
    void lightAnimation();
    void sceneRendersOnlyWhatChanged();
    void softwareRenderer_data();
    void softwareRenderer();
};

void ModelSceneTest::initTestCase()
{
    initKeloResources();
}

void ModelSceneTest::toSceneAxes()
{
    COMPARE_QUAT(ModelScene::toScene(QQuaternion(0.1f, 0.2f, 0.3f, 0.4f)),
                 QQuaternion(0.1f, -0.2f, 0.4f, 0.3f));
    // A yaw about the log's z axis turns the model about the scene's up axis (y)...
    const QQuaternion yaw = QQuaternion::fromAxisAndAngle(0, 0, 1, 30);
    const QVector3D up = ModelScene::toScene(yaw).rotatedVector(QVector3D(0, 1, 0));
    QVERIFY(std::abs(up.y() - 1.0f) < 1e-5f);
    // ...and the change of axes keeps unit length (it is a proper rotation).
    const QQuaternion any = QQuaternion(0.3f, -0.5f, 0.7f, 0.1f).normalized();
    QVERIFY(std::abs(ModelScene::toScene(any).length() - 1.0f) < 1e-5f);
}

void ModelSceneTest::interpolation()
{
    const QQuaternion a = QQuaternion::fromAxisAndAngle(1, 0, 0, 10);
    const QQuaternion b = QQuaternion::fromAxisAndAngle(1, 0, 0, 50);
    const QQuaternion c = QQuaternion::fromAxisAndAngle(0, 1, 0, 20);
    // Unnormalised samples (twice the length) are normalised before use.
    const auto q = attitude({{1, 2 * a.scalar(), 2 * a.x(), 2 * a.y(), 2 * a.z()},
                             {2, b.scalar(), b.x(), b.y(), b.z()},
                             {2, c.scalar(), c.x(), c.y(), c.z()},
                             {4, 0, 0, 0, 0}});
    COMPARE_QUAT(at(q, 0.0), a); // before the first: the first, no extrapolation
    COMPARE_QUAT(at(q, 1.0), a);
    COMPARE_QUAT(at(q, 1.5), QQuaternion::fromAxisAndAngle(1, 0, 0, 30));
    COMPARE_QUAT(at(q, 2.0), b); // a shared stamp shows the earlier sample
    COMPARE_QUAT(at(q, 3.0), QQuaternion::slerp(c, QQuaternion(), 0.5f)); // zero = identity
    COMPARE_QUAT(at(q, 9.0), QQuaternion());
}

void ModelSceneTest::oppositeSignsTakeTheShortArc()
{
    const QQuaternion a = QQuaternion::fromAxisAndAngle(0, 0, 1, 20);
    const QQuaternion b = -QQuaternion::fromAxisAndAngle(0, 0, 1, 40); // same attitude as +
    const auto q
        = attitude({{0, a.scalar(), a.x(), a.y(), a.z()}, {1, b.scalar(), b.x(), b.y(), b.z()}});
    const QQuaternion mid = at(q, 0.5);
    // 30 degrees about z, not a turn the long way round.
    const QVector3D x = mid.rotatedVector(QVector3D(1, 0, 0));
    QVERIFY(std::abs(x.x() - std::cos(float(M_PI / 6))) < 1e-4f);
    QVERIFY(std::abs(x.y() - std::sin(float(M_PI / 6))) < 1e-4f);
}

void ModelSceneTest::missingOrEmptyIsIdentity()
{
    const auto q = attitude({{0, 0, 1, 0, 0}});
    COMPARE_QUAT(at(q, 5), QQuaternion(0, 1, 0, 0)); // one sample: that sample
    COMPARE_QUAT(ModelScene::interpolate(&q[0], &q[1], nullptr, &q[3], 0), QQuaternion());
    const auto none = attitude({});
    COMPARE_QUAT(at(none, 0), QQuaternion());
}

void ModelSceneTest::sceneDrivenByTheReplay()
{
    RadioScanner scanner;
    ReplayWidget tab(&scanner);
    QVERIFY2(tab.hasModelView(), "the 3D scene needs OpenGL on the X server");
    const QQuaternion a = QQuaternion::fromAxisAndAngle(0.3f, 0.2f, 0.9f, 25).normalized();
    const QQuaternion b = QQuaternion::fromAxisAndAngle(0.6f, -0.4f, 0.1f, 70).normalized();
    QVector<LogVariable> vars = attitude({{0, a.scalar(), a.x(), a.y(), a.z()},
                                          {10, b.scalar(), b.x(), b.y(), b.z()},
                                          {20, 1, 0, 0, 0}});
    vars.append(var(LogNames::VarnekAlt, {0, 10, 20}, {0, 0, 150}));
    tab.loadLog(vars, QStringLiteral("scene"));
    QQuickView *view = nullptr;
    QQuickItem *root = nullptr;
    QVERIFY(showTab(tab, view, root));

    // The model's own transform: the one scaled by its scaleFactor, in the entity tree
    // that the Scene3D item holds. The scene starts after the view's first frame.
    QQuickItem *scene = nullptr;
    QTRY_VERIFY((scene = scene3D(root)));
    QObject *heli = nullptr;
    for (QObject *o : scene->property("entity").value<QObject *>()->findChildren<QObject *>()) {
        if (o->property("scaleFactor").isValid() && o->property("translation").isValid())
            heli = o;
    }
    QVERIFY(heli);

    // The root gets (w, -x, z, y) of the slerped sample, and the altitude.
    tab.seekTo(4.0);
    const QQuaternion expected = QQuaternion::slerp(a, b, 0.4f);
    COMPARE_QUAT(root->property("mdl_quat").value<QQuaternion>(),
                 QQuaternion(expected.scalar(), -expected.x(), expected.z(), expected.y()));
    QCOMPARE(root->property("mdl_alt").toDouble(), 0.0);
    QCOMPARE(heli->property("translation").value<QVector3D>(), QVector3D(0, 0, 0));

    // Level and on the ground: the frame shows the model, not only the background.
    tab.seekTo(10.0);
    Silhouette ground;
    QTRY_VERIFY_WITH_TIMEOUT((ground = silhouette(view->grabWindow())).pixels > 2000, 30000);

    // 150 m lifts the model by 10 scene units: its silhouette moves up the frame.
    tab.seekTo(20.0);
    COMPARE_QUAT(root->property("mdl_quat").value<QQuaternion>(), QQuaternion());
    QCOMPARE(root->property("mdl_alt").toDouble(), 150.0);
    // One scene unit is 15 m.
    QCOMPARE(heli->property("translation").value<QVector3D>(), QVector3D(0, 10, 0));
    Silhouette high;
    QTRY_VERIFY_WITH_TIMEOUT((high = silhouette(view->grabWindow())).pixels > 500
                                 && high.centreY < ground.centreY - 40,
                             30000);
}

void ModelSceneTest::sceneGraphErrorHidesTheView()
{
    RadioScanner scanner;
    ReplayWidget tab(&scanner);
    tab.loadLog({var(LogNames::VarnekAlt, {0, 1}, {0, 15})}, QStringLiteral("x"));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    QQuickView *view = sceneView();
    QVERIFY(view);
    QWidget *container = tab.findChild<QWidget *>(QStringLiteral("viewContainer"));
    QVERIFY(container);
    QTRY_VERIFY(!container->isHidden());

    emit view->sceneGraphError(QQuickWindow::ContextNotAvailable, QStringLiteral("test"));
    QTRY_VERIFY(container->isHidden());
    QVERIFY(!tab.hasModelView());
    tab.seekTo(0.5);
    QCOMPARE(tab.position(), 0.5);
}

// The first open puts the page on screen with the 3D view's place kept, and starts the view
// on a later turn: its window and first frame, then Qt 3D with the scene after that frame.
// Each is a stretch of the GUI thread of its own, with the window answering in between.
void ModelSceneTest::viewStartsAfterThePage()
{
    RadioScanner scanner;
    ReplayWidget tab(&scanner);
    QVERIFY2(tab.hasModelView(), "the 3D scene needs OpenGL on the X server");
    QQuickView *view = nullptr;
    QQuickItem *root = nullptr;
    QVERIFY(showTab(tab, view, root));
    QWidget *container = tab.findChild<QWidget *>(QStringLiteral("viewContainer"));
    QVERIFY(container);
    int frames = 0;
    connect(
        view, &QQuickWindow::frameSwapped, this, [&frames]() { ++frames; }, Qt::QueuedConnection);

    tab.loadLog({var(LogNames::VarnekAlt, {0, 1}, {0, 15})}, QStringLiteral("x"));
    QVERIFY(container->isHidden());
    QVERIFY(!view->isExposed());
    QVERIFY(!scene3D(root));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); // the page's own
    QVERIFY(container->isHidden());
    const QRect place = container->geometry();
    QVERIFY2(place.height() >= 220, qPrintable(QString::number(place.height())));

    QTRY_VERIFY(view->isExposed());
    QCOMPARE(container->geometry(), place);
    QTRY_VERIFY(scene3D(root));
    QVERIFY(frames >= 1);
    // The scene takes the keys once the view is active, for its camera controller.
    view->requestActivate();
    QTRY_VERIFY(scene3D(root)->hasActiveFocus());
    // From then on the view stays: a second open shows it with the page.
    tab.loadLog({var(LogNames::VarnekAlt, {0, 2}, {0, 30})}, QStringLiteral("y"));
    QVERIFY(!container->isHidden());
    QCOMPARE(container->sizePolicy().retainSizeWhenHidden(), false);
}

void ModelSceneTest::lightAnimation_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<double>("pulse"); // the pulsing light's intensity
    QTest::addColumn<double>("sweep"); // the spot light's rotation about z, degrees
    QTest::newRow("start") << qint64(0) << 0.55 << -60.0;
    QTest::newRow("quarter second") << qint64(250) << 0.8 << -60 + 120 * 0.0078125;
    QTest::newRow("half second") << qint64(500) << 0.55 << -60 + 120 * 0.03125;
    QTest::newRow("three quarters") << qint64(750) << 0.3 << -60 + 120 * 0.0703125;
    QTest::newRow("one second") << qint64(1000) << 0.55 << -45.0;
    QTest::newRow("sweep halfway out") << qint64(2000) << 0.55 << 0.0;
    QTest::newRow("sweep at its end") << qint64(4000) << 0.55 << 60.0;
    QTest::newRow("sweep halfway back") << qint64(6000) << 0.55 << 0.0;
    QTest::newRow("a full period later") << qint64(8250) << 0.8 << -60 + 120 * 0.0078125;
}

void ModelSceneTest::lightAnimation()
{
    QFETCH(qint64, ms);
    QFETCH(double, pulse);
    QFETCH(double, sweep);
    QVERIFY(qAbs(ModelScene::lightPulse(ms) - pulse) < 1e-9);
    QVERIFY(qAbs(ModelScene::lightSweep(ms) - sweep) < 1e-9);
}

void ModelSceneTest::sceneRendersOnlyWhatChanged()
{
    RadioScanner scanner;
    ReplayWidget tab(&scanner);
    QVERIFY2(tab.hasModelView(), "the 3D scene needs OpenGL on the X server");
    tab.loadLog({var(LogNames::VarnekAlt, {0, 100}, {0, 10})}, QStringLiteral("x"));
    QQuickView *view = nullptr;
    QQuickItem *root = nullptr;
    QVERIFY(showTab(tab, view, root));

    // Qt 3D draws a frame when the scene changed, and nothing in the scene animates on its
    // own: a running animation would keep the render loop going at full speed.
    // The Qt 3D scene hangs off the Scene3D item's entity.
    QQuickItem *scene = nullptr;
    QTRY_VERIFY((scene = scene3D(root)));
    QObject *entity = scene->property("entity").value<QObject *>();
    QVERIFY(entity);
    // The test's X server renders in software: there the scene is drawn without
    // multisampling, which costs more than the rest of a frame.
    const QByteArray renderer = ModelScene::openGLRenderer();
    QVERIFY2(ModelScene::isSoftwareRenderer(renderer), renderer.constData());
    QCOMPARE(scene->property("multisample").toBool(), false);
    // The scene's objects and the view's, each once (the scene may hang off the view's tree).
    QList<QObject *> objects = entity->findChildren<QObject *>();
    for (QObject *o : root->findChildren<QObject *>()) {
        if (!objects.contains(o))
            objects << o;
    }
    QObject *settings = nullptr;
    for (QObject *o : qAsConst(objects)) {
        if (o->inherits("Qt3DRender::QRenderSettings"))
            settings = o;
        if (o->inherits("QQuickAbstractAnimation"))
            QVERIFY2(!o->property("running").toBool(), o->metaObject()->className());
    }
    QVERIFY(settings);
    QCOMPARE(settings->property("renderPolicy").toInt(), 0); // RenderSettings.OnDemand

    // The program moves the lights: while paused, on its own timer.
    const double pulse = root->property("light_pulse").toDouble();
    const double sweep = root->property("light_sweep").toDouble();
    QTRY_VERIFY(root->property("light_pulse").toDouble() != pulse
                && root->property("light_sweep").toDouble() != sweep);
    // They reach the lights of the rig.
    root->setProperty("light_pulse", 0.42);
    root->setProperty("light_sweep", 33.0);
    int pulsing = 0, swept = 0;
    for (QObject *o : qAsConst(objects)) {
        if (o->inherits("Qt3DRender::QPointLight")
            && qFuzzyCompare(o->property("intensity").toFloat(), 0.42f))
            ++pulsing;
        if (o->inherits("Qt3DCore::QTransform")
            && qFuzzyCompare(o->property("rotationZ").toFloat(), 33.0f))
            ++swept;
    }
    QCOMPARE(pulsing, 1);
    QCOMPARE(swept, 1);

    // The view renders at most ten frames a second while paused, and one a tick (25 a second)
    // while playing.
    auto *pacer = tab.findChild<FramePacer *>();
    QVERIFY(pacer);
    QCOMPARE(pacer->interval(), 100);
    tab.setPlaying(true);
    QCOMPARE(pacer->interval(), 40);
    tab.setPlaying(false);
    QCOMPARE(pacer->interval(), 100);
}

void ModelSceneTest::softwareRenderer_data()
{
    QTest::addColumn<QByteArray>("renderer");
    QTest::addColumn<bool>("software");
    QTest::newRow("llvmpipe") << QByteArray("llvmpipe (LLVM 15.0.6, 256 bits)") << true;
    QTest::newRow("llvmpipe under zink") << QByteArray("zink (llvmpipe (LLVM 15.0.6))") << true;
    QTest::newRow("softpipe") << QByteArray("softpipe") << true;
    QTest::newRow("old Mesa swrast") << QByteArray("Software Rasterizer") << true;
    QTest::newRow("Windows without a driver") << QByteArray("GDI Generic") << true;
    QTest::newRow("WARP") << QByteArray("D3D12 (Microsoft Basic Render Driver)") << true;
    // Mesa's hardware drivers name LLVM too: only llvmpipe is the software one.
    QTest::newRow("Radeon") << QByteArray(
        "AMD Radeon RX 6700 XT (navi22, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)")
                            << false;
    QTest::newRow("Intel") << QByteArray("Mesa Intel(R) UHD Graphics 620 (KBL GT2)") << false;
    QTest::newRow("NVIDIA") << QByteArray("NVIDIA GeForce GTX 1060 6GB/PCIe/SSE2") << false;
    QTest::newRow("a virtual machine's GPU")
        << QByteArray("virgl (AMD Radeon RX 6700 XT)") << false;
}

void ModelSceneTest::softwareRenderer()
{
    QFETCH(QByteArray, renderer);
    QFETCH(bool, software);
    QCOMPARE(ModelScene::isSoftwareRenderer(renderer), software);
}

QTEST_MAIN(ModelSceneTest)
#include "tst_modelscene.moc"
