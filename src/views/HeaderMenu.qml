import QtQuick
import Pindle

// The application's menu as the overlay shows it where no tray can: the same items, drawn in the
// overlay's colours under `anchor`, over the whole window (the header clips). As a desktop menu:
// the pointer or, while the window has the keyboard, Up and Down (over the separators, round the
// ends), Home, End, and Return, Enter or Space; Escape or a press elsewhere closes it.
Item {
    id: menu

    // The button that opens it: a press there is the button's to toggle the menu.
    required property Item anchor
    required property MenuModel appMenu
    // Its name for screen readers.
    property string title
    property int currentIndex: -1
    readonly property bool opened: visible
    signal triggered(int index)

    // Where the keyboard was before the menu took it.
    property Item focusBefore: null

    parent: anchor.Window.contentItem
    anchors.fill: parent
    z: 1000
    visible: false

    Accessible.role: Accessible.PopupMenu
    Accessible.name: title

    function open() {
        currentIndex = -1
        place()
        visible = true
        if (anchor.Window.active) {
            focusBefore = anchor.Window.activeFocusItem
            forceActiveFocus()
        }
    }

    function close() {
        if (!visible)
            return
        visible = false
        if (activeFocus && focusBefore)
            focusBefore.forceActiveFocus()
        focusBefore = null
    }

    function activate(index) {
        close()
        triggered(index)
    }

    // Under the anchor, its end edge on the anchor's, inside the window.
    function place() {
        const at = anchor.mapToItem(menu, 0, anchor.height + 8)
        const mirrored = anchor.LayoutMirroring.enabled
        const x = mirrored ? at.x : at.x + anchor.width - panel.width
        panel.x = Math.max(6, Math.min(width - panel.width - 6, x))
        panel.y = at.y
    }

    Connections {
        target: menu.anchor
        function onXChanged() {
            if (menu.opened)
                menu.place()
        }
    }

    Keys.onShortcutOverride: event => event.accepted = event.key === Qt.Key_Escape
    Keys.onPressed: event => {
        switch (event.key) {
        case Qt.Key_Down:
        case Qt.Key_Up:
            currentIndex = appMenu.step(currentIndex, event.key === Qt.Key_Down ? 1 : -1)
            break
        case Qt.Key_Home:
        case Qt.Key_End:
            currentIndex = appMenu.step(-1, event.key === Qt.Key_Home ? 1 : -1)
            break
        case Qt.Key_Return:
        case Qt.Key_Enter:
        case Qt.Key_Space:
            if (currentIndex >= 0)
                activate(currentIndex)
            break
        case Qt.Key_Escape:
            close()
            break
        }
        // The field beneath gets no keys while the menu is open.
        event.accepted = true
    }

    // A press elsewhere closes the menu and goes on to what it was on; one on the anchor is left
    // to the anchor.
    MouseArea {
        anchors.fill: parent
        onPressed: mouse => {
            const onAnchor = menu.anchor.contains(mapToItem(menu.anchor, mouse.x, mouse.y))
            if (!onAnchor && !panel.contains(mapToItem(panel, mouse.x, mouse.y)))
                menu.close()
            mouse.accepted = false
        }
    }

    Rectangle {
        id: panel
        width: column.width + 8
        height: column.height + 8
        color: Theme.popupBase
        radius: 8
        border.width: 1
        border.color: Theme.alpha(Theme.white, 0.12)

        Column {
            id: column
            x: 4
            y: 4
            Repeater {
                model: menu.appMenu.items
                // qmllint disable unqualified
                // (Qt 6.4's linter does not see the menu's id from a delegate.)
                delegate: Item {
                    id: item
                    required property var modelData
                    required property int index
                    objectName: modelData.separator ? "" : "menuItem" + index
                    width: 220
                    height: modelData.separator ? 9 : 26
                    Accessible.role: modelData.separator ? Accessible.Separator : Accessible.MenuItem
                    Accessible.name: modelData.separator ? "" : modelData.text
                    Accessible.onPressAction: if (!item.modelData.separator) menu.activate(item.index)

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
                        color: menu.currentIndex === item.index ? Theme.alpha(Theme.blue, 0.55) : "transparent"
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            x: 10
                            text: item.modelData.text
                            color: Theme.alpha(Theme.white, 0.9)
                            font.pixelSize: Theme.textPx(12)
                            Accessible.ignored: true
                        }
                        HoverHandler {
                            onHoveredChanged: {
                                if (hovered)
                                    menu.currentIndex = item.index
                                else if (menu.currentIndex === item.index)
                                    menu.currentIndex = -1
                            }
                        }
                        TapHandler {
                            onTapped: menu.activate(item.index)
                        }
                    }
                }
                // qmllint enable unqualified
            }
        }
    }
}
