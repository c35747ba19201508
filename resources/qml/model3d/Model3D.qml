import Qt3D.Core 2.15
import Qt3D.Render 2.15
import Qt3D.Input 2.15
import Qt3D.Extras 2.15

Entity {
    id: sceneRoot

    property quaternion orientation: Qt.quaternion(1, 0, 0, 0)
    property double alt: 0

    Camera {
        id: camera
        projectionType: CameraLens.PerspectiveProjection
        fieldOfView: 45
        nearPlane: 0.1
        farPlane: 1000.0
        position: Qt.vector3d(0, 5, 30)
        upVector: Qt.vector3d(0, 1, 0)
        viewCenter: Qt.vector3d(0, 0, 0)
    }

    FirstPersonCameraController {
        camera: camera
    }

    components: [
        RenderSettings {
            // A frame when something changed, not one per turn of the render loop.
            renderPolicy: RenderSettings.OnDemand
            activeFrameGraph: ForwardRenderer {
                camera: camera
                clearColor: "transparent"
            }
        },
        InputSettings {}
    ]

    Texture2D {
        id: heliTexture
        textureImages: [
            TextureImage {
                source: "qrc:/qml/model3d/3dheli.png"
            }
        ]
    }

    DiffuseMapMaterial {
        id: heliMaterial
        diffuse: heliTexture
        specular: Qt.rgba(0.2, 0.2, 0.2, 1.0)
        shininess: 1.0
    }

    Mesh {
        id: heliMesh
        source: "qrc:/qml/model3d/3dheli.obj"
    }

    Transform {
        id: heliTransform
        property real scaleFactor: 0.4
        scale: 1.0 / scaleFactor
        translation: Qt.vector3d(0, sceneRoot.alt / 15.0, 0)
        rotation: sceneRoot.orientation
    }

    Entity {
        components: [heliMesh, heliMaterial, heliTransform]
    }

    Entity {
        components: [
            PointLight {
                color: "white"
                intensity: 1.0
                constantAttenuation: 0.5
                linearAttenuation: 0.0
                quadraticAttenuation: 0.0025
            },
            Transform {
                translation: Qt.vector3d(0, 0, 15)
            }
        ]
    }

    Entity {
        components: [
            PointLight {
                color: "white"
                intensity: 1.0
                constantAttenuation: 0.5
                linearAttenuation: 0.0
                quadraticAttenuation: 0.0025
            },
            Transform {
                translation: Qt.vector3d(0, 15, 15)
            }
        ]
    }

    Entity {
        components: [
            PointLight {
                color: "white"
                intensity: 1.0
                constantAttenuation: 0.5
                linearAttenuation: 0.0
                quadraticAttenuation: 0.0025
            },
            Transform {
                translation: Qt.vector3d(0, -15, 15)
            }
        ]
    }
}
