import QtQuick
import QtQuick.Layouts

// The last failure, two lines at most, until dismissed.
Rectangle {
    id: banner

    required property string message
    signal dismissed

    implicitHeight: row.implicitHeight + 16
    color: Theme.alpha(Theme.orange, 0.15)
    Accessible.role: Accessible.AlertMessage
    Accessible.name: message

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 8
        anchors.bottomMargin: 8
        spacing: 8

        Icon {
            glyph: "warning"
            size: 12
            color: Theme.orange
        }
        Text {
            objectName: "errorText"
            Layout.fillWidth: true
            text: banner.message
            textFormat: Text.PlainText
            color: Theme.alpha(Theme.white, 0.8)
            font.pixelSize: Theme.textPx(11)
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }
        Text {
            objectName: "dismissButton"
            //: Link that closes the error banner
            text: qsTr("Dismiss")
            color: Theme.paleOrange
            font.pixelSize: Theme.textPx(10)
            opacity: dismissArea.pressed ? 0.6 : 1
            Accessible.role: Accessible.Button
            Accessible.name: text
            Accessible.onPressAction: banner.dismissed()

            MouseArea {
                id: dismissArea
                anchors.fill: parent
                anchors.margins: -4
                onClicked: banner.dismissed()
            }
        }
    }
}
