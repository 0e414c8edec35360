import QtQuick

// A one-line text field: a TextInput on a rounded background, with a placeholder while it holds
// nothing, an input method's unfinished text counting as something.
TextInput {
    id: field

    property string placeholderText
    property color placeholderTextColor
    property color backgroundColor: "transparent"
    property real radius: 0

    verticalAlignment: TextInput.AlignVCenter
    selectByMouse: true
    clip: true

    // Set here, not left to TextInput: Qt 6.4 sends a field's text changes to screen readers only
    // from an item whose Accessible role is set (Controls' TextField sets it).
    Accessible.role: Accessible.EditableText
    Accessible.description: placeholderText

    Rectangle {
        z: -1
        anchors.fill: parent
        radius: field.radius
        color: field.backgroundColor
    }
    Text {
        objectName: "placeholder"
        x: field.leftPadding
        y: field.topPadding
        width: field.width - field.leftPadding - field.rightPadding
        height: field.height - field.topPadding - field.bottomPadding
        visible: field.length === 0 && field.preeditText === ""
        text: field.placeholderText
        color: field.placeholderTextColor
        font: field.font
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        horizontalAlignment: field.effectiveHorizontalAlignment
        Accessible.ignored: true
    }
}
