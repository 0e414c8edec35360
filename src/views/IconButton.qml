import QtQuick
import Pindle

// A borderless button: only its icon (or a spinner while `busy`) shows, so screen readers get its
// tool tip as its name unless a user sets one. A click never takes the keyboard: the overlay
// leaves it with the user's application in stealth mode.
Item {
    id: button

    property string glyph
    property int size: 16
    property color color: Theme.alpha(Theme.white, 0.5)
    property bool busy: false
    property real spinnerScale: 0.5
    property string toolTip
    readonly property alias pressed: mouse.pressed
    readonly property alias hovered: mouse.containsMouse
    signal clicked

    // Hovered long enough for the tool tip.
    property bool tipDue: false
    onHoveredChanged: tipDue = false

    implicitWidth: size
    implicitHeight: size
    opacity: enabled ? (pressed ? 0.6 : 1) : 0.35

    Accessible.role: Accessible.Button
    Accessible.name: toolTip
    Accessible.onPressAction: if (enabled) clicked()

    Icon {
        anchors.centerIn: parent
        visible: !button.busy
        glyph: button.glyph
        size: button.size
        color: button.color
    }
    Spinner {
        anchors.centerIn: parent
        visible: button.busy
        running: button.busy
        scale: button.spinnerScale
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.clicked()
    }

    // The tip shows after a moment's hover, in the window's content: the header clips.
    Timer {
        interval: 600
        running: button.hovered && !button.tipDue
        onTriggered: button.tipDue = true
    }
    Loader {
        id: tip
        parent: button.Window.contentItem
        z: 1000
        active: button.tipDue && button.toolTip.length > 0 && parent !== null
        // qmllint disable unqualified
        // (Qt 6.4's linter does not see ids outside a component.)
        sourceComponent: TipBubble {
            target: button
            bounds: tip.parent
            text: button.toolTip
        }
        // qmllint enable unqualified
    }
}
