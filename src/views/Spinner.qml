import QtQuick
import Pindle

// Eight dots turning while `running`: something is under way. Decoration only: what spins says
// so to a screen reader.
Item {
    id: spinner

    property bool running: false
    property color color: Theme.alpha(Theme.white, 0.7)

    implicitWidth: 32
    implicitHeight: 32
    Accessible.ignored: true

    Item {
        id: ring
        anchors.fill: parent

        // qmllint disable unqualified
        // (Qt 6.4's linter does not see ids outside a delegate.)
        Repeater {
            model: 8
            Rectangle {
                required property int index
                // Anticlockwise from the top, fading: the brightest dot leads the turn.
                readonly property real angle: -index * Math.PI / 4
                width: ring.width / 5
                height: width
                radius: width / 2
                color: spinner.color
                opacity: 1 - index * 0.11
                x: (ring.width - width) / 2 * (1 + Math.sin(angle))
                y: (ring.height - height) / 2 * (1 - Math.cos(angle))
            }
        }
        // qmllint enable unqualified
        // A dot's step at a time, ten steps a second: a smooth turn would redraw the window at
        // whatever rate the platform allows (200 frames a second with the software renderer on
        // a bare X server) and take the main thread from the request it is waiting for.
        Timer {
            interval: 100
            repeat: true
            running: spinner.running && spinner.visible
            onTriggered: ring.rotation = (ring.rotation + 45) % 360
        }
    }
}
