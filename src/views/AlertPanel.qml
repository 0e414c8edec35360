import QtQuick
import Pindle

// A message the user must acknowledge: `title` and `text` on a card over the dimmed overlay,
// which takes no presses until OK. OK, Return, Space or Escape closes it; it takes the keyboard
// only while the window has it.
Item {
    id: alert

    property string title
    property string text
    // The corners of what it dims.
    property real radius: 0

    anchors.fill: parent
    z: 1001
    visible: false

    Accessible.role: Accessible.Dialog
    Accessible.name: title

    // Where the keyboard was before the alert took it.
    property Item focusBefore: null

    function open() {
        if (Window.active)
            focusBefore = Window.activeFocusItem
        visible = true
    }

    function close() {
        if (!visible)
            return
        visible = false
        if (focusBefore)
            focusBefore.forceActiveFocus()
        focusBefore = null
    }

    Rectangle {
        anchors.fill: parent
        radius: alert.radius
        color: Theme.alpha(Theme.black, 0.5)
    }
    // Modal: what lies beneath gets no presses, wheel or hover.
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onWheel: wheel => wheel.accepted = true
    }

    Loader {
        anchors.centerIn: parent
        width: parent.width - 64
        active: alert.visible
        // qmllint disable unqualified
        // (Qt 6.4's linter does not see ids outside a component.)
        sourceComponent: Rectangle {
            Component.onCompleted: if (alert.Window.active) button.forceActiveFocus()
            implicitHeight: body.implicitHeight + 32
            color: Theme.popupBase
            radius: 10
            border.width: 1
            border.color: Theme.alpha(Theme.white, 0.12)

            Column {
                id: body
                x: 16
                y: 16
                width: parent.width - 32
                spacing: 10

                Text {
                    width: parent.width
                    wrapMode: Text.Wrap
                    text: alert.title
                    color: Theme.white
                    font.pixelSize: Theme.textPx(14)
                    font.weight: Font.DemiBold
                    Accessible.ignored: true
                }
                Text {
                    width: parent.width
                    wrapMode: Text.Wrap
                    text: alert.text
                    color: Theme.alpha(Theme.white, 0.9)
                    font.pixelSize: Theme.textPx(12)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Item {
                    width: parent.width
                    height: button.height
                    Rectangle {
                        id: button
                        objectName: "alertOkButton"
                        anchors.right: parent.right
                        width: Math.max(72, label.implicitWidth + 24)
                        height: label.implicitHeight + 12
                        radius: 6
                        color: buttonMouse.pressed ? Theme.alpha(Theme.blue, 0.8) : Theme.blue
                        Accessible.role: Accessible.Button
                        Accessible.name: label.text
                        Accessible.onPressAction: alert.close()
                        Keys.onShortcutOverride: event => event.accepted = event.key === Qt.Key_Escape
                        Keys.onPressed: event => {
                            if ([Qt.Key_Return, Qt.Key_Enter, Qt.Key_Space, Qt.Key_Escape].includes(event.key))
                                alert.close()
                            event.accepted = true
                        }
                        Text {
                            id: label
                            anchors.centerIn: parent
                            //: The button that closes an alert
                            text: qsTr("OK")
                            color: Theme.white
                            font.pixelSize: Theme.textPx(12)
                            font.weight: Font.DemiBold
                            Accessible.ignored: true
                        }
                        MouseArea {
                            id: buttonMouse
                            anchors.fill: parent
                            onClicked: alert.close()
                        }
                    }
                }
            }
        }
        // qmllint enable unqualified
    }
}
