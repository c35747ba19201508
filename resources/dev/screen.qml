import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/qml/Item"
import "qrc:/qml/Item/Label"
import "qrc:/qml/Item/Window"

Item {
	property string name: "My Home Screen"

	Loader {
		anchors.left: parent.left
		anchors.leftMargin: 25
		y: 30
		sourceComponent: ModelWindow {
			enabled: !system_lock
		}
	}

	Loader {
		anchors.right: parent.right
		anchors.rightMargin: 25
		y: 30
		sourceComponent: Component {
			Widget {
				position: 0
			}
		}
	}

	Rectangle {
		id: rectowner
		radius: 20
		height: 10
		width: ownerlbl.width + 30
		opacity: 0.5
		x: 25
		y: 294
	}

	GlowingLabel {
		id: ownerlbl
		font.pixelSize: 28
		color: theme_font
		text: owner_name
		anchors.centerIn: rectowner
	}
}
 
