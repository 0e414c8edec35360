import QtQuick
import QtQuick.Controls

// A borderless button: only its icon (or a spinner while `busy`) shows, so screen readers get its
// tool tip as its name unless a user sets one.
AbstractButton {
    id: button

    property string glyph
    property int size: 16
    property color color: Theme.alpha(Theme.white, 0.5)
    property bool busy: false
    property real spinnerScale: 0.5
    property string toolTip

    implicitWidth: size
    implicitHeight: size
    focusPolicy: Qt.NoFocus
    opacity: enabled ? (pressed ? 0.6 : 1) : 0.35
    hoverEnabled: true

    ToolTip.visible: toolTip.length > 0 && hovered
    ToolTip.text: toolTip
    ToolTip.delay: 600

    Accessible.role: Accessible.Button
    Accessible.name: toolTip
    Accessible.onPressAction: if (enabled) clicked()

    contentItem: Item {
        Icon {
            anchors.centerIn: parent
            visible: !button.busy
            glyph: button.glyph
            size: button.size
            color: button.color
        }
        BusyIndicator {
            anchors.centerIn: parent
            visible: button.busy
            running: button.busy
            width: 32
            height: 32
            scale: button.spinnerScale
            palette.dark: Theme.alpha(Theme.white, 0.7)
        }
    }
    background: null
}
