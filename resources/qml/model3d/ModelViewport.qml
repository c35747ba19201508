import QtQuick 2.15
import QtQuick.Scene3D 2.15
import Qt3D.Render 2.15

// Root of the replay's 3D view. The program writes mdl_quat and mdl_alt, moves the
// lighting rig's animation through light_pulse and light_sweep, turns multisampling off
// where OpenGL is drawn in software, and sets scene_started after the view's first frame.
Item {
    id: viewport

    property quaternion mdl_quat: Qt.quaternion(1, 0, 0, 0)
    property double mdl_alt: 0
    property double light_pulse: 0.55
    property double light_sweep: -60
    property bool multisample: true
    property bool scene_started: false

    Rectangle {
        anchors.fill: parent
        color: "#141414"

        // Qt 3D starts with its scene, a frame after the view's first one: each start is a
        // separate stretch of the program's main thread, not one long one.
        Loader {
            anchors.fill: parent
            anchors.margins: 4
            active: viewport.scene_started
            focus: true

            sourceComponent: Scene3D {
                focus: true
                multisample: viewport.multisample
                aspects: ["input", "logic"]
                cameraAspectRatioMode: Scene3D.AutomaticAspectRatio

                // Scene3D takes one root entity: the model scene, with the lighting rig
                // as a child so that both sets of lights reach the model.
                Model3D {
                    orientation: viewport.mdl_quat
                    alt: viewport.mdl_alt

                    AnimatedEntity {
                        pulseIntensity: viewport.light_pulse
                        spotRotation: viewport.light_sweep
                    }
                }
            }
        }
    }
}
