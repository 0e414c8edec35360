import QtQuick
import QtQuick.Layouts

// One message: the user's on the right in blue, everything else on the left; a screenshot above
// the text; plain, selectable text, "Thinking…" while an answer has no text yet.
Item {
    id: bubble

    required property string messageId
    required property string content
    required property bool hasImage
    required property bool fromUser
    required property bool fromAssistant
    readonly property bool thinking: content.length === 0
    //: Shown in an answer's bubble until its first words arrive
    readonly property string shownText: thinking ? qsTr("Thinking…") : content
    readonly property real widest: width - (fromUser || fromAssistant ? 40 + 8 : 0)

    implicitHeight: column.implicitHeight
    Accessible.role: Accessible.ListItem
    Accessible.name: fromUser ? (hasImage
                                 //: Read by screen readers for the user's message that carries a screenshot; %1 is its text
                                 ? qsTr("You: %1 (with a screenshot)").arg(shownText)
                                 //: Read by screen readers for the user's message; %1 is its text
                                 : qsTr("You: %1").arg(shownText))
                     //: Read by screen readers for an answer; %1 is its text
                     : fromAssistant ? qsTr("Pindle: %1").arg(shownText) : shownText

    ColumnLayout {
        id: column
        spacing: 4
        anchors.left: bubble.fromUser ? undefined : parent.left
        anchors.right: bubble.fromUser ? parent.right : undefined
        width: bubble.widest

        Item {
            objectName: "imageBlock"
            visible: bubble.hasImage
            Layout.alignment: bubble.fromUser ? Qt.AlignRight : Qt.AlignLeft
            readonly property real aspect: picture.implicitHeight > 0
                                           ? picture.implicitWidth / picture.implicitHeight : 1.6
            implicitWidth: Math.min(280, 160 * aspect, bubble.widest)
            implicitHeight: implicitWidth / aspect

            Image {
                id: picture
                anchors.fill: parent
                source: bubble.hasImage ? "image://messages/" + bubble.messageId : ""
                sourceSize.width: 560
                sourceSize.height: 320
                fillMode: Image.PreserveAspectFit
                smooth: true
                mipmap: true
                Accessible.ignored: true
            }
            Rectangle {
                anchors.fill: parent
                radius: 8
                color: "transparent"
                border.width: 1
                border.color: Theme.alpha(Theme.white, 0.1)
            }
        }

        Rectangle {
            objectName: "textBlock"
            Layout.alignment: bubble.fromUser ? Qt.AlignRight : Qt.AlignLeft
            implicitWidth: Math.min(measure.implicitWidth + 1, bubble.widest - 24) + 24
            implicitHeight: text.implicitHeight + 16
            radius: 12
            color: bubble.fromUser ? Theme.alpha(Theme.blue, 0.35) : Theme.alpha(Theme.white, 0.08)

            Text {
                id: measure
                visible: false
                Accessible.ignored: true
                text: bubble.shownText
                textFormat: Text.PlainText
                font: text.font
            }
            TextEdit {
                id: text
                x: 12
                y: 8
                width: parent.width - 24
                text: bubble.shownText
                textFormat: TextEdit.PlainText
                wrapMode: TextEdit.Wrap
                readOnly: true
                selectByMouse: true
                selectionColor: Theme.alpha(Theme.blue, 0.6)
                color: Theme.alpha(Theme.white, bubble.thinking ? 0.8 : 0.9)
                font.pixelSize: Theme.textPx(13)
            }
        }
    }
}
