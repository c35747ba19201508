import QtQuick 2.1
import Qt3D.Core 2.0
import Qt3D.Render 2.0
import Qt3D.Input 2.0
import Qt3D.Extras 2.0

// The lighting rig: a pulsing point light, two directional lights and a sweeping
// spot light. It runs whether or not a replay plays. The program moves the two animated
// values (pulse: 0.3 to 0.8 and back each second on a cosine curve; sweep: -60 to 60 and
// back over 8 s, in-out quadratic) at a pace of its own, so that the scene is rendered only
// as often as the animation needs, not at the render loop's full rate.
Entity {
    property real pulseIntensity: 0.55
    property real spotRotation: -60

    Entity {
        components: [
            PointLight {
                id: pulsingLight
                color: "white"
                intensity: pulseIntensity
                constantAttenuation: 1.0
                linearAttenuation: 0.0
                quadraticAttenuation: 0.0025
            },
            Transform {
                translation: Qt.vector3d(0, 0, 0)
            }
        ]
    }

    Entity {
        components: [
            DirectionalLight {
                color: "#fbf9ce"
                intensity: 0.3
                worldDirection: Qt.vector3d(0.3, -3.0, 0.0).normalized()
            }
        ]
    }

    Entity {
        components: [
            DirectionalLight {
                color: "#9cdaef"
                intensity: 0.15
                worldDirection: Qt.vector3d(-0.3, -0.3, 0.0).normalized()
            }
        ]
    }

    Entity {
        components: [
            SpotLight {
                color: "white"
                intensity: 5.0
                localDirection: Qt.vector3d(0, -1, 0)
            },
            Transform {
                id: spotTransform
                translation: Qt.vector3d(0, 5, 0)
                rotationZ: spotRotation
            }
        ]
    }
}
