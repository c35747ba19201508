import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/qml/Item/Frame"
import "qrc:/qml/Item/Window"
import "qrc:/qml/Item/Button"

Item {
	property string name: "Kelo App Template"

	GroupFrame {
		id: frame
		x: 30
		y: 30
		width: 740
		height: 270
	}

	Label {
		anchors.centerIn: frame
		font.pixelSize: font_size_20pt
		text: "Hello World!"
		color: "white"
	}
}


 
