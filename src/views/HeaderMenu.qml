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

    // qmllint disable deferred-property-id
    // (The ids are the delegates' own; Qt 6.4's linter counts them against the popup.)
    contentItem: Column {
        Repeater {
            model: menu.items
            delegate: Item {
                id: item
                required property var modelData
                required property int index
                objectName: modelData.separator ? "" : "menuItem" + index
                width: 220
                height: modelData.separator ? 9 : 26
                Accessible.role: modelData.separator ? Accessible.Separator : Accessible.MenuItem
                Accessible.name: modelData.separator ? "" : modelData.text
                Accessible.onPressAction: if (!modelData.separator) activate()

                function activate() {
                    // qmllint disable unqualified
                    // (Qt 6.4's linter does not see the popup's id from a delegate.)
                    menu.close()
                    menu.triggered(item.index)
                    // qmllint enable unqualified
                }

                Rectangle {
                    visible: item.modelData.separator
                    anchors.centerIn: parent
                    width: parent.width - 16
                    height: 1
                    color: Theme.alpha(Theme.white, 0.12)
                }
                Rectangle {
                    visible: !item.modelData.separator
                    anchors.fill: parent
                    radius: 5
                    color: hover.hovered ? Theme.alpha(Theme.blue, 0.55) : "transparent"
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        x: 10
                        text: item.modelData.text
                        color: Theme.alpha(Theme.white, 0.9)
                        font.pixelSize: Theme.textPx(12)
                        Accessible.ignored: true
                    }
                    HoverHandler {
                        id: hover
                    }
                    TapHandler {
                        onTapped: item.activate()
                    }
                }
            }
        }
    }
    // qmllint enable deferred-property-id
}
