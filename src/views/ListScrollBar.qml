import QtQuick
import Pindle

// A vertical scroll bar over the edge of `view`, shown while the view moves or the pointer is on
// it and only where the content overflows. Its handle is dragged, or jumps to a press on its
// track; `pressed` tells that the user scrolls.
Item {
    id: bar

    required property Flickable view
    readonly property alias pressed: mouse.pressed
    readonly property bool active: view.moving || mouse.containsMouse || mouse.pressed

    // The visible part of the content, as fractions of all of it.
    readonly property real size: Math.min(1, view.visibleArea.heightRatio)
    readonly property real position: Math.max(0, Math.min(1 - size, view.visibleArea.yPosition))
    readonly property real handleHeight: Math.min(height, Math.max(24, size * height))

    // Declared in a view it would land in the content and scroll with it.
    parent: view
    x: LayoutMirroring.enabled ? 0 : view.width - width
    width: 10
    height: view.height
    visible: size < 1
    opacity: 0

    Accessible.role: Accessible.ScrollBar
    Accessible.ignored: !visible

    states: State {
        name: "active"
        when: bar.active
        PropertyChanges {
            bar.opacity: 1
        }
    }
    transitions: Transition {
        from: "active"
        SequentialAnimation {
            PauseAnimation {
                duration: 450
            }
            NumberAnimation {
                target: bar
                property: "opacity"
                duration: 200
            }
        }
    }

    Rectangle {
        id: handle
        x: 2
        y: bar.size < 1 ? bar.position / (1 - bar.size) * (bar.height - height) : 0
        width: bar.width - 4
        height: bar.handleHeight
        radius: width / 2
        color: Theme.alpha(Theme.white, mouse.pressed ? 0.5 : 0.3)
    }
    MouseArea {
        id: mouse

        // Where in the handle it was taken, from its top.
        property real grip: 0

        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        onPressed: mouse => {
            const onHandle = mouse.y >= handle.y && mouse.y < handle.y + handle.height
            grip = onHandle ? mouse.y - handle.y : handle.height / 2
            scrollTo(mouse.y)
        }
        onPositionChanged: mouse => {
            if (pressed)
                scrollTo(mouse.y)
        }

        function scrollTo(y) {
            const track = bar.height - handle.height
            const along = track > 0 ? Math.max(0, Math.min(1, (y - grip) / track)) : 0
            const view = bar.view
            view.contentY = view.originY - view.topMargin
                    + along * (1 - bar.size) * (view.contentHeight + view.topMargin + view.bottomMargin)
        }
    }
}
