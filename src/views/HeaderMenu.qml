import QtQuick
import QtQuick.Controls

// The application's menu as the overlay shows it where no tray can: the same items, drawn in the
// overlay's colours.
Popup {
    id: menu

    // [{text, separator}] in menu order.
    required property var items
    signal triggered(int index)

    padding: 4
    // A press on the menu button closes the menu through the button, not twice.
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent
    background: Rectangle {
        color: "#2c2c32"
        radius: 8
        border.width: 1
        border.color: Theme.alpha(Theme.white, 0.12)
    }

    contentItem: Column {
        Repeater {
            model: menu.items
            delegate: Loader {
                required property var modelData
                required property int index
                sourceComponent: modelData.separator ? separator : entry

                Component {
                    id: separator
                    Item {
                        width: 220
                        height: 9
                        Rectangle {
                            anchors.centerIn: parent
                            width: parent.width - 16
                            height: 1
                            color: Theme.alpha(Theme.white, 0.12)
                        }
                    }
                }
                Component {
                    id: entry
                    Rectangle {
                        objectName: "menuItem" + index
                        width: 220
                        height: 26
                        radius: 5
                        color: hover.hovered ? Theme.alpha(Theme.blue, 0.55) : "transparent"
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            x: 10
                            text: modelData.text
                            color: Theme.alpha(Theme.white, 0.9)
                            font.pixelSize: 12
                        }
                        HoverHandler {
                            id: hover
                        }
                        TapHandler {
                            onTapped: {
                                menu.close()
                                menu.triggered(index)
                            }
                        }
                    }
                }
            }
        }
    }
}
