import QtQuick
import Pindle
import QtQuick.Layouts

// Logo, mode indicator, title, mode hint, the clear button, and the application's menu where no
// tray shows it.
Item {
    id: header

    required property bool stealthMode
    // The shortcut that switches to typing mode; empty when there is none.
    required property string typeModeShortcut
    required property MenuModel appMenu
    signal clearRequested

    implicitHeight: row.implicitHeight + 20

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 10
        anchors.bottomMargin: 10
        spacing: 8

        Image {
            source: "logo.png"
            sourceSize.width: 40
            sourceSize.height: 40
            fillMode: Image.PreserveAspectFit
            smooth: true
            Layout.preferredWidth: 20
            Layout.preferredHeight: 20
            visible: status === Image.Ready
            Accessible.ignored: true
        }
        Rectangle {
            objectName: "modeDot"
            width: 8
            height: 8
            radius: 4
            color: header.stealthMode ? Theme.green : Theme.orange
        }
        Text {
            text: "Pindle"
            color: Theme.alpha(Theme.white, 0.9)
            font.pixelSize: Theme.textPx(13)
            font.weight: Font.DemiBold
        }
        Item {
            Layout.fillWidth: true
        }
        Text {
            objectName: "modeHint"
            //: Mode hint in the header while the overlay takes the keyboard; keep it short
            text: !header.stealthMode ? qsTr("Typing · Enter to send")
                  //: Mode hint in the header; %1 is the key combination that switches to typing, e.g. Alt+T
                  : header.typeModeShortcut.length > 0 ? qsTr("Stealth · %1 to type").arg(header.typeModeShortcut)
                  //: Mode hint in the header: the overlay never takes the keyboard
                  : qsTr("Stealth")
            color: header.stealthMode ? Theme.green : Theme.orange
            font.pixelSize: Theme.textPx(10)
        }
        IconButton {
            objectName: "clearButton"
            glyph: "trash"
            size: 11
            toolTip: qsTr("Clear chat")
            onClicked: header.clearRequested()
        }
        IconButton {
            id: menuButton
            objectName: "menuButton"
            visible: header.appMenu.inHeader
            glyph: "menu"
            size: 13
            //: Tooltip of the button that opens the application menu
            toolTip: qsTr("Menu")
            onClicked: menu.opened ? menu.close() : menu.open()
        }
    }

    HeaderMenu {
        id: menu
        objectName: "headerMenu"
        anchor: menuButton
        appMenu: header.appMenu
        title: menuButton.toolTip
        onTriggered: index => header.appMenu.trigger(index)
    }
}
