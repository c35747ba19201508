import QtQuick 2.1
import Qt3D.Core 2.0
import Qt3D.Render 2.0
import Qt3D.Input 2.0
import Qt3D.Extras 2.0

// The lighting rig: a pulsing point light, two directional lights and a sweeping
// spot light. It runs whether or not a replay plays.
Entity {
    Entity {
        components: [
            PointLight {
                id: pulsingLight
                color: "white"
                intensity: 0.3
                constantAttenuation: 1.0
                linearAttenuation: 0.0
                quadraticAttenuation: 0.0025
            },
            Transform {
                translation: Qt.vector3d(0, 0, 0)
            }
        ]
    }

    NumberAnimation {
        target: pulsingLight
        property: "intensity"
        from: 0.3
        to: 0.8
        duration: 1000
        easing.type: Easing.CosineCurve
        loops: Animation.Infinite
        running: true
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
                rotationZ: -60
            }
        ]
    }

    SequentialAnimation {
        loops: Animation.Infinite
        running: true

        NumberAnimation {
            target: spotTransform
            property: "rotationZ"
            from: -60
            to: 60
            duration: 4000
            easing.type: Easing.InOutQuad
        }
        NumberAnimation {
            target: spotTransform
            property: "rotationZ"
            from: 60
            to: -60
            duration: 4000
            easing.type: Easing.InOutQuad
        }
    }
}
