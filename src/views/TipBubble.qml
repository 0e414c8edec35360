import QtQuick
import Pindle

// A tool tip: `text` in a small bubble centred above `target`, or below it where the window has
// no room above, and never closer than 6 pixels to the edges of `bounds` (the window's content).
Rectangle {
    id: bubble
    objectName: "toolTip"

    required property Item target
    required property Item bounds
    property alias text: label.text

    readonly property point origin: target.mapToItem(bounds, 0, 0)
    readonly property real above: origin.y - height - 4

    x: Math.max(6, Math.min(bounds.width - width - 6, origin.x + (target.width - width) / 2))
    y: above >= 6 ? above : origin.y + target.height + 4
    width: label.width + 16
    height: label.height + 10
    radius: 4
    color: Theme.popupBase
    border.width: 1
    border.color: Theme.alpha(Theme.white, 0.12)

    Accessible.role: Accessible.ToolTip
    Accessible.name: label.text

    Text {
        id: label
        x: 8
        y: 5
        width: Math.min(implicitWidth, bubble.bounds.width - 12 - 16)
        wrapMode: Text.Wrap
        color: Theme.alpha(Theme.white, 0.9)
        font.pixelSize: Theme.textPx(12)
        Accessible.ignored: true
    }
}
